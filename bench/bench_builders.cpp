// Frames per second of each builder against a naive build of the same frame with
// std::ostringstream, and heap allocations per frame.

#include "alloc_counter.h"
#include "bench_table.h"
#include "frames.h"
#include "line_log.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <iomanip>
#include <iostream>
#include <locale>
#include <map>
#include <sstream>

namespace quillon::bench {
namespace {

const ChannelEntry kSingleDefaults{"0", false, "1.100"};
const std::array<ChannelEntry, 4> kFourDefaults{
    {{"0", false, "1.00"}, {"1", false, "2.02"}, {"2", false, "3.86"}, {"3", false, "4.00"}}};
const std::array<std::string, 8> kEightDefaults{"20", "40", "60", "80", "100", "120", "140", "160"};

// The obvious way to write a value field with streams: read, scale, print 15 digits, pad.
std::string NaiveField(const std::string& text, double factor, int width) {
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    double number = 0;
    in >> number;
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << std::setprecision(15) << number * factor;
    std::ostringstream padded;
    padded << std::setw(width) << std::setfill('0') << out.str();
    return padded.str();
}

std::string NaiveSingle(const ChannelEntry& e) {
    std::ostringstream out;
    out << "00" << e.channel << (e.gainChecked ? '1' : '0') << NaiveField(e.value, 1000, 4)
        << "99999999999999";
    return out.str();
}

std::string NaiveFour(const std::array<ChannelEntry, 4>& entries) {
    std::ostringstream out;
    out << "10";
    for (const auto& e : entries)
        out << e.channel << (e.gainChecked ? '1' : '0') << NaiveField(e.value, 100, 3);
    return out.str();
}

std::string NaiveEight(const std::array<std::string, 8>& values) {
    std::ostringstream out;
    out << "20";
    for (const auto& v : values) {
        std::istringstream in(v);
        in.imbue(std::locale::classic());
        double number = 0;
        in >> number;
        out << '1' << static_cast<char>(static_cast<unsigned char>(std::nearbyint(number)));
    }
    out << "9999";
    return out.str();
}

template <typename Build> void RunBuilder(benchmark::State& state, Build build) {
    for (auto _ : state)
        benchmark::DoNotOptimize(build());
    state.SetItemsProcessed(state.iterations());
}

// Counted outside the benchmark loop, so the harness's own allocations stay out of the figure.
template <typename Build> double AllocationsPerFrame(Build build) {
    constexpr int kFrames = 1000;
    const std::size_t before = AllocationCount();
    for (int i = 0; i < kFrames; ++i)
        benchmark::DoNotOptimize(build());
    return double(AllocationCount() - before) / kFrames;
}

void BM_Single(benchmark::State& s) {
    RunBuilder(s, [] { return SingleChannelFrame(kSingleDefaults); });
}
void BM_SingleNaive(benchmark::State& s) {
    RunBuilder(s, [] { return NaiveSingle(kSingleDefaults); });
}
void BM_Four(benchmark::State& s) {
    RunBuilder(s, [] { return FourChannelFrame(kFourDefaults); });
}
void BM_FourNaive(benchmark::State& s) {
    RunBuilder(s, [] { return NaiveFour(kFourDefaults); });
}
void BM_Eight(benchmark::State& s) {
    RunBuilder(s, [] { return EightChannelFrame(kEightDefaults); });
}
void BM_EightNaive(benchmark::State& s) {
    RunBuilder(s, [] { return NaiveEight(kEightDefaults); });
}

// One log entry for a Send: the frame's words made from its bytes, the wait and the comment,
// appended to a file in one write; beside a bare write(2) of as many bytes to the same file.
std::string LogPath() {
    return "/tmp/quillon-bench-" + std::to_string(::getpid()) + ".log";
}

void BM_LogEntry(benchmark::State& s) {
    sequence::LogFile file;
    std::string error;
    file.open(LogPath(), &error);
    sequence::LogFormat format;
    const std::string frame = SingleChannelFrame(kSingleDefaults);
    for (auto _ : s) {
        const sequence::LogMoment moment = sequence::LogMoment::now();
        benchmark::DoNotOptimize(file.append(format.sent(frame, moment), &error));
    }
    s.SetItemsProcessed(s.iterations());
    file.close();
    ::unlink(LogPath().c_str());
}

void BM_LogEntryBareWrite(benchmark::State& s) {
    const int fd = ::open(LogPath().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    const std::string entry = "wait 1180\n# 21:03:04.512 sent 22 bytes\nsingle 0 1.100\n";
    for (auto _ : s)
        benchmark::DoNotOptimize(::write(fd, entry.data(), entry.size()));
    s.SetItemsProcessed(s.iterations());
    ::close(fd);
    ::unlink(LogPath().c_str());
}

BENCHMARK(BM_LogEntry)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_LogEntryBareWrite)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_Single)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_SingleNaive)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_Four)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_FourNaive)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_Eight)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_EightNaive)->Repetitions(9)->ReportAggregatesOnly(true);

// Keeps the median rows, so the table can set each builder beside its naive twin.
class MedianCollector : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.aggregate_name != "median")
                continue;
            Median& m = medians[run.run_name.function_name];
            m.framesPerSecond = run.counters.at("items_per_second");
        }
        ConsoleReporter::ReportRuns(runs);
    }
    struct Median {
        double framesPerSecond = 0;
    };
    std::map<std::string, Median> medians;
};

} // namespace

void RunBuilderBenchmarks(int argc, char** argv, BenchTable& table) {
    benchmark::Initialize(&argc, argv);
    MedianCollector collector;
    // Google Benchmark's own report goes to stderr; stdout carries only the table.
    collector.SetOutputStream(&std::cerr);
    collector.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&collector);
    const std::map<std::string, double> allocations{
        {"Single", AllocationsPerFrame([] { return SingleChannelFrame(kSingleDefaults); })},
        {"Four", AllocationsPerFrame([] { return FourChannelFrame(kFourDefaults); })},
        {"Eight", AllocationsPerFrame([] { return EightChannelFrame(kEightDefaults); })}};
    for (const auto& [name, allocsPerFrame] : allocations) {
        const double ours = collector.medians["BM_" + name].framesPerSecond;
        const double naive = collector.medians["BM_" + name + "Naive"].framesPerSecond;
        const double ratio = ours / naive;
        table.add({"builder " + name + " (frames/s)", ours, "ostringstream build", naive, ratio,
                   ">= 3x, <= 1 alloc/text frame", ratio >= 3.0 && allocsPerFrame <= 1.0,
                   "heap allocations per frame: " + FormatNumber(allocsPerFrame, 2)});
    }
    const double entryMicros = 1e6 / collector.medians["BM_LogEntry"].framesPerSecond;
    const double writeMicros = 1e6 / collector.medians["BM_LogEntryBareWrite"].framesPerSecond;
    table.add({"log entry for a Send: words, wait, comment, one write(2) (µs)", entryMicros,
               "bare write(2) of a 53-byte entry to the same file (µs)", writeMicros,
               entryMicros / writeMicros, "reference", false,
               "written after the driver has the frame, so a click waits for none of it", true});
}

} // namespace quillon::bench
