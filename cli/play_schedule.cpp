#include "play_schedule.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace quillon::cli {

namespace {

constexpr std::int64_t kBitsPerByte = 10; // start bit, 8 data bits, stop bit
constexpr std::int64_t kBaud = 9600;
constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;

std::vector<std::string> Words(std::string_view line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        if (i > start)
            words.emplace_back(line.substr(start, i - start));
    }
    return words;
}

} // namespace

std::vector<Step> ParseSequence(std::string_view text) {
    std::vector<Step> steps;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const std::vector<std::string> words = Words(line);
        if (words.empty() || words[0].front() == '#')
            continue;
        try {
            steps.push_back(ParseSequenceCommand(words));
        } catch (const Refusal& refusal) {
            throw Refusal("line " + std::to_string(lineNumber) + ": " + refusal.what());
        }
    }
    return steps;
}

Nanoseconds LineTime(std::size_t bytes) {
    // Whole nanoseconds from the byte count, so long sequences add no rounding up.
    return Nanoseconds(std::int64_t(bytes) * kBitsPerByte * kNanosecondsPerSecond / kBaud);
}

PlaySchedule::PlaySchedule(const std::vector<Step>& steps, std::optional<double> rateHz) {
    for (const Step& step : steps) {
        if (const Frame* frame = std::get_if<Frame>(&step)) {
            m_frames.push_back(*frame);
            m_longestFrame = std::max(m_longestFrame, std::size_t(frame->bytes.size()));
        }
    }
    const double lineRateHz =
        m_longestFrame == 0 ? 0 : double(kBaud) / double(kBitsPerByte * m_longestFrame);
    m_heldToLine = rateHz && m_longestFrame > 0 && *rateHz > lineRateHz;
    m_effectiveRateHz = rateHz && !m_heldToLine ? *rateHz : lineRateHz;

    // Each offset comes from the frame's index (or the bytes before it) and the pauses before
    // it, never from the previous offset plus a period, so no error accumulates.
    std::int64_t bytesBefore = 0;
    std::size_t index = 0;
    Nanoseconds paused{0};
    Nanoseconds lastLineTime{0};
    Nanoseconds pausedAfterLast{0};
    for (const Step& step : steps) {
        if (const Pause* pause = std::get_if<Pause>(&step)) {
            paused += pause->length;
            pausedAfterLast += pause->length;
            continue;
        }
        pausedAfterLast = Nanoseconds(0);
        Nanoseconds offset;
        if (!rateHz)
            offset = LineTime(std::size_t(bytesBefore));
        else if (m_heldToLine)
            offset = LineTime(index * m_longestFrame);
        else
            offset = Nanoseconds(std::llround(double(index) * 1e9 / *rateHz));
        m_offsets.push_back(offset + paused);
        lastLineTime = LineTime(std::size_t(m_frames[index].bytes.size()));
        bytesBefore += m_frames[index].bytes.size();
        ++index;
    }
    m_length = m_offsets.empty() ? paused : m_offsets.back() + lastLineTime + pausedAfterLast;
}

PlayScheduler::PlayScheduler(const PlaySchedule& schedule, Clock clock)
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
    return &m_schedule.frame(m_next++);
}

Nanoseconds PlayScheduler::elapsed() const {
    return m_clock() - m_start;
}

Nanoseconds PlayScheduler::remaining() const {
    return std::max(Nanoseconds(0), m_schedule.length() - elapsed());
}

} // namespace quillon::cli
