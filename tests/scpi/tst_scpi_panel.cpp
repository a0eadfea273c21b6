#include "commands.h"
#include "panel_harness.h"
#include "port_menu.h"
#include "scpi_control.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using quillon::ListenAddress;
using quillon::OperatorMessage;
using quillon::ScpiControl;
using quillon::testing::PanelHarness;
namespace sequence = quillon::sequence;

namespace {

constexpr int kTimeoutMs = 60000;

QByteArray SendWire(const QString& command) {
    std::vector<std::string> words;
    for (const QString& word : command.split(u' ', Qt::SkipEmptyParts))
        words.push_back(word.toStdString());
    return QByteArray::fromStdString(sequence::ParseFrameCommand(words).bytes);
}

// PyVISA clients run beside the panel, whose event loop goes on meanwhile.
std::optional<QStringList> RunClients(quint16 port, const QStringList& steps) {
    QProcess client;
    QSignalSpy finished(&client, &QProcess::finished);
    client.start(QStringLiteral("/usr/bin/python3"),
                 QStringList{QStringLiteral(QUILLON_SCPI_CLIENT_SCRIPT), QString::number(port),
                             "steps", "c1"} +
                     steps);
    if (!finished.wait(kTimeoutMs) || client.exitCode() != 0) {
        qWarning("client failed: %s", client.readAllStandardError().constData());
        return std::nullopt;
    }
    return QString::fromLatin1(client.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

class TestScpiPanel : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void clientFramesGoOutOnThePanelsLine_data();
    void clientFramesGoOutOnThePanelsLine();
    void theMenuTitleCountsClients();
    void theMenuItemStartsAndStopsServing();
    void aPortInUseIsToldInAWarning();
    void aPlayingSequenceRefusesClientFrames();
    void theLogNamesTheClientNotTheOperator();

private:
    std::unique_ptr<PanelHarness> m_panel;
    std::unique_ptr<ScpiControl> m_scpi;
    QList<OperatorMessage> m_warnings;
    QString m_addressAnswer;
};

void TestScpiPanel::initTestCase() {
    QProcess probe;
    probe.start(QStringLiteral("/usr/bin/python3"), {"-c", "import pyvisa, pyvisa_py"});
    if (!probe.waitForFinished(kTimeoutMs) || probe.exitCode() != 0)
        QSKIP("Debian's python3-pyvisa and python3-pyvisa-py are not installed");
}

void TestScpiPanel::init() {
    m_panel = std::make_unique<PanelHarness>();
    QVERIFY(m_panel->isValid());
    QVERIFY(m_panel->open());
    m_warnings.clear();
    m_scpi = std::make_unique<ScpiControl>(
        m_panel->form(), m_panel->controller(),
        [this](const OperatorMessage& message) { m_warnings << message; },
        [this](QWidget*, const QString&) { return m_addressAnswer; });
}

void TestScpiPanel::cleanup() {
    m_scpi.reset();
    m_panel.reset();
}

void TestScpiPanel::clientFramesGoOutOnThePanelsLine_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("sent"); // as quillon-send's words
    QTest::addColumn<bool>("shownInSendCode");

    QTest::newRow("a client's single-channel frame shows in the send code box")
        << "SOUR3:VOLT 2.5"
        << "single 2 2.500" << true;
    QTest::newRow("a client's reset leaves the send code box as the operator's does")
        << "*RST"
        << "reset" << false;
    QTest::newRow("a client's eight-channel frame leaves the send code box as it was")
        << "SOUR:CODE:ALL 20,0,0,0,0,0,0,255"
        << "eight 20 0 0 0 0 0 0 255" << false;
}

void TestScpiPanel::clientFramesGoOutOnThePanelsLine() {
    QFETCH(QString, command);
    QFETCH(QString, sent);
    QFETCH(bool, shownInSendCode);
    QVERIFY(m_scpi->start(ListenAddress{QHostAddress::LocalHost, 0}));
    QLineEdit* sendCodeBox = m_panel->form().resetGroup().sendCodeBox;
    const QString before = sendCodeBox->text();
    const std::optional<QStringList> replies =
        RunClients(m_scpi->address().port, {"w" + command, "q*OPC?"});
    QVERIFY(replies);
    QCOMPARE(*replies, QStringList{"1"});
    QCOMPARE(m_panel->board().readAvailable(), SendWire(sent));
    QCOMPARE(sendCodeBox->text(), shownInSendCode ? QString::fromLatin1(SendWire(sent)) : before);
}

void TestScpiPanel::theMenuTitleCountsClients() {
    QVERIFY(m_scpi->start(ListenAddress{QHostAddress::LocalHost, 0}));
    quillon::PortMenu* menu = m_panel->portMenu();
    const QString portTitle = quillon::PortMenuTitle(m_panel->controller().link().deviceName());
    QCOMPARE(menu->title(), portTitle + QStringLiteral(" · SCPI 0"));
    QTcpSocket first;
    QTcpSocket second;
    first.connectToHost(QHostAddress::LocalHost, m_scpi->address().port);
    second.connectToHost(QHostAddress::LocalHost, m_scpi->address().port);
    QTRY_COMPARE_WITH_TIMEOUT(menu->title(), portTitle + QStringLiteral(" · SCPI 2"), kTimeoutMs);
    first.disconnectFromHost();
    QTRY_COMPARE_WITH_TIMEOUT(menu->title(), portTitle + QStringLiteral(" · SCPI 1"), kTimeoutMs);
    m_scpi->stop();
    QCOMPARE(menu->title(), portTitle);
}

void TestScpiPanel::theMenuItemStartsAndStopsServing() {
    QAction* item = m_panel->form().findChild<QAction*>(QStringLiteral("SCPI"));
    QVERIFY(item == nullptr); // the item belongs to the control, not to the window
    item = m_scpi->findChild<QAction*>(QStringLiteral("SCPI"));
    QVERIFY(item);
    QVERIFY(m_panel->portMenu()->actions().contains(item));
    m_addressAnswer = QString();
    item->trigger();
    QVERIFY(!m_scpi->isServing());
    QVERIFY(!item->isChecked());
    m_addressAnswer = QStringLiteral("127.0.0.1:0");
    item->trigger();
    QVERIFY(m_scpi->isServing());
    QVERIFY(item->isChecked());
    item->trigger();
    QVERIFY(!m_scpi->isServing());
    QVERIFY(!item->isChecked());
    m_addressAnswer = QStringLiteral("localhost");
    item->trigger();
    QVERIFY(!m_scpi->isServing());
    QCOMPARE(m_warnings.size(), 1);
}

void TestScpiPanel::aPortInUseIsToldInAWarning() {
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::LocalHost));
    const ListenAddress address{QHostAddress::LocalHost, taken.serverPort()};
    QVERIFY(!m_scpi->start(address));
    QCOMPARE(m_warnings.size(), 1);
    QCOMPARE(m_warnings[0].kind, OperatorMessage::Kind::Warning);
    QVERIFY2(m_warnings[0].text.contains(address.text()), qPrintable(m_warnings[0].text));
}

void TestScpiPanel::aPlayingSequenceRefusesClientFrames() {
    QVERIFY(m_scpi->start(ListenAddress{QHostAddress::LocalHost, 0}));
    const QString path = m_panel->filePath(QStringLiteral("long.seq"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("reset\nwait 600000\nreset\n");
    file.close();
    m_panel->controller().playSequence(path);
    QVERIFY(m_panel->controller().isPlaying());
    const std::optional<QStringList> replies =
        RunClients(m_scpi->address().port, {"wSOUR1:VOLT 1", "qSYST:ERR?"});
    m_panel->controller().stopPlaying();
    QVERIFY(replies);
    QCOMPARE(*replies, QStringList{"-240,\"Hardware error;a sequence is playing\""});
}

void TestScpiPanel::theLogNamesTheClientNotTheOperator() {
    QVERIFY(m_scpi->start(ListenAddress{QHostAddress::LocalHost, 0}));
    const QString path = m_panel->filePath(QStringLiteral("rig.log"));
    QVERIFY(m_panel->controller().startLog(path));
    QVERIFY(m_panel->click(QStringLiteral("Command1(0)")));
    QVERIFY(RunClients(m_scpi->address().port, {"wSOUR3:VOLT 2.5", "q*OPC?"}));
    m_panel->controller().stopLog();
    QFile log(path);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(log.readAll());
    const QRegularExpression operatorFrame(QStringLiteral("sent 22 bytes\\nsingle 0 1\\.100\\n"));
    const QRegularExpression clientFrame(
        QStringLiteral("sent 22 bytes by 127\\.0\\.0\\.1:\\d+\\nsingle 2 2\\.500\\n"));
    QVERIFY2(operatorFrame.match(text).hasMatch(), qPrintable(text));
    QVERIFY2(clientFrame.match(text).hasMatch(), qPrintable(text));
}

QTEST_MAIN(TestScpiPanel)
#include "tst_scpi_panel.moc"
