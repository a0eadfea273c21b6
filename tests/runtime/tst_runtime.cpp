#include "deadline_timer.h"
#include "shutdown_signals.h"

#include <QSignalSpy>
#include <QTest>

#include <csignal>

using quillon::DeadlineTimer;
using quillon::ShutdownSignals;
using quillon::SteadyNow;

class tst_Runtime : public QObject {
    Q_OBJECT

private slots:
    void aDeadlineFiresOnceAndNeverEarly_data();
    void aDeadlineFiresOnceAndNeverEarly();
    void aNewDeadlineReplacesTheOld();
    void aStoppedTimerIsReplacedCleanly();
    void eachShutdownSignalIsToldByNumber_data();
    void eachShutdownSignalIsToldByNumber();
};

void tst_Runtime::aDeadlineFiresOnceAndNeverEarly_data() {
    QTest::addColumn<int>("fromNowMs");
    QTest::newRow("a time already past fires at once") << -10;
    QTest::newRow("now fires at once") << 0;
    QTest::newRow("a time ahead fires no earlier") << 30;
}

void tst_Runtime::aDeadlineFiresOnceAndNeverEarly() {
    QFETCH(int, fromNowMs);
    DeadlineTimer timer;
    QVERIFY2(timer.isValid(), qPrintable(timer.errorString()));
    QSignalSpy fired(&timer, &DeadlineTimer::fired);
    const std::chrono::nanoseconds due = SteadyNow() + std::chrono::milliseconds(fromNowMs);
    QVERIFY(timer.fireAt(due));
    QVERIFY(fired.wait());
    QVERIFY(SteadyNow() >= due);
    // One shot: a later deadline is the only thing that fires it again.
    QVERIFY(timer.fireAt(SteadyNow()));
    QVERIFY(fired.wait());
    QCOMPARE(fired.size(), 2);
}

void tst_Runtime::aNewDeadlineReplacesTheOld() {
    DeadlineTimer timer;
    QSignalSpy fired(&timer, &DeadlineTimer::fired);
    const std::chrono::nanoseconds later = SteadyNow() + std::chrono::milliseconds(40);
    QVERIFY(timer.fireAt(SteadyNow() + std::chrono::milliseconds(10)));
    QVERIFY(timer.fireAt(later));
    QVERIFY(fired.wait());
    QVERIFY(SteadyNow() >= later);
    QCOMPARE(fired.size(), 1);
}

// A stopped deadline never fires: the next one set is the first to come.
void tst_Runtime::aStoppedTimerIsReplacedCleanly() {
    DeadlineTimer timer;
    QSignalSpy fired(&timer, &DeadlineTimer::fired);
    QVERIFY(timer.fireAt(SteadyNow()));
    timer.stop();
    const std::chrono::nanoseconds next = SteadyNow() + std::chrono::milliseconds(20);
    QVERIFY(timer.fireAt(next));
    QVERIFY(fired.wait());
    QVERIFY(SteadyNow() >= next);
    QCOMPARE(fired.size(), 1);
}

void tst_Runtime::eachShutdownSignalIsToldByNumber_data() {
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("Ctrl-C") << SIGINT;
    QTest::newRow("SIGTERM, as systemd and kill send it") << SIGTERM;
    QTest::newRow("SIGHUP, as a closed terminal sends it") << SIGHUP;
}

void tst_Runtime::eachShutdownSignalIsToldByNumber() {
    QFETCH(int, signalNumber);
    ShutdownSignals watched;
    QVERIFY2(watched.isValid(), qPrintable(watched.errorString()));
    QSignalSpy requested(&watched, &ShutdownSignals::shutdownRequested);
    QCOMPARE(std::raise(signalNumber), 0);
    QVERIFY(requested.wait());
    QCOMPARE(requested.first().first().toInt(), signalNumber);
}

QTEST_GUILESS_MAIN(tst_Runtime)
#include "tst_runtime.moc"
