#include "xvfb_session.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

using quillon::testing::kSingleChannelSendOnScreen;
using quillon::testing::StopProcess;
using quillon::testing::XvfbSession;

namespace {

constexpr int kStartTimeoutMs = 30000;

} // namespace

class tst_E2e : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void clickingSendDrivesTheBoard_data();
    void clickingSendDrivesTheBoard();
    void boardWindowFollowsTheLocale_data();
    void boardWindowFollowsTheLocale();

private:
    QString m_binDir;
    std::unique_ptr<XvfbSession> m_x;
};

void tst_E2e::initTestCase() {
    m_binDir = qEnvironmentVariable("QUILLON_TEST_BIN_DIR");
    QVERIFY(QFile::exists(m_binDir + "/quillon"));
    QVERIFY(QFile::exists(m_binDir + "/quillon-board"));
    if (const QString missing = XvfbSession::missingTool(); !missing.isEmpty())
        QSKIP(qPrintable(missing + " is not installed"));
    m_x = std::make_unique<XvfbSession>();
    QVERIFY2(m_x->start(kStartTimeoutMs), qPrintable(m_x->errorString()));
}

void tst_E2e::cleanupTestCase() {
    m_x.reset();
}

// However the panel ends, a log it was writing holds every Send already made.
void tst_E2e::clickingSendDrivesTheBoard_data() {
    QTest::addColumn<int>("signalNumber"); // 0: Ctrl+Q pressed in the window
    QTest::newRow("ended by SIGTERM, the log flushed on the way out") << int(SIGTERM);
    QTest::newRow("killed right after the Send, the log already holds it") << int(SIGKILL);
    QTest::newRow("quit by Ctrl+Q, the way out of the close button") << 0;
}

void tst_E2e::clickingSendDrivesTheBoard() {
    QFETCH(int, signalNumber);
    QTemporaryDir dir;
    const QString link = dir.filePath("board");
    const QString log = dir.filePath("panel.log");

    QProcess board;
    board.setProcessEnvironment(m_x->environment());
    board.start(m_binDir + "/quillon-board", {"--link", link, "--reply", "echo"});
    QVERIFY(board.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(link), kStartTimeoutMs);

    QProcess panel;
    QProcessEnvironment panelEnvironment = m_x->environment();
    panelEnvironment.insert("QUILLON_PORT1", link);
    panelEnvironment.insert("QUILLON_PORT2", dir.filePath("no-such-port"));
    panel.setProcessEnvironment(panelEnvironment);
    panel.start(m_binDir + "/quillon", {"--log", log});
    QVERIFY(panel.waitForStarted());

    QByteArray windows;
    QTRY_VERIFY_WITH_TIMEOUT(
        m_x->xdotool({"search", "--onlyvisible", "--name", "^Form1$"}, &windows), kStartTimeoutMs);
    QVERIFY(m_x->clickAt(kSingleChannelSendOnScreen));

    QByteArray printed;
    QTRY_VERIFY_WITH_TIMEOUT((printed += board.readAllStandardOutput()).contains("ch0 1.100 V"),
                             kStartTimeoutMs);

    QCOMPARE(panel.state(), QProcess::Running);
    // With no window manager the keyboard follows the pointer, which the click left on the panel.
    if (signalNumber == 0)
        QVERIFY(m_x->xdotool({"key", "ctrl+q"}));
    else
        ::kill(pid_t(panel.processId()), signalNumber);
    QVERIFY(panel.waitForFinished(kStartTimeoutMs));
    if (signalNumber != SIGKILL) {
        QVERIFY2(panel.exitStatus() == QProcess::NormalExit && panel.exitCode() == 0,
                 panel.readAllStandardError().constData());
    }
    StopProcess(board);
    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray logged = file.readAll();
    QVERIFY2(logged.startsWith("# quillon log started ") &&
                 logged.contains(" sent 22 bytes\nsingle 0 1.100\n"),
             logged.constData());
}

void tst_E2e::boardWindowFollowsTheLocale_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("linkFolder");

    QTest::newRow("C.UTF-8 shows it in Chinese") << "C.UTF-8"
                                                 << "^Quillon 虚拟控制板$"
                                                 << "";
    QTest::newRow("en_US.UTF-8 shows it in English") << "en_US.UTF-8"
                                                     << "^Quillon virtual board$"
                                                     << "";
    QTest::newRow("de_DE.UTF-8, with no translation, in English") << "de_DE.UTF-8"
                                                                  << "^Quillon virtual board$"
                                                                  << "";
    QTest::newRow("a long link's path wraps within the screen")
        << "en_US.UTF-8"
        << "^Quillon virtual board$"
        << "a-folder-with-a-long-name/of-a-rig-in-the-climate-chamber/on-the-third-floor";
}

void tst_E2e::boardWindowFollowsTheLocale() {
    QFETCH(QString, locale);
    QFETCH(QString, title);
    QFETCH(QString, linkFolder);
    QTemporaryDir dir;
    const QString link = QDir(dir.filePath(linkFolder)).filePath("board");
    QVERIFY(QDir().mkpath(QFileInfo(link).path()));
    QProcessEnvironment environment = m_x->environment();
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANGUAGE"})
        environment.remove(QString::fromLatin1(variable));
    environment.insert("LANG", locale);

    QProcess board;
    board.setProcessEnvironment(environment);
    // Where ./run places it: right of the panel (x 221 to 647), within the 1024 x 768 screen.
    board.start(m_binDir + "/quillon-board",
                {"--link", link, "--window", "--window-position", "656,24"});
    QVERIFY(board.waitForStarted());
    QByteArray found;
    QTRY_VERIFY_WITH_TIMEOUT(m_x->xdotool({"search", "--onlyvisible", "--name", title}, &found),
                             kStartTimeoutMs);
    QByteArray geometry;
    QVERIFY(m_x->xdotool(
        {"getwindowgeometry", "--shell", QString::fromLatin1(found.split('\n').first())},
        &geometry));
    QMap<QString, int> shell;
    for (const QString& line : QString::fromLatin1(geometry).split(u'\n'))
        shell.insert(line.section(u'=', 0, 0), line.section(u'=', 1).toInt());
    QVERIFY2(shell.value("X") >= 648 && shell.value("Y") >= 0 &&
                 shell.value("X") + shell.value("WIDTH") <= 1024 &&
                 shell.value("Y") + shell.value("HEIGHT") <= 768,
             geometry.constData());
    StopProcess(board);
}

QTEST_GUILESS_MAIN(tst_E2e)
#include "tst_e2e.moc"
