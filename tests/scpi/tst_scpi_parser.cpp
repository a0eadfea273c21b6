#include "commands.h"
#include "session.h"

#include <QtTest>

#include <clocale>

using namespace quillon::scpi;
namespace sequence = quillon::sequence;

namespace {

// The link as a session sees it: it keeps what it is given, or refuses as told.
class RecordingSink : public FrameSink {
public:
    SendOutcome send(const sequence::Frame& frame) override {
        if (answer.kind == SendOutcome::Kind::Queued)
            frames << QByteArray::fromStdString(frame.bytes);
        return answer;
    }
    bool framesPending() const override { return pending; }

    QList<QByteArray> frames;
    SendOutcome answer;
    bool pending = false;
};

// The frames quillon-send writes for these commands, one command per entry.
QList<QByteArray> SendFrames(const QStringList& commands) {
    QList<QByteArray> frames;
    for (const QString& command : commands) {
        std::vector<std::string> words;
        for (const QString& word : command.split(u' ', Qt::SkipEmptyParts))
            words.push_back(word.toStdString());
        frames << QByteArray::fromStdString(sequence::ParseFrameCommand(words).bytes);
    }
    return frames;
}

// The bytes given one at a time, as a slow client might send them.
QByteArray FeedByteByByte(Session& session, const QByteArray& input) {
    QByteArray replies;
    for (const char byte : input)
        replies += QByteArray::fromStdString(session.receive(std::string_view(&byte, 1)));
    return replies;
}

struct Board {
    RecordingSink sink;
    ChannelReadback readback;
    Session session{sink, readback, "9.8.7"};
};

} // namespace

class TestScpiParser : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data();
    void init();

    void linesAnswer_data();
    void linesAnswer();
    void errorsAreQueued_data();
    void errorsAreQueued();
    void refusedFramesAreHardwareErrors_data();
    void refusedFramesAreHardwareErrors();
    void statusRegisters_data();
    void statusRegisters();
    void operationCompleteWaitsForTheLine_data();
    void operationCompleteWaitsForTheLine();
    void queueOverflowLeavesItsErrorLast();
    void tooLongALineIsDroppedWhole();
    void theLineLimitIsFourKibibytes_data();
    void theLineLimitIsFourKibibytes();
    void readbackIsSharedByClients();
};

// Numbers are read without the process locale: a decimal comma locale changes nothing.
void TestScpiParser::initTestCase_data() {
    QTest::addColumn<QByteArray>("locale");
    QTest::newRow("C") << QByteArray("C");
    QTest::newRow("de_DE") << QByteArray("de_DE.UTF-8");
}

void TestScpiParser::init() {
    QFETCH_GLOBAL(QByteArray, locale);
    std::setlocale(LC_ALL, locale.constData());
}

void TestScpiParser::linesAnswer_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("replies");
    QTest::addColumn<QStringList>("sent"); // as quillon-send's words

    QTest::newRow("the identity names maker, model, serial and version")
        << QByteArray("*IDN?\n") << QByteArray("Quillon,DAC8,0,9.8.7\n") << QStringList();
    QTest::newRow("common commands take any case")
        << QByteArray("*idn?\n") << QByteArray("Quillon,DAC8,0,9.8.7\n") << QStringList();
    QTest::newRow("a long-form command sets channel 1 as channel 0")
        << QByteArray("SOURce1:VOLTage:LEVel:IMMediate:AMPLitude 1.1\n") << QByteArray()
        << QStringList{"single 0 1.100"};
    QTest::newRow("a short-form command with a suffix names channel 3 as channel 2")
        << QByteArray("SOUR3:VOLT 2.5\n") << QByteArray() << QStringList{"single 2 2.500"};
    QTest::newRow("the source node may be left out")
        << QByteArray("VOLT 0.25\n") << QByteArray() << QStringList{"single 0 0.250"};
    QTest::newRow("lower case keywords and CR LF are taken")
        << QByteArray("sour8:volt:lev 4\r\n") << QByteArray() << QStringList{"single 7 4.000"};
    QTest::newRow("a leading colon is the root")
        << QByteArray(":SOUR2:VOLT 1\n") << QByteArray() << QStringList{"single 1 1.000"};
    QTest::newRow("millivolts are a unit")
        << QByteArray("SOUR1:VOLT 1500 MV\n") << QByteArray() << QStringList{"single 0 1.500"};
    QTest::newRow("volts are a unit with no space")
        << QByteArray("SOUR1:VOLT 1.5V\n") << QByteArray() << QStringList{"single 0 1.500"};
    QTest::newRow("an exponent scales the number")
        << QByteArray("SOUR1:VOLT 25E-1\n") << QByteArray() << QStringList{"single 0 2.500"};
    QTest::newRow("a value is rounded to the millivolt")
        << QByteArray("SOUR1:VOLT 1.23449\n") << QByteArray() << QStringList{"single 0 1.234"};
    QTest::newRow("MAX is the largest value the frame holds")
        << QByteArray("SOUR1:VOLT MAX\n") << QByteArray() << QStringList{"single 0 9.999"};
    QTest::newRow("DEF is zero volts")
        << QByteArray("SOUR1:VOLT DEF\n") << QByteArray() << QStringList{"single 0 0.000"};
    QTest::newRow("a query tells the value last set")
        << QByteArray("SOUR3:VOLT 2.5\nSOUR3:VOLT?\n") << QByteArray("2.500\n")
        << QStringList{"single 2 2.500"};
    QTest::newRow("a channel never set is not known")
        << QByteArray("SOUR4:VOLT?\n") << QByteArray("9.91E+37\n") << QStringList();
    QTest::newRow("the query's limits are zero and the largest value")
        << QByteArray("VOLT? MIN;VOLT? MAX\n") << QByteArray("0;9.999\n") << QStringList();
    QTest::newRow("several queries on a line answer in one reply")
        << QByteArray("*TST?;SYST:VERS?;:SYST:CHAN:COUN?\n") << QByteArray("0;1999.0;8\n")
        << QStringList();
    QTest::newRow("after a semicolon a relative header continues the path")
        << QByteArray("SYST:ERR?;VERS?\n") << QByteArray("0,\"No error\";1999.0\n")
        << QStringList();
    QTest::newRow("a common command leaves the path where it was")
        << QByteArray("SOUR2:VOLT 1;*TST?;VOLT?\n") << QByteArray("0;1.000\n")
        << QStringList{"single 1 1.000"};
    QTest::newRow("a colon after a semicolon starts again at the root")
        << QByteArray("SOUR2:VOLT 1;:SOUR3:VOLT 2\n") << QByteArray()
        << QStringList{"single 1 1.000", "single 2 2.000"};
    QTest::newRow("eight voltages make the eight-channel frame")
        << QByteArray("SOUR:VOLT:ALL 0,0.390625,1,2,2.5,3,4,4.98\n") << QByteArray()
        << QStringList{"eight 0 20 51 102 128 154 205 255"};
    QTest::newRow("voltages round their codes half to even")
        << QByteArray("VOLT:ALL 0.048828125,0.068359375,0,0,0,0,0,0\n") << QByteArray()
        << QStringList{"eight 2 4 0 0 0 0 0 0"};
    QTest::newRow("eight codes make the eight-channel frame")
        << QByteArray("SOUR:CODE:ALL 0,1,2,3,252,253,254,255\n") << QByteArray()
        << QStringList{"eight 0 1 2 3 252 253 254 255"};
    QTest::newRow("after an eight-channel frame a query tells the code's voltage")
        << QByteArray("CODE:ALL 20,0,0,0,0,0,0,128\nSOUR1:VOLT?;:SOUR8:VOLT?\n")
        << QByteArray("0.390625;2.5\n") << QStringList{"eight 20 0 0 0 0 0 0 128"};
    QTest::newRow("a reset writes the reset byte and zeroes what is known")
        << QByteArray("SOUR1:VOLT 3\n*RST\nVOLT?\n") << QByteArray("0\n")
        << QStringList{"single 0 3.000", "reset"};
    QTest::newRow("a blank line and a trailing semicolon are nothing")
        << QByteArray("\n  \n*TST?;\n") << QByteArray("0\n") << QStringList();
    QTest::newRow("a line with no query has no reply")
        << QByteArray("*CLS\n*ESE 4\n") << QByteArray() << QStringList();
}

void TestScpiParser::linesAnswer() {
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, replies);
    QFETCH(QStringList, sent);
    Board board;
    QCOMPARE(FeedByteByByte(board.session, input), replies);
    QCOMPARE(board.sink.frames, SendFrames(sent));
    QCOMPARE(board.session.status().queuedErrors(), std::size_t(0));
}

void TestScpiParser::errorsAreQueued_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("error");
    QTest::addColumn<int>("framesSent");

    QTest::newRow("an unknown header is undefined")
        << QByteArray("SOUR1:CURR 1\n") << QByteArray("-113,\"Undefined header\"") << 0;
    QTest::newRow("an unknown common command is undefined")
        << QByteArray("*XYZ\n") << QByteArray("-113,\"Undefined header\"") << 0;
    QTest::newRow("a set-only command asked as a query is undefined")
        << QByteArray("VOLT:ALL?\n") << QByteArray("-113,\"Undefined header\"") << 0;
    QTest::newRow("a query-only header given as a command is undefined")
        << QByteArray("SYST:VERS\n") << QByteArray("-113,\"Undefined header\"") << 0;
    QTest::newRow("channel 9 is out of the suffix's range")
        << QByteArray("SOUR9:VOLT 1\n") << QByteArray("-114,\"Header suffix out of range\"") << 0;
    QTest::newRow("channel 0 is out of the suffix's range")
        << QByteArray("SOUR0:VOLT 1\n") << QByteArray("-114,\"Header suffix out of range\"") << 0;
    QTest::newRow("a suffix where no channel goes is out of range")
        << QByteArray("SYST2:ERR?\n") << QByteArray("-114,\"Header suffix out of range\"") << 0;
    QTest::newRow("a long run of suffix digits is out of range")
        << QByteArray("SOUR00000001:VOLT 1\n") << QByteArray("-114,\"Header suffix out of range\"")
        << 0;
    QTest::newRow("a value without a parameter is missing")
        << QByteArray("SOUR1:VOLT\n") << QByteArray("-109,\"Missing parameter\"") << 0;
    QTest::newRow("seven codes are one too few")
        << QByteArray("CODE:ALL 1,2,3,4,5,6,7\n") << QByteArray("-109,\"Missing parameter\"") << 0;
    QTest::newRow("nine codes are one too many")
        << QByteArray("CODE:ALL 1,2,3,4,5,6,7,8,9\n")
        << QByteArray("-108,\"Parameter not allowed\"") << 0;
    QTest::newRow("a reset has no query form")
        << QByteArray("*RST?\n") << QByteArray("-113,\"Undefined header\"") << 0;
    QTest::newRow("an event status enable without its mask is missing a parameter")
        << QByteArray("*ESE\n") << QByteArray("-109,\"Missing parameter\"") << 0;
    QTest::newRow("a service request enable takes one mask, not two")
        << QByteArray("*SRE 1,2\n") << QByteArray("-108,\"Parameter not allowed\"") << 0;
    QTest::newRow("a mask in volts is the wrong type")
        << QByteArray("*ESE 4 V\n") << QByteArray("-104,\"Data type error\"") << 0;
    QTest::newRow("a query takes no parameter")
        << QByteArray("*IDN? 1\n") << QByteArray("-108,\"Parameter not allowed\"") << 0;
    QTest::newRow("ten volts are out of range")
        << QByteArray("SOUR1:VOLT 10\n") << QByteArray("-222,\"Data out of range\"") << 0;
    QTest::newRow("9.9996 volts round out of range")
        << QByteArray("SOUR1:VOLT 9.9996\n") << QByteArray("-222,\"Data out of range\"") << 0;
    QTest::newRow("a negative value is out of range")
        << QByteArray("SOUR1:VOLT -0.0001\n") << QByteArray("-222,\"Data out of range\"") << 0;
    QTest::newRow("an exponent beyond any double is out of range")
        << QByteArray("SOUR1:VOLT 1E999\n") << QByteArray("-222,\"Data out of range\"") << 0;
    QTest::newRow("4.99 volts is past the largest code")
        << QByteArray("VOLT:ALL 4.99,0,0,0,0,0,0,0\n") << QByteArray("-222,\"Data out of range\"")
        << 0;
    QTest::newRow("code 256 is out of range") << QByteArray("CODE:ALL 256,0,0,0,0,0,0,0\n")
                                              << QByteArray("-222,\"Data out of range\"") << 0;
    QTest::newRow("a code with a fraction is out of range")
        << QByteArray("CODE:ALL 1.5,0,0,0,0,0,0,0\n") << QByteArray("-222,\"Data out of range\"")
        << 0;
    QTest::newRow("a string where a value goes is the wrong type")
        << QByteArray("SOUR1:VOLT \"1.1\"\n") << QByteArray("-104,\"Data type error\"") << 0;
    QTest::newRow("amperes are the wrong type for a voltage")
        << QByteArray("SOUR1:VOLT 1 A\n") << QByteArray("-104,\"Data type error\"") << 0;
    QTest::newRow("an unknown word where a value goes is the wrong type")
        << QByteArray("SOUR1:VOLT HIGH\n") << QByteArray("-104,\"Data type error\"") << 0;
    QTest::newRow("a number made of two points is a syntax error")
        << QByteArray("SOUR1:VOLT 1.2.3\n") << QByteArray("-102,\"Syntax error\"") << 0;
    QTest::newRow("an open quote is a syntax error")
        << QByteArray("SOUR1:VOLT \"1\n") << QByteArray("-102,\"Syntax error\"") << 0;
    QTest::newRow("binary bytes are a syntax error")
        << QByteArray("\x01\xff\x7f\x00 1\n", 7) << QByteArray("-102,\"Syntax error\"") << 0;
    QTest::newRow("an empty unit between semicolons is a syntax error")
        << QByteArray("*TST?;;*TST?\n") << QByteArray("-102,\"Syntax error\"") << 0;
    QTest::newRow("a node after a semicolon is looked for below the last one")
        << QByteArray("SYST:VERS?;SYST:VERS?\n") << QByteArray("-113,\"Undefined header\"") << 0;
    QTest::newRow("a command error ends the line, nothing after it is sent")
        << QByteArray("SOUR1:VOLT 1;BOGUS;SOUR2:VOLT 2\n")
        << QByteArray("-113,\"Undefined header\"") << 1;
    QTest::newRow("a value out of range lets the rest of the line go on")
        << QByteArray("SOUR1:VOLT 11;:SOUR2:VOLT 2\n") << QByteArray("-222,\"Data out of range\"")
        << 1;
}

void TestScpiParser::errorsAreQueued() {
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, error);
    QFETCH(int, framesSent);
    Board board;
    FeedByteByByte(board.session, input);
    QCOMPARE(board.sink.frames.size(), framesSent);
    QCOMPARE(FeedByteByByte(board.session, "SYST:ERR?\n"), error + '\n');
    QCOMPARE(FeedByteByByte(board.session, "SYSTem:ERRor:NEXT?\n"), QByteArray("0,\"No error\"\n"));
}

void TestScpiParser::refusedFramesAreHardwareErrors_data() {
    QTest::addColumn<int>("refusal");
    QTest::addColumn<QByteArray>("reason");
    QTest::addColumn<QByteArray>("error");

    QTest::newRow("a busy line is a hardware error with its reason")
        << int(SendOutcome::Kind::Refused) << QByteArray("line busy")
        << QByteArray("-240,\"Hardware error;line busy\"");
    QTest::newRow("no port open is missing hardware")
        << int(SendOutcome::Kind::NoPort) << QByteArray()
        << QByteArray("-241,\"Hardware missing\"");
    QTest::newRow("a reason with a quote cannot break the reply's string")
        << int(SendOutcome::Kind::Refused) << QByteArray("port \"x\"\n lost")
        << QByteArray("-240,\"Hardware error;port ?x?? lost\"");
}

void TestScpiParser::refusedFramesAreHardwareErrors() {
    QFETCH(int, refusal);
    QFETCH(QByteArray, reason);
    QFETCH(QByteArray, error);
    Board board;
    board.sink.answer = {SendOutcome::Kind(refusal), reason.toStdString()};
    QCOMPARE(FeedByteByByte(board.session, "SOUR1:VOLT 1;VOLT?;*ESR?;:SYST:ERR?\n"),
             "9.91E+37;16;" + error + '\n');
}

void TestScpiParser::statusRegisters_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("replies");

    QTest::newRow("the event status starts clear")
        << QByteArray("*ESR?;*STB?\n") << QByteArray("0;0\n");
    QTest::newRow("a command error sets bit 5 and reading clears it")
        << QByteArray("BOGUS\n*ESR?\n*ESR?\n") << QByteArray("32\n0\n");
    QTest::newRow("an execution error sets bit 4")
        << QByteArray("VOLT 11\n*ESR?\n") << QByteArray("16\n");
    QTest::newRow("an overrun is a device error, bit 3")
        << QByteArray(std::string(5000, 'A').c_str()) + "\n*ESR?\n"
        << QByteArray("8\n");
    QTest::newRow("a queued error sets bit 2 of the status byte")
        << QByteArray("BOGUS\n*STB?\n") << QByteArray("4\n");
    QTest::newRow("an enabled event sets the summary bit 5 and the service request bit 6")
        << QByteArray("*ESE 32;*SRE 32\nBOGUS\n*STB?;*ESE?;*SRE?\n") << QByteArray("100;32;32\n");
    QTest::newRow("bit 6 of the service request enable is ignored")
        << QByteArray("*SRE 255;*SRE?\n") << QByteArray("191\n");
    QTest::newRow("a clear empties the queue and the event status")
        << QByteArray("BOGUS\n*CLS\n*ESR?;*STB?;SYST:ERR?\n") << QByteArray("0;0;0,\"No error\"\n");
    QTest::newRow("an operation complete with nothing sent sets bit 0 at once")
        << QByteArray("*OPC\n*ESR?\n") << QByteArray("1\n");
    QTest::newRow("a mask with a fraction is rounded")
        << QByteArray("*ESE 31.6;*ESE?\n") << QByteArray("32\n");
    QTest::newRow("an enable past 255 is out of range")
        << QByteArray("*ESE 256\nSYST:ERR?\n") << QByteArray("-222,\"Data out of range\"\n");
}

void TestScpiParser::statusRegisters() {
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, replies);
    Board board;
    QCOMPARE(FeedByteByByte(board.session, input), replies);
}

void TestScpiParser::operationCompleteWaitsForTheLine_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("repliesWhileSending");
    QTest::addColumn<QByteArray>("repliesOnceSent");

    QTest::newRow("the operation complete query answers once the frames are out")
        << QByteArray("SOUR1:VOLT 1;*OPC?\n") << QByteArray() << QByteArray("1\n");
    QTest::newRow("a wait holds the next line until the frames are out")
        << QByteArray("SOUR1:VOLT 1;*WAI\n*TST?\n") << QByteArray() << QByteArray("0\n");
    QTest::newRow("answers before the hold come in the same reply")
        << QByteArray("*TST?;*OPC?;*TST?\n") << QByteArray() << QByteArray("0;1;0\n");
    QTest::newRow("an operation complete command sets bit 0 only once the frames are out")
        << QByteArray("*OPC;*ESR?\n*OPC?\n*ESR?\n") << QByteArray("0\n") << QByteArray("1\n1\n");
}

void TestScpiParser::operationCompleteWaitsForTheLine() {
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, repliesWhileSending);
    QFETCH(QByteArray, repliesOnceSent);
    Board board;
    board.sink.pending = true;
    QCOMPARE(FeedByteByByte(board.session, input), repliesWhileSending);
    QVERIFY(board.session.isHeld());
    board.sink.pending = false;
    QCOMPARE(QByteArray::fromStdString(board.session.framesDone()), repliesOnceSent);
    QVERIFY(!board.session.isHeld());
}

void TestScpiParser::queueOverflowLeavesItsErrorLast() {
    Board board;
    for (std::size_t i = 0; i < StatusModel::kQueueLength + 4; ++i)
        FeedByteByByte(board.session, "BOGUS\n");
    QByteArray errors;
    for (std::size_t i = 0; i <= StatusModel::kQueueLength; ++i)
        errors += FeedByteByByte(board.session, "SYST:ERR?\n");
    QByteArray expected;
    for (std::size_t i = 0; i + 1 < StatusModel::kQueueLength; ++i)
        expected += "-113,\"Undefined header\"\n";
    expected += "-350,\"Queue overflow\"\n0,\"No error\"\n";
    QCOMPARE(errors, expected);
}

void TestScpiParser::tooLongALineIsDroppedWhole() {
    Board board;
    const QByteArray tooLong = "SOUR1:VOLT 1;" + QByteArray(1 << 20, ' ') + "\n";
    QCOMPARE(FeedByteByByte(board.session, tooLong + "*IDN?\n"),
             QByteArray("Quillon,DAC8,0,9.8.7\n"));
    QVERIFY(board.sink.frames.isEmpty());
    QVERIFY(board.session.bufferedBytes() <= quillon::scpi::LineAssembler::kLongestLine);
    QCOMPARE(FeedByteByByte(board.session, "SYST:ERR?\n"),
             QByteArray("-363,\"Input buffer overrun\"\n"));
}

void TestScpiParser::theLineLimitIsFourKibibytes_data() {
    QTest::addColumn<int>("length"); // of the line without its LF
    QTest::addColumn<QByteArray>("replies");

    QTest::newRow("a line of 4096 bytes is taken") << 4096 << QByteArray("0\n0,\"No error\"\n");
    QTest::newRow("a line of 4097 bytes is dropped")
        << 4097 << QByteArray("-363,\"Input buffer overrun\"\n");
}

void TestScpiParser::theLineLimitIsFourKibibytes() {
    QFETCH(int, length);
    QFETCH(QByteArray, replies);
    Board board;
    const QByteArray query("*TST?");
    const QByteArray line = query + QByteArray(length - query.size(), ' ');
    QCOMPARE(FeedByteByByte(board.session, line + "\nSYST:ERR?\n"), replies);
}

void TestScpiParser::readbackIsSharedByClients() {
    RecordingSink sink;
    ChannelReadback readback;
    Session first(sink, readback, "1");
    Session second(sink, readback, "1");
    FeedByteByByte(first, "SOUR3:VOLT 2.5\n");
    QCOMPARE(FeedByteByByte(second, "SOUR3:VOLT?\n"), QByteArray("2.500\n"));
}

QTEST_GUILESS_MAIN(TestScpiParser)
#include "tst_scpi_parser.moc"
