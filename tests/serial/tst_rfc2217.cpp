#include "pty_pair.h"
#include "rfc2217_client.h"
#include "ser2net_server.h"

#include <QTcpSocket>
#include <QTest>

#include <termios.h>

using quillon::Rfc2217Client;
using quillon::testing::PtyPair;
using quillon::testing::Ser2NetServer;
using State = Rfc2217Client::State;
using Setting = Rfc2217Client::Setting;

namespace {

enum : char { kIac = '\xff', kDont = '\xfe', kDo = '\xfd', kWont = '\xfc', kWill = '\xfb' };
enum class Accepter { Raw, Rfc2217 };

QByteArray bytes(std::initializer_list<char> values) {
    return QByteArray(values.begin(), qsizetype(values.size()));
}

QByteArray command(char verb, char option) {
    return bytes({kIac, verb, option});
}

// A COM-PORT-OPTION subnegotiation; the server answers command N with N + 100.
QByteArray comPort(int code, const QByteArray& value) {
    return bytes({kIac, '\xfa', 44, char(code)}) + value + bytes({kIac, '\xf0'});
}

const QByteArray kOpening =
    command(kWill, 0) + command(kDo, 0) + command(kWill, 3) + command(kDo, 3) + command(kWill, 44);
const QByteArray k9600("\x00\x00\x25\x80", 4);
const QByteArray kSettings = comPort(1, k9600) + comPort(2, "\x08") + comPort(3, "\x01") +
                             comPort(4, "\x01") + comPort(5, "\x01") + comPort(5, "\x08") +
                             comPort(5, "\x0b");
const QByteArray kAgreed =
    command(kDo, 0) + command(kWill, 0) + command(kDo, 3) + command(kWill, 3) + command(kDo, 44);
const QByteArray kDataSize8 = comPort(102, "\x08");
const QByteArray kParityNone = comPort(103, "\x01");
const QByteArray kStopSize1 = comPort(104, "\x01");
const QByteArray kAnswered = comPort(101, k9600) + kDataSize8 + kParityNone + kStopSize1;
const QByteArray kFrameWith255("\x32\x30\x31\x00\x31\x20\x31\x40\x31\x60\x31\x80\x31\xa0\x31\xc0"
                               "\x31\xff\x39\x39\x39\x39",
                               22);

} // namespace

class tst_Rfc2217 : public QObject {
    Q_OBJECT

private slots:
    void codec_data();
    void codec();
    void throughSer2net_data();
    void throughSer2net();
};

void tst_Rfc2217::codec_data() {
    QTest::addColumn<QByteArray>("outgoing");
    QTest::addColumn<QByteArray>("escaped");
    QTest::addColumn<QByteArrayList>("incoming");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<State>("state");
    QTest::addColumn<Setting>("refused");
    QTest::addColumn<QString>("reason");

    const auto row = [](const char* name, QByteArrayList incoming, QByteArray data,
                        QByteArray reply, State state, Setting refused = {}, QString reason = {}) {
        QTest::newRow(name) << QByteArray() << QByteArray() << incoming << data << reply << state
                            << refused << reason;
    };
    QTest::newRow("0xFF going out is doubled, 0x00 and 0x0D are not")
        << kFrameWith255 << QByteArray(kFrameWith255).replace("\xff", "\xff\xff")
        << QByteArrayList{} << QByteArray() << QByteArray() << State::Negotiating << Setting{}
        << QString();
    row("IAC IAC arriving is one 0xFF of data", {QByteArray("a\xff\xff\x00\rb", 6)},
        QByteArray("a\xff\x00\rb", 5), {}, State::Negotiating);
    row("an 0xFF ending a chunk waits for the next", {"a\xff", "\xff"}, "a\xff", {},
        State::Negotiating);
    row("agreed and four settings answered without SET-CONTROL is ready", {kAgreed, kAnswered}, {},
        kSettings, State::Ready);
    row("ser2net's greeting: echo declined, settings sent once",
        {command(kWill, 3) + command(kDo, 3) + command(kWill, 1) + command(kDont, 1) + kAgreed,
         command(kDo, 3) + comPort(107, QByteArray(1, 0)) + kAnswered + comPort(105, "\x01")},
        {}, command(kDont, 1) + kSettings, State::Ready);
    row("three settings answered is still negotiating",
        {kAgreed + comPort(101, k9600) + kDataSize8 + kParityNone}, {}, kSettings,
        State::Negotiating);
    row("the option refused", {command(kDont, 44)}, {}, {}, State::Refused, Setting::ComPortOption,
        "the server does not offer RFC 2217 (COM-PORT-OPTION)");
    row("binary transmission refused", {command(kWont, 0)}, {}, {}, State::Refused,
        Setting::BinaryTransmission, "the server refuses binary transmission");
    row("another baud rate", {kAgreed, comPort(101, QByteArray("\x00\x00\x4b\x00", 4))}, {},
        kSettings, State::Refused, Setting::BaudRate,
        "the server set the baud rate to 19200, not 9600");
    row("another data size", {kAgreed, comPort(102, "\x07")}, {}, kSettings, State::Refused,
        Setting::DataSize, "the server set the data size to 7 bits, not 8");
    row("another parity", {kAgreed, comPort(103, "\x03")}, {}, kSettings, State::Refused,
        Setting::Parity, "the server set the parity to even, not none");
    row("another stop size", {kAgreed, comPort(104, "\x02")}, {}, kSettings, State::Refused,
        Setting::StopSize, "the server set the stop bits to 2, not 1");
    row("commands and notifications never show as data",
        {"a" + bytes({kIac, '\xf1'}) + "b" + comPort(106, "\x60") + comPort(108, {}) +
         bytes({kIac, '\xf9'}) + command(kWill, 1) + "c" + comPort(100, "ser2net")},
        "abc", command(kDont, 1), State::Negotiating);
    row("an unwanted option asked a thousand times is refused once",
        {command(kDo, 5).repeated(1000) + command(kWill, 24).repeated(1000)}, {},
        command(kWont, 5) + command(kDont, 24), State::Negotiating);
    row("an overlong subnegotiation is dropped whole",
        {kAgreed + comPort(102, QByteArray(100, '\x07')) + "x" + bytes({kIac, '\xfa'}) +
         QByteArray(10000, 'y')},
        "x", kSettings, State::Negotiating);
    row("a command inside an unfinished subnegotiation still counts",
        {comPort(101, {}).chopped(2) + command(kWill, 1) + "z"}, "z", command(kDont, 1),
        State::Negotiating);
}

// Each row is fed as given and then one byte at a time; both must come out the same.
void tst_Rfc2217::codec() {
    QFETCH(QByteArray, outgoing);
    QFETCH(QByteArray, escaped);
    QFETCH(QByteArrayList, incoming);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, reply);
    QFETCH(State, state);
    QFETCH(Setting, refused);
    QFETCH(QString, reason);
    QCOMPARE(QByteArray::fromStdString(Rfc2217Client::escape(outgoing.toStdString())), escaped);

    for (const bool byteByByte : {false, true}) {
        Rfc2217Client client;
        QCOMPARE(QByteArray::fromStdString(client.opening()), kOpening);
        QByteArray received;
        QByteArray replied;
        for (const QByteArray& chunk : incoming) {
            for (qsizetype at = 0; at < chunk.size(); at += byteByByte ? 1 : chunk.size()) {
                const auto taken = client.take(chunk.mid(at, byteByByte ? 1 : -1).toStdString());
                received += QByteArray::fromStdString(taken.data);
                replied += QByteArray::fromStdString(taken.reply);
                QVERIFY(client.pendingBytes() <= Rfc2217Client::kMaxSubnegotiation);
            }
        }
        QCOMPARE(received, data);
        QCOMPARE(replied, reply);
        QCOMPARE(client.state(), state);
        QCOMPARE(QString::fromStdString(client.refusalText()), reason);
        if (state == State::Refused)
            QCOMPARE(client.refusal().setting, refused);
    }
}

void tst_Rfc2217::throughSer2net_data() {
    QTest::addColumn<Accepter>("accepter");
    QTest::addColumn<QByteArray>("toBoard");
    QTest::addColumn<QByteArray>("fromBoard");
    QTest::addColumn<uint>("speed");

    QTest::newRow("RFC 2217: a frame with code 255 arrives intact on a 9600 8N1 line")
        << Accepter::Rfc2217 << kFrameWith255 << QByteArray() << uint(B9600);
    QTest::newRow("RFC 2217: the board's 0xFF, 0x00 and 0x0D arrive undoubled")
        << Accepter::Rfc2217 << QByteArray() << QByteArray("\xff\x00\r\n\xff\xff\x01", 7)
        << uint(B9600);
    QTest::newRow("raw: bytes go both ways as they are, on ser2net's own line settings")
        << Accepter::Raw << kFrameWith255 << QByteArray("\xff\x00\r\n\xff\xff\x01", 7)
        << uint(B19200);
}

void tst_Rfc2217::throughSer2net() {
    QFETCH(Accepter, accepter);
    QFETCH(QByteArray, toBoard);
    QFETCH(QByteArray, fromBoard);
    QFETCH(uint, speed);
    if (!Ser2NetServer::isInstalled())
        QSKIP("ser2net is not installed");
    PtyPair board;
    QVERIFY(board.isValid());
    Ser2NetServer server(board.slavePath());
    QVERIFY2(server.start(), qPrintable(server.errorString()));

    const bool telnet = accepter == Accepter::Rfc2217;
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, telnet ? server.rfc2217Port() : server.rawPort());
    QVERIFY2(socket.waitForConnected(10000), qPrintable(socket.errorString()));
    Rfc2217Client client;
    QByteArray received;
    const auto receive = [&] {
        if (!socket.waitForReadyRead(10000))
            return false;
        const auto taken = client.take(socket.readAll().toStdString());
        received += QByteArray::fromStdString(taken.data);
        socket.write(QByteArray::fromStdString(taken.reply));
        socket.flush();
        return true;
    };
    if (telnet) {
        socket.write(QByteArray::fromStdString(client.opening()));
        while (client.state() == State::Negotiating && receive()) {
        }
        QVERIFY2(client.state() == State::Ready, client.refusalText().c_str());
    }

    socket.write(telnet ? QByteArray::fromStdString(client.escape(toBoard.toStdString()))
                        : toBoard);
    socket.flush();
    QCOMPARE(board.readExactly(toBoard.size()), toBoard);
    QVERIFY(board.write(fromBoard));
    while (telnet && received.size() < fromBoard.size() && receive()) {
    }
    while (!telnet && received.size() < fromBoard.size() && socket.waitForReadyRead(10000))
        received += socket.readAll();
    QCOMPARE(received, fromBoard);

    termios line{};
    QCOMPARE(tcgetattr(board.masterFd(), &line), 0);
    QCOMPARE(uint(cfgetospeed(&line)), speed);
    QCOMPARE(uint(cfgetispeed(&line)), speed);
    QCOMPARE(line.c_cflag & (CSIZE | PARENB | CSTOPB), tcflag_t(CS8));
}

QTEST_GUILESS_MAIN(tst_Rfc2217)
#include "tst_rfc2217.moc"
