// Click to wire: from a click on each Send and on Reset in the real window to the last byte of
// the frame being readable at the pty master, beside a bare write(2) of 22 bytes to the same pty;
// and the single-channel Send through ser2net's raw TCP beside the same click on a pty directly.

#include "bench_table.h"
#include "master_reader.h"
#include "panel_rig.h"
#include "process_stats.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <optional>
#include <sched.h>
#include <unistd.h>
#include <vector>

namespace quillon::bench {

namespace {

using namespace std::chrono_literals;

constexpr int kClicks = 1000;
constexpr int kRemoteClicks = 300;
constexpr int kWarmUpRounds = 20;
constexpr auto kFrameTimeout = 2000ms;
// 22 bytes of 10 bits (start, 8 data, stop) at 9600 baud.
constexpr double kWireMicros = 22 * 10 * 1e6 / 9600;

const QByteArray kSingleDefaults("0000110099999999999999");

struct Target {
    QString measure;
    QString button; // empty: the bare write
    QByteArray frame;
    bool logged = false; // clicked with a log open
    std::vector<double> micros = {};
    std::vector<double> handlerMicros = {}; // from the button's released signal
    int timeouts = 0;
    int wrongFrames = 0;
    qsizetype strayBytes = 0;
};

std::vector<Target> Targets() {
    return {
        {"bare write(2) of 22 bytes", {}, kSingleDefaults},
        {"click Send, single channel", "Command1(0)", kSingleDefaults},
        {"click Send, single channel, with a log open", "Command1(0)", kSingleDefaults, true},
        {"click Send, four channels", "Command2", "1000100102022038630400"},
        {"click Send, eight channels", "Command3",
         QByteArray::fromHex("323031143128313C315031643178318C31A039393939")},
        {"click Reset", "Command4", "U"},
    };
}

double Micros(MasterReader::Clock::duration span) {
    return std::chrono::duration<double, std::micro>(span).count();
}

void Act(PanelRig& rig, const Target& target) {
    if (target.button.isEmpty()) {
        if (::write(rig.slaveFd(), target.frame.constData(), target.frame.size()) !=
            target.frame.size())
            qWarning("bare write was short");
        return;
    }
    QPushButton* button = rig.form().findChild<QPushButton*>(target.button);
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}

// The window queues a frame and its event loop writes it, so the loop runs until it is there.
std::optional<MasterReader::Arrival> ServeUntilArrival(MasterReader& reader) {
    const auto deadline = MasterReader::Clock::now() + kFrameTimeout;
    for (;;) {
        QCoreApplication::processEvents();
        const bool last = MasterReader::Clock::now() > deadline;
        if (auto arrival = reader.waitForFrame(1ms, !last))
            return arrival;
        if (last)
            return std::nullopt;
    }
}

// The log is started or stopped between clicks, outside the timed span.
void SetLogging(PanelRig& rig, bool logged, const QString& path) {
    if (rig.controller().recorder().isRecording() == logged)
        return;
    if (logged)
        rig.controller().startLog(path);
    else
        rig.controller().stopLog();
}

// Rounds alternate the bare write and the four buttons, so noise falls on all of them alike.
// Blocks of rounds alternate too: every other block runs with a log open and clicks only the
// single-channel Send, so that starting and stopping the log (a header, an fsync) falls between
// blocks, away from the clicks measured.
void Measure(PanelRig& rig, MasterReader& reader, std::vector<Target>& targets,
             const QString& logPath) {
    constexpr int kRoundsPerBlock = 50;
    // A button signals released after its own repaint and just before clicked, which sends.
    std::optional<MasterReader::Clock::time_point> released;
    for (const Target& target : targets) {
        if (!target.button.isEmpty())
            QObject::connect(rig.form().findChild<QPushButton*>(target.button),
                             &QPushButton::released,
                             [&released] { released = MasterReader::Clock::now(); });
    }
    for (int round = 0; round < 2 * (kWarmUpRounds + kClicks); ++round) {
        const bool logged = (round / kRoundsPerBlock) % 2 == 1;
        SetLogging(rig, logged, logPath);
        for (Target& target : targets) {
            if (target.logged != logged)
                continue;
            const qsizetype straysBefore = reader.strayBytes();
            reader.expect(target.frame);
            released.reset();
            const auto start = MasterReader::Clock::now();
            Act(rig, target);
            const auto arrival = ServeUntilArrival(reader);
            // Repaints and anything else the click queued run here, outside the timed span.
            QCoreApplication::processEvents();
            target.strayBytes += reader.strayBytes() - straysBefore;
            if (!arrival) {
                ++target.timeouts;
                continue;
            }
            target.wrongFrames += !arrival->matched;
            if (round % kRoundsPerBlock < kWarmUpRounds / 10)
                continue;
            target.micros.push_back(Micros(arrival->at - start));
            if (released)
                target.handlerMicros.push_back(Micros(arrival->at - *released));
        }
    }
}

QString Problems(const Target& target) {
    QStringList problems;
    if (target.timeouts)
        problems << QStringLiteral("%1 frames never arrived").arg(target.timeouts);
    if (target.wrongFrames)
        problems << QStringLiteral("%1 frames differed").arg(target.wrongFrames);
    if (target.strayBytes)
        problems << QStringLiteral("%1 stray bytes").arg(target.strayBytes);
    return problems.isEmpty() ? QString() : QStringLiteral("; ") + problems.join(", ");
}

// Keeps the whole process, the reader thread included, on the CPU it runs on. Across CPUs the
// reader's wake-up dominated a bare write and swung between 6 and 55 µs from run to run on a
// shared machine; on one CPU the reader sees the frame once the writing thread blocks or
// finishes its work, for the bare write and for a click alike.
int PinToCurrentCpu() {
    const int cpu = sched_getcpu();
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    return sched_setaffinity(0, sizeof set, &set) == 0 ? cpu : -1;
}

} // namespace

void RunClickBenchmark(BenchTable& table) {
    const int cpu = PinToCurrentCpu();
    PanelRig rig;
    if (!rig.failure().isEmpty()) {
        table.add({"click to wire", 0, "", 0, 0, "", false,
                   "not measured: " + rig.failure().toStdString()});
        return;
    }
    MasterReader reader(rig.board().masterFd());
    std::vector<Target> targets = Targets();
    QTemporaryDir logFolder;
    Measure(rig, reader, targets, logFolder.filePath(QStringLiteral("click.log")));
    SetLogging(rig, false, {});

    const double bare = Median(targets.front().micros);
    table.add(
        {targets.front().measure.toStdString() + " to the pty, to readable (µs)", bare,
         "22 bytes on the wire at 9600 8N1 (µs)", kWireMicros, bare / kWireMicros, "reference",
         false,
         QStringLiteral("p90 %1 µs, %2 writes, %3%4%5")
             .arg(Percentile(targets.front().micros, 0.9), 0, 'f', 1)
             .arg(targets.front().micros.size())
             .arg(cpu >= 0 ? QStringLiteral("all threads on CPU %1").arg(cpu)
                           : QStringLiteral("threads not pinned"))
             .arg(Problems(targets.front()))
             .arg(rig.messageCount()
                      ? QStringLiteral("; the panel showed %1 messages").arg(rig.messageCount())
                      : QString())
             .toStdString(),
         true});
    for (auto it = targets.begin() + 1; it != targets.end(); ++it) {
        const double median = Median(it->micros);
        if (it->logged) {
            const double unlogged = Median(targets[1].micros);
            table.add({it->measure.toStdString() + " to readable (µs)", median,
                       "the same click without a log (µs)", unlogged, median / unlogged, "<= 1.10x",
                       median / unlogged <= 1.10,
                       QStringLiteral("p90 %1 µs, %2 clicks; the entry is written once the "
                                      "driver has the frame%3")
                           .arg(Percentile(it->micros, 0.9), 0, 'f', 1)
                           .arg(it->micros.size())
                           .arg(Problems(*it))
                           .toStdString()});
            continue;
        }
        const double ratio = median / bare;
        table.add({it->measure.toStdString() + " to readable (µs)", median,
                   "bare write(2) of 22 bytes (µs)", bare, ratio, "<= 3x bare write", ratio <= 3.0,
                   QStringLiteral("p90 %1 µs, %2 clicks, %3% of the wire time; from the "
                                  "button's released signal %4 µs%5")
                       .arg(Percentile(it->micros, 0.9), 0, 'f', 1)
                       .arg(it->micros.size())
                       .arg(100 * median / kWireMicros, 0, 'f', 3)
                       .arg(Median(it->handlerMicros), 0, 'f', 1)
                       .arg(Problems(*it))
                       .toStdString()});
    }
}

namespace {

// One click of the single-channel Send, timed to the frame at the master; nothing on a timeout.
std::optional<double> ClickToWire(PanelRig& rig, MasterReader& reader) {
    reader.expect(kSingleDefaults);
    const auto start = MasterReader::Clock::now();
    QPushButton* button = rig.form().findChild<QPushButton*>(QStringLiteral("Command1(0)"));
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    const auto arrival = ServeUntilArrival(reader);
    QCoreApplication::processEvents();
    if (!arrival || !arrival->matched)
        return std::nullopt;
    return Micros(arrival->at - start);
}

} // namespace

// Two windows in one process, one on its pty and one on another pty behind ser2net, clicked in
// turn. Nothing is pinned: ser2net is a process of its own and needs a CPU to relay the frame.
void RunRemoteClickBenchmark(BenchTable& table) {
    PanelRig direct;
    PanelRig remote(PanelRig::Route::RawTcpThroughSer2Net);
    const QString failure = !direct.failure().isEmpty() ? direct.failure() : remote.failure();
    if (!failure.isEmpty()) {
        table.add({"click Send through ser2net", 0, "", 0, 0, "", false,
                   "not measured: " + failure.toStdString()});
        return;
    }
    MasterReader directReader(direct.board().masterFd());
    MasterReader remoteReader(remote.board().masterFd());
    std::vector<double> directMicros;
    std::vector<double> remoteMicros;
    int lost = 0;
    for (int round = 0; round < kWarmUpRounds + kRemoteClicks; ++round) {
        const auto viaPty = ClickToWire(direct, directReader);
        const auto viaTcp = ClickToWire(remote, remoteReader);
        lost += !viaPty + !viaTcp;
        if (round < kWarmUpRounds)
            continue;
        if (viaPty)
            directMicros.push_back(*viaPty);
        if (viaTcp)
            remoteMicros.push_back(*viaTcp);
    }
    const double viaTcp = Median(remoteMicros);
    const double viaPty = Median(directMicros);
    table.add(
        {"click Send, single channel, through ser2net tcp:// to readable (µs)", viaTcp,
         "the same click on the pty directly (µs)", viaPty, viaTcp / viaPty, "reference", false,
         QStringLiteral("p90 %1 vs %2 µs, %3 clicks of each, alternating; %4% of the wire "
                        "time%5%6")
             .arg(Percentile(remoteMicros, 0.9), 0, 'f', 1)
             .arg(Percentile(directMicros, 0.9), 0, 'f', 1)
             .arg(remoteMicros.size())
             .arg(100 * viaTcp / kWireMicros, 0, 'f', 2)
             .arg(lost ? QStringLiteral("; %1 frames never arrived").arg(lost) : QString())
             .arg(remote.messageCount()
                      ? QStringLiteral("; the panel showed %1 messages").arg(remote.messageCount())
                      : QString())
             .toStdString(),
         true});
}

} // namespace quillon::bench
