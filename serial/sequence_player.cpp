#include "sequence_player.h"

#include <span>

namespace quillon {

SequencePlayer::SequencePlayer(SerialLink& link, const sequence::Schedule& schedule,
                               QObject* parent)
    : QObject(parent), m_link(link), m_scheduler(schedule, SteadyNow) {
    connect(&m_timer, &DeadlineTimer::fired, this, &SequencePlayer::handleDeadline);
    connect(&m_link, &SerialLink::allWritten, this, &SequencePlayer::finishWhenOut);
    connect(&m_link, &SerialLink::writeFailed, this, &SequencePlayer::fail);
    // A board pulled between two frames is a failure of the play, not its end.
    connect(&m_link, &SerialLink::portLost, this, &SequencePlayer::fail);
    connect(&m_link, &SerialLink::frameWritten, this, [this] {
        if (isPlaying())
            ++m_framesWritten;
    });
}

void SequencePlayer::start() {
    if (m_state != State::Ready)
        return;
    m_state = State::Queueing;
    if (!m_timer.isValid()) {
        finish(Outcome::TimerFailed);
        return;
    }
    m_scheduler.start();
    queueDueFrames();
}

void SequencePlayer::stop() {
    if (!isPlaying())
        return;
    m_state = State::Stopping;
    m_timer.stop();
    finishWhenOut();
}

void SequencePlayer::queueDueFrames() {
    while (const sequence::Frame* frame = m_scheduler.takeDue()) {
        const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(frame->bytes.data()),
                                     frame->bytes.size());
        switch (m_link.WriteBytes(bytes)) {
        case WriteOutcome::Queued:
            break;
        case WriteOutcome::NoPort:
            fail(m_link.lastFailure());
            return;
        case WriteOutcome::LineBusy:
            fail({m_link.deviceName(), PortError::Timeout,
                  tr("The line does not keep up with the sequence")});
            return;
        }
        if (m_state == State::Done)
            return; // the write failed at once
    }
    emit progressed();
    if (!m_scheduler.finished()) {
        fireAt(m_scheduler.nextDueAt());
        return;
    }
    // The last frame is queued: done once the line has carried it and any last pause passed.
    m_state = State::LastQueued;
    fireAt(m_scheduler.endsAt());
}

void SequencePlayer::handleDeadline() {
    switch (m_state) {
    case State::Queueing:
        queueDueFrames();
        return;
    case State::LastQueued:
        m_state = State::Ending;
        finishWhenOut();
        return;
    case State::Ready:
    case State::Ending:
    case State::Stopping:
    case State::Done:
        return;
    }
}

void SequencePlayer::fireAt(std::chrono::nanoseconds steadyTime) {
    if (!m_timer.fireAt(steadyTime))
        finish(Outcome::TimerFailed);
}

void SequencePlayer::finishWhenOut() {
    if (!isPlaying() || m_link.bytesToWrite() > 0)
        return;
    if (m_state == State::Stopping)
        finish(Outcome::Stopped);
    else if (m_state == State::Ending)
        finish(Outcome::Played);
}

void SequencePlayer::fail(const PortFailure& failure) {
    if (!isPlaying())
        return;
    m_portFailure = failure;
    finish(Outcome::PortFailed);
}

void SequencePlayer::finish(Outcome outcome) {
    if (m_state == State::Done)
        return;
    m_state = State::Done;
    m_timer.stop();
    emit finished(outcome);
}

} // namespace quillon
