// Receive flood: the board writes 10 MiB of random bytes as fast as the pty takes them while the
// panel runs its event loop; bytes consumed per second, the worst event-loop stall, RSS growth.

#include "bench_table.h"
#include "panel_rig.h"
#include "process_stats.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <poll.h>
#include <random>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace quillon::bench {

namespace {

using Clock = std::chrono::steady_clock;

constexpr qint64 kFloodBytes = 10 * 1024 * 1024;
constexpr qint64 kChunkBytes = 64 * 1024;
constexpr qint64 kWarmBytes = 1024 * 1024;
constexpr int kIdleMs = 2000;
constexpr int kQuietMs = 500;
constexpr int kFloodTimeoutMs = 240'000;
constexpr double kLineBytesPerSecond = 9600 / 10.0;
constexpr double kKiBPerMiB = 1024;

// Writes random bytes to the master as fast as the pty takes them, in its own thread.
class BoardFlood {
public:
    explicit BoardFlood(int master) : m_master(master), m_thread([this] { writeAll(); }) {}
    ~BoardFlood() {
        m_stop = true;
        m_thread.join();
    }
    bool finished() const { return m_finished; }
    qint64 written() const { return m_written; }

private:
    void writeAll() {
        std::mt19937_64 random(20240611);
        std::vector<unsigned char> chunk(kChunkBytes);
        while (m_written < kFloodBytes && !m_stop) {
            for (auto& byte : chunk)
                byte = static_cast<unsigned char>(random());
            const qint64 size = std::min(kChunkBytes, kFloodBytes - m_written);
            if (!writeChunk(chunk.data(), size))
                break;
        }
        m_finished = true;
    }

    bool writeChunk(const unsigned char* data, qint64 size) {
        qint64 done = 0;
        while (done < size && !m_stop) {
            const ssize_t n = ::write(m_master, data + done, size - done);
            if (n > 0) {
                done += n;
                m_written += n;
            } else if (n < 0 && errno == EAGAIN) {
                pollfd fd{m_master, POLLOUT, 0};
                ::poll(&fd, 1, 100);
            } else if (!(n < 0 && errno == EINTR)) {
                return false;
            }
        }
        return true;
    }

    int m_master;
    std::atomic<qint64> m_written{0};
    std::atomic<bool> m_finished{false};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

double ThreadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// The worst lateness of a 1 ms timer over the ticks it has seen, and the CPU time the event loop
// itself spent between two ticks: a stall longer than that is time spent waiting for a CPU.
class StallMeter {
public:
    StallMeter() {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
    }
    void start() {
        m_worstMs = m_worstSinceMarkMs = m_worstCpuMs = 0;
        m_last = Clock::now();
        m_lastCpuMs = ThreadCpuMs();
        m_timer.start();
    }
    void stop() { m_timer.stop(); }
    // From now on worstSinceMarkMs() counts afresh.
    void mark() { m_worstSinceMarkMs = 0; }
    double worstLatenessMs() const { return m_worstMs; }
    double worstSinceMarkMs() const { return m_worstSinceMarkMs; }
    double worstCpuMs() const { return m_worstCpuMs; }

private:
    void tick() {
        const auto now = Clock::now();
        const double cpuMs = ThreadCpuMs();
        const double gapMs = std::chrono::duration<double, std::milli>(now - m_last).count();
        m_worstMs = std::max(m_worstMs, gapMs - m_timer.interval());
        m_worstSinceMarkMs = std::max(m_worstSinceMarkMs, gapMs - m_timer.interval());
        m_worstCpuMs = std::max(m_worstCpuMs, cpuMs - m_lastCpuMs);
        m_last = now;
        m_lastCpuMs = cpuMs;
    }

    QTimer m_timer;
    Clock::time_point m_last;
    double m_lastCpuMs = 0;
    double m_worstMs = 0;
    double m_worstSinceMarkMs = 0;
    double m_worstCpuMs = 0;
};

void RunEventLoopFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int BytesQueuedAt(int fd) {
    int queued = 0;
    return ::ioctl(fd, FIONREAD, &queued) == 0 ? queued : -1;
}

struct FloodFigures {
    qint64 shown = 0;     // characters delivered to the Return code box
    qint64 queued = 0;    // bytes the panel never took off the pty
    qint64 lastChunk = 0; // size of the last delivery
    qint64 largestChunk = 0;
    Clock::time_point start;
    Clock::time_point lastDelivery;
    long rssAfterWarmKiB = 0;
    bool timedOut = false;
};

// Runs the event loop until the flood has been written and the panel has taken all of it off
// the pty (a tail under the receive threshold stays in the link's buffer, as any reply would).
FloodFigures Flood(PanelRig& rig, StallMeter& stalls) {
    FloodFigures figures;
    const auto connection = QObject::connect(
        &rig.controller().link(), &SerialLink::dataReceived, [&](const QString& text) {
            const bool wasCold = figures.shown < kWarmBytes;
            figures.shown += text.size();
            figures.lastChunk = text.size();
            figures.largestChunk = std::max(figures.largestChunk, figures.lastChunk);
            figures.lastDelivery = Clock::now();
            if (wasCold && figures.shown >= kWarmBytes) {
                figures.rssAfterWarmKiB = ResidentKiB();
                stalls.mark();
            }
        });
    figures.start = Clock::now();
    BoardFlood board(rig.board().masterFd());
    QEventLoop loop;
    QElapsedTimer quiet;
    const QDeadlineTimer deadline(kFloodTimeoutMs);
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        const bool drained = board.finished() && BytesQueuedAt(rig.slaveFd()) == 0;
        if (drained && figures.shown == board.written())
            return loop.quit();
        if (!drained)
            quiet.invalidate();
        else if (!quiet.isValid())
            quiet.start();
        if ((quiet.isValid() && quiet.hasExpired(kQuietMs)) || deadline.hasExpired()) {
            figures.timedOut = deadline.hasExpired();
            loop.quit();
        }
    });
    check.start(50);
    loop.exec();
    figures.queued = BytesQueuedAt(rig.slaveFd()) + (kFloodBytes - board.written());
    QObject::disconnect(connection);
    return figures;
}

} // namespace

void RunFloodBenchmark(BenchTable& table) {
    PanelRig rig;
    if (!rig.failure().isEmpty()) {
        table.add({"receive flood", 0, "", 0, 0, "", false,
                   "not measured: " + rig.failure().toStdString()});
        return;
    }
    StallMeter stalls;
    stalls.start();
    RunEventLoopFor(kIdleMs);
    const double idleStallMs = stalls.worstLatenessMs();
    const long rssBeforeKiB = ResidentKiB();

    stalls.start();
    const FloodFigures figures = Flood(rig, stalls);
    stalls.stop();
    const double floodStallMs = stalls.worstLatenessMs();
    const double floodStallCpuMs = stalls.worstCpuMs();
    RunEventLoopFor(100);
    const long rssAfterKiB = ResidentKiB();

    const qint64 consumed = kFloodBytes - figures.queued;
    const double seconds =
        std::chrono::duration<double>(figures.lastDelivery - figures.start).count();
    const double bytesPerSecond = seconds > 0 ? figures.shown / seconds : 0;
    const qint64 held = consumed - figures.shown;
    const bool boxHoldsLastChunk =
        rig.form().resetGroup().returnCodeBox->text().size() == figures.lastChunk;
    table.add({"flood: bytes shown per second (B/s)", bytesPerSecond, "9600 8N1 line rate (B/s)",
               kLineBytesPerSecond, bytesPerSecond / kLineBytesPerSecond, "all 10 MiB consumed",
               consumed == kFloodBytes && !figures.timedOut,
               QStringLiteral("%1 of %2 bytes taken off the pty in %3 s, %4 shown, %5 held "
                              "below the 22-byte threshold; Return code box %6 the last chunk "
                              "(largest %8 characters)%7")
                   .arg(consumed)
                   .arg(kFloodBytes)
                   .arg(seconds, 0, 'f', 2)
                   .arg(figures.shown)
                   .arg(held)
                   .arg(boxHoldsLastChunk ? "holds" : "does not hold")
                   .arg(figures.timedOut ? "; timed out" : "")
                   .arg(figures.largestChunk)
                   .toStdString()});
    table.add({"flood: longest event-loop stall (ms)", floodStallMs,
               "same 1 ms timer, idle panel, 2 s (ms)", idleStallMs,
               idleStallMs > 0 ? floodStallMs / idleStallMs : 0, "< 20 ms", floodStallMs < 20,
               QStringLiteral("%1 ms over the last 9 MiB; the most CPU time the event loop "
                              "itself used between two ticks: %2 ms")
                   .arg(stalls.worstSinceMarkMs(), 0, 'f', 2)
                   .arg(floodStallCpuMs, 0, 'f', 2)
                   .toStdString()});
    const double growthMiB = (rssAfterKiB - rssBeforeKiB) / kKiBPerMiB;
    table.add({"flood: RSS growth (MiB)", growthMiB, "RSS before the flood (MiB)",
               rssBeforeKiB / kKiBPerMiB, double(rssAfterKiB) / rssBeforeKiB, "< 2 MiB",
               growthMiB < 2,
               QStringLiteral("%1 MiB of it during the first MiB, %2 MiB over the other 9")
                   .arg((figures.rssAfterWarmKiB - rssBeforeKiB) / kKiBPerMiB, 0, 'f', 2)
                   .arg((rssAfterKiB - figures.rssAfterWarmKiB) / kKiBPerMiB, 0, 'f', 2)
                   .toStdString()});
}

} // namespace quillon::bench
