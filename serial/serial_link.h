#pragma once

// The serial line to the board: opens port 1 (else port 2) at 9600 8N1, writes frames in one
// piece, and reports received data once a whole frame's worth of bytes is waiting.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include <cstdint>
#include <optional>
#include <span>

namespace quillon {

// Which device stands behind port 1 and port 2.
struct PortDevices {
    QString port1;
    QString port2;

    // QUILLON_PORT1 / QUILLON_PORT2 when set, else the platform's first two serial ports.
    static PortDevices fromEnvironment();
};

// Why one attempt to open or use a device failed.
struct PortFailure {
    QString device;
    QSerialPort::SerialPortError error = QSerialPort::NoError;
    QString detail; // the system's own error text, or what did not happen
};

class SerialLink : public QObject {
    Q_OBJECT

public:
    static constexpr qint64 kReceiveThreshold = 22;
    static constexpr qint64 kReceiveBufferSize = 1024;

    explicit SerialLink(PortDevices devices = PortDevices::fromEnvironment(),
                        QObject* parent = nullptr);
    ~SerialLink() override;

    // Port 1, else port 2. True when one of them is open; the failures of this sequence are
    // kept in openFailures() either way, and lastFailure() is the last of them.
    bool OpenAtStartup();

    // Each writes the whole frame and flushes it. While no port is open the start-up sequence
    // runs again first. Returns once the frame has gone to the driver; one that has not gone
    // within twice its line time at 9600 baud (plus 2 s) fails and its unsent rest is dropped.
    // False when nothing (or not all) was written; lastFailure() says why. Data received
    // meanwhile is reported afterwards, from the event loop.
    bool WriteText(const QString& text);
    bool WriteBytes(std::span<const std::uint8_t> bytes);

    // All bytes waiting in the receive buffer, as display text.
    QString ReadAll();

    bool isOpen() const;
    int portNumber() const; // 1 or 2 while open, 0 while closed
    QString deviceName() const;
    const PortDevices& devices() const;
    const QList<PortFailure>& openFailures() const;
    const PortFailure& lastFailure() const;

signals:
    // At least kReceiveThreshold bytes were waiting; text holds all of them.
    void dataReceived(const QString& text);
    // The open port failed (device gone, read error): it is now closed; reported once.
    void portLost(const quillon::PortFailure& failure);

private:
    bool openPort(int portNumber, const QString& device);
    void assertModemLines();
    bool ensureOpen();
    bool writeFrame(const QByteArray& frame);
    bool waitUntilWritten(qint64 frameSize);
    qint64 waitingBytes() const;
    QByteArray takeWaitingBytes();
    void reportReceivedData();
    void handleError(QSerialPort::SerialPortError error);
    void closeLostPort(const PortFailure& failure);
    bool fail(const PortFailure& failure);

    PortDevices m_devices;
    QSerialPort m_port;
    int m_portNumber = 0;
    QList<PortFailure> m_openFailures;
    PortFailure m_lastFailure;
    // Bytes taken off the port while a write waited; reported with the next received data.
    QByteArray m_heldReceived;
    bool m_writing = false;
    std::optional<PortFailure> m_lossDuringWrite;
};

// One byte per character: ASCII as itself, anything else as '?'.
QByteArray TextToWireBytes(const QString& text);

// One character per byte: printable ASCII as itself, control bytes and bytes from 0x80 as
// visible characters that can be told apart.
QString WireBytesToDisplayText(const QByteArray& bytes);

} // namespace quillon
