// quillon-send wave from the outside: its pacing at 40 Hz and its CPU time at the line's rate
// beside play of the very frames it sends, and the peak memory of --print for 10 s and 10 min.

#include "bench_table.h"
#include "frame_layout.h"
#include "pacing.h"
#include "process_stats.h"
#include "pty_pair.h"

#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace quillon::bench {

namespace {

constexpr long long kNsPerMs = 1'000'000;
constexpr std::size_t kFrameBytes = kFrameLength;
constexpr double kPacedRateHz = 40;

const std::vector<std::string> kWaves = {"0:sine,freq=0.5,high=4",
                                         "3:square,freq=2,high=3.3,duty=25",
                                         "--hold",
                                         "1=0",
                                         "--hold",
                                         "2=1",
                                         "--hold",
                                         "4=0",
                                         "--hold",
                                         "5=0",
                                         "--hold",
                                         "6=0",
                                         "--hold",
                                         "7=4"};

struct ChildRun {
    std::vector<long long> arrivals; // when the last byte of each frame came off the master
    double cpuSeconds = 0;
    long peakKiB = 0;
};

// quillon-send with `arguments`, its output to `out`; with a board, reads `frames` frames off it.
ChildRun RunSend(std::vector<std::string> arguments, testing::PtyPair* board, std::size_t frames,
                 const std::string& out = "/dev/null") {
    arguments.insert(arguments.begin(), BinDir() + "/quillon-send");
    std::vector<char*> argv;
    for (std::string& word : arguments)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    ChildRun run;
    const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed)
        return run;
    std::size_t received = 0;
    const long long deadline = MonotonicNs() + 120'000 * kNsPerMs;
    char buffer[4096];
    while (board && received < frames * kFrameBytes && MonotonicNs() < deadline) {
        pollfd fd{board->masterFd(), POLLIN, 0};
        if (::poll(&fd, 1, 100) <= 0)
            continue;
        const ssize_t n = ::read(board->masterFd(), buffer, sizeof buffer);
        if (n < 0 && errno != EINTR && errno != EAGAIN)
            break;
        received += std::size_t(std::max<ssize_t>(n, 0));
        while (run.arrivals.size() < received / kFrameBytes)
            run.arrivals.push_back(MonotonicNs());
    }
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) == pid) {
        run.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        run.peakKiB = usage.ru_maxrss;
    }
    return run;
}


// The wave's frames as a sequence without its waits: the same frames for play --rate.
std::string FramesOnly(const std::string& printed, const std::string& path) {
    std::FILE* in = std::fopen(printed.c_str(), "r");
    std::FILE* out = std::fopen(path.c_str(), "w");
    char line[256];
    while (in && out && std::fgets(line, sizeof line, in)) {
        if (std::string(line).rfind("wait ", 0) != 0)
            std::fputs(line, out);
    }
    if (in)
        std::fclose(in);
    if (out)
        std::fclose(out);
    return path;
}

std::vector<std::string> Joined(std::vector<std::string> head,
                                const std::vector<std::string>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

} // namespace

void RunWaveBenchmark(BenchTable& table) {
    QTemporaryDir folder;
    const std::string printed = folder.filePath(QStringLiteral("wave.txt")).toStdString();
    const std::string frames = folder.filePath(QStringLiteral("frames.txt")).toStdString();
    const std::vector<std::string> paced =
        Joined({"wave", "--rate", "40", "--duration", "10"}, kWaves);
    const std::size_t pacedFrames = 400;
    RunSend(Joined(paced, {"--print"}), nullptr, 0, printed);
    FramesOnly(printed, frames);

    testing::PtyPair waveBoard;
    testing::PtyPair playBoard;
    const std::string waveSlave = waveBoard.slavePath().toStdString();
    const std::string playSlave = playBoard.slavePath().toStdString();
    const ChildRun wave = RunSend(Joined({"--port", waveSlave}, paced), &waveBoard, pacedFrames);
    const ChildRun play =
        RunSend({"--port", playSlave, "play", "--rate", "40", frames}, &playBoard, pacedFrames);
    const double waveP99 = PacingLateness(wave.arrivals, kPacedRateHz).p99;
    const double playP99 = PacingLateness(play.arrivals, kPacedRateHz).p99;
    table.add({"wave --rate 40: |arrival - schedule| p99 (ms)", waveP99,
               "play --rate 40 of the same frames", playP99, waveP99 / playP99, "<= 1.1x play's",
               waveP99 <= 1.1 * playP99,
               std::to_string(wave.arrivals.size()) + " and " +
                   std::to_string(play.arrivals.size()) + " of " + std::to_string(pacedFrames) +
                   " eight-channel frames arrived"});

    // At the line's rate a printed wave has no waits: play sends the file as it stands.
    const std::vector<std::string> lineRate = Joined({"wave", "--duration", "10"}, kWaves);
    const std::size_t lineFrames = 437; // the samples before 10 s at 43.64 frames a second
    RunSend(Joined(lineRate, {"--print"}), nullptr, 0, printed);
    const ChildRun waveLine =
        RunSend(Joined({"--port", waveSlave}, lineRate), &waveBoard, lineFrames);
    const ChildRun playLine =
        RunSend({"--port", playSlave, "play", printed}, &playBoard, lineFrames);
    const double waveCpuMs = waveLine.cpuSeconds * 1000 / 10;
    const double playCpuMs = playLine.cpuSeconds * 1000 / 10;
    table.add({"wave at the line's rate: CPU time per second of wave (ms)", waveCpuMs,
               "play of the same frames", playCpuMs, waveCpuMs / playCpuMs, "<= 1.1x play's",
               waveCpuMs <= 1.1 * playCpuMs,
               std::to_string(waveLine.arrivals.size()) + " and " +
                   std::to_string(playLine.arrivals.size()) + " of " + std::to_string(lineFrames) +
                   " frames arrived; user + system time of the whole process"});

    const ChildRun shortPrint =
        RunSend(Joined({"wave", "--print", "--duration", "10"}, kWaves), nullptr, 0);
    const ChildRun longPrint =
        RunSend(Joined({"wave", "--print", "--duration", "600"}, kWaves), nullptr, 0);
    const double shortMiB = double(shortPrint.peakKiB) / 1024;
    const double longMiB = double(longPrint.peakKiB) / 1024;
    table.add({"wave --print for 10 min: peak RSS (MiB)", longMiB, "the same for 10 s", shortMiB,
               longMiB / shortMiB, "within 1 MiB", std::abs(longMiB - shortMiB) <= 1,
               "26182 and 437 eight-channel frames to /dev/null; ru_maxrss of each process"});
}

} // namespace quillon::bench
