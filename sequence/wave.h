#pragma once

// Waves on the board's channels (sine, square, triangle, sawtooth, each with its frequency,
// levels, phase and duty cycle), made into frames one at a time as the schedule is asked for
// them: a wave of thirty days takes no more memory than one of ten seconds.

#include "commands.h"
#include "frame_layout.h"
#include "line_log.h"
#include "play_schedule.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::sequence {

enum class WaveShape { Sine, Square, Triangle, Sawtooth };

struct Wave {
    int channel = 0;
    WaveShape shape = WaveShape::Sine;
    double frequencyHz = 1;
    double lowVolts = 0;
    double highVolts = 5;
    double phaseDegrees = 0;
    double dutyPercent = 50;
};

// A channel without a wave, kept at one level while eight-channel frames set every channel.
struct Hold {
    int channel = 0;
    double volts = 0;
};

// "CH:SHAPE[,freq=HZ][,low=V][,high=V][,phase=DEG][,duty=PCT]"; throws Refusal.
Wave ParseWave(std::string_view text);
// "CH=V"; throws Refusal.
Hold ParseHold(std::string_view text);

// The wave's level in volts `seconds` after the start.
double WaveLevel(const Wave& wave, double seconds);

struct WavePlan {
    std::vector<Wave> waves;
    std::vector<Hold> holds;
    std::optional<double> rateHz;          // frames a second; else one frame per line time
    std::optional<double> durationSeconds; // the samples before this time
    std::optional<double> cycles;          // periods of the slowest wave
};

// One waving channel goes out as single-channel frames (1 mV steps); two or more as
// eight-channel frames, so that every channel steps at once.
enum class WaveFrames { SingleChannel, EightChannel };

class WaveSchedule : public Schedule {
public:
    // Throws Refusal for a plan the board cannot show as asked: a channel twice, a channel left
    // without a hold under eight-channel frames, a level the frames cannot carry, a frequency
    // above half the rate, or a wave longer than kLongestSchedule.
    explicit WaveSchedule(WavePlan plan);

    std::size_t size() const override { return m_size; }
    Frame frame(std::size_t index) const override;
    Nanoseconds offset(std::size_t index) const override;
    Nanoseconds length() const override;

    WaveFrames frames() const { return m_frames; }
    // Without a duration or a count of cycles the wave runs until stopped.
    bool endless() const override { return m_endless; }
    bool heldToLine() const { return m_heldToLine; }
    double effectiveRateHz() const { return m_rateHz; }
    // Seconds from the start to the frame's sample.
    double sampleTime(std::size_t index) const;
    // One line for each wave that has fewer than ten points a period.
    std::vector<std::string> notices() const;

private:
    void checkChannels() const;
    void checkLevels() const;
    void checkFrequencies() const;
    std::size_t framesWithin(Nanoseconds length) const;

    WavePlan m_plan;
    WaveFrames m_frames = WaveFrames::SingleChannel;
    std::array<std::string, layout::kEightChannelEntries> m_codes; // the holds' codes
    bool m_heldToLine = false;
    bool m_pacedByLine = true; // each frame follows the last as soon as the line has carried it
    double m_rateHz = 0;
    bool m_endless = false;
    std::size_t m_size = 0;
};

// A schedule written as a sequence that plays back to the same frames at the same times: each
// frame's command words, after the wait lines the log would write before it.
class ScheduleText {
public:
    explicit ScheduleText(const Schedule& schedule) : m_schedule(schedule) {}

    // The lines of the frame at `index`, asked in order from the first.
    std::string lines(std::size_t index);

private:
    const Schedule& m_schedule;
    WaitLines m_waits;
};

} // namespace quillon::sequence
