#include "panel_harness.h"
#include "pty_pair.h"
#include "send_program.h"
#include "ser2net_server.h"
#include "line_time.h"
#include "link_transport.h"
#include "serial_link.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <QElapsedTimer>

#include <memory>
#include <termios.h>

using namespace quillon;
using testing::EightChannelWire;
using testing::PanelHarness;
using testing::PtyPair;
using testing::RunQuillonSend;
using testing::Ser2NetServer;

namespace {

enum class Mode { RawTcp, Rfc2217 };

constexpr int kTimeoutMs = 15000;

// A board on a pty with ser2net in front of it on 127.0.0.1.
struct RemoteBoard {
    PtyPair board;
    Ser2NetServer server{board.slavePath()};

    QString url(Mode mode) const {
        return mode == Mode::RawTcp
                   ? QStringLiteral("tcp://127.0.0.1:%1").arg(server.rawPort())
                   : QStringLiteral("rfc2217://127.0.0.1:%1").arg(server.rfc2217Port());
    }
};

std::span<const std::uint8_t> AsBytes(const QByteArray& bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())};
}

termios LineOf(const PtyPair& board) {
    termios line{};
    // Terminal settings asked of a pty master are those of its slave.
    tcgetattr(board.masterFd(), &line);
    return line;
}

speed_t SpeedOf(const PtyPair& board) {
    const termios line = LineOf(board);
    return cfgetospeed(&line);
}

// A server that says what the row tells it to, and nothing more, whatever the client asks.
class ScriptedServer : public QObject {
public:
    explicit ScriptedServer(QByteArray script) : m_script(std::move(script)) {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            m_client.reset(m_server.nextPendingConnection());
            m_client->write(m_script);
        });
    }
    QString url() const {
        return QStringLiteral("rfc2217://127.0.0.1:%1").arg(m_server.serverPort());
    }

private:
    QTcpServer m_server;
    QByteArray m_script;
    std::unique_ptr<QTcpSocket> m_client;
};

// A raw TCP server that reads when told to, and notes when its client went away, counted
// from start().
class QuietServer : public QObject {
public:
    QuietServer() {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            m_client.reset(m_server.nextPendingConnection());
            connect(m_client.get(), &QTcpSocket::disconnected, this,
                    [this] { m_goneAfterMs = m_clock.elapsed(); });
        });
    }
    QString url() const { return QStringLiteral("tcp://127.0.0.1:%1").arg(m_server.serverPort()); }
    void start() { m_clock.start(); }
    bool connected() const { return m_client != nullptr; }
    // Everything the client sent, once it has gone away.
    QByteArray readUntilGone(int timeoutMs) {
        QByteArray bytes;
        QElapsedTimer waited;
        waited.start();
        while (m_goneAfterMs < 0 && !waited.hasExpired(timeoutMs)) {
            bytes += m_client->readAll();
            QTest::qWait(5);
        }
        return bytes + m_client->readAll();
    }
    qint64 goneAfterMs() const { return m_goneAfterMs; }

private:
    QTcpServer m_server;
    std::unique_ptr<QTcpSocket> m_client;
    QElapsedTimer m_clock;
    qint64 m_goneAfterMs = -1;
};

} // namespace

Q_DECLARE_METATYPE(Mode)

class tst_Remote : public QObject {
    Q_OBJECT

private slots:
    void init();
    void sendsEveryCommand_data();
    void sendsEveryCommand();
    void nothingIsLostWhenTheProgramEndsRightAfter_data();
    void nothingIsLostWhenTheProgramEndsRightAfter();
    void rfc2217SetsTheLineWhileConnected();
    void refusedAndDroppedConnectionsAreToldAndRecovered_data();
    void refusedAndDroppedConnectionsAreToldAndRecovered();
    void aServerThatWillNotTake9600IsNotUsed_data();
    void aServerThatWillNotTake9600IsNotUsed();
    void aConnectionTurnedAwayIsPortTrouble();
    void anUnreachablePort1FallsBackToPort2();
    void thePanelDrivesTheBoardThroughTcp();
    void theWindowStaysUsableWhileAServerDoesNotAnswer();
    void anOldNetworkPortLingersForItsLastFrame();
    void aFrameDroppedWhileTheConnectionHoldsItNeverArrives_data();
    void aFrameDroppedWhileTheConnectionHoldsItNeverArrives();
    void aQuitRightAfterASendLetsTheFrameOut();
};

void tst_Remote::init() {
    if (!Ser2NetServer::isInstalled())
        QSKIP("ser2net is not installed");
}

void tst_Remote::sendsEveryCommand_data() {
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("wire");

    for (const Mode mode : {Mode::RawTcp, Mode::Rfc2217}) {
        const char* by = mode == Mode::RawTcp ? "by raw TCP" : "by RFC 2217";
        QTest::addRow("single, %s", by)
            << mode << "single 0 1.100" << QByteArray("0000110099999999999999");
        QTest::addRow("four, %s", by)
            << mode << "four 0:1.00 1:2.02 2:3.86 3:4.00" << QByteArray("1000100102022038630400");
        QTest::addRow("eight with the codes 0 and 255, %s", by)
            << mode << "eight 0 32 64 96 128 160 192 255"
            << EightChannelWire({0, 32, 64, 96, 128, 160, 192, 255});
        QTest::addRow("reset, %s", by) << mode << "reset" << QByteArray("U");
    }
}

void tst_Remote::sendsEveryCommand() {
    QFETCH(Mode, mode);
    QFETCH(QString, command);
    QFETCH(QByteArray, wire);

    RemoteBoard remote;
    QVERIFY2(remote.server.start(), qPrintable(remote.server.errorString()));
    QByteArray err;
    QCOMPARE(RunQuillonSend(QStringList{"--port", remote.url(mode)} + command.split(u' '), &err),
             0);
    QCOMPARE(remote.board.readExactly(wire.size(), kTimeoutMs), wire);
    QCOMPARE(remote.board.readUntilQuiet(300, 100), QByteArray());
    QCOMPARE(err, QByteArray());
}

void tst_Remote::nothingIsLostWhenTheProgramEndsRightAfter_data() {
    QTest::addColumn<Mode>("mode");
    QTest::newRow("by raw TCP") << Mode::RawTcp;
    QTest::newRow("by RFC 2217") << Mode::Rfc2217;
}

// ser2net drops what it has not yet written to the device when a connection closes: each run
// ends only once its frame has had its time on the line.
void tst_Remote::nothingIsLostWhenTheProgramEndsRightAfter() {
    QFETCH(Mode, mode);
    RemoteBoard remote;
    QVERIFY2(remote.server.start(), qPrintable(remote.server.errorString()));
    for (int run = 0; run < 100; ++run) {
        const QString volts =
            QStringLiteral("%1.%2").arg(run / 10).arg(run % 10 * 100, 3, 10, QLatin1Char('0'));
        QCOMPARE(RunQuillonSend({"--port", remote.url(mode), "single", "3", volts}), 0);
        const QByteArray expected = "0030" + QByteArray::number(run / 10) +
                                    QByteArray::number(run % 10) + "0099999999999999";
        QCOMPARE(remote.board.readExactly(22, kTimeoutMs), expected);
    }
}

// While an RFC 2217 connection is open the device runs at the 9600 8N1 the client asked for;
// ser2net puts back what the device had when the connection closes.
void tst_Remote::rfc2217SetsTheLineWhileConnected() {
    RemoteBoard remote;
    termios before = LineOf(remote.board);
    cfsetspeed(&before, B4800);
    QCOMPARE(tcsetattr(remote.board.masterFd(), TCSANOW, &before), 0);
    QVERIFY2(remote.server.start(), qPrintable(remote.server.errorString()));

    auto link = std::make_unique<SerialLink>(PortDevices{remote.url(Mode::Rfc2217), QString()});
    QSignalSpy finished(link.get(), &SerialLink::openFinished);
    QVERIFY(!link->OpenAtStartup());
    QVERIFY(link->isOpening());
    QVERIFY(finished.wait(kTimeoutMs));
    QCOMPARE(finished.first().at(1).toBool(), true);
    QVERIFY(link->isOpen());
    const termios line = LineOf(remote.board);
    QCOMPARE(cfgetospeed(&line), speed_t(B9600));
    QCOMPARE(line.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(line.c_cflag & (PARENB | CSTOPB), tcflag_t(0));

    const QByteArray frame = EightChannelWire({255, 0, 13, 255, 1, 2, 3, 255});
    QCOMPARE(link->WriteBytes(AsBytes(frame)), WriteOutcome::Queued);
    QCOMPARE(remote.board.readExactly(frame.size(), kTimeoutMs), frame);
    QSignalSpy received(link.get(), &SerialLink::received);
    const QByteArray reply = QByteArray("\xff\x00\x0d\xff", 4) + QByteArray(18, '7');
    QVERIFY(remote.board.write(reply));
    QTRY_VERIFY_WITH_TIMEOUT(!received.isEmpty(), kTimeoutMs);
    QCOMPARE(received.first().first().toByteArray(), reply);

    link.reset();
    QTRY_COMPARE_WITH_TIMEOUT(SpeedOf(remote.board), speed_t(B4800), kTimeoutMs);
}

void tst_Remote::refusedAndDroppedConnectionsAreToldAndRecovered_data() {
    QTest::addColumn<Mode>("mode");
    QTest::newRow("by raw TCP") << Mode::RawTcp;
    QTest::newRow("by RFC 2217") << Mode::Rfc2217;
}

void tst_Remote::refusedAndDroppedConnectionsAreToldAndRecovered() {
    QFETCH(Mode, mode);
    RemoteBoard remote;
    QVERIFY2(remote.server.start(), qPrintable(remote.server.errorString()));
    remote.server.stop();

    SerialLink link(PortDevices{remote.url(mode), QString()});
    QSignalSpy failed(&link, &SerialLink::writeFailed);
    QSignalSpy lost(&link, &SerialLink::portLost);
    // A Send with the server away waits for the connection, which is refused: the frame is told
    // as not sent, never sent later.
    QCOMPARE(link.WriteText("U"), WriteOutcome::Queued);
    QVERIFY(failed.wait(kTimeoutMs));
    const auto refused = failed.first().first().value<PortFailure>();
    QCOMPARE(refused.error, PortError::ConnectionRefused);
    QCOMPARE(refused.device, remote.url(mode));
    QCOMPARE(refused.droppedFrames, 1);
    QCOMPARE(link.openFailures().size(), 1);

    QVERIFY2(remote.server.restart(), qPrintable(remote.server.errorString()));
    QCOMPARE(link.WriteText("U"), WriteOutcome::Queued);
    QCOMPARE(remote.board.readExactly(1, kTimeoutMs), QByteArray("U"));
    QTRY_COMPARE_WITH_TIMEOUT(link.lineBusyFor(), std::chrono::nanoseconds(0), kTimeoutMs);

    // The connection drops: told once, when it drops; the next Send connects again.
    remote.server.stop();
    QVERIFY(lost.wait(kTimeoutMs));
    QCOMPARE(lost.first().first().value<PortFailure>().error, PortError::Gone);
    QVERIFY(!link.isOpen());
    QVERIFY2(remote.server.restart(), qPrintable(remote.server.errorString()));
    QCOMPARE(link.WriteText("U"), WriteOutcome::Queued);
    QCOMPARE(remote.board.readExactly(1, kTimeoutMs), QByteArray("U"));
    QCOMPARE(lost.size(), 1);
    QCOMPARE(failed.size(), 1);
}

void tst_Remote::aServerThatWillNotTake9600IsNotUsed_data() {
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<PortError>("error");
    QTest::addColumn<QString>("named");

    const QByteArray doComPort("\xff\xfd\x2c", 3);
    QTest::newRow("a server without the COM-PORT option")
        << QByteArray("\xff\xfe\x2c", 3) << PortError::Unsupported << "RFC 2217";
    QTest::newRow("a server that sets another baud rate")
        << doComPort + QByteArray("\xff\xfa\x2c\x65\x00\x00\x4b\x00\xff\xf0", 10)
        << PortError::Unsupported << "baud rate to 19200";
    QTest::newRow("a server that sets another parity")
        << doComPort + QByteArray("\xff\xfa\x2c\x67\x03\xff\xf0", 7) << PortError::Unsupported
        << "parity to even";
    QTest::newRow("a server that never answers the line settings")
        << doComPort << PortError::Timeout << "within 5 s";
}

void tst_Remote::aServerThatWillNotTake9600IsNotUsed() {
    QFETCH(QByteArray, script);
    QFETCH(PortError, error);
    QFETCH(QString, named);

    ScriptedServer server(script);
    SerialLink link(PortDevices{server.url(), QString()});
    QSignalSpy finished(&link, &SerialLink::openFinished);
    QVERIFY(!link.OpenAtStartup());
    QVERIFY(finished.wait(kTimeoutMs));
    QCOMPARE(finished.first().at(1).toBool(), false);
    QVERIFY(!link.isOpen());
    QCOMPARE(link.lastFailure().error, error);
    QVERIFY2(link.lastFailure().detail.contains(named), qPrintable(link.lastFailure().detail));
}

// ser2net takes a raw TCP client, tells it the device is in use and closes: the frame it was
// given never reached the board, and quillon-send must not say it did.
void tst_Remote::aConnectionTurnedAwayIsPortTrouble() {
    RemoteBoard remote;
    QVERIFY2(remote.server.start(), qPrintable(remote.server.errorString()));
    QTcpSocket holder;
    holder.connectToHost(QHostAddress::LocalHost, remote.server.rfc2217Port());
    // The Telnet negotiation comes once ser2net has the device open.
    QVERIFY(holder.waitForReadyRead(kTimeoutMs));

    QByteArray err;
    QCOMPARE(RunQuillonSend({"--port", remote.url(Mode::RawTcp), "single", "0", "1.1"}, &err), 1);
    QVERIFY2(err.contains("the board may not have it"), err.constData());
    QCOMPARE(remote.board.readAvailable(), QByteArray());
}

// QUILLON_PORT1 may name a server; one that refuses falls back to port 2, as a missing device does.
void tst_Remote::anUnreachablePort1FallsBackToPort2() {
    RemoteBoard remote;
    QVERIFY2(remote.server.start(), qPrintable(remote.server.errorString()));
    remote.server.stop();
    PtyPair local;
    qputenv("QUILLON_PORT1", remote.url(Mode::Rfc2217).toUtf8());
    qputenv("QUILLON_PORT2", local.slavePath().toUtf8());
    const int status = RunQuillonSend({"reset"});
    qunsetenv("QUILLON_PORT1");
    qunsetenv("QUILLON_PORT2");
    QCOMPARE(status, 0);
    QCOMPARE(local.readExactly(1, kTimeoutMs), QByteArray("U"));
}

void tst_Remote::thePanelDrivesTheBoardThroughTcp() {
    RemoteBoard remote;
    QVERIFY2(remote.server.start(), qPrintable(remote.server.errorString()));
    PanelHarness panel;
    QVERIFY(panel.isValid());
    QVERIFY(panel.open(remote.url(Mode::RawTcp)));
    QTRY_VERIFY_WITH_TIMEOUT(panel.controller().link().isOpen(), kTimeoutMs);
    QCOMPARE(panel.portMenu()->title(),
             QStringLiteral("串口：127.0.0.1:%1").arg(remote.server.rawPort()));
    QVERIFY(panel.click("Command1(0)"));
    QCOMPARE(remote.board.readExactly(22, kTimeoutMs), QByteArray("0000110099999999999999"));
    QVERIFY(panel.click("Command4"));
    QCOMPARE(remote.board.readExactly(1, kTimeoutMs), QByteArray("U"));
    QCOMPARE(panel.messages().size(), 0);
}

// Connecting happens in the background: Help opens at once, and the failure comes when it does.
void tst_Remote::theWindowStaysUsableWhileAServerDoesNotAnswer() {
    ScriptedServer silent{QByteArray()};
    PanelHarness panel;
    QVERIFY(panel.isValid());
    QVERIFY(panel.open(silent.url()));
    QVERIFY(panel.controller().link().isOpening());
    panel.form().helpAction()->trigger();
    QCOMPARE(panel.messages().size(), 1);
    QCOMPARE(panel.messages().first().kind, OperatorMessage::Kind::Help);
    QTRY_COMPARE_WITH_TIMEOUT(panel.messages().size(), 2, kTimeoutMs);
    const QString warning = panel.messages().last().text;
    QVERIFY2(warning.contains(silent.url()) && warning.contains("within 5 s"), qPrintable(warning));
}

// A port switch while the last frame is still on the line: the old connection stays until the
// frame has had its line time, which no load on this machine can shorten.
void tst_Remote::anOldNetworkPortLingersForItsLastFrame() {
    QuietServer server;
    PtyPair other;
    SerialLink link(PortDevices{server.url(), QString()});
    QSignalSpy opened(&link, &SerialLink::openFinished);
    QVERIFY(!link.OpenAtStartup());
    QVERIFY(opened.wait(kTimeoutMs));
    QTRY_VERIFY_WITH_TIMEOUT(server.connected(), kTimeoutMs);
    const QByteArray frame(200, '5');
    server.start();
    QCOMPARE(link.WriteText(QString::fromLatin1(frame)), WriteOutcome::Queued);
    QTRY_COMPARE_WITH_TIMEOUT(link.bytesToWrite(), 0, kTimeoutMs);
    QVERIFY(link.openDevice(other.slavePath()));
    QCOMPARE(server.readUntilGone(kTimeoutMs), frame);
    QVERIFY2(server.goneAfterMs() >= LineTime(frame.size()) / std::chrono::milliseconds(1),
             qPrintable(QString::number(server.goneAfterMs())));
}

void tst_Remote::aFrameDroppedWhileTheConnectionHoldsItNeverArrives_data() {
    QTest::addColumn<Mode>("mode");
    QTest::newRow("by raw TCP") << Mode::RawTcp;
    QTest::newRow("by RFC 2217") << Mode::Rfc2217;
}

// A socket's output cannot be called back once written: a connection that still holds part of
// a dropped frame is cut, so that no tail of it reaches the board later. The frame here is still
// all in the connection's own buffer when it is dropped.
void tst_Remote::aFrameDroppedWhileTheConnectionHoldsItNeverArrives() {
    QFETCH(Mode, mode);
    RemoteBoard remote;
    QVERIFY2(remote.server.start(), qPrintable(remote.server.errorString()));
    const std::unique_ptr<LinkTransport> transport = LinkTransport::forDevice(remote.url(mode));
    QSignalSpy opened(transport.get(), &LinkTransport::opened);
    transport->open();
    QVERIFY(opened.wait(kTimeoutMs));
    QCOMPARE(transport->write("0000110099999999999999"), qint64(22));
    transport->discardOutput();
    QVERIFY(!transport->isOpen());

    // The next frame to reach the board is the next one sent, on a new connection.
    int status = -1;
    for (int attempt = 0; attempt < 50 && status != 0; ++attempt) {
        status = RunQuillonSend({"--port", remote.url(mode), "reset"});
        if (status != 0)
            QTest::qWait(100); // ser2net holds the device a moment after a connection closes
    }
    QCOMPARE(status, 0);
    QCOMPARE(remote.board.readExactly(1, kTimeoutMs), QByteArray("U"));
}

// The panel's quit waits, on a network port, until the last frame has had its time on the line.
void tst_Remote::aQuitRightAfterASendLetsTheFrameOut() {
    QuietServer server;
    auto panel = std::make_unique<PanelHarness>();
    QVERIFY(panel->isValid());
    QVERIFY(panel->open(server.url()));
    QTRY_VERIFY_WITH_TIMEOUT(panel->controller().link().isOpen(), kTimeoutMs);
    server.start();
    QVERIFY(panel->click("Command1(0)"));
    panel->controller().finishLine(std::chrono::seconds(5));
    panel.reset();
    QCOMPARE(server.readUntilGone(kTimeoutMs), QByteArray("0000110099999999999999"));
    QVERIFY2(server.goneAfterMs() >= LineTime(22) / std::chrono::milliseconds(1),
             qPrintable(QString::number(server.goneAfterMs())));
}

QTEST_MAIN(tst_Remote)
#include "tst_remote.moc"
