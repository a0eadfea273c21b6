#pragma once

// What each of the eight outputs held over the last 30 s, as steps: a value holds from the
// command that set it until the next one.

#include <array>
#include <chrono>
#include <deque>

namespace quillon::board {

class OutputHistory {
public:
    using Clock = std::chrono::steady_clock;

    struct Step {
        Clock::time_point start;
        double volts = 0.0;
    };

    static constexpr int kChannels = 8;
    static constexpr std::chrono::seconds kSpan{30};
    // Steps closer together than this merge into the later value: a 30 s chart cannot show them,
    // and it keeps a flood of commands to at most 3,000 steps a channel.
    static constexpr std::chrono::milliseconds kResolution{10};

    // Records that `channel` holds `volts` from `time` on (times never go back), and forgets
    // what ended more than kSpan before `time`.
    void record(Clock::time_point time, int channel, double volts);
    // Forgets the steps that ended more than kSpan before `now`; the one still in force stays.
    void prune(Clock::time_point now);

    // The steps of one channel, oldest first; the first may start before the span.
    const std::deque<Step>& steps(int channel) const;
    // The value `channel` held at `time`: 0 V before anything was recorded, as the board starts.
    double valueAt(int channel, Clock::time_point time) const;
    // True when no channel changed within the span before `now`, so a chart of it stands still.
    bool isSteady(Clock::time_point now) const;

private:
    std::array<std::deque<Step>, kChannels> m_steps;
};

} // namespace quillon::board
