#pragma once

// What carries the board's line for the link: a serial device (QSerialPort) or a connection to
// a serial server on another machine (QTcpSocket), raw or through Telnet with RFC 2217's
// COM-PORT-OPTION. The link's queue, stall timer and receive threshold work the same on each.

#include "port_failure.h"
#include "rfc2217_client.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>
#include <deque>
#include <memory>
#include <optional>

namespace quillon {

// A device name that reaches a server: tcp://HOST:PORT or rfc2217://HOST:PORT, HOST a name,
// an IPv4 address or an IPv6 address in brackets.
struct NetworkAddress {
    enum class Kind { RawTcp, Rfc2217 };
    Kind kind = Kind::RawTcp;
    QString host;
    quint16 port = 0;
};

// Whether `device` names a network server (by its scheme), well formed or not.
bool IsNetworkDevice(const QString& device);
// The address of a well-formed network device name; nothing otherwise.
std::optional<NetworkAddress> ParseNetworkDevice(const QString& device);
// The file a serial device name stands for: a path from the root as it is; a relative name that
// exists from the current folder (a link named "board" beside the operator) as that file, made
// absolute; any other name the device of that name in /dev/, as Qt would look for it. What a
// refusal then names is the path that was tried. Network names pass unchanged.
QString ResolveDeviceName(const QString& device);
// How a device is named in few words: "ttyUSB0" for /dev/ttyUSB0 (a link keeps its own name),
// "rig.local:7000" for rfc2217://rig.local:7000.
QString ShortDeviceName(const QString& device);

class LinkTransport : public QObject {
    Q_OBJECT

public:
    enum class State { Closed, Opening, Open };

    static constexpr qint64 kReceiveBufferSize = 1024;
    // Connecting, and agreeing on the line settings, must be done in this time.
    static constexpr std::chrono::seconds kOpenTimeout{5};

    // A transport for `device` (resolved by ResolveDeviceName()); nothing is opened yet.
    static std::unique_ptr<LinkTransport> forDevice(const QString& device);

    ~LinkTransport() override;

    const QString& device() const { return m_device; }
    State state() const { return m_state; }
    bool isOpen() const { return m_state == State::Open; }
    // Why the last open or write failed.
    const PortFailure& failure() const { return m_failure; }

    // Opens at 9600 8N1. A serial device is Open or Closed (failure()) on return; a network
    // device is Opening, then tells by opened() or openFailed().
    virtual void open() = 0;
    // Hands a frame to the device; the driver takes it from the event loop. Returns the number of
    // bytes it takes on the wire (more than the frame where escapes are needed), or -1 when the
    // device refused it (failure()).
    virtual qint64 write(const QByteArray& frame) = 0;
    // Does at once what the event loop would do a moment later, when the driver has room.
    virtual void startWriting() {}
    virtual qint64 bytesAvailable() const = 0;
    virtual QByteArray readAll() = 0;
    virtual QByteArray peek() const = 0;
    // Drops what the driver has not sent yet.
    virtual void discardOutput() = 0;
    // Closes; with `discard`, what the driver still holds is dropped first, since a dying device
    // would otherwise hold the close until its output drained.
    virtual void close(bool discard) = 0;
    // Whether a close throws away what the driver has taken but not yet put on the line. A
    // serial device's close drains its output; a connection to a serial server does not, since
    // the server drops what it has not yet written to its device.
    virtual bool closeDropsOutput() const = 0;

signals:
    void opened();
    void openFailed(const quillon::PortFailure& failure);
    // Bytes of the frames written, as counted on the wire, that the driver has taken.
    void bytesWritten(qint64 wireBytes);
    void readyRead();
    // The open device failed (disconnected, read error, connection dropped): it is closed.
    void lost(const quillon::PortFailure& failure);

protected:
    explicit LinkTransport(QString device);
    void setState(State state) { m_state = state; }
    void setFailure(PortError error, const QString& detail);
    void failOpening(PortError error, const QString& detail);
    void loseDevice(PortError error, const QString& detail);

private:
    QString m_device;
    State m_state = State::Closed;
    PortFailure m_failure;
};

class SerialTransport : public LinkTransport {
    Q_OBJECT

public:
    explicit SerialTransport(const QString& device);

    void open() override;
    qint64 write(const QByteArray& frame) override;
    void startWriting() override;
    qint64 bytesAvailable() const override;
    QByteArray readAll() override;
    QByteArray peek() const override;
    void discardOutput() override;
    void close(bool discard) override;
    bool closeDropsOutput() const override { return false; }

private:
    void handleError(QSerialPort::SerialPortError error);

    std::unique_ptr<QSerialPort> m_port;
};

class SocketTransport : public LinkTransport {
    Q_OBJECT

public:
    SocketTransport(const QString& device, NetworkAddress address);

    void open() override;
    qint64 write(const QByteArray& frame) override;
    void startWriting() override;
    qint64 bytesAvailable() const override;
    QByteArray readAll() override;
    QByteArray peek() const override;
    void discardOutput() override;
    void close(bool discard) override;
    bool closeDropsOutput() const override { return true; }

private:
    void handleConnected();
    void handleReadyRead();
    void handleBytesWritten(qint64 bytes);
    void handleError(QAbstractSocket::SocketError error);
    void handleTimeout();
    void takeIncoming();
    void sendControl(const std::string& bytes);
    void becomeOpen();

    NetworkAddress m_address;
    mutable QTcpSocket m_socket; // peek() reads without taking
    QTimer m_openTimer;
    std::unique_ptr<Rfc2217Client> m_telnet; // for rfc2217://
    QByteArray m_received;                   // data taken out of the Telnet stream
    // What went into the socket, in order: frame bytes (counted) and Telnet replies (not).
    struct Segment {
        qint64 size;
        bool frame;
    };
    std::deque<Segment> m_segments;
};

} // namespace quillon
