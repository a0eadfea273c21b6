// quillon-send from the outside: process start to the frame on the wire, beside a pyserial
// one-liner and stty plus printf on the same pty in the same run, and through ser2net by tcp://
// and rfc2217:// beside pyserial's socket:// and rfc2217:// URLs; and play's pacing at 40 Hz,
// from the frames' arrival on the pty.

#include "bench_table.h"
#include "pacing.h"
#include "process_stats.h"
#include "pty_pair.h"
#include "ser2net_server.h"

#include <QByteArray>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/timerfd.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace quillon::bench {

namespace {

constexpr int kStartRuns = 30;
constexpr int kPacedFrames = 1000;
constexpr double kPacedRateHz = 40;
constexpr long long kNsPerMs = 1'000'000;
constexpr const char* kFrame = "0000110099999999999999";

pid_t Spawn(const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const std::string& word : command)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed ? -1 : pid;
}

// Reads the master until `count` bytes have come; calls `arrived(byteCount, ns)` after each read.
template <typename Arrived>
bool ReadMaster(int master, std::size_t count, int timeoutMs, Arrived arrived) {
    std::size_t received = 0;
    const long long deadline = MonotonicNs() + timeoutMs * kNsPerMs;
    char buffer[4096];
    while (received < count) {
        const long long left = deadline - MonotonicNs();
        if (left <= 0)
            return false;
        pollfd fd{master, POLLIN, 0};
        if (::poll(&fd, 1, int(left / kNsPerMs) + 1) <= 0)
            continue;
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n > 0) {
            received += std::size_t(n);
            arrived(received, MonotonicNs());
        } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
            return false;
        }
    }
    return true;
}

// Spawn to the last byte of the frame readable on the master, in ms; nothing on a failure.
std::optional<double> StartToWire(testing::PtyPair& board,
                                  const std::vector<std::string>& command) {
    board.readAvailable();
    const long long spawned = MonotonicNs();
    const pid_t pid = Spawn(command);
    if (pid < 0)
        return std::nullopt;
    long long arrived = 0;
    const bool whole = ReadMaster(board.masterFd(), std::strlen(kFrame), 5000,
                                  [&](std::size_t, long long ns) { arrived = ns; });
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!whole || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return double(arrived - spawned) / kNsPerMs;
}

// Spawn to exit, in ms: the floor of a program that loads the same libraries and sends nothing.
std::optional<double> StartToExit(const std::vector<std::string>& command) {
    const long long spawned = MonotonicNs();
    const pid_t pid = Spawn(command);
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return std::nullopt;
    return double(MonotonicNs() - spawned) / kNsPerMs;
}

struct Way {
    const char* name;
    std::vector<std::string> command;
    std::vector<double> samples = {};
    int failures = 0;
};

// One untimed start of each, then rounds in turn, the order rotating every round; `eachRound`
// runs first in every round, and `settle` passes after each start, outside the time measured.
template <typename EachRound>
void MeasureStarts(testing::PtyPair& board, std::vector<Way>& ways, EachRound eachRound,
                   std::chrono::milliseconds settle = {}) {
    for (Way& way : ways) {
        StartToWire(board, way.command);
        std::this_thread::sleep_for(settle);
    }
    for (int run = 0; run < kStartRuns; ++run) {
        eachRound();
        for (std::size_t k = 0; k < ways.size(); ++k) {
            Way& way = ways[(k + std::size_t(run)) % ways.size()];
            if (const auto ms = StartToWire(board, way.command))
                way.samples.push_back(*ms);
            else
                ++way.failures;
            std::this_thread::sleep_for(settle);
        }
    }
}

std::string FailedRuns(const Way& way) {
    return way.failures
               ? "; failed runs of " + std::string(way.name) + ": " + std::to_string(way.failures)
               : std::string();
}

// Start to exit of each way, rotating, the board drained between runs: what a script waits for.
std::vector<std::vector<double>> StartsToExit(testing::PtyPair& board, const std::vector<Way>& ways,
                                              int runs) {
    std::vector<std::vector<double>> samples(ways.size());
    for (int run = 0; run < runs; ++run) {
        for (std::size_t k = 0; k < ways.size(); ++k) {
            const std::size_t way = (k + std::size_t(run)) % ways.size();
            if (const auto ms = StartToExit(ways[way].command))
                samples[way].push_back(*ms);
            board.readAvailable();
        }
    }
    return samples;
}

// A shell loop that runs `command` 100 times.
std::vector<std::string> HundredTimes(const std::vector<std::string>& command) {
    std::string line;
    for (const std::string& word : command) {
        std::string quoted;
        for (const char c : word)
            quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        line += "'" + quoted + "' ";
    }
    return {"/bin/sh", "-c",
            "i=0; while [ $i -lt 100 ]; do " + line + "|| exit 1; i=$((i+1)); done"};
}

// The whole process, start to exit, as a script sees it: quillon-send beside stty + printf and
// the pyserial one-liner, and a loop of 100 calls of each.
void AddWholeProcessRows(BenchTable& table, testing::PtyPair& board, const std::vector<Way>& ways) {
    const auto exits = StartsToExit(board, ways, kStartRuns);
    const double send = Percentile(exits[0], 0.5);
    const double pyserial = Percentile(exits[1], 0.5);
    const double stty = Percentile(exits[2], 0.5);
    const std::string runs = std::to_string(kStartRuns) + " runs of each, rotating; p90 " +
                             FormatNumber(Percentile(exits[0], 0.9), 1) + " vs ";
    table.add({"quillon-send single: process start to exit (ms)", send, "stty + printf (sh -c)",
               stty, send / stty, "<= 15 ms and <= 5x stty + printf",
               send <= 15 && send <= 5 * stty,
               runs + FormatNumber(Percentile(exits[2], 0.9), 1)});
    table.add({"quillon-send single: process start to exit (ms)", send,
               "pyserial one-liner (Debian python3-serial)", pyserial, send / pyserial, "reference",
               false, runs + FormatNumber(Percentile(exits[1], 0.9), 1), true});

    std::vector<Way> loops;
    for (std::size_t k = 0; k < ways.size(); k += 2)
        loops.push_back({ways[k].name, HundredTimes(ways[k].command)});
    const auto loopExits = StartsToExit(board, loops, 5);
    const double sendLoop = Percentile(loopExits[0], 0.5);
    const double sttyLoop = Percentile(loopExits[1], 0.5);
    table.add({"a shell loop of 100 quillon-send single calls (ms)", sendLoop,
               "the same loop of stty + printf", sttyLoop, sendLoop / sttyLoop,
               "<= 1500 ms (15 ms a call)", sendLoop <= 1500,
               "5 runs of each, rotating; " + FormatNumber(sendLoop / 100, 1) + " ms a call"});
}

} // namespace

void RunSendBenchmark(BenchTable& table) {
    testing::PtyPair board;
    const std::string port = board.slavePath().toStdString();
    const std::string frame = kFrame;
    std::vector<Way> ways = {
        {
            "quillon-send single 0 1.100",
            {BinDir() + "/quillon-send", "--port", port, "single", "0", "1.100"},
        },
        {"pyserial one-liner",
         {"/usr/bin/python3", "-I", "-c",
          "import serial; serial.Serial('" + port + "', 9600).write(b'" + frame + "')"}},
        {"stty + printf",
         {"/bin/sh", "-c",
          "stty -F " + port + " 9600 cs8 -cstopb -parenb raw -echo && printf '%s' " + frame +
              " > " + port}},
    };
    const std::vector<std::string> version = {BinDir() + "/quillon-send", "--version"};
    std::vector<double> floor;
    MeasureStarts(board, ways, [&] {
        if (const auto ms = StartToExit(version))
            floor.push_back(*ms);
    });
    const double send = Percentile(ways[0].samples, 0.5);
    const double pyserial = Percentile(ways[1].samples, 0.5);
    const double stty = Percentile(ways[2].samples, 0.5);
    const std::string runs = std::to_string(kStartRuns) + " runs of each, rotating; p90 " +
                             FormatNumber(Percentile(ways[0].samples, 0.9), 1) + " vs ";
    table.add({"quillon-send: process start to the frame on the pty (ms)", send,
               "pyserial one-liner (Debian python3-serial)", pyserial, send / pyserial,
               "<= 1/3 of pyserial", send <= pyserial / 3,
               runs + FormatNumber(Percentile(ways[1].samples, 0.9), 1) + FailedRuns(ways[0]) +
                   FailedRuns(ways[1])});
    table.add({"quillon-send: process start to the frame on the pty (ms)", send,
               "stty + printf (sh -c)", stty, send / stty, "<= 1.5x stty + printf",
               send <= 1.5 * stty, runs + FormatNumber(Percentile(ways[2].samples, 0.9), 1)});
    AddWholeProcessRows(table, board, ways);

    const double loading = Percentile(floor, 0.5);
    table.add({"quillon-send --version: process start to exit (ms)", loading,
               "quillon-send single: start to the frame on the pty", send, loading / send,
               "reference", false,
               "loads QtCore and QtSerialPort and prints one line: what any Qt program pays "
               "before main",
               true});
}

// The same start to the frame on the pty with ser2net in front of it on 127.0.0.1. pyserial's
// one-liners sleep 0.1 s after the write: ser2net drops what it has not yet written when a
// connection closes, and that sleep comes after the frame has arrived, outside the time measured.
// ser2net holds the device some tens of ms after a connection has closed and turns away a client
// of its other accepter meanwhile, so 200 ms pass between two starts.
void RunRemoteSendBenchmark(BenchTable& table) {
    testing::PtyPair board;
    testing::Ser2NetServer server(board.slavePath());
    if (!testing::Ser2NetServer::isInstalled() || !server.start()) {
        table.add({"quillon-send through ser2net", 0, "", 0, 0, "", false,
                   "not measured: " + server.errorString().toStdString()});
        return;
    }
    const std::string send = BinDir() + "/quillon-send";
    const std::string raw = "127.0.0.1:" + std::to_string(server.rawPort());
    const std::string rfc2217 = "127.0.0.1:" + std::to_string(server.rfc2217Port());
    const auto pyserial = [](const std::string& url) {
        return std::vector<std::string>{"/usr/bin/python3", "-I", "-c",
                                        "import serial, time; port = serial.serial_for_url('" +
                                            url + "', 9600); port.write(b'" + kFrame +
                                            "'); time.sleep(0.1)"};
    };
    std::vector<Way> ways = {
        {"quillon-send tcp://", {send, "--port", "tcp://" + raw, "single", "0", "1.100"}},
        {"pyserial socket://", pyserial("socket://" + raw)},
        {"quillon-send rfc2217://",
         {send, "--port", "rfc2217://" + rfc2217, "single", "0", "1.100"}},
        {"pyserial rfc2217://", pyserial("rfc2217://" + rfc2217 + "?ign_set_control")},
    };
    MeasureStarts(
        board, ways, [] {}, std::chrono::milliseconds(200));
    for (std::size_t k = 0; k < ways.size(); k += 2) {
        const Way& ours = ways[k];
        const Way& theirs = ways[k + 1];
        const double value = Percentile(ours.samples, 0.5);
        const double reference = Percentile(theirs.samples, 0.5);
        table.add({std::string(ours.name) +
                       " through ser2net: process start to the frame on the pty (ms)",
                   value, std::string(theirs.name) + " one-liner, same server", reference,
                   value / reference, "<= 1/3 of pyserial", value <= reference / 3,
                   std::to_string(kStartRuns) + " runs of each of 4 ways, rotating; p90 " +
                       FormatNumber(Percentile(ours.samples, 0.9), 1) + " vs " +
                       FormatNumber(Percentile(theirs.samples, 0.9), 1) + FailedRuns(ours) +
                       FailedRuns(theirs)});
    }
}

namespace {

// When the last byte of each 22-byte frame came off the master; then waits for the writer.
std::vector<long long> Arrivals(testing::PtyPair& board, int frames, pid_t writer) {
    std::vector<long long> arrivals;
    const std::size_t frameBytes = 22;
    if (writer > 0) {
        ReadMaster(board.masterFd(), std::size_t(frames) * frameBytes, 120'000,
                   [&](std::size_t received, long long ns) {
                       while (arrivals.size() < received / frameBytes)
                           arrivals.push_back(ns);
                   });
        int status = 0;
        ::waitpid(writer, &status, 0);
    }
    return arrivals;
}

// Plays `frames` eight-channel frames with `options` before the file and returns when the last
// byte of each frame came off the pty master.
std::vector<long long> PlayArrivals(int frames, const std::vector<std::string>& options,
                                    const std::vector<std::string>& sendOptions = {}) {
    testing::PtyPair board;
    QTemporaryDir directory;
    const std::string path = directory.filePath(QStringLiteral("ramp.txt")).toStdString();
    if (FILE* file = std::fopen(path.c_str(), "w")) {
        for (int i = 0; i < frames; ++i) {
            const std::string code = std::to_string(i % 256) + " ";
            std::string line = "eight ";
            for (int channel = 0; channel < 8; ++channel)
                line += code;
            std::fputs((line + "\n").c_str(), file);
        }
        std::fclose(file);
    }
    std::vector<std::string> command = {BinDir() + "/quillon-send", "--port",
                                        board.slavePath().toStdString()};
    command.insert(command.end(), sendOptions.begin(), sendOptions.end());
    command.push_back("play");
    command.insert(command.end(), options.begin(), options.end());
    command.push_back(path);
    return Arrivals(board, frames, Spawn(command));
}

// The same 40 Hz schedule kept by a bare loop: a forked child that sleeps on a timerfd until each
// absolute deadline and write(2)s the frame to the same kind of pty. The floor of the method.
std::vector<long long> BareLoopArrivals(int frames) {
    testing::PtyPair board;
    const std::string slave = board.slavePath().toStdString();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int port = ::open(slave.c_str(), O_WRONLY | O_NOCTTY);
        const int timer = ::timerfd_create(CLOCK_MONOTONIC, 0);
        const long long start = MonotonicNs();
        for (int i = 0; i < frames; ++i) {
            const long long due = start + i * (kNsPerMs * 25);
            itimerspec expiry{};
            expiry.it_value.tv_sec = due / 1'000'000'000;
            expiry.it_value.tv_nsec = due % 1'000'000'000;
            std::uint64_t expirations = 0;
            ::timerfd_settime(timer, TFD_TIMER_ABSTIME, &expiry, nullptr);
            if (::read(timer, &expirations, sizeof expirations) < 0 ||
                ::write(port, kFrame, std::strlen(kFrame)) < 0)
                ::_exit(1);
        }
        ::_exit(0);
    }
    return Arrivals(board, frames, pid);
}

double SpanMs(const std::vector<long long>& arrivals) {
    return arrivals.size() < 2 ? 0 : double(arrivals.back() - arrivals.front()) / double(kNsPerMs);
}

void AddSpanRow(BenchTable& table, const std::string& what, int frames,
                const std::vector<std::string>& options, double periodMs) {
    const std::vector<long long> arrivals = PlayArrivals(frames, options);
    const double expected = periodMs * (frames - 1);
    const double span = SpanMs(arrivals);
    table.add({what + ": first to last arrival (ms)", span,
               std::to_string(frames - 1) + " x " + FormatNumber(periodMs, 3) + " ms", expected,
               span / expected, "within 5 ms", std::abs(span - expected) < 5,
               std::to_string(arrivals.size()) + " of " + std::to_string(frames) +
                   " frames arrived, in order"});
}

} // namespace

void RunPacingBenchmark(BenchTable& table) {
    const std::vector<long long> arrivals = PlayArrivals(kPacedFrames, {"--rate", "40"});
    const std::vector<long long> bareArrivals = BareLoopArrivals(kPacedFrames);
    const Lateness send = PacingLateness(arrivals, kPacedRateHz);
    const Lateness bare = PacingLateness(bareArrivals, kPacedRateHz);
    const std::string reference = "bare timerfd + write(2) loop, same method";
    table.add({"play --rate 40: |arrival - schedule| p50 (ms)", send.p50, reference, bare.p50,
               send.p50 / bare.p50, "reference", false,
               std::to_string(arrivals.size()) + " of " + std::to_string(kPacedFrames) +
                   " eight-channel frames arrived; max " + FormatNumber(send.max, 3) + " vs " +
                   FormatNumber(bare.max, 3) + " ms",
               true});
    table.add({"play --rate 40: |arrival - schedule| p99 (ms)", send.p99, reference, bare.p99,
               send.p99 / bare.p99, "< 2 ms", send.p99 < 2,
               "first to last " + FormatNumber(SpanMs(arrivals), 1) + " ms for 999 x 25 = 24975; " +
                   std::to_string(bareArrivals.size()) + " frames of the bare loop arrived"});

    QTemporaryDir logFolder;
    const std::vector<long long> logged =
        PlayArrivals(kPacedFrames, {"--rate", "40"},
                     {"--log", logFolder.filePath(QStringLiteral("pace.log")).toStdString()});
    const Lateness withLog = PacingLateness(logged, kPacedRateHz);
    table.add({"play --rate 40 with --log: |arrival - schedule| p99 (ms)", withLog.p99,
               "the same play without a log", send.p99, withLog.p99 / send.p99, "< 2 ms",
               withLog.p99 < 2,
               std::to_string(logged.size()) + " of " + std::to_string(kPacedFrames) +
                   " frames arrived; p50 " + FormatNumber(withLog.p50, 3) + " ms, max " +
                   FormatNumber(withLog.max, 3) + " ms"});

    const double lineMs = 22 * 10 / 9.6;
    AddSpanRow(table, "play --rate 40, 200 frames", 200, {"--rate", "40"}, 25);
    AddSpanRow(table, "play at the line's rate, 100 frames", 100, {}, lineMs);
    AddSpanRow(table, "play --rate 50 (held to the line), 100 frames", 100, {"--rate", "50"},
               lineMs);
}

} // namespace quillon::bench
