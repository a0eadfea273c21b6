#pragma once

// The line to the board: opens port 1 (else port 2, or a device the operator chose) at 9600 8N1,
// a serial device or a serial server on another machine, queues frames to go out whole and in
// order without ever waiting for the line, and reports received data once a whole frame's worth
// of bytes is waiting.

#include "link_transport.h"
#include "port_failure.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <vector>

namespace quillon {

// Which device stands behind port 1 and port 2. An empty port 2 means "port 1 only".
struct PortDevices {
    QString port1;
    QString port2;

    // QUILLON_PORT1 / QUILLON_PORT2 when set, else the platform's first two serial ports.
    static PortDevices fromEnvironment();
};

// What became of a frame handed to the link.
enum class WriteOutcome {
    Queued,   // the whole frame is queued; it goes out whole, in order, behind earlier frames
    NoPort,   // no port is open and none could be opened; openFailures()/lastFailure() say why
    LineBusy, // the queue would grow past kMaxQueuedBytes; nothing of the frame was queued
};

class SerialLink : public QObject {
    Q_OBJECT

public:
    static constexpr qint64 kReceiveThreshold = 22;
    static constexpr qint64 kReceiveBufferSize = LinkTransport::kReceiveBufferSize;
    // At 9600 baud a mebibyte is some 18 minutes of line time: more is surely a mistake.
    static constexpr qint64 kMaxQueuedBytes = 1024 * 1024;
    // A network port is closed only once what it was given has had its time on the line, and
    // this much more: a serial server drops what it has not yet written to its device when the
    // connection closes.
    static constexpr std::chrono::milliseconds kLineMargin{50};

    explicit SerialLink(PortDevices devices = PortDevices::fromEnvironment(),
                        QObject* parent = nullptr);
    ~SerialLink() override;

    // The chosen device if openDevice() ever succeeded, else port 1, else port 2. True when a
    // port is open now. A network device connects in the background: then false with
    // isOpening(), and openFinished() tells the end. The failures of this sequence are kept in
    // openFailures() either way, and lastFailure() is the last of them.
    bool OpenAtStartup();
    // Opens `device` at 9600 8N1. On success it is the link's port from now on: the old port is
    // closed and anything still queued for it dropped (told by writeFailed), never sent to the
    // new one. On failure the old port stays open and in use, and lastFailure() says why. A
    // network device answers later: false with isOpening(), then deviceOpenFinished().
    bool openDevice(const QString& device);
    bool isOpening() const { return m_attempt != nullptr; }

    // Each queues the whole frame and returns at once; progress and failures come by signals.
    // While no port is open the opening sequence runs first; while one connects, the frame
    // waits for it.
    WriteOutcome WriteText(const QString& text);
    WriteOutcome WriteBytes(std::span<const std::uint8_t> bytes);

    // Queued bytes that the driver has not taken yet.
    qint64 bytesToWrite() const;
    // How long the bytes the driver has taken still need on the line; zero once it is idle.
    std::chrono::nanoseconds lineBusyFor() const;
    // How long the port must stay open so that closing it loses nothing: for a network port the
    // line time left plus kLineMargin; zero for a serial device, whose close drains its output.
    std::chrono::nanoseconds lingerFor() const;

    // All bytes waiting in the receive buffer, as display text.
    QString ReadAll();
    // The bytes waiting in the receive buffer, left there.
    QByteArray peekReceived() const;

    bool isOpen() const;
    int portNumber() const; // 1 or 2 while open on a numbered port, 0 otherwise
    QString deviceName() const;
    QString chosenDevice() const;
    const PortDevices& devices() const;
    const QList<PortFailure>& openFailures() const;
    const PortFailure& lastFailure() const;

signals:
    // At least kReceiveThreshold bytes were waiting; text holds all of them.
    void dataReceived(const QString& text);
    // Some bytes came in (any number); for callers that want less than a whole frame.
    void bytesArrived();
    // Bytes were taken from the receive buffer (by ReadAll), as they came: each byte once.
    void received(const QByteArray& bytes);
    // The driver has taken the last byte of this frame.
    void frameWritten(const QByteArray& frame);
    // The queue ran empty: the driver has taken every byte handed to the link.
    void allWritten();
    // Queued data could not be written (device gone, write error, no progress, port changed,
    // no port to be had): the rest of the queue is dropped. Told once per failure.
    void writeFailed(const quillon::PortFailure& failure);
    // The open port failed with nothing queued (device gone, read error, connection dropped):
    // it is now closed.
    void portLost(const quillon::PortFailure& failure);
    // A port was opened (its device) or closed (empty).
    void portChanged(const QString& device);
    // An OpenAtStartup() that was still connecting has ended.
    void openFinished(bool opened);
    // An openDevice() that was still connecting has ended; lastFailure() says why it failed.
    void deviceOpenFinished(const QString& device, bool opened);

private:
    struct QueuedFrame {
        QByteArray frame;
        qint64 wireSize = 0; // as the transport writes it; 0 until it has the frame
    };
    enum class Purpose { Startup, Choice };

    void runStartup();
    bool tryDevice(const QString& device, int portNumber, Purpose purpose);
    void attemptOpened();
    void attemptFailed(const PortFailure& failure);
    void dropFramesWaitingForStartup();
    void usePort(std::unique_ptr<LinkTransport> transport, int portNumber, Purpose purpose);
    void retire(std::unique_ptr<LinkTransport> transport);
    bool ensureOpen();
    WriteOutcome queueFrame(const QByteArray& frame);
    bool handOver(QueuedFrame& queued);
    void handOverWaitingFrames();
    void takeProgress(qint64 wireBytes);
    void restartStallTimer();
    void failStalledFrame();
    void dropQueue(PortFailure failure);
    void reportReceivedData();
    void closeLostPort(const PortFailure& failure);

    PortDevices m_devices;
    QString m_chosenDevice;
    std::unique_ptr<LinkTransport> m_transport;
    int m_portNumber = 0;
    // An open in flight: the transport connecting, what it is for, and the devices left to try.
    std::unique_ptr<LinkTransport> m_attempt;
    Purpose m_attemptPurpose = Purpose::Startup;
    int m_attemptNumber = 0;
    QList<std::pair<QString, int>> m_devicesToTry;
    // Closed ports still lingering until their last frame has had its time on the line.
    std::vector<std::unique_ptr<LinkTransport>> m_retired;
    // The queued frames, oldest first; the front one may be partly written.
    std::deque<QueuedFrame> m_queuedFrames;
    qint64 m_frontWritten = 0;
    std::chrono::nanoseconds m_lineIdleAt{0};
    QTimer m_stallTimer;
    QList<PortFailure> m_openFailures;
    PortFailure m_lastFailure;
};

// One byte per character: ASCII as itself, anything else as '?'.
QByteArray TextToWireBytes(const QString& text);

// One character per byte: printable ASCII as itself, control bytes and bytes from 0x80 as
// visible characters that can be told apart.
QString WireBytesToDisplayText(const QByteArray& bytes);

} // namespace quillon
