#include "commands.h"
#include "pty_pair.h"
#include "sequence_reader.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using quillon::testing::PtyPair;
namespace sequence = quillon::sequence;

namespace {

constexpr int kTimeoutMs = 60000;
// Debian's own Python, whose python3-pyvisa is the client labs use; not whatever is first on PATH.
const QString kPython = QStringLiteral("/usr/bin/python3");

QString BinPath(const char* program) {
    return qEnvironmentVariable("QUILLON_TEST_BIN_DIR") + u'/' + QLatin1String(program);
}

QString ClientScript() {
    return QStringLiteral(QUILLON_SCPI_CLIENT_SCRIPT);
}

// The bytes quillon-send writes for these commands, one after another.
QByteArray SendWire(const QStringList& commands) {
    QByteArray wire;
    for (const QString& command : commands) {
        std::vector<std::string> words;
        for (const QString& word : command.split(u' ', Qt::SkipEmptyParts))
            words.push_back(word.toStdString());
        wire += QByteArray::fromStdString(sequence::ParseFrameCommand(words).bytes);
    }
    return wire;
}

// quillon-scpi on a port the test chose, listening on a free loopback port.
class ServerProcess {
public:
    bool start(const QStringList& arguments) {
        m_process.setProgram(BinPath("quillon-scpi"));
        m_process.setArguments(arguments + QStringList{"--listen", "127.0.0.1:0"});
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("QUILLON_PORT1"));
        environment.remove(QStringLiteral("QUILLON_PORT2"));
        m_process.setProcessEnvironment(environment);
        m_process.start();
        if (!m_process.waitForStarted(kTimeoutMs))
            return false;
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(kTimeoutMs))
                return false;
        }
        const QByteArray line = m_process.readLine().trimmed();
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("^listening on 127\\.0\\.0\\.1:(\\d+)$"))
                .match(QString::fromLatin1(line));
        m_port = match.hasMatch() ? match.captured(1).toInt() : 0;
        return m_port > 0;
    }

    // SIGTERM, then its exit status (-1 for a crash or no end in time).
    int stop() {
        ::kill(pid_t(m_process.processId()), SIGTERM);
        if (!m_process.waitForFinished(kTimeoutMs))
            return -1;
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

    // The program's peak memory so far, from the kernel.
    qint64 peakRssKiB() const {
        QFile status(QStringLiteral("/proc/%1/status").arg(m_process.processId()));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("VmHWM:\\s+(\\d+) kB"))
                .match(QString::fromLatin1(status.readAll()));
        return match.hasMatch() ? match.captured(1).toLongLong() : -1;
    }

    int port() const { return m_port; }
    QByteArray errorOutput() { return m_process.readAllStandardError(); }
    ~ServerProcess() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(kTimeoutMs);
        }
    }

private:
    QProcess m_process;
    int m_port = 0;
};

// The client script's output lines, or nothing when it failed (its error output is shown).
std::optional<QStringList> RunClients(int port, const QStringList& arguments) {
    QProcess client;
    client.start(kPython, QStringList{ClientScript(), QString::number(port)} + arguments);
    if (!client.waitForFinished(kTimeoutMs) || client.exitStatus() != QProcess::NormalExit ||
        client.exitCode() != 0) {
        qWarning("client failed: %s", client.readAllStandardError().constData());
        return std::nullopt;
    }
    return QString::fromLatin1(client.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

class TestScpiServer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void commandsOnTheLine_data();
    void commandsOnTheLine();
    void clientsInterleaveWithTheirOwnErrors();
    void hostileClientsCostBoundedMemoryAndSlowNoOne();
    void logNamesTheClientAndPlaysBack();
    void noPortIsMissingHardware();
    void optionsAreChecked_data();
    void optionsAreChecked();

private:
    std::unique_ptr<PtyPair> m_board;
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<ServerProcess> m_server;
};

void TestScpiServer::initTestCase() {
    QProcess probe;
    probe.start(kPython, QStringList{"-c", "import pyvisa, pyvisa_py"});
    if (!probe.waitForFinished(kTimeoutMs) || probe.exitCode() != 0)
        QSKIP("Debian's python3-pyvisa and python3-pyvisa-py are not installed");
}

void TestScpiServer::init() {
    m_board = std::make_unique<PtyPair>();
    QVERIFY(m_board->isValid());
    m_folder = std::make_unique<QTemporaryDir>();
    m_server = std::make_unique<ServerProcess>();
    QVERIFY(m_server->start({"--port", m_board->slavePath(), "--log", m_folder->filePath("log")}));
}

void TestScpiServer::cleanup() {
    m_server.reset();
    m_board.reset();
    m_folder.reset();
}

void TestScpiServer::commandsOnTheLine_data() {
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("replies");
    QTest::addColumn<QStringList>("sent"); // as quillon-send's words

    QTest::newRow("the identity names Quillon's DAC8")
        << QStringList{"q*IDN?"} << QStringList{"Quillon,DAC8,0," QUILLON_VERSION} << QStringList();
    QTest::newRow("channel 3 at 2.5 V is quillon-send's frame for channel 2")
        << QStringList{"wSOUR3:VOLT 2.5", "qSOUR3:VOLT?"} << QStringList{"2.500"}
        << QStringList{"single 2 2.500"};
    QTest::newRow("a long-form voltage in millivolts on channel 8")
        << QStringList{"wSOURce8:VOLTage:LEVel:IMMediate:AMPLitude 1100 MV"} << QStringList()
        << QStringList{"single 7 1.100"};
    QTest::newRow("eight voltages are the eight-channel frame of their codes")
        << QStringList{"wSOUR:VOLT:ALL 0.390625,0,0,0,0,0,2.5,4.98", "qSOUR1:VOLT?"}
        << QStringList{"0.390625"} << QStringList{"eight 20 0 0 0 0 0 128 255"};
    QTest::newRow("eight codes are the eight-channel frame")
        << QStringList{"wSOUR:CODE:ALL 1,2,3,4,5,6,7,255"} << QStringList()
        << QStringList{"eight 1 2 3 4 5 6 7 255"};
    QTest::newRow("a reset writes the reset byte and the channels read zero")
        << QStringList{"w*RST", "qSOUR5:VOLT?"} << QStringList{"0"} << QStringList{"reset"};
    QTest::newRow("a value out of range sends nothing and queues -222")
        << QStringList{"wSOUR1:VOLT 12", "qSYST:ERR?;*ESR?"}
        << QStringList{"-222,\"Data out of range\";16"} << QStringList();
    QTest::newRow("a channel past 8 sends nothing and queues -114")
        << QStringList{"wSOUR9:VOLT 1", "qSYST:ERR?"}
        << QStringList{"-114,\"Header suffix out of range\""} << QStringList();
    QTest::newRow("an unknown header sets the command error bit and the status byte")
        << QStringList{"w*ESE 32", "wBOGUS", "q*STB?;*ESR?;SYST:ERR?"}
        << QStringList{"36;32;-113,\"Undefined header\""} << QStringList();
    QTest::newRow("several queries are answered on one line")
        << QStringList{"qSYST:VERS?;CHAN:COUN?;*TST?"} << QStringList{"1999.0;8;0"}
        << QStringList();
    QTest::newRow("a wait holds the next command until the frame has had its time")
        << QStringList{"wSOUR2:VOLT 1;*WAI;:SOUR3:VOLT 2"} << QStringList()
        << QStringList{"single 1 1.000", "single 2 2.000"};
}

// Each row ends with *RST and *OPC?, so that once the answer has come, everything the row sent
// is on the board's end of the line, and nothing else is.
void TestScpiServer::commandsOnTheLine() {
    QFETCH(QStringList, steps);
    QFETCH(QStringList, replies);
    QFETCH(QStringList, sent);
    const std::optional<QStringList> output = RunClients(
        m_server->port(), QStringList{"steps", "c1"} + steps + QStringList{"w*RST", "q*OPC?"});
    QVERIFY(output);
    QCOMPARE(*output, replies + QStringList{"1"});
    QCOMPARE(m_board->readAvailable(), SendWire(sent + QStringList{"reset"}));
}

void TestScpiServer::clientsInterleaveWithTheirOwnErrors() {
    const std::optional<QStringList> output = RunClients(
        m_server->port(),
        {"steps", "c1", "wSOUR1:VOLT 1", "c2", "wSOUR2:VOLT 2", "c1", "wBOGUS", "c2", "qSYST:ERR?",
         "wSOUR3:VOLT 3", "c1", "qSYST:ERR?", "qSOUR2:VOLT?", "c2", "q*OPC?", "c1", "q*OPC?"});
    QVERIFY(output);
    QCOMPARE(*output,
             (QStringList{"0,\"No error\"", "-113,\"Undefined header\"", "2.000", "1", "1"}));
    QCOMPARE(m_board->readAvailable(),
             SendWire({"single 0 1.000", "single 1 2.000", "single 2 3.000"}));
}

void TestScpiServer::hostileClientsCostBoundedMemoryAndSlowNoOne() {
    const std::optional<QStringList> output = RunClients(m_server->port(), {"hostile"});
    QVERIFY(output);
    QMap<QString, QString> seen;
    for (const QString& line : *output)
        seen.insert(line.section(u'=', 0, 0), line.section(u'=', 1));
    QCOMPARE(seen.value("never_reading_accepted_all"), QStringLiteral("False"));
    QCOMPARE(seen.value("after_long_line"), QStringLiteral("Quillon,DAC8,0," QUILLON_VERSION));
    QCOMPARE(seen.value("long_line_error"), QStringLiteral("-363,\"Input buffer overrun\""));
    QCOMPARE(seen.value("after_binary"), QStringLiteral("0"));
    // Sixteen idle clients are served beside the one that never reads; past the limit, a
    // connection is closed at once.
    QCOMPARE(seen.value("idle_clients_served"), QStringLiteral("16"));
    QCOMPARE(seen.value("refused_past_the_limit"), QStringLiteral("True"));
    QCOMPARE(seen.value("polite"), QStringLiteral("1.250;1"));
    // Only the polite client's frame: the long line was dropped whole, the vanished one unended.
    QCOMPARE(m_board->readAvailable(), SendWire({"single 3 1.250"}));
#ifndef QUILLON_SANITIZED
    const qint64 peak = m_server->peakRssKiB();
    QVERIFY2(peak > 0 && peak < 64 * 1024, qPrintable(QString::number(peak)));
#endif
}

void TestScpiServer::logNamesTheClientAndPlaysBack() {
    QVERIFY(RunClients(m_server->port(),
                       {"steps", "c1", "wSOUR3:VOLT 2.5", "wCODE:ALL 20,0,0,0,0,0,0,1", "q*OPC?"}));
    QCOMPARE(m_server->stop(), 0);
    QFile log(m_folder->filePath("log"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray text = log.readAll();
    QVERIFY2(QRegularExpression(QStringLiteral("sent 22 bytes by 127\\.0\\.0\\.1:\\d+\\n"))
                 .match(QString::fromLatin1(text))
                 .hasMatch(),
             text.constData());
    QByteArray played;
    for (const sequence::Step& step : sequence::ParseSequence(text.toStdString())) {
        if (const auto* frame = std::get_if<sequence::Frame>(&step))
            played += QByteArray::fromStdString(frame->bytes);
    }
    QCOMPARE(played, SendWire({"single 2 2.500", "eight 20 0 0 0 0 0 0 1"}));
}

void TestScpiServer::noPortIsMissingHardware() {
    ServerProcess noPort;
    QVERIFY(noPort.start({"--port", m_folder->filePath("no-such-device")}));
    const std::optional<QStringList> output =
        RunClients(noPort.port(), {"steps", "c1", "wSOUR1:VOLT 1", "qSYST:ERR?;*ESR?"});
    QVERIFY(output);
    QCOMPARE(*output, QStringList{"-241,\"Hardware missing;no port open\";16"});
}

void TestScpiServer::optionsAreChecked_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");

    QTest::newRow("a listen address without a port is refused")
        << QStringList{"--listen", "127.0.0.1"} << 2 << "is not [ADDR]:PORT";
    QTest::newRow("an IPv6 address without brackets is refused")
        << QStringList{"--listen", "::1:5025"} << 2 << "is not [ADDR]:PORT";
    QTest::newRow("a port past 65535 is refused")
        << QStringList{"--listen", ":65536"} << 2 << "is not [ADDR]:PORT";
    QTest::newRow("an unknown option is named") << QStringList{"--bogus"} << 2 << "\"--bogus\"";
    QTest::newRow("a port in use is told")
        << QStringList{"--listen", "PORT_IN_USE"} << 1 << "cannot listen on 127.0.0.1:";
}

void TestScpiServer::optionsAreChecked() {
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, message);
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::LocalHost));
    arguments.replaceInStrings(QStringLiteral("PORT_IN_USE"),
                               QStringLiteral("127.0.0.1:%1").arg(taken.serverPort()));
    QProcess process;
    process.start(BinPath("quillon-scpi"), QStringList{"--port", m_board->slavePath()} + arguments);
    QVERIFY(process.waitForFinished(kTimeoutMs));
    QCOMPARE(process.exitCode(), status);
    const QByteArray err = process.readAllStandardError();
    QVERIFY2(err.contains(message.toUtf8()), err.constData());
}

QTEST_GUILESS_MAIN(TestScpiServer)
#include "tst_scpi_server.moc"
