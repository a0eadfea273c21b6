#pragma once

// The frames on their way to the board: whole and in order behind each other, at most
// kMaxQueuedBytes waiting, the frame at the front dropped when the line takes none of it for too
// long, and the time the line still needs for what the driver has taken.

#include "link_transport.h"
#include "port_failure.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <deque>

namespace quillon {

class FrameQueue : public QObject {
    Q_OBJECT

public:
    // At 9600 baud a mebibyte is some 18 minutes of line time: more is surely a mistake.
    static constexpr qint64 kMaxQueuedBytes = 1024 * 1024;
    // A network port is closed only once what it was given has had its time on the line, and
    // this much more: a serial server drops what it has not yet written to its device when the
    // connection closes.
    static constexpr std::chrono::milliseconds kLineMargin{50};

    explicit FrameQueue(QObject* parent = nullptr);

    // Where frames go from now on; null while no port is open (frames then wait). The line's
    // time starts afresh with each transport.
    void setTransport(LinkTransport* transport);

    bool hasRoomFor(qint64 frameSize) const { return bytesToWrite() + frameSize <= kMaxQueuedBytes; }
    // Queues the frame behind the others and hands it to the transport if there is one.
    void push(const QByteArray& frame);
    // Drops every frame queued, never to be sent, and tells it by dropped(); the caller
    // discards what the transport still holds.
    void drop(PortFailure failure);

    bool isEmpty() const { return m_frames.empty(); }
    // Queued bytes that the driver has not taken yet.
    qint64 bytesToWrite() const;
    // How long the bytes the driver has taken still need on the line; zero once it is idle.
    std::chrono::nanoseconds lineBusyFor() const;
    // How long a transport must stay open so that its close loses nothing of what it took.
    std::chrono::nanoseconds lingerFor(const LinkTransport& transport) const;

signals:
    // The driver has taken the last byte of this frame.
    void frameWritten(const QByteArray& frame);
    // The driver has taken every byte queued.
    void allWritten();
    // The queue was dropped (failure.droppedFrames frames); nothing of it goes out later.
    void dropped(const quillon::PortFailure& failure);

private:
    struct QueuedFrame {
        QByteArray frame;
        qint64 wireSize = 0; // as the transport writes it; 0 until it has the frame
    };

    bool handOver(QueuedFrame& queued);
    void handOverWaiting();
    void takeProgress(qint64 wireBytes);
    void restartStallTimer();
    void failStalledFrame();

    LinkTransport* m_transport = nullptr;
    // Oldest first; the front one may be partly written.
    std::deque<QueuedFrame> m_frames;
    qint64 m_frontWritten = 0;
    std::chrono::nanoseconds m_lineIdleAt{0};
    QTimer m_stallTimer;
};

} // namespace quillon
