#pragma once

// play: a sequence of commands read whole and checked before anything is sent, and the fixed
// schedule its frames go out on (start + offset, never sleep after sleep, so nothing drifts).

#include "commands.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace quillon::cli {

using Nanoseconds = std::chrono::nanoseconds;

// One command a line; blank lines and lines starting with '#' are skipped. Throws Refusal whose
// message starts with "line N: " for the first bad line.
std::vector<Step> ParseSequence(std::string_view text);

// How long a frame of `bytes` bytes takes on the line at 9600 baud, 8N1 (ten bits a byte).
Nanoseconds LineTime(std::size_t bytes);

class PlaySchedule {
public:
    // rateHz: frames a second; without it each frame follows the previous one as soon as the
    // line has carried it. A rate faster than the line carries the longest frame is held to the
    // line's rate (heldToLine()).
    PlaySchedule(const std::vector<Step>& steps, std::optional<double> rateHz);

    std::size_t size() const { return m_frames.size(); }
    const Frame& frame(std::size_t index) const { return m_frames[index]; }
    // When the frame is due, counted from the start of play.
    Nanoseconds offset(std::size_t index) const { return m_offsets[index]; }
    // From the start to the moment the last frame has been carried by the line and any pause
    // after it has passed.
    Nanoseconds length() const { return m_length; }

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
// in the program, a fake one in tests). It never sleeps: the caller asks when the next frame is
// due, waits by its own means, and takes it.
class PlayScheduler {
public:
    using Clock = std::function<Nanoseconds()>;

    PlayScheduler(const PlaySchedule& schedule, Clock clock);

    void start(); // the schedule's zero is now
    bool finished() const { return m_next == m_schedule.size(); }
    // The clock's time at which the next frame is due (only while not finished).
    Nanoseconds nextDueAt() const;
    // The next frame if it is due by now, else nothing; late frames come one per call, each at
    // its own place in the schedule, so lateness never shifts the frames after it.
    const Frame* takeDue();

    std::size_t sent() const { return m_next; }
    std::size_t total() const { return m_schedule.size(); }
    Nanoseconds startedAt() const { return m_start; }
    Nanoseconds endsAt() const { return m_start + m_schedule.length(); }
    Nanoseconds elapsed() const;
    Nanoseconds remaining() const;

private:
    const PlaySchedule& m_schedule;
    Clock m_clock;
    Nanoseconds m_start{0};
    std::size_t m_next = 0;
};

} // namespace quillon::cli
