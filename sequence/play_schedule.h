#pragma once

// The fixed schedule a sequence's frames go out on (start + offset, never sleep after sleep, so
// nothing drifts), and the scheduler that hands them out as they fall due. A schedule is either
// read whole (PlaySchedule) or made frame by frame as it is asked (a wave).

#include "commands.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

namespace quillon::sequence {

using Nanoseconds = std::chrono::nanoseconds;

// Bounds on a schedule: a rate slower than one frame a day, or a sequence that would play for
// longer than this, is refused, so no time computed from them can overflow.
inline constexpr double kSlowestRateHz = 1.0 / 86400;
inline constexpr Nanoseconds kLongestSchedule = std::chrono::hours(24 * 30);

// Frames at fixed offsets from the start of play.
class Schedule {
public:
    virtual ~Schedule() = default;

    virtual std::size_t size() const = 0;
    virtual Frame frame(std::size_t index) const = 0;
    // When the frame is due, counted from the start of play.
    virtual Nanoseconds offset(std::size_t index) const = 0;
    // From the start to the moment the last frame has been carried by the line and any pause
    // after it has passed.
    virtual Nanoseconds length() const = 0;
    // Runs until it is stopped; its size only bounds it (by kLongestSchedule).
    virtual bool endless() const { return false; }
};

class PlaySchedule : public Schedule {
public:
    // rateHz: frames a second; without it each frame follows the previous one as soon as the
    // line has carried it. A rate faster than the line carries the longest frame is held to the
    // line's rate (heldToLine()). Throws Refusal for a rate below kSlowestRateHz or a schedule
    // longer than kLongestSchedule.
    PlaySchedule(const std::vector<Step>& steps, std::optional<double> rateHz);

    std::size_t size() const override { return m_frames.size(); }
    Frame frame(std::size_t index) const override { return m_frames[index]; }
    Nanoseconds offset(std::size_t index) const override { return m_offsets[index]; }
    Nanoseconds length() const override { return m_length; }

    bool heldToLine() const { return m_heldToLine; }
    double effectiveRateHz() const { return m_effectiveRateHz; }
    std::size_t longestFrame() const { return m_longestFrame; }

private:
    std::vector<Frame> m_frames;
    std::vector<Nanoseconds> m_offsets;
    Nanoseconds m_length{0};
    bool m_heldToLine = false;
    double m_effectiveRateHz = 0;
    std::size_t m_longestFrame = 0;
};

// Hands out the frames of a schedule as they fall due on a clock given to it (the steady clock
// in the programs, a fake one in tests). It never sleeps: the caller asks when the next frame is
// due, waits by its own means, and takes it.
class PlayScheduler {
public:
    using Clock = std::function<Nanoseconds()>;

    PlayScheduler(const Schedule& schedule, Clock clock);

    void start(); // the schedule's zero is now
    bool finished() const { return m_next == m_schedule.size(); }
    // The clock's time at which the next frame is due (only while not finished).
    Nanoseconds nextDueAt() const;
    // The next frame if it is due by now, else nothing; late frames come one per call, each at
    // its own place in the schedule, so lateness never shifts the frames after it. The frame
    // stays valid until the next call.
    const Frame* takeDue();

    std::size_t sent() const { return m_next; }
    std::size_t total() const { return m_schedule.size(); }
    bool endless() const { return m_schedule.endless(); }
    Nanoseconds startedAt() const { return m_start; }
    Nanoseconds endsAt() const { return m_start + m_schedule.length(); }
    Nanoseconds elapsed() const;
    Nanoseconds remaining() const;

private:
    const Schedule& m_schedule;
    Clock m_clock;
    Frame m_taken;
    Nanoseconds m_start{0};
    std::size_t m_next = 0;
};

} // namespace quillon::sequence
