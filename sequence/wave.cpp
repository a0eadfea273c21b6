#include "wave.h"

#include "command_words.h"
#include "frames.h"
#include "line_time.h"
#include "quoted_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>
#include <utility>

namespace quillon::sequence {

namespace {

constexpr const char* kWaveForm =
    "CH:SHAPE[,freq=HZ][,low=V][,high=V][,phase=DEG][,duty=PCT] (CH 0..7; SHAPE sine, square, "
    "triangle or sawtooth)";
constexpr const char* kHoldForm = "--hold CH=V (CH 0..7, V in volts)";

constexpr std::pair<std::string_view, WaveShape> kShapes[] = {
    {"sine", WaveShape::Sine},
    {"square", WaveShape::Square},
    {"triangle", WaveShape::Triangle},
    {"sawtooth", WaveShape::Sawtooth},
};

// The widest single-channel field, in millivolts (9999 for four digits).
constexpr long long kMostMillivolts = [] {
    long long most = 1;
    for (std::size_t digit = 0; digit < layout::kSingleChannelValueWidth; ++digit)
        most *= 10;
    return most - 1;
}();

[[noreturn]] void Refuse(const std::string& what, const char* form) {
    throw Refusal(what + "; accepted: " + form);
}

// A number for a message, to at most `decimals` places, without trailing zeros.
std::string Shown(double value, int decimals) {
    char digits[512];
    const auto [end, error] =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, decimals);
    if (error != std::errc())
        return "(a number too long to show)";
    std::string text(digits, end);
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0')
            text.pop_back();
        if (text.back() == '.')
            text.pop_back();
    }
    return text;
}

// A number as given, in its shortest form: 12, -0.1, 1e+300.
std::string Shortest(double value) {
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    return std::string(digits, end);
}

std::string ChannelList(const std::vector<int>& channels) {
    std::string list;
    for (const int channel : channels)
        list += (list.empty() ? "" : ", ") + std::to_string(channel);
    return list;
}

// A decimal number as the C locale writes it, whatever the process's locale.
std::optional<double> Decimal(std::string_view text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}

int Channel(std::string_view text, std::string_view whole, const char* form) {
    const bool valid = text.size() == layout::kChannelWidth &&
                       text[0] >= '0' + layout::kFirstChannel &&
                       text[0] <= '0' + layout::kLastChannel;
    if (!valid)
        Refuse("channel " + QuotedText(text) + " of " + QuotedText(whole) + " is not one of 0..7",
               form);
    return text[0] - '0';
}

WaveShape Shape(std::string_view name, std::string_view whole) {
    for (const auto& [word, shape] : kShapes) {
        if (name == word)
            return shape;
    }
    Refuse("unknown shape " + QuotedText(name) + " in " + QuotedText(whole), kWaveForm);
}

void SetSetting(Wave& wave, std::string_view setting, std::string_view whole) {
    const std::size_t equals = setting.find('=');
    const std::string_view key = setting.substr(0, equals);
    const std::string_view valueText =
        equals == std::string_view::npos ? std::string_view() : setting.substr(equals + 1);
    const std::pair<std::string_view, double*> keys[] = {
        {"freq", &wave.frequencyHz},   {"low", &wave.lowVolts},     {"high", &wave.highVolts},
        {"phase", &wave.phaseDegrees}, {"duty", &wave.dutyPercent},
    };
    const auto known = std::find_if(std::begin(keys), std::end(keys),
                                    [&](const auto& entry) { return entry.first == key; });
    if (known == std::end(keys))
        Refuse("unknown setting " + QuotedText(setting) + " in " + QuotedText(whole), kWaveForm);
    const std::optional<double> value = Decimal(valueText);
    if (!value)
        Refuse(std::string(key) + "=" + QuotedText(valueText) + " in " + QuotedText(whole) +
                   " is not a number",
               kWaveForm);
    *known->second = *value;
}

// Whole millivolts; the default rounding mode rounds half to even, as the eight-channel codes do.
double Millivolts(double volts) {
    return std::nearbyint(volts * layout::kSingleChannelScale);
}

std::string MillivoltText(double rounded) {
    const auto millivolts = static_cast<long long>(rounded);
    const auto scale = static_cast<long long>(layout::kSingleChannelScale);
    std::string fraction = std::to_string(millivolts % scale);
    fraction.insert(0, layout::kSingleChannelValueWidth - 1 - fraction.size(), '0');
    return std::to_string(millivolts / scale) + '.' + fraction;
}

std::optional<std::string> CodeText(double volts) {
    try {
        return std::to_string(ToByte(volts * layout::kCodeSteps / layout::kFullScaleVolts));
    } catch (const ConversionError&) {
        return std::nullopt;
    }
}

std::string SingleRange() {
    return "single-channel frames carry 0 to " +
           Shown(double(kMostMillivolts) / layout::kSingleChannelScale, 3) + " V in 1 mV steps";
}

std::string EightRange() {
    const double step = layout::kFullScaleVolts / layout::kCodeSteps;
    return "eight-channel frames carry 0 to " + Shown((layout::kCodeSteps - 1) * step, 3) +
           " V in steps of " + Shown(step * 1000, 1) + " mV";
}

std::string LongestText() {
    return std::to_string(std::chrono::duration_cast<std::chrono::days>(kLongestSchedule).count()) +
           " days";
}

// The samples before `seconds`: a count within a hair of a whole number is that number, so a
// duration of 0.3 s at 10 frames a second is the 3 frames it says.
double SamplesBefore(double seconds, double rateHz) {
    const double exact = seconds * rateHz;
    const double whole = std::round(exact);
    return std::abs(exact - whole) <= 1e-9 * std::max(1.0, whole) ? whole : std::ceil(exact);
}

} // namespace

Wave ParseWave(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        Refuse(QuotedText(text) + " is not CH:SHAPE", kWaveForm);
    Wave wave;
    wave.highVolts = layout::kFullScaleVolts;
    wave.channel = Channel(text.substr(0, colon), text, kWaveForm);
    std::vector<std::string_view> parts;
    const std::string_view rest = text.substr(colon + 1);
    for (std::size_t start = 0;;) {
        const std::size_t comma = rest.find(',', start);
        parts.push_back(rest.substr(start, comma - start));
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    wave.shape = Shape(parts.front(), text);
    std::vector<std::string_view> keysSeen;
    for (std::size_t k = 1; k < parts.size(); ++k) {
        const std::string_view key = parts[k].substr(0, parts[k].find('='));
        if (std::find(keysSeen.begin(), keysSeen.end(), key) != keysSeen.end())
            Refuse(QuotedText(key) + " given twice in " + QuotedText(text), kWaveForm);
        keysSeen.push_back(key);
        SetSetting(wave, parts[k], text);
    }
    if (!(wave.frequencyHz > 0))
        Refuse("freq=" + Shortest(wave.frequencyHz) + " in " + QuotedText(text) +
                   " is not above zero",
               kWaveForm);
    if (!(wave.dutyPercent >= 0 && wave.dutyPercent <= 100))
        Refuse("duty=" + Shortest(wave.dutyPercent) + " in " + QuotedText(text) +
                   " is not a percentage 0 to 100",
               kWaveForm);
    if (wave.lowVolts > wave.highVolts)
        Refuse("low=" + Shortest(wave.lowVolts) + " is above high=" + Shortest(wave.highVolts) +
                   " in " + QuotedText(text),
               kWaveForm);
    return wave;
}

Hold ParseHold(std::string_view text) {
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos)
        Refuse("--hold " + QuotedText(text) + " is not CH=V", kHoldForm);
    Hold hold;
    hold.channel = Channel(text.substr(0, equals), text, kHoldForm);
    const std::optional<double> volts = Decimal(text.substr(equals + 1));
    if (!volts)
        Refuse("--hold " + QuotedText(text) + " has no number of volts", kHoldForm);
    hold.volts = *volts;
    return hold;
}

double WaveLevel(const Wave& wave, double seconds) {
    const double turns = wave.frequencyHz * seconds + wave.phaseDegrees / 360;
    double p = turns - std::floor(turns);
    if (p >= 1) // a turn a hair below a whole one, rounded up by the subtraction
        p = 0;
    const double low = wave.lowVolts;
    const double span = wave.highVolts - wave.lowVolts;
    double level = low;
    switch (wave.shape) {
    case WaveShape::Sine:
        level = low + span * (1 + std::sin(2 * std::numbers::pi * p)) / 2;
        break;
    case WaveShape::Square:
        level = p < wave.dutyPercent / 100 ? wave.highVolts : low;
        break;
    case WaveShape::Triangle:
        level = p < 0.5 ? low + span * 2 * p : low + span * (2 - 2 * p);
        break;
    case WaveShape::Sawtooth:
        level = low + span * p;
        break;
    }
    // Rounding never takes a wave past its levels, which are the ones checked against the frames.
    return std::clamp(level, low, wave.highVolts);
}

WaveSchedule::WaveSchedule(WavePlan plan) : m_plan(std::move(plan)) {
    m_frames = m_plan.waves.size() > 1 ? WaveFrames::EightChannel : WaveFrames::SingleChannel;
    checkChannels();
    checkLevels();
    for (const Hold& hold : m_plan.holds)
        m_codes[std::size_t(hold.channel)] = *CodeText(hold.volts);

    const double lineRateHz = double(kLineBytesPerSecond) / double(kFrameLength);
    const std::optional<double> rate = m_plan.rateHz;
    if (rate && !(*rate >= kSlowestRateHz))
        throw Refusal("a rate below one frame a day (0.0000115741 frames a second) is too slow");
    m_heldToLine = rate && *rate > lineRateHz;
    m_pacedByLine = !rate || m_heldToLine;
    m_rateHz = m_pacedByLine ? lineRateHz : *rate;
    checkFrequencies();

    const std::size_t most = framesWithin(kLongestSchedule);
    std::optional<double> seconds = m_plan.durationSeconds;
    if (m_plan.cycles) {
        double slowest = m_plan.waves.front().frequencyHz;
        for (const Wave& wave : m_plan.waves)
            slowest = std::min(slowest, wave.frequencyHz);
        seconds = *m_plan.cycles / slowest;
    }
    m_endless = !seconds;
    if (m_endless) {
        m_size = most;
        return;
    }
    const double count = SamplesBefore(*seconds, m_rateHz);
    if (!(count <= double(most)))
        throw Refusal("the wave would play for longer than " + LongestText() +
                      "; a wave plays for at most that");
    m_size = std::max<std::size_t>(1, std::size_t(count));
}

void WaveSchedule::checkChannels() const {
    if (m_plan.waves.empty())
        Refuse("no wave given", kWaveForm);
    std::array<bool, layout::kEightChannelEntries> waving{};
    std::array<bool, layout::kEightChannelEntries> held{};
    for (const Wave& wave : m_plan.waves) {
        if (waving[std::size_t(wave.channel)])
            Refuse("channel " + std::to_string(wave.channel) + " has two waves", kWaveForm);
        waving[std::size_t(wave.channel)] = true;
    }
    for (const Hold& hold : m_plan.holds) {
        const std::string channel = "channel " + std::to_string(hold.channel);
        if (waving[std::size_t(hold.channel)])
            Refuse(channel + " has a wave and a --hold", kHoldForm);
        if (held[std::size_t(hold.channel)])
            Refuse(channel + " is held twice", kHoldForm);
        held[std::size_t(hold.channel)] = true;
    }
    if (m_frames == WaveFrames::SingleChannel && !m_plan.holds.empty())
        Refuse("--hold is for waves on two or more channels; one wave goes out as single-channel "
               "frames and leaves the other channels as they are",
               kHoldForm);
    std::vector<int> unset;
    for (int channel = layout::kFirstChannel; channel <= layout::kLastChannel; ++channel) {
        if (m_frames == WaveFrames::EightChannel && !waving[std::size_t(channel)] &&
            !held[std::size_t(channel)])
            unset.push_back(channel);
    }
    if (!unset.empty())
        Refuse("channel" + std::string(unset.size() > 1 ? "s " : " ") + ChannelList(unset) +
                   " need a level: eight-channel frames set every channel",
               kHoldForm);
}

void WaveSchedule::checkLevels() const {
    for (const Wave& wave : m_plan.waves) {
        const std::string levels = "channel " + std::to_string(wave.channel) + "'s levels " +
                                   Shortest(wave.lowVolts) + " to " + Shortest(wave.highVolts) +
                                   " V";
        if (m_frames == WaveFrames::SingleChannel) {
            for (const double volts : {wave.lowVolts, wave.highVolts}) {
                const double millivolts = Millivolts(volts);
                if (!(millivolts >= 0 && millivolts <= double(kMostMillivolts)))
                    throw Refusal(levels + " are beyond what " + SingleRange());
            }
        } else if (!CodeText(wave.lowVolts) || !CodeText(wave.highVolts)) {
            throw Refusal(levels + " are beyond what " + EightRange());
        }
    }
    for (const Hold& hold : m_plan.holds) {
        if (!CodeText(hold.volts))
            throw Refusal("--hold " + std::to_string(hold.channel) + "=" + Shortest(hold.volts) +
                          " is beyond what " + EightRange());
    }
}

void WaveSchedule::checkFrequencies() const {
    const double highest = std::floor(m_rateHz / 2 * 1000) / 1000;
    for (const Wave& wave : m_plan.waves) {
        if (wave.frequencyHz > m_rateHz / 2)
            throw Refusal("channel " + std::to_string(wave.channel) + "'s freq=" +
                          Shortest(wave.frequencyHz) + " is above half of " + Shown(m_rateHz, 3) +
                          " frames a second and would show as another frequency; at most " +
                          Shown(highest, 3) + " Hz at this rate");
    }
}

std::size_t WaveSchedule::framesWithin(Nanoseconds length) const {
    const Nanoseconds lineTime = LineTime(kFrameLength);
    auto count = std::size_t(double((length - lineTime).count()) / 1e9 * m_rateHz) + 1;
    while (count > 1 && offset(count - 1) + lineTime > length)
        --count;
    return count;
}

std::vector<std::string> WaveSchedule::notices() const {
    std::vector<std::string> notices;
    for (const Wave& wave : m_plan.waves) {
        if (wave.frequencyHz > m_rateHz / 10)
            notices.push_back("channel " + std::to_string(wave.channel) + "'s " +
                              Shortest(wave.frequencyHz) + " Hz wave has " +
                              Shown(m_rateHz / wave.frequencyHz, 1) + " points a period at " +
                              Shown(m_rateHz, 3) + " frames a second");
    }
    return notices;
}

double WaveSchedule::sampleTime(std::size_t index) const {
    return double(index) / m_rateHz;
}

Nanoseconds WaveSchedule::offset(std::size_t index) const {
    if (m_pacedByLine)
        return LineTime(index * kFrameLength);
    return Nanoseconds(std::llround(double(index) * 1e9 / m_rateHz));
}

Nanoseconds WaveSchedule::length() const {
    return offset(m_size - 1) + LineTime(kFrameLength);
}

Frame WaveSchedule::frame(std::size_t index) const {
    const double seconds = sampleTime(index);
    if (m_frames == WaveFrames::SingleChannel) {
        const Wave& wave = m_plan.waves.front();
        return ParseFrameCommand({std::string(kSingleWord), std::to_string(wave.channel),
                                  MillivoltText(Millivolts(WaveLevel(wave, seconds)))});
    }
    std::vector<std::string> words{std::string(kEightWord)};
    words.insert(words.end(), m_codes.begin(), m_codes.end());
    for (const Wave& wave : m_plan.waves)
        words[std::size_t(wave.channel) + 1] = *CodeText(WaveLevel(wave, seconds));
    return ParseFrameCommand(words);
}

std::string ScheduleText::lines(std::size_t index) {
    const Frame frame = m_schedule.frame(index);
    const std::string wait = m_waits.before(m_schedule.offset(index), LineTime(frame.bytes.size()));
    return wait + StepWords(frame).value_or("# " + DisplayFrame(frame)) + '\n';
}

} // namespace quillon::sequence
