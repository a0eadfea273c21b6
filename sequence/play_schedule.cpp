#include "play_schedule.h"

#include "line_time.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace quillon::sequence {

namespace {

const std::string kTooLong =
    "the sequence would play for longer than " +
    std::to_string(std::chrono::duration_cast<std::chrono::hours>(kLongestSchedule).count() / 24) +
    " days; a sequence plays for at most that";

// Adds a step's time to a running total that never passes the bound, so it cannot overflow.
Nanoseconds Within(Nanoseconds total, Nanoseconds more) {
    if (more > kLongestSchedule - total)
        throw Refusal(kTooLong);
    return total + more;
}

} // namespace

PlaySchedule::PlaySchedule(const std::vector<Step>& steps, std::optional<double> rateHz) {
    if (rateHz && !(*rateHz >= kSlowestRateHz))
        throw Refusal("a rate below one frame a day (0.0000115741 frames a second) is too slow");
    for (const Step& step : steps) {
        if (const Frame* frame = std::get_if<Frame>(&step)) {
            m_frames.push_back(*frame);
            m_longestFrame = std::max(m_longestFrame, frame->bytes.size());
        }
    }
    const double lineRateHz =
        m_longestFrame == 0 ? 0 : 1e9 / double(LineTime(m_longestFrame).count());
    m_heldToLine = rateHz && m_longestFrame > 0 && *rateHz > lineRateHz;
    m_effectiveRateHz = rateHz && !m_heldToLine ? *rateHz : lineRateHz;

    // Each offset comes from the frame's index (or the bytes before it) and the pauses before
    // it, never from the previous offset plus a period, so no error accumulates.
    std::size_t bytesBefore = 0;
    std::size_t index = 0;
    Nanoseconds paused{0};
    Nanoseconds lastLineTime{0};
    Nanoseconds pausedAfterLast{0};
    for (const Step& step : steps) {
        if (const Pause* pause = std::get_if<Pause>(&step)) {
            paused = Within(paused, pause->length);
            pausedAfterLast += pause->length;
            continue;
        }
        pausedAfterLast = Nanoseconds(0);
        Nanoseconds offset;
        if (!rateHz) {
            offset = LineTime(bytesBefore);
        } else if (m_heldToLine) {
            offset = LineTime(index * m_longestFrame);
        } else {
            const double nanoseconds = double(index) * 1e9 / *rateHz;
            if (nanoseconds > double(kLongestSchedule.count()))
                throw Refusal(kTooLong);
            offset = Nanoseconds(std::llround(nanoseconds));
        }
        m_offsets.push_back(Within(offset, paused));
        lastLineTime = LineTime(m_frames[index].bytes.size());
        bytesBefore += m_frames[index].bytes.size();
        ++index;
    }
    m_length = m_offsets.empty() ? paused
                                 : Within(Within(m_offsets.back(), lastLineTime), pausedAfterLast);
}

PlayScheduler::PlayScheduler(const Schedule& schedule, Clock clock)
    : m_schedule(schedule), m_clock(std::move(clock)) {}

void PlayScheduler::start() {
    m_start = m_clock();
    m_next = 0;
}

Nanoseconds PlayScheduler::nextDueAt() const {
    return m_start + m_schedule.offset(m_next);
}

const Frame* PlayScheduler::takeDue() {
    if (finished() || m_clock() < nextDueAt())
        return nullptr;
    m_taken = m_schedule.frame(m_next++);
    return &m_taken;
}

Nanoseconds PlayScheduler::elapsed() const {
    return m_clock() - m_start;
}

Nanoseconds PlayScheduler::remaining() const {
    return std::max(Nanoseconds(0), m_schedule.length() - elapsed());
}

} // namespace quillon::sequence
