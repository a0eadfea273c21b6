#pragma once

// Plays a sequence's schedule on the link: each frame is queued when it falls due on the steady
// clock, and the play ends once the last frame has had its time on the line, when it is stopped
// (after the frames already queued are out), or at the first failure.

#include "deadline_timer.h"
#include "play_schedule.h"
#include "serial_link.h"

#include <QObject>
#include <QString>

#include <cstddef>
#include <memory>

namespace quillon {

class SequencePlayer : public QObject {
    Q_OBJECT

public:
    enum class Outcome {
        Played,      // every frame went out and the schedule has run its course
        Stopped,     // stop(): no frame after the ones already queued
        PortFailed,  // the port could not take a frame, or was lost: portFailure()
        TimerFailed, // the system would not keep time: timerError()
    };

    // `schedule` must outlive the player.
    SequencePlayer(SerialLink& link, const sequence::Schedule& schedule, QObject* parent = nullptr);

    void start();
    // Queues nothing more; finished(Stopped) once what is queued has gone out.
    void stop();

    bool isPlaying() const { return m_state != State::Ready && m_state != State::Done; }
    const sequence::PlayScheduler& scheduler() const { return m_scheduler; }
    // Frames whose last byte the driver has taken.
    std::size_t framesWritten() const { return m_framesWritten; }
    const PortFailure& portFailure() const { return m_portFailure; }
    QString timerError() const { return m_timer.errorString(); }

signals:
    // Frames were queued; the scheduler's counts moved.
    void progressed();
    void finished(quillon::SequencePlayer::Outcome outcome);

private:
    enum class State {
        Ready,      // not started
        Queueing,   // frames are queued as they fall due
        LastQueued, // every frame is queued; the schedule has not yet run its course
        Ending,     // the schedule has run its course; played once the line has carried all
        Stopping,   // stopped; ends once the frames queued have gone out
        Done,       // finished() was told
    };

    void queueDueFrames();
    void handleDeadline();
    void fireAt(std::chrono::nanoseconds steadyTime);
    void finishWhenOut();
    void fail(const PortFailure& failure);
    void finish(Outcome outcome);

    SerialLink& m_link;
    sequence::PlayScheduler m_scheduler;
    DeadlineTimer m_timer;
    PortFailure m_portFailure;
    std::size_t m_framesWritten = 0;
    State m_state = State::Ready;
};

} // namespace quillon
