#include "output_history.h"

#include <algorithm>

namespace quillon::board {

void OutputHistory::record(Clock::time_point time, int channel, double volts) {
    if (channel < 0 || channel >= kChannels)
        return;
    std::deque<Step>& steps = m_steps[std::size_t(channel)];
    if (!steps.empty() && steps.back().volts == volts)
        return;
    if (!steps.empty() && time - steps.back().start < kResolution)
        steps.back().volts = volts;
    else
        steps.push_back({time, volts});
    // The merge may have brought the last two steps to one value.
    if (steps.size() >= 2 && steps[steps.size() - 2].volts == steps.back().volts)
        steps.pop_back();
    prune(time);
}

void OutputHistory::prune(Clock::time_point now) {
    const Clock::time_point cutoff = now - kSpan;
    for (std::deque<Step>& steps : m_steps) {
        // A step ends where the next one starts.
        while (steps.size() >= 2 && steps[1].start <= cutoff)
            steps.pop_front();
    }
}

const std::deque<OutputHistory::Step>& OutputHistory::steps(int channel) const {
    return m_steps[std::size_t(std::clamp(channel, 0, kChannels - 1))];
}

double OutputHistory::valueAt(int channel, Clock::time_point time) const {
    const std::deque<Step>& channelSteps = steps(channel);
    const auto after =
        std::upper_bound(channelSteps.begin(), channelSteps.end(), time,
                         [](Clock::time_point t, const Step& step) { return t < step.start; });
    return after == channelSteps.begin() ? 0.0 : std::prev(after)->volts;
}

bool OutputHistory::isSteady(Clock::time_point now) const {
    return std::all_of(m_steps.begin(), m_steps.end(), [now](const std::deque<Step>& steps) {
        return steps.empty() || (steps.size() == 1 && steps.front().start <= now - kSpan);
    });
}

} // namespace quillon::board
