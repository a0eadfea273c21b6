// libFuzzer target for sequences, the text a file or a pipe gives quillon-send and the panel.
// Whatever the parser accepts must write back as canonical words that parse to the same steps,
// and a log of its frames must play back to the same frames; messages quote safely. A wave
// accepted stays within its levels and prints as a sequence that plays back to its frames.

#include "commands.h"
#include "fuzz_require.h"
#include "line_log.h"
#include "quoted_text.h"
#include "sequence_reader.h"
#include "wave.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace {

using namespace quillon::sequence;

bool SameStep(const Step& a, const Step& b) {
    if (a.index() != b.index())
        return false;
    if (const Frame* frame = std::get_if<Frame>(&a))
        return frame->bytes == std::get<Frame>(b).bytes &&
               frame->binary == std::get<Frame>(b).binary;
    return std::get<Pause>(a).length == std::get<Pause>(b).length;
}

bool SameSteps(const std::vector<Step>& a, const std::vector<Step>& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!SameStep(a[i], b[i]))
            return false;
    }
    return true;
}

std::vector<Step> FramesOf(const std::vector<Step>& steps) {
    std::vector<Step> frames;
    for (const Step& step : steps) {
        if (std::holds_alternative<Frame>(step))
            frames.push_back(step);
    }
    return frames;
}

// No byte below 0x20 or 0x7F may reach a terminal through a message.
void CheckMessageIsSafe(std::string_view message) {
    for (const char c : message)
        REQUIRE(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    REQUIRE(quillon::IsValidUtf8(message));
}

void CheckSequence(std::string_view text) {
    std::vector<Step> steps;
    try {
        steps = ParseSequence(text);
    } catch (const Refusal& refusal) {
        CheckMessageIsSafe(refusal.what());
        return;
    }
    std::string canonical;
    for (const Step& step : steps) {
        const std::optional<std::string> words = StepWords(step);
        REQUIRE(words.has_value());
        canonical += *words + '\n';
    }
    REQUIRE(SameSteps(ParseSequence(canonical), steps));

    // Frames logged one after another, with the log's own comments and waits, play back as the
    // same frames.
    LogFormat format;
    LogMoment moment{};
    std::string log = format.header("fuzz", std::nullopt, moment);
    for (const Step& step : FramesOf(steps)) {
        moment.steady += std::chrono::milliseconds(30);
        moment.wall += std::chrono::milliseconds(30);
        log += format.sent(std::get<Frame>(step).bytes, moment);
        log += format.received(text.size(), text.substr(0, 600), moment);
    }
    REQUIRE(SameSteps(FramesOf(ParseSequence(log)), FramesOf(steps)));
}

void CheckWave(std::string_view text) {
    Wave wave;
    try {
        wave = ParseWave(text);
    } catch (const Refusal& refusal) {
        CheckMessageIsSafe(refusal.what());
        return;
    }
    REQUIRE(wave.channel >= 0 && wave.channel <= 7);
    REQUIRE(wave.frequencyHz > 0 && wave.dutyPercent >= 0 && wave.dutyPercent <= 100);
    REQUIRE(wave.lowVolts <= wave.highVolts);
    for (const double seconds : {0.0, 0.3, 1.0, 1e6}) {
        const double level = WaveLevel(wave, seconds);
        REQUIRE(level >= wave.lowVolts && level <= wave.highVolts);
    }

    WavePlan plan;
    plan.waves = {wave};
    plan.rateHz = 40;
    plan.durationSeconds = 0.1;
    try {
        const WaveSchedule schedule(plan);
        REQUIRE(schedule.size() == 4);
        ScheduleText printed(schedule);
        std::string sequence;
        std::vector<Step> frames;
        for (std::size_t i = 0; i < schedule.size(); ++i) {
            sequence += printed.lines(i);
            frames.push_back(schedule.frame(i));
        }
        REQUIRE(SameSteps(FramesOf(ParseSequence(sequence)), frames));
    } catch (const Refusal& refusal) {
        CheckMessageIsSafe(refusal.what());
    }
}

void CheckQuoting(std::string_view text) {
    const std::string quoted = quillon::QuotedText(text);
    CheckMessageIsSafe(quoted);
    const std::string path = quillon::QuotedPath(text);
    CheckMessageIsSafe(path);
    const quillon::TextExcerpt excerpt = quillon::Excerpt(text);
    REQUIRE(excerpt.text.size() <= 4 * quillon::kQuotedCharacters);
    // Plain printable ASCII short enough is quoted as it is.
    bool plain = text.size() <= quillon::kQuotedCharacters;
    for (const char c : text)
        plain = plain && c >= 0x20 && c < 0x7F;
    if (plain)
        REQUIRE(!excerpt.cut && excerpt.text == text && excerpt.length == text.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckSequence(text);
    CheckWave(text);
    CheckQuoting(text);
    return 0;
}
