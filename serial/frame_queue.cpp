#include "frame_queue.h"

#include "line_time.h"

#include <algorithm>

namespace quillon {

namespace {

constexpr qint64 kStallSlackMs = 2000;

// How long a frame may go without progress: twice its line time, plus slack for a busy system.
int StallLimitMs(qint64 frameSize) {
    return int(kStallSlackMs + 2 * frameSize * 1000 / kLineBytesPerSecond);
}

std::chrono::nanoseconds SteadyClock() {
    return std::chrono::steady_clock::now().time_since_epoch();
}

} // namespace

FrameQueue::FrameQueue(QObject* parent) : QObject(parent) {
    qRegisterMetaType<PortFailure>();
    m_stallTimer.setSingleShot(true);
    connect(&m_stallTimer, &QTimer::timeout, this, &FrameQueue::failStalledFrame);
}

void FrameQueue::setTransport(LinkTransport* transport) {
    if (m_transport)
        m_transport->disconnect(this);
    m_transport = transport;
    m_lineIdleAt = std::chrono::nanoseconds(0);
    if (!m_transport)
        return;
    connect(m_transport, &LinkTransport::bytesWritten, this, &FrameQueue::takeProgress);
    handOverWaiting();
}

// The transport keeps what the driver has no room for and writes it from the event loop
// whenever the driver takes more; nothing here waits for the line.
void FrameQueue::push(const QByteArray& frame) {
    m_frames.push_back({frame, 0});
    if (!m_transport || !handOver(m_frames.back()))
        return;
    if (!m_stallTimer.isActive())
        restartStallTimer();
    // A short frame is then on its way before the window repaints.
    m_transport->startWriting();
}

// A refused write is told as a failure at once, rather than left to look like a stalled line.
bool FrameQueue::handOver(QueuedFrame& queued) {
    const qint64 wireSize = m_transport->write(queued.frame);
    if (wireSize < 0) {
        drop(m_transport->failure());
        return false;
    }
    queued.wireSize = wireSize;
    return true;
}

void FrameQueue::handOverWaiting() {
    bool any = false;
    for (QueuedFrame& queued : m_frames) {
        if (queued.wireSize > 0)
            continue;
        if (!handOver(queued))
            return;
        any = true;
    }
    if (any) {
        restartStallTimer();
        m_transport->startWriting();
    }
}

void FrameQueue::takeProgress(qint64 wireBytes) {
    m_lineIdleAt = std::max(m_lineIdleAt, SteadyClock()) + LineTime(std::size_t(wireBytes));
    m_frontWritten += wireBytes;
    while (!m_frames.empty() && m_frames.front().wireSize > 0 &&
           m_frontWritten >= m_frames.front().wireSize) {
        m_frontWritten -= m_frames.front().wireSize;
        const QByteArray frame = m_frames.front().frame;
        m_frames.pop_front();
        emit frameWritten(frame);
    }
    if (m_frames.empty()) {
        m_frontWritten = 0;
        m_stallTimer.stop();
        emit allWritten();
        return;
    }
    restartStallTimer();
}

// The frame at the front may go without progress for twice its own line time, plus slack for a
// busy system, before it counts as stuck.
void FrameQueue::restartStallTimer() {
    if (!m_frames.empty() && m_frames.front().wireSize > 0)
        m_stallTimer.start(StallLimitMs(m_frames.front().wireSize));
}

void FrameQueue::failStalledFrame() {
    if (m_frames.empty() || !m_transport)
        return;
    const qint64 frameSize = m_frames.front().wireSize;
    drop({m_transport->device(), PortError::Timeout,
          tr("Only %1 of %2 bytes were written; nothing more went out for %3 ms")
              .arg(m_frontWritten)
              .arg(frameSize)
              .arg(StallLimitMs(frameSize))});
}

// Dropped whole, so no tail of it ever runs into a later frame.
void FrameQueue::drop(PortFailure failure) {
    m_stallTimer.stop();
    failure.droppedFrames = int(m_frames.size());
    m_frames.clear();
    m_frontWritten = 0;
    emit dropped(failure);
}

qint64 FrameQueue::bytesToWrite() const {
    qint64 total = -m_frontWritten;
    for (const QueuedFrame& queued : m_frames)
        total += queued.wireSize > 0 ? queued.wireSize : queued.frame.size();
    return total;
}

std::chrono::nanoseconds FrameQueue::lineBusyFor() const {
    if (m_lineIdleAt == std::chrono::nanoseconds(0))
        return std::chrono::nanoseconds(0);
    return std::max(std::chrono::nanoseconds(0), m_lineIdleAt - SteadyClock());
}

std::chrono::nanoseconds FrameQueue::lingerFor(const LinkTransport& transport) const {
    if (m_lineIdleAt == std::chrono::nanoseconds(0) || !transport.closeDropsOutput())
        return std::chrono::nanoseconds(0);
    return std::max(std::chrono::nanoseconds(0), m_lineIdleAt + kLineMargin - SteadyClock());
}

} // namespace quillon
