#include "line_log.h"
#include "play_schedule.h"
#include "sequence_reader.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillon::sequence;

namespace {

// Frames and pauses of a sequence as --dry-run prints them.
QStringList Shown(const std::vector<Step>& steps) {
    QStringList shown;
    for (const Step& step : steps) {
        if (const Frame* frame = std::get_if<Frame>(&step))
            shown << QString::fromStdString(DisplayFrame(*frame));
        else
            shown << QStringLiteral("wait %1").arg(std::get<Pause>(step).length.count());
    }
    return shown;
}

// A moment of the log's clocks: the wall clock `ms` after 2026-12-08 21:03:00 UTC, the steady
// clock `steadyMs` after its zero.
LogMoment At(double ms, double steadyMs = -1) {
    using namespace std::chrono;
    const auto start = system_clock::time_point(seconds(1796763780));
    return {start + duration_cast<system_clock::duration>(duration<double, std::milli>(ms)),
            duration_cast<nanoseconds>(duration<double, std::milli>(steadyMs < 0 ? ms : steadyMs))};
}

QByteArray Repeated(const QByteArray& line, int times) {
    return line.repeated(times);
}

} // namespace

class TestSequence : public QObject {
    Q_OBJECT

private slots:
    void sequenceIsReadWhole_data();
    void sequenceIsReadWhole();
    void scheduleOffsets_data();
    void scheduleOffsets();
    void lateFramesKeepTheirPlaceInTheSchedule();
    void readerBoundsHoldAtTheirEdges_data();
    void readerBoundsHoldAtTheirEdges();
    void onlyAPlainFileIsRead_data();
    void onlyAPlainFileIsRead();
    void scheduleBoundHoldsAtItsEdge_data();
    void scheduleBoundHoldsAtItsEdge();
    void logEntries_data();
    void logEntries();
};

void TestSequence::sequenceIsReadWhole_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("refusal");

    QTest::newRow("comments, blank lines and spaces around words are skipped")
        << QByteArray("# a ramp\n\n   \n  single\t0  1.000  \n#reset\n")
        << QStringList{"0000100099999999999999"} << QString();
    QTest::newRow("a comment may follow a command after white space")
        << QByteArray("single 0 1.000 # zero\nreset\t#again\n")
        << QStringList{"0000100099999999999999", "U"} << QString();
    QTest::newRow("a # inside a word is not a comment")
        << QByteArray("single 0 1.000#zero\n") << QStringList{} << QStringLiteral("line 1: ");
    QTest::newRow("a byte-order mark at the start of the file is skipped")
        << QByteArray("\xEF\xBB\xBFreset\n") << QStringList{"U"} << QString();
    QTest::newRow("a byte-order mark anywhere else is not")
        << QByteArray("reset\n\xEF\xBB\xBFreset\n") << QStringList{} << QStringLiteral("line 2: ");
    QTest::newRow("four naming one channel twice is refused as a typo")
        << QByteArray("four 0:1 1:2 1:3 3:4\n") << QStringList{}
        << QStringLiteral("line 1: channel \"1\" is named twice");
    QTest::newRow("a last line without its line end counts")
        << QByteArray("reset\nwait 250") << QStringList{"U", "wait 250"} << QString();
    QTest::newRow("Windows line ends are read as line ends")
        << QByteArray("reset\r\nfour 0:1 1:2 2:3 3:4\r\n")
        << QStringList{"U", "1000100102002030030400"} << QString();
    QTest::newRow("an empty sequence is no frames")
        << QByteArray("\n# nothing\n") << QStringList{} << QString();
    QTest::newRow("the first bad line is named, counting skipped lines")
        << QByteArray("# header\n\nsingle 0 1\nsingle 0 12.5\nblink\n") << QStringList{}
        << QStringLiteral("line 4: ");
    QTest::newRow("a negative pause is refused")
        << QByteArray("wait -5\n") << QStringList{} << QStringLiteral("line 1: ");
    QTest::newRow("a pause without its length is refused")
        << QByteArray("reset\nwait\n") << QStringList{} << QStringLiteral("line 2: ");
}

void TestSequence::sequenceIsReadWhole() {
    QFETCH(QByteArray, text);
    QFETCH(QStringList, steps);
    QFETCH(QString, refusal);

    try {
        const std::vector<Step> parsed = ParseSequence(text.toStdString());
        QVERIFY2(refusal.isEmpty(), "the sequence was not refused");
        QCOMPARE(Shown(parsed), steps);
    } catch (const Refusal& error) {
        QVERIFY2(!refusal.isEmpty() && QString::fromUtf8(error.what()).startsWith(refusal),
                 error.what());
    }
}

void TestSequence::scheduleOffsets_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<double>("rate"); // 0: as fast as the line carries each frame
    QTest::addColumn<QList<qint64>>("offsetsNs");
    QTest::addColumn<bool>("held");

    const QByteArray threeEight = "eight 1 1 1 1 1 1 1 1\neight 2 2 2 2 2 2 2 2\n"
                                  "eight 3 3 3 3 3 3 3 3\n";
    QTest::newRow("by default each 22-byte frame follows after its 22.92 ms on the line")
        << threeEight << 0.0 << QList<qint64>{0, 22'916'666, 45'833'333} << false;
    QTest::newRow("by default a reset takes the line for one byte only")
        << QByteArray("reset\nreset\nsingle 0 1\n") << 0.0 << QList<qint64>{0, 1'041'666, 2'083'333}
        << false;
    QTest::newRow("40 frames a second are 25 ms apart")
        << threeEight << 40.0 << QList<qint64>{0, 25'000'000, 50'000'000} << false;
    QTest::newRow("50 frames a second of 22 bytes are held to the line's rate")
        << threeEight << 50.0 << QList<qint64>{0, 22'916'666, 45'833'333} << true;
    QTest::newRow("a fast rate of one-byte frames is held to one byte's time")
        << QByteArray("reset\nreset\n") << 5000.0 << QList<qint64>{0, 1'041'666} << true;
    QTest::newRow("each offset is rounded on its own, so rounding never piles up")
        << QByteArray("reset\nreset\nreset\nreset\n") << 3.0
        << QList<qint64>{0, 333'333'333, 666'666'667, 1'000'000'000} << false;
    QTest::newRow("a pause delays every later frame without moving the grid")
        << QByteArray("reset\nwait 100\nreset\nreset\n") << 40.0
        << QList<qint64>{0, 125'000'000, 150'000'000} << false;
}

void TestSequence::scheduleOffsets() {
    QFETCH(QByteArray, text);
    QFETCH(double, rate);
    QFETCH(QList<qint64>, offsetsNs);
    QFETCH(bool, held);

    const PlaySchedule schedule(ParseSequence(text.toStdString()),
                                rate > 0 ? std::optional(rate) : std::nullopt);
    QList<qint64> offsets;
    for (std::size_t i = 0; i < schedule.size(); ++i)
        offsets << schedule.offset(i).count();
    QCOMPARE(offsets, offsetsNs);
    QCOMPARE(schedule.heldToLine(), held);
}

void TestSequence::lateFramesKeepTheirPlaceInTheSchedule() {
    std::string text;
    for (int i = 0; i < 1000; ++i)
        text += "single 0 " + std::to_string(i % 5) + "\n";
    const PlaySchedule schedule(ParseSequence(text), 40.0);
    Nanoseconds now{1'000'000};
    PlayScheduler scheduler(schedule, [&] { return now; });
    scheduler.start();

    QVERIFY(scheduler.takeDue());
    QVERIFY(!scheduler.takeDue());
    QCOMPARE(scheduler.nextDueAt(), now + std::chrono::milliseconds(25));

    // Woken 60 ms late: the three frames due by then come at once; the next keeps its time.
    now += std::chrono::milliseconds(85);
    QVERIFY(scheduler.takeDue());
    QVERIFY(scheduler.takeDue());
    QVERIFY(scheduler.takeDue());
    QVERIFY(!scheduler.takeDue());
    QCOMPARE(scheduler.sent(), std::size_t(4));
    QCOMPARE(scheduler.nextDueAt() - scheduler.startedAt(), std::chrono::milliseconds(100));

    now = scheduler.startedAt() + std::chrono::milliseconds(999 * 25);
    while (scheduler.takeDue()) {
    }
    QVERIFY(scheduler.finished());
    QCOMPARE(scheduler.sent(), std::size_t(1000));
    QCOMPARE(scheduler.remaining(), Nanoseconds(22'916'666));
}

void TestSequence::readerBoundsHoldAtTheirEdges_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("refusal"); // empty: read and parsed whole

    const QByteArray longestLine = QByteArray(kMaxLineBytes - 1, '#') + '\n';
    const int linesInBound = int(kMaxSequenceBytes / longestLine.size());
    const QByteArray million = Repeated("reset\n", int(kMaxSequenceLines));
    QTest::newRow("exactly 16 MiB is read") << Repeated(longestLine, linesInBound) << QString();
    QTest::newRow("one byte past 16 MiB is refused")
        << Repeated(longestLine, linesInBound) + "#" << QStringLiteral("more than 16 MiB");
    QTest::newRow("a million lines ending in a newline, as a log does, are read")
        << million << QString();
    QTest::newRow("a million lines without the last newline are read")
        << million.chopped(1) << QString();
    QTest::newRow("a line more than a million is refused")
        << million + "reset" << QStringLiteral("more than 1000000 lines");
    QTest::newRow("an empty line more than a million is refused")
        << million + "\n"
        << QStringLiteral("more than 1000000 lines");
    QTest::newRow("a line of exactly 4096 bytes is read")
        << QByteArray(kMaxLineBytes, '#') + "\nreset\n"
        << QString();
    QTest::newRow("a line of 4097 bytes is refused, named")
        << "reset\n" + QByteArray(kMaxLineBytes + 1, '#')
        << QStringLiteral("line 2: longer than 4096 bytes");
}

// The bounds are checked as the text comes in and again as it is parsed: both hold at the edge.
void TestSequence::readerBoundsHoldAtTheirEdges() {
    QFETCH(QByteArray, text);
    QFETCH(QString, refusal);

    QTemporaryFile file;
    QVERIFY(file.open());
    QCOMPARE(file.write(text), text.size());
    QVERIFY(file.flush());
    ::lseek(file.handle(), 0, SEEK_SET);
    try {
        const std::string read = ReadSequenceText(file.handle(), "");
        QCOMPARE(read.size(), std::size_t(text.size()));
        const std::vector<Step> steps = ParseSequence(read);
        QVERIFY2(refusal.isEmpty(), "the sequence was not refused");
        QCOMPARE(steps.size(), std::size_t(text.count("reset")));
    } catch (const Refusal& error) {
        QVERIFY2(!refusal.isEmpty() && QString::fromUtf8(error.what()).startsWith(refusal),
                 error.what());
    }
}

void TestSequence::onlyAPlainFileIsRead_data() {
    QTest::addColumn<QString>("kind");    // what stands at the path: file, folder, fifo or nothing
    QTest::addColumn<QString>("refusal"); // empty: read whole

    QTest::newRow("a plain file is read whole") << "file" << QString();
    QTest::newRow("a folder is not a plain file") << "folder"
                                                  << "not a plain file";
    QTest::newRow("a pipe with no writer is refused at once, not waited for") << "fifo"
                                                                              << "not a plain file";
    QTest::newRow("a missing file is refused with the system's reason")
        << "nothing" << QString::fromLocal8Bit(std::strerror(ENOENT));
}

void TestSequence::onlyAPlainFileIsRead() {
    QFETCH(QString, kind);
    QFETCH(QString, refusal);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("sequence");
    const QByteArray text = "reset\nwait 10\nreset\n";
    if (kind == "file") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
    } else if (kind == "folder") {
        QVERIFY(QDir().mkdir(path));
    } else if (kind == "fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    }
    try {
        QCOMPARE(ReadSequenceFile(QFile::encodeName(path).toStdString()), text.toStdString());
        QVERIFY2(refusal.isEmpty(), "the file was not refused");
    } catch (const Refusal& error) {
        QCOMPARE(QString::fromUtf8(error.what()), refusal);
    }
}

void TestSequence::scheduleBoundHoldsAtItsEdge_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("refused");

    const QByteArray day = "wait 86400000\n";
    QTest::newRow("thirty days of pauses are exactly the bound") << Repeated(day, 30) << false;
    QTest::newRow("a millisecond more than thirty days of pauses is refused")
        << Repeated(day, 30) + "wait 1\n"
        << true;
    QTest::newRow("pauses before and after a frame, with its line time, just within the bound")
        << Repeated(day, 15) + "reset\n" + Repeated(day, 14) + "wait 86399998\n"
        << false;
    QTest::newRow("pauses before and after a frame passing the bound by its line time are refused")
        << Repeated(day, 15) + "reset\n" + Repeated(day, 15) << true;
    QTest::newRow("a long run of pauses between frames never overflows the count")
        << Repeated(Repeated(day, 29) + "reset\n", 40) << true;
}

void TestSequence::scheduleBoundHoldsAtItsEdge() {
    QFETCH(QByteArray, text);
    QFETCH(bool, refused);

    const std::vector<Step> steps = ParseSequence(text.toStdString());
    try {
        const PlaySchedule schedule(steps, std::nullopt);
        QVERIFY2(!refused, "the schedule was not refused");
        QVERIFY(schedule.length() <= kLongestSchedule);
    } catch (const Refusal& error) {
        QVERIFY2(refused, error.what());
        QVERIFY2(QString::fromUtf8(error.what()).contains(QStringLiteral("30 days")), error.what());
    }
}

void TestSequence::logEntries_data() {
    QTest::addColumn<QStringList>(
        "events"); // "sent BYTES @MS", "received TEXT @MS", "note TEXT @MS"
    QTest::addColumn<QString>("log");

    const QString single = "0000110099999999999999";
    QTest::newRow("the first frame has no wait; the next waits its time less the line's")
        << QStringList{"sent " + single + " @4512", "sent 1000100102022038630400 @5715"}
        << "# 21:03:04.512 sent 22 bytes\nsingle 0 1.100\nwait 1180\n"
           "# 21:03:05.715 sent 22 bytes\nfour 0:1.00 1:2.02 2:3.86 3:4.00\n";
    QTest::newRow("frames back to back at the line's rate need no wait")
        << QStringList{"sent U @0", "sent U @1.1", "sent U @2.1"}
        << "# 21:03:00.000 sent 1 bytes\nreset\n# 21:03:00.001 sent 1 bytes\nreset\n"
           "# 21:03:00.002 sent 1 bytes\nreset\n";
    QTest::newRow("waits are rounded against the whole timeline, so errors do not add up")
        << QStringList{"sent U @0", "sent U @2.6", "sent U @5.2", "sent U @7.8"}
        << "# 21:03:00.000 sent 1 bytes\nreset\nwait 2\n# 21:03:00.002 sent 1 bytes\nreset\n"
           "wait 1\n# 21:03:00.005 sent 1 bytes\nreset\nwait 2\n"
           "# 21:03:00.007 sent 1 bytes\nreset\n";
    QTest::newRow("a frame no command makes is a comment in hex and moves no clock")
        << QStringList{"sent U @0", "sent 00001100999999999999990 @500", "sent U @1000"}
        << "# 21:03:00.000 sent 1 bytes\nreset\n"
           "# 21:03:00.500 sent 23 bytes that play does not take: 30 30 30 30 31 31 30 30 39 "
           "39 39 39 39 39 39 39 39 39 39 39 39 39 30\n"
           "wait 999\n# 21:03:01.000 sent 1 bytes\nreset\n";
    QTest::newRow("a gain flag of 1 is not something play sends")
        << QStringList{"sent 0011110099999999999999 @0"}
        << "# 21:03:00.000 sent 22 bytes that play does not take: 30 30 31 31 31 31 30 30 39 "
           "39 39 39 39 39 39 39 39 39 39 39 39 39\n";
    QTest::newRow("a wait longer than a sequence may hold is split, and a new day is dated")
        << QStringList{"sent U @0", "sent U @172800000"}
        << "# 21:03:00.000 sent 1 bytes\nreset\n# date 2026-12-10\nwait 86400000\n"
           "wait 86399999\n# 21:03:00.000 sent 1 bytes\nreset\n";
    QTest::newRow("midnight is dated once, however many entries follow it")
        << QStringList{"sent U @10619000", "sent U @10621000", "note port closed @10622500",
                       "sent U @10623000"}
        << "# 23:59:59.000 sent 1 bytes\nreset\n# date 2026-12-09\nwait 1999\n"
           "# 00:00:01.000 sent 1 bytes\nreset\n# 00:00:02.500 port closed\nwait 1999\n"
           "# 00:00:03.000 sent 1 bytes\nreset\n";
    QTest::newRow("the port's events are told in their fixed words")
        << QStringList{"opened /dev/ttyUSB1 @0", "lost the device was disconnected @5",
                       "closed @6"}
        << "# 21:03:00.000 port opened: /dev/ttyUSB1, 9600 8N1\n"
           "# 21:03:00.005 port lost: the device was disconnected\n"
           "# 21:03:00.006 port closed\n";
    QTest::newRow("a failed write names the frames it dropped, if any")
        << QStringList{"failed 2 timed out @0", "failed 0 writing failed @1"}
        << "# 21:03:00.000 dropped 2 queued frame(s), never sent: timed out\n"
           "# 21:03:00.001 write failed: writing failed\n";
    QTest::newRow("a refused Send keeps the warning, and a missing reply names its wait")
        << QStringList{"notsent 单通道控制：设定值“abc”不是数字。 @0",
                       "noreply 500 /dev/ttyUSB0 @600"}
        << "# 21:03:00.000 not sent: 单通道控制：设定值“abc”不是数字。\n"
           "# 21:03:00.600 no reply from /dev/ttyUSB0 within 500 ms\n";
    QTest::newRow("received bytes and notes stay on one line each")
        << QStringList{"received OK\nthen @10", "note not sent: 命令未发出：\n请再试 @20"}
        << "# 21:03:00.010 received 7 bytes: OK then\n# 21:03:00.020 not sent: 命令未发出： "
           "请再试\n";
}

void TestSequence::logEntries() {
    QFETCH(QStringList, events);
    QFETCH(QString, log);

    LogFormat format;
    QString written;
    const QString header =
        QString::fromStdString(format.header("quillon 0.1.0", "/dev/ttyUSB0", At(0)));
    QCOMPARE(header, QStringLiteral("# quillon log started 2026-12-08T21:03:00.000+00:00 by "
                                    "quillon 0.1.0, port /dev/ttyUSB0, 9600 8N1\n"));
    for (const QString& event : events) {
        const QString what = event.section(u' ', 0, 0);
        const QString text = event.section(u' ', 1).section(QStringLiteral(" @"), 0, 0);
        const LogMoment moment = At(event.section(QStringLiteral(" @"), -1).toDouble());
        const std::string bytes = text.toStdString();
        const std::string detail = text.section(u' ', 1).toStdString();
        const int count = text.section(u' ', 0, 0).toInt();
        std::string entry;
        if (what == QLatin1String("sent"))
            entry = format.sent(bytes, moment);
        else if (what == QLatin1String("received"))
            entry = format.received(bytes.size(), bytes, moment);
        else if (what == QLatin1String("notsent"))
            entry = format.notSent(bytes, moment);
        else if (what == QLatin1String("opened"))
            entry = format.portOpened(bytes, moment);
        else if (what == QLatin1String("closed"))
            entry = format.portClosed(moment);
        else if (what == QLatin1String("lost"))
            entry = format.portLost(bytes, moment);
        else if (what == QLatin1String("failed")) // "failed N REASON": N frames dropped
            entry = format.writeFailed(detail, std::size_t(count), moment);
        else if (what == QLatin1String("noreply")) // "noreply MS DEVICE"
            entry = format.noReply(detail, std::chrono::milliseconds(count), moment);
        else
            entry = format.note(bytes, moment);
        written += QString::fromStdString(entry);
    }
    QCOMPARE(written, log);
    // A log is itself a sequence: whatever it holds, it parses.
    try {
        ParseSequence((header + written).toStdString());
    } catch (const Refusal& refusal) {
        QFAIL(refusal.what());
    }
}

QTEST_GUILESS_MAIN(TestSequence)
#include "tst_sequence.moc"
