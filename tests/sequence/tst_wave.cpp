#include "play_schedule.h"
#include "wave.h"

#include <QTest>

#include <clocale>

using namespace quillon::sequence;

namespace {

std::vector<std::string> StdWords(const QString& text) {
    std::vector<std::string> words;
    for (const QString& word : text.split(u' ', Qt::SkipEmptyParts))
        words.push_back(word.toStdString());
    return words;
}

// A plan from its waves and holds as quillon-send takes them ("0:sine 1:square", "2=0 3=1.5").
WavePlan Plan(const QString& waves, const QString& holds = {}, double rateHz = 0,
              double durationSeconds = 0) {
    WavePlan plan;
    for (const std::string& wave : StdWords(waves))
        plan.waves.push_back(ParseWave(wave));
    for (const std::string& hold : StdWords(holds))
        plan.holds.push_back(ParseHold(hold));
    if (rateHz > 0)
        plan.rateHz = rateHz;
    if (durationSeconds > 0)
        plan.durationSeconds = durationSeconds;
    return plan;
}

// Holds for every channel but the ones given, at 0 V.
QString HoldAllBut(std::initializer_list<int> waving) {
    QStringList holds;
    for (int channel = 0; channel < 8; ++channel) {
        if (std::find(waving.begin(), waving.end(), channel) == waving.end())
            holds << QStringLiteral("%1=0").arg(channel);
    }
    return holds.join(u' ');
}

} // namespace

class TestWave : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void levelAtNamedPoints_data();
    void levelAtNamedPoints();
    void framesCarryRoundedLevels_data();
    void framesCarryRoundedLevels();
    void lengthOfAWave_data();
    void lengthOfAWave();
    void fewPointsAPeriodAreTold_data();
    void fewPointsAPeriodAreTold();
    void printedWaveWaitsAsTheLogDoes();
    void scheduledLikePlay();
};

// A decimal comma in the process's locale must change no number read or written.
void TestWave::initTestCase() {
    std::setlocale(LC_ALL, "de_DE.UTF-8");
}

void TestWave::levelAtNamedPoints_data() {
    QTest::addColumn<QString>("wave");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<double>("volts");

    QTest::newRow("a sine starts half way between its levels")
        << "0:sine,low=1,high=3" << 0.0 << 2.0;
    QTest::newRow("a sine at a quarter period is at its high level")
        << "0:sine,freq=2,low=1,high=4" << 0.125 << 4.0;
    QTest::newRow("a sine at three quarters of a period is at its low level")
        << "0:sine,low=1,high=4" << 0.75 << 1.0;
    QTest::newRow("a sine is back half way after half a period") << "0:sine" << 0.5 << 2.5;
    QTest::newRow("a phase of 90 degrees starts a sine at its high level")
        << "0:sine,phase=90,high=4" << 0.0 << 4.0;
    QTest::newRow("a negative phase counts back from the start")
        << "0:sawtooth,phase=-90,high=4" << 0.0 << 3.0;
    QTest::newRow("a phase of a whole turn changes nothing")
        << "0:sawtooth,phase=360,high=4" << 0.25 << 1.0;
    QTest::newRow("a square is at its high level before its duty has passed")
        << "0:square,duty=25,low=1,high=3" << 0.2 << 3.0;
    QTest::newRow("a square falls to its low level as its duty ends")
        << "0:square,duty=25,low=1,high=3" << 0.25 << 1.0;
    QTest::newRow("a square rises again as the next period starts")
        << "0:square,freq=2,duty=25,low=1,high=3" << 0.5 << 3.0;
    QTest::newRow("a square of duty 0 stays at its low level")
        << "0:square,duty=0,low=1" << 0.0 << 1.0;
    QTest::newRow("a square of duty 100 stays at its high level")
        << "0:square,duty=100,high=2" << 0.999 << 2.0;
    QTest::newRow("a triangle climbs half way in a quarter period") << "0:triangle" << 0.25 << 2.5;
    QTest::newRow("a triangle peaks at half a period") << "0:triangle,low=1,high=2" << 0.5 << 2.0;
    QTest::newRow("a triangle falls back down in its second half")
        << "0:triangle,low=1,high=2" << 0.75 << 1.5;
    QTest::newRow("a triangle is at its low level when a period ends")
        << "0:triangle,freq=0.5,low=1" << 2.0 << 1.0;
    QTest::newRow("a sawtooth climbs in proportion") << "0:sawtooth,low=1,high=5" << 0.75 << 4.0;
    QTest::newRow("a sawtooth drops to its low level when a period ends")
        << "0:sawtooth,freq=0.5,low=1" << 2.0 << 1.0;
    QTest::newRow("thirty days on, a wave is where its period puts it")
        << "0:sine,freq=1,high=4" << 2592000.25 << 4.0;
    QTest::newRow("equal levels make a flat wave") << "0:sine,low=2.2,high=2.2" << 0.3 << 2.2;
    QTest::newRow("levels may be given in any decimal form")
        << "0:sawtooth,low=-.5e0,high=1.5E0" << 0.5 << 0.5;
}

void TestWave::levelAtNamedPoints() {
    QFETCH(QString, wave);
    QFETCH(double, seconds);
    QFETCH(double, volts);

    const double level = WaveLevel(ParseWave(wave.toStdString()), seconds);
    QVERIFY2(std::abs(level - volts) < 1e-9,
             qPrintable(QStringLiteral("%1 V, not %2 V").arg(level, 0, 'g', 17).arg(volts)));
}

void TestWave::framesCarryRoundedLevels_data() {
    QTest::addColumn<QString>("waves");
    QTest::addColumn<QString>("holds");
    QTest::addColumn<int>("index"); // at 40 frames a second
    QTest::addColumn<QString>("words");

    QTest::newRow("one wave goes out as single-channel frames rounded to the millivolt")
        << "3:sine,high=1"
        << "" << 5 << "single 3 0.854";
    QTest::newRow("a level half way between millivolts rounds to the even one")
        << "0:square,high=0.0025"
        << "" << 0 << "single 0 0.002";
    QTest::newRow("the next half millivolt rounds up to its even neighbour")
        << "0:square,high=0.0035"
        << "" << 0 << "single 0 0.004";
    QTest::newRow("a single-channel wave reaches 9.999 V") << "7:sine,low=9,high=9.999"
                                                           << "" << 10 << "single 7 9.999";
    QTest::newRow("two waves go out as eight-channel frames with the holds' codes")
        << "0:sine,high=4 5:sawtooth,high=2.5" << HoldAllBut({0, 5}).replace("2=0", "2=1") << 0
        << "eight 102 0 51 0 0 0 0 0";
    QTest::newRow("a code half way between two rounds to the even one")
        << "0:square,high=0.029296875 1:square,high=0.048828125" << HoldAllBut({0, 1}) << 0
        << "eight 2 2 0 0 0 0 0 0";
    QTest::newRow("4.98 V is code 255, the highest")
        << "0:square,high=4.98 1:square,low=0,high=0" << HoldAllBut({0, 1}) << 0
        << "eight 255 0 0 0 0 0 0 0";
    QTest::newRow("channels step together, each on its own phase")
        << "0:triangle,high=2.5 1:triangle,high=2.5,phase=180"
        << HoldAllBut({0, 1}).replace("7=0", "7=4.98") << 10 << "eight 64 64 0 0 0 0 0 255";
}

void TestWave::framesCarryRoundedLevels() {
    QFETCH(QString, waves);
    QFETCH(QString, holds);
    QFETCH(int, index);
    QFETCH(QString, words);

    const WaveSchedule schedule(Plan(waves, holds, 40, 1));
    QCOMPARE(QString::fromStdString(StepWords(schedule.frame(std::size_t(index))).value()), words);
}

void TestWave::lengthOfAWave_data() {
    QTest::addColumn<double>("rate"); // 0: one frame per line time
    QTest::addColumn<double>("duration");
    QTest::addColumn<double>("cycles");
    QTest::addColumn<qint64>("frames");
    QTest::addColumn<double>("lastSampleSeconds");
    QTest::addColumn<bool>("endless");

    QTest::newRow("two seconds at 40 frames a second are 80 frames, the last at 1.975 s")
        << 40.0 << 2.0 << 0.0 << qint64(80) << 1.975 << false;
    QTest::newRow("a duration that is a whole count of frames in decimal is that count")
        << 10.0 << 0.3 << 0.0 << qint64(3) << 0.2 << false;
    QTest::newRow("a duration between two samples takes the one before it")
        << 40.0 << 0.01 << 0.0 << qint64(1) << 0.0 << false;
    QTest::newRow("cycles count periods of the slowest wave")
        << 40.0 << 0.0 << 3.0 << qint64(480) << 11.975 << false;
    QTest::newRow("by default frames follow at the line's rate")
        << 0.0 << 1.0 << 0.0 << qint64(44) << 43 * 22.0 / 960 << false;
    QTest::newRow("a rate faster than the line is held to the line's rate")
        << 1000.0 << 1.0 << 0.0 << qint64(44) << 43 * 22.0 / 960 << false;
    QTest::newRow("without a duration a wave runs for thirty days")
        << 1.0 << 0.0 << 0.0 << qint64(2592000) << 2591999.0 << true;
    QTest::newRow("at the line's rate thirty days are 113105454 frames")
        << 0.0 << 0.0 << 0.0 << qint64(113105454) << 113105453 * 22.0 / 960 << true;
}

void TestWave::lengthOfAWave() {
    QFETCH(double, rate);
    QFETCH(double, duration);
    QFETCH(double, cycles);
    QFETCH(qint64, frames);
    QFETCH(double, lastSampleSeconds);
    QFETCH(bool, endless);

    WavePlan plan = Plan(QStringLiteral("0:sine,freq=0.5,high=4 1:square,freq=0.25,high=4"),
                         HoldAllBut({0, 1}), rate, duration);
    if (cycles > 0)
        plan.cycles = cycles;
    const WaveSchedule schedule(plan);
    QCOMPARE(qint64(schedule.size()), frames);
    QVERIFY(std::abs(schedule.sampleTime(schedule.size() - 1) - lastSampleSeconds) < 1e-9);
    QCOMPARE(schedule.endless(), endless);
    QVERIFY(schedule.length() <= kLongestSchedule);
    QVERIFY(schedule.length() > Nanoseconds(std::llround(lastSampleSeconds * 1e9)));
}

void TestWave::fewPointsAPeriodAreTold_data() {
    QTest::addColumn<QString>("wave");
    QTest::addColumn<QString>("notice"); // empty: none

    QTest::newRow("a wave at a tenth of the rate is not told") << "0:sine,freq=4"
                                                               << "";
    QTest::newRow("above a tenth of the rate a wave is told its points a period")
        << "0:sine,freq=8"
        << "channel 0's 8 Hz wave has 5 points a period at 40 frames a second";
    QTest::newRow("half the rate is allowed, with two points a period")
        << "5:square,freq=20"
        << "channel 5's 20 Hz wave has 2 points a period at 40 frames a second";
}

void TestWave::fewPointsAPeriodAreTold() {
    QFETCH(QString, wave);
    QFETCH(QString, notice);

    const std::vector<std::string> notices = WaveSchedule(Plan(wave, {}, 40, 1)).notices();
    QCOMPARE(notices.empty() ? QString() : QString::fromStdString(notices.front()), notice);
}

// Played at the line's rate, a wave at 40 frames a second needs 2.083 ms after each frame's
// 22.917 ms on the line: rounded against the whole timeline, five waits of 2 ms make up 10.4 ms,
// so the sixth is 3.
void TestWave::printedWaveWaitsAsTheLogDoes() {
    const WaveSchedule schedule(Plan(QStringLiteral("0:sawtooth,freq=0.25,high=4"), {}, 40, 0.175));
    ScheduleText text(schedule);
    std::string printed;
    for (std::size_t i = 0; i < schedule.size(); ++i)
        printed += text.lines(i);
    QCOMPARE(QString::fromStdString(printed),
             QStringLiteral("single 0 0.000\nwait 2\nsingle 0 0.025\nwait 2\nsingle 0 0.050\n"
                            "wait 2\nsingle 0 0.075\nwait 2\nsingle 0 0.100\nwait 2\n"
                            "single 0 0.125\nwait 3\nsingle 0 0.150\n"));
}

// A wave's frames come from the same scheduler as play's, due at start + i / rate.
void TestWave::scheduledLikePlay() {
    const WaveSchedule schedule(Plan(QStringLiteral("2:square,freq=8,high=1"), {}, 40, 1));
    Nanoseconds now{5'000'000};
    PlayScheduler scheduler(schedule, [&] { return now; });
    scheduler.start();
    QCOMPARE(scheduler.takeDue()->bytes, std::string("0020100099999999999999"));
    QVERIFY(!scheduler.takeDue());
    // Woken late: the frames due by then come at once, each made for its own time.
    now += std::chrono::milliseconds(75);
    QCOMPARE(scheduler.takeDue()->bytes, std::string("0020100099999999999999"));
    QCOMPARE(scheduler.takeDue()->bytes, std::string("0020100099999999999999"));
    QCOMPARE(scheduler.takeDue()->bytes, std::string("0020000099999999999999"));
    QVERIFY(!scheduler.takeDue());
    QCOMPARE(scheduler.nextDueAt() - scheduler.startedAt(), std::chrono::milliseconds(100));
    QCOMPARE(scheduler.total(), std::size_t(40));
}

QTEST_GUILESS_MAIN(TestWave)
#include "tst_wave.moc"
