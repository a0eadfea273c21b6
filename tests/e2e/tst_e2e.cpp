#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int kStartTimeoutMs = 30000;

// Where Command1(0) sits on the screen: the client area opens at (221, 158); group 1 lies at
// (14, 26) in it and the button, 77 x 35, at (328, 28) in the group.
constexpr QPoint kSingleChannelSend{221 + 14 + 328 + 77 / 2, 158 + 26 + 28 + 35 / 2};

void Stop(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

} // namespace

class tst_E2e : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void clickingSendDrivesTheBoard();

private:
    bool xdotool(const QStringList& arguments, QByteArray* output = nullptr);

    QString m_binDir;
    QString m_display;
    QProcess m_xvfb;
    QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();
};

void tst_E2e::initTestCase() {
    m_binDir = qEnvironmentVariable("QUILLON_TEST_BIN_DIR");
    QVERIFY(QFile::exists(m_binDir + "/quillon"));
    QVERIFY(QFile::exists(m_binDir + "/quillon-board"));
    if (QStandardPaths::findExecutable("Xvfb").isEmpty())
        QSKIP("Xvfb is not installed");
    if (QStandardPaths::findExecutable("xdotool").isEmpty())
        QSKIP("xdotool is not installed");

    // -displayfd lets the server pick a free display and tell us its number.
    m_xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    QVERIFY(m_xvfb.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(m_xvfb.canReadLine() || m_xvfb.state() == QProcess::NotRunning,
                             kStartTimeoutMs);
    const QByteArray number = m_xvfb.readLine().trimmed();
    QVERIFY2(!number.isEmpty(), m_xvfb.readAllStandardError().constData());
    m_display = ":" + QString::fromLatin1(number);

    m_environment.insert("DISPLAY", m_display);
    m_environment.insert("QT_QPA_PLATFORM", "xcb");
    m_environment.remove("WAYLAND_DISPLAY");
}

void tst_E2e::cleanupTestCase() {
    Stop(m_xvfb);
}

bool tst_E2e::xdotool(const QStringList& arguments, QByteArray* output) {
    QProcess tool;
    tool.setProcessEnvironment(m_environment);
    tool.start("xdotool", arguments);
    if (!tool.waitForFinished(10000))
        return false;
    if (output)
        *output = tool.readAllStandardOutput();
    return tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

void tst_E2e::clickingSendDrivesTheBoard() {
    QTemporaryDir dir;
    const QString link = dir.filePath("board");

    QProcess board;
    board.setProcessEnvironment(m_environment);
    board.start(m_binDir + "/quillon-board", {"--link", link, "--reply", "echo"});
    QVERIFY(board.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(link), kStartTimeoutMs);

    QProcess panel;
    QProcessEnvironment panelEnvironment = m_environment;
    panelEnvironment.insert("QUILLON_PORT1", link);
    panelEnvironment.insert("QUILLON_PORT2", dir.filePath("no-such-port"));
    panel.setProcessEnvironment(panelEnvironment);
    panel.start(m_binDir + "/quillon", {});
    QVERIFY(panel.waitForStarted());

    QByteArray windows;
    QTRY_VERIFY_WITH_TIMEOUT(xdotool({"search", "--onlyvisible", "--name", "^Form1$"}, &windows),
                             kStartTimeoutMs);
    QVERIFY(xdotool({"mousemove", QString::number(kSingleChannelSend.x()),
                     QString::number(kSingleChannelSend.y()), "click", "1"}));

    QByteArray printed;
    QTRY_VERIFY_WITH_TIMEOUT((printed += board.readAllStandardOutput()).contains("ch0 1.100 V"),
                             kStartTimeoutMs);

    QCOMPARE(panel.state(), QProcess::Running);
    Stop(panel);
    Stop(board);
}

QTEST_GUILESS_MAIN(tst_E2e)
#include "tst_e2e.moc"
