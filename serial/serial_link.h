#pragma once

// The line to the board: opens port 1 (else port 2, or a device the operator chose) at 9600 8N1,
// a serial device or a serial server on another machine, queues frames to go out whole and in
// order without ever waiting for the line, and reports received bytes as they come and once a
// whole frame's worth is waiting.

#include "frame_queue.h"
#include "lingering_ports.h"
#include "link_transport.h"
#include "port_failure.h"
#include "port_opener.h"
#include "received_bytes.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>

namespace quillon {

// What became of a frame handed to the link.
enum class WriteOutcome {
    Queued,   // the whole frame is queued; it goes out whole, in order, behind earlier frames
    NoPort,   // no port is open and none could be opened; openFailures()/lastFailure() say why
    LineBusy, // the queue would grow past kMaxQueuedBytes; nothing of the frame was queued
};

// The link owns the port and wires three small parts to it: the opener (which device), the
// frame queue (what goes out) and the received bytes (what comes back).
class SerialLink : public QObject {
    Q_OBJECT

public:
    static constexpr qint64 kReceiveThreshold = ReceivedBytes::kReceiveThreshold;
    static constexpr qint64 kReceiveBufferSize = ReceivedBytes::kReceiveBufferSize;
    static constexpr qint64 kMaxQueuedBytes = FrameQueue::kMaxQueuedBytes;
    static constexpr std::chrono::milliseconds kLineMargin = FrameQueue::kLineMargin;

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
    // network device answers later: false with isOpening(), then openFinished().
    bool openDevice(const QString& device);
    bool isOpening() const { return m_opener.state() == PortOpener::State::Connecting; }

    // Each queues the whole frame and returns at once; progress and failures come by signals.
    // While no port is open the port is opened again first; while one connects, the frame
    // waits for it.
    WriteOutcome WriteText(const QString& text);
    WriteOutcome WriteBytes(std::span<const std::uint8_t> bytes);

    // Queued bytes that the driver has not taken yet.
    qint64 bytesToWrite() const { return m_queue.bytesToWrite(); }
    // How long the bytes the driver has taken still need on the line; zero once it is idle.
    std::chrono::nanoseconds lineBusyFor() const { return m_queue.lineBusyFor(); }
    // How long the port must stay open so that closing it loses nothing: for a network port the
    // line time left plus kLineMargin; zero for a serial device, whose close drains its output.
    std::chrono::nanoseconds lingerFor() const;

    // All bytes waiting to be read, taken, as display text.
    QString ReadAll();
    // The bytes waiting to be read, left there.
    QByteArray peekReceived() const { return m_received.waiting(); }

    bool isOpen() const;
    int portNumber() const; // 1 or 2 while open on a numbered port, 0 otherwise
    QString deviceName() const;
    QString chosenDevice() const { return m_opener.chosenDevice(); }
    const PortDevices& devices() const { return m_opener.devices(); }
    const QList<PortFailure>& openFailures() const { return m_opener.failures(); }
    const PortFailure& lastFailure() const { return m_lastFailure; }

signals:
    // At least kReceiveThreshold bytes were waiting; text holds all of them for display, bytes
    // the same as they came.
    void dataReceived(const QString& text, const QByteArray& bytes);
    // Some bytes came in (any number); for callers that want less than a whole frame.
    void bytesArrived();
    // Bytes came in from the port, as they came: each byte once, whoever reads them.
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
    // An opening that was still connecting when OpenAtStartup() or openDevice() returned has
    // ended; lastFailure() says why it failed.
    void openFinished(quillon::OpenPurpose purpose, bool opened);

private:
    // Opens again for a Send when no port is open; true when open or connecting.
    bool openForSend();
    void openPort(OpenPurpose purpose);
    WriteOutcome queueFrame(const QByteArray& frame);
    void takeOpened(OpenPurpose purpose, LinkTransport* transport, int portNumber);
    void usePort(std::unique_ptr<LinkTransport> transport, int portNumber, OpenPurpose purpose);
    void forgetPort();
    void discardDropped(const PortFailure& failure);
    void closeLostPort(const PortFailure& failure);

    PortOpener m_opener;
    FrameQueue m_queue;
    ReceivedBytes m_received;
    LingeringPorts m_lingering;
    std::unique_ptr<LinkTransport> m_transport;
    int m_portNumber = 0;
    // Whether an opening is being asked for right now, so that its end is the caller's answer
    // rather than a signal.
    bool m_askingToOpen = false;
    PortFailure m_lastFailure;
};

// One byte per character: ASCII as itself, anything else as '?'.
QByteArray TextToWireBytes(const QString& text);

// One character per byte: printable ASCII as itself, control bytes and bytes from 0x80 as
// visible characters that can be told apart.
QString WireBytesToDisplayText(const QByteArray& bytes);

} // namespace quillon
