#include "sender.h"

#include "serial_link.h"

#include <QString>

#include <cstdio>
#include <span>
#include <unistd.h>

namespace quillon::cli {

namespace {

// The board's reply is taken as complete once the line has been quiet this long (the virtual
// board, like the real one, answers a command in one burst).
constexpr std::chrono::milliseconds kReplyQuiet{50};
constexpr std::chrono::milliseconds kProgressEvery{100};

void Say(const QString& message) {
    std::fputs(("quillon-send: " + message + '\n').toLocal8Bit().constData(), stderr);
}

QString Seconds(std::chrono::nanoseconds duration) {
    return QString::number(std::chrono::duration<double>(duration).count(), 'f', 1);
}

} // namespace

Sender::Sender(SerialLink& link, QObject* parent) : QObject(parent), m_link(link) {
    m_replyTimer.setSingleShot(true);
    m_quietTimer.setSingleShot(true);
    m_quietTimer.setInterval(kReplyQuiet);
    connect(&m_link, &SerialLink::allWritten, this, &Sender::handleAllWritten);
    connect(&m_link, &SerialLink::writeFailed, this, &Sender::handleWriteFailed);
    connect(&m_link, &SerialLink::bytesArrived, this, &Sender::collectReply);
    connect(&m_deadline, &DeadlineTimer::fired, this, &Sender::sendDueFrames);
    connect(&m_replyTimer, &QTimer::timeout, this, &Sender::printReply);
    connect(&m_quietTimer, &QTimer::timeout, this, &Sender::printReply);
}

void Sender::send(const Frame& frame, std::optional<std::chrono::milliseconds> replyWait) {
    m_replyWait = replyWait;
    m_allQueued = true;
    if (write(frame) && m_link.bytesToWrite() == 0)
        handleAllWritten();
}

void Sender::play(const PlaySchedule& schedule) {
    m_showProgress = ::isatty(STDERR_FILENO) == 1;
    m_scheduler = std::make_unique<PlayScheduler>(schedule, SteadyNow);
    m_scheduler->start();
    sendDueFrames();
}

void Sender::interrupt(int signalNumber) {
    if (m_done)
        return;
    m_interrupted = true;
    m_interruptStatus = 128 + signalNumber;
    m_deadline.stop();
    // Frames are queued whole, so what is queued now is the frame being written; it goes out.
    if (m_link.bytesToWrite() == 0 || m_waitingForReply)
        finish(m_interruptStatus);
}

bool Sender::write(const Frame& frame) {
    const WriteOutcome outcome =
        frame.binary ? m_link.WriteBytes(
                           std::span(reinterpret_cast<const std::uint8_t*>(frame.bytes.constData()),
                                     std::size_t(frame.bytes.size())))
                     : m_link.WriteText(QString::fromLatin1(frame.bytes));
    if (outcome == WriteOutcome::Queued)
        return true;
    if (outcome == WriteOutcome::NoPort) {
        const PortFailure& failure = m_link.lastFailure();
        Say(QStringLiteral("cannot write to %1: %2").arg(failure.device, failure.detail));
    } else {
        Say(QStringLiteral("the line to %1 does not keep up; stopped").arg(m_link.deviceName()));
    }
    finish(kPortTrouble);
    return false;
}

void Sender::sendDueFrames() {
    if (m_interrupted || m_done || !m_scheduler)
        return;
    while (const Frame* frame = m_scheduler->takeDue()) {
        if (!write(*frame))
            return;
    }
    showProgress(false);
    if (!m_scheduler->finished()) {
        m_deadline.fireAt(m_scheduler->nextDueAt());
        return;
    }
    if (!m_allQueued) {
        // The last frame is queued; done once the line has carried it and any last pause passed.
        m_allQueued = true;
        m_deadline.fireAt(m_scheduler->endsAt());
        return;
    }
    if (m_link.bytesToWrite() == 0)
        handleAllWritten();
}

void Sender::handleAllWritten() {
    if (m_done)
        return;
    if (m_interrupted) {
        finish(m_interruptStatus);
        return;
    }
    if (!m_allQueued)
        return;
    if (m_scheduler) {
        if (m_scheduler->remaining() > std::chrono::nanoseconds(0))
            return; // the deadline set for the end of the schedule calls back
        showProgress(true);
        finish(kSent);
        return;
    }
    if (!m_replyWait) {
        finish(kSent);
        return;
    }
    if (!m_waitingForReply) {
        m_waitingForReply = true;
        m_replyTimer.start(*m_replyWait);
        if (!m_reply.isEmpty())
            m_quietTimer.start();
    }
}

void Sender::handleWriteFailed(const PortFailure& failure) {
    Say(QStringLiteral("writing to %1 failed: %2").arg(failure.device, failure.detail));
    finish(kPortTrouble);
}

void Sender::collectReply() {
    if (!m_replyWait)
        return;
    m_reply += m_link.ReadAll();
    if (m_waitingForReply && !m_reply.isEmpty())
        m_quietTimer.start();
}

void Sender::printReply() {
    if (m_done)
        return;
    m_reply += m_link.ReadAll();
    if (m_reply.isEmpty()) {
        Say(QStringLiteral("no reply from %1 within %2 ms")
                .arg(m_link.deviceName())
                .arg(m_replyWait->count()));
        finish(kNoReply);
        return;
    }
    std::fputs((m_reply + '\n').toUtf8().constData(), stdout);
    finish(kSent);
}

void Sender::showProgress(bool last) {
    if (!m_showProgress)
        return;
    const std::chrono::nanoseconds now = SteadyNow();
    if (!last && now - m_lastProgress < kProgressEvery)
        return;
    m_lastProgress = now;
    const QString line =
        QStringLiteral("\r%1 of %2 frames sent, %3 s elapsed, %4 s remaining ")
            .arg(m_scheduler->sent())
            .arg(m_scheduler->total())
            .arg(Seconds(m_scheduler->elapsed()), Seconds(m_scheduler->remaining()));
    std::fputs((line + (last ? "\n" : "")).toLocal8Bit().constData(), stderr);
}

void Sender::finish(int status) {
    if (m_done)
        return;
    m_done = true;
    m_deadline.stop();
    m_replyTimer.stop();
    m_quietTimer.stop();
    if (m_showProgress && status != kSent)
        std::fputs("\n", stderr);
    std::fflush(stdout);
    emit finished(status);
}

} // namespace quillon::cli
