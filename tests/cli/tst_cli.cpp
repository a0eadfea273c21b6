#include "line_log.h"
#include "play_schedule.h"
#include "pty_pair.h"
#include "sender.h"
#include "sequence_reader.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

using namespace quillon::sequence;
using quillon::testing::PtyPair;

Q_DECLARE_METATYPE(quillon::PortError)

namespace {

constexpr int kTimeoutMs = 10000;

// Where the device comes from in a run of the program.
enum class PortBy { Option, OptionWithEquals, Port1Variable, Port2Variable, NameInCurrentFolder };

struct Outcome {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

QString ProgramPath() {
    return qEnvironmentVariable("QUILLON_TEST_BIN_DIR") + QStringLiteral("/quillon-send");
}

// The program with a German locale (a decimal comma there must change nothing) and no port
// variables unless a row sets them.
void Prepare(QProcess& process, const QStringList& arguments, const QProcessEnvironment& extra = {},
             const QString& folder = {}) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QUILLON_PORT1"));
    environment.remove(QStringLiteral("QUILLON_PORT2"));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("de_DE.UTF-8"));
    for (const QString& name : extra.keys())
        environment.insert(name, extra.value(name));
    process.setProcessEnvironment(environment);
    process.setProgram(ProgramPath());
    process.setArguments(arguments);
    if (!folder.isEmpty())
        process.setWorkingDirectory(folder);
}

Outcome Finish(QProcess& process) {
    process.waitForFinished(kTimeoutMs);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

Outcome Run(const QStringList& arguments, const QByteArray& input = {},
            const QProcessEnvironment& extra = {}, const QString& folder = {}) {
    QProcess process;
    Prepare(process, arguments, extra, folder);
    process.start();
    process.write(input);
    process.closeWriteChannel();
    return Finish(process);
}

QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray bytes;
    for (int value : values)
        bytes.append(char(value));
    return bytes;
}

QStringList Words(const char* text) {
    return QString::fromUtf8(text).split(u' ', Qt::SkipEmptyParts);
}

// Where a hostile run's standard input comes from.
enum class Input { None, File, EndlessPipe };

struct Measured {
    int status = -1;
    QByteArray err;     // the first 64 KiB of it
    long maxRssKiB = 0; // the program's own peak, from wait4
};

// The program run with posix_spawn, so that wait4 reports its own peak memory. An endless pipe
// is `yes reset` feeding standard input; a file is given by path.
Measured RunMeasured(const QStringList& arguments, Input input, const QString& file = {}) {
    std::vector<std::string> words{ProgramPath().toStdString()};
    for (const QString& argument : arguments)
        words.push_back(argument.toStdString());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    int errPipe[2];
    int inPipe[2] = {-1, -1};
    if (::pipe(errPipe) != 0 || (input == Input::EndlessPipe && ::pipe(inPipe) != 0))
        return {};
    pid_t feeder = -1;
    if (input == Input::EndlessPipe) {
        posix_spawn_file_actions_t feed;
        posix_spawn_file_actions_init(&feed);
        posix_spawn_file_actions_adddup2(&feed, inPipe[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&feed, inPipe[0]);
        char yes[] = "yes";
        char reset[] = "reset";
        char* feedArgv[] = {yes, reset, nullptr};
        posix_spawnp(&feeder, "yes", &feed, nullptr, feedArgv, environ);
        posix_spawn_file_actions_destroy(&feed);
        ::close(inPipe[1]);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input == Input::EndlessPipe)
        posix_spawn_file_actions_adddup2(&actions, inPipe[0], STDIN_FILENO);
    else if (input == Input::File)
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, file.toLocal8Bit().constData(),
                                         O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(errPipe[1]);
    if (input == Input::EndlessPipe)
        ::close(inPipe[0]);

    Measured measured;
    char buffer[4096];
    for (ssize_t count; (count = ::read(errPipe[0], buffer, sizeof buffer)) > 0;) {
        if (measured.err.size() < 64 * 1024)
            measured.err.append(buffer, count);
    }
    ::close(errPipe[0]);
    int status = 0;
    rusage usage{};
    if (spawned == 0 && ::wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status)) {
        measured.status = WEXITSTATUS(status);
        measured.maxRssKiB = usage.ru_maxrss;
    }
    if (feeder > 0) {
        ::kill(feeder, SIGTERM);
        ::waitpid(feeder, nullptr, 0);
    }
    return measured;
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void commandWritesExactBytes_data();
    void commandWritesExactBytes();
    void refusalWritesNothing_data();
    void refusalWritesNothing();
    void replyIsPrinted_data();
    void replyIsPrinted();
    void playEndsOnWholeFrames_data();
    void playEndsOnWholeFrames();
    void hostileInputIsRefusedSmallAndSafe_data();
    void hostileInputIsRefusedSmallAndSafe();
    void logOfARunPlaysBackToTheSameBytes();
    void logOnStandardOutputPlaysBack();
    void verboseTellsWhereAndWhat_data();
    void verboseTellsWhereAndWhat();
    void printedWavePlaysBackToTheSameFrames();
    void printedWaveEndsQuietlyWhenItsReaderGoes();
    void endlessWaveStopsOnWholeFrames();
    void portFailureIsToldInEnglish_data();
    void portFailureIsToldInEnglish();
};

// Log times are local; the tests read them in UTC.
void TestCli::initTestCase() {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
}

void TestCli::commandWritesExactBytes_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<PortBy>("portBy");
    QTest::addColumn<QByteArray>("shown");
    QTest::addColumn<QByteArray>("wire");

    const QByteArray eight =
        Bytes({0x32, 0x30, 0x31, 0x00, 0x31, 0x20, 0x31, 0x40, 0x31, 0x60, 0x31,
               0x80, 0x31, 0xA0, 0x31, 0xC0, 0x31, 0xFF, 0x39, 0x39, 0x39, 0x39});
    const QByteArray eightShown =
        "32 30 31 00 31 20 31 40 31 60 31 80 31 A0 31 C0 31 FF 39 39 39 39\n";

    QTest::newRow("single sets one channel in millivolts")
        << Words("single 0 1.100") << QByteArray() << PortBy::Option
        << QByteArray("0000110099999999999999\n") << QByteArray("0000110099999999999999");
    QTest::newRow("single pads a small value and takes the top of its field")
        << Words("single 7 0.005") << QByteArray() << PortBy::Option
        << QByteArray("0070000599999999999999\n") << QByteArray("0070000599999999999999");
    QTest::newRow("single takes 9.999 V, the widest value its field holds")
        << Words("single 3 9.999") << QByteArray() << PortBy::OptionWithEquals
        << QByteArray("0030999999999999999999\n") << QByteArray("0030999999999999999999");
    QTest::newRow("four sets four channels in tens of millivolts")
        << Words("four 0:1.00 1:2.02 2:3.86 3:4.00") << QByteArray() << PortBy::Port1Variable
        << QByteArray("1000100102022038630400\n") << QByteArray("1000100102022038630400");
    QTest::newRow("four takes channels in any order and zero volts")
        << Words("four 7:0 5:0.5 3:9.99 1:0.01") << QByteArray() << PortBy::Option
        << QByteArray("1070000500503099910001\n") << QByteArray("1070000500503099910001");
    QTest::newRow("eight sends raw codes, shown as hex bytes")
        << Words("eight 0 32 64 96 128 160 192 255") << QByteArray() << PortBy::Option << eightShown
        << eight;
    QTest::newRow("reset is the one byte U, on port 2 when port 1 is missing")
        << Words("reset") << QByteArray() << PortBy::Port2Variable << QByteArray("U\n")
        << QByteArray("U");
    QTest::newRow("a bare name is the file of that name in the current folder, not /dev's")
        << Words("reset") << QByteArray() << PortBy::NameInCurrentFolder << QByteArray("U\n")
        << QByteArray("U");
    QTest::newRow("options may be ended by --")
        << Words("-- single 1 2.5") << QByteArray() << PortBy::Option
        << QByteArray("0010250099999999999999\n") << QByteArray("0010250099999999999999");
    QTest::newRow("play sends a sequence from standard input in order, skipping comments")
        << Words("play -")
        << QByteArray("# ramp\nsingle 0 1.000\n\n  wait 10\r\nreset\neight 0 32 64 96 128 160 192 "
                      "255\n")
        << PortBy::Option << "0000100099999999999999\nwait 10\nU\n" + eightShown
        << "0000100099999999999999U" + eight;
    QTest::newRow("play at a rate faster than the line still sends every frame")
        << Words("play --rate 1000 -") << QByteArray("single 0 1\nsingle 0 2\n") << PortBy::Option
        << QByteArray("0000100099999999999999\n0000200099999999999999\n")
        << QByteArray("00001000999999999999990000200099999999999999");
    QTest::newRow("a wave on one channel goes out as single-channel frames at its rate")
        << Words("wave --rate 4 --duration 1 0:square,high=2.5") << QByteArray() << PortBy::Option
        << QByteArray("0000250099999999999999\n0000250099999999999999\n"
                      "0000000099999999999999\n0000000099999999999999\n")
        << QByteArray("0000250099999999999999000025009999999999999900000000999999999999990000"
                      "000099999999999999");
    QTest::newRow("waves on two channels go out as eight-channel frames with the holds")
        << QStringList{"wave",
                       "1:square,high=1",
                       "--hold",
                       "2=0",
                       "--duration",
                       "0.05",
                       "0:sawtooth,high=4",
                       "--hold",
                       "3=0",
                       "--hold",
                       "4=0",
                       "--hold",
                       "5=0",
                       "--hold",
                       "6=0",
                       "--hold",
                       "7=4.98"}
        << QByteArray() << PortBy::Option
        << QByteArray("32 30 31 00 31 33 31 00 31 00 31 00 31 00 31 00 31 FF 39 39 39 39\n"
                      "32 30 31 05 31 33 31 00 31 00 31 00 31 00 31 00 31 FF 39 39 39 39\n"
                      "32 30 31 09 31 33 31 00 31 00 31 00 31 00 31 00 31 FF 39 39 39 39\n")
        << Bytes({0x32, 0x30, 0x31, 0,    0x31, 51,   0x31, 0,    0x31, 0,    0x31, 0,   0x31, 0,
                  0x31, 0,    0x31, 255,  0x39, 0x39, 0x39, 0x39, 0x32, 0x30, 0x31, 5,   0x31, 51,
                  0x31, 0,    0x31, 0,    0x31, 0,    0x31, 0,    0x31, 0,    0x31, 255, 0x39, 0x39,
                  0x39, 0x39, 0x32, 0x30, 0x31, 9,    0x31, 51,   0x31, 0,    0x31, 0,   0x31, 0,
                  0x31, 0,    0x31, 0,    0x31, 255,  0x39, 0x39, 0x39, 0x39});
}

void TestCli::commandWritesExactBytes() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(PortBy, portBy);
    QFETCH(QByteArray, shown);
    QFETCH(QByteArray, wire);

    const Outcome dryRun = Run(QStringList{QStringLiteral("--dry-run")} + arguments, input);
    QCOMPARE(dryRun.status, 0);
    QCOMPARE(dryRun.out, shown);

    PtyPair board;
    QVERIFY(board.isValid());
    QStringList options;
    QProcessEnvironment environment;
    QTemporaryDir directory;
    const QString missing = directory.filePath(QStringLiteral("missing/quillon-port"));
    switch (portBy) {
    case PortBy::Option:
        options << QStringLiteral("--port") << board.slavePath();
        break;
    case PortBy::OptionWithEquals:
        options << QStringLiteral("--port=") + board.slavePath();
        break;
    case PortBy::Port1Variable:
        environment.insert(QStringLiteral("QUILLON_PORT1"), board.slavePath());
        environment.insert(QStringLiteral("QUILLON_PORT2"), missing);
        break;
    case PortBy::Port2Variable:
        environment.insert(QStringLiteral("QUILLON_PORT1"), missing);
        environment.insert(QStringLiteral("QUILLON_PORT2"), board.slavePath());
        break;
    case PortBy::NameInCurrentFolder:
        QVERIFY(board.linkAs(directory.filePath(QStringLiteral("board"))));
        options << QStringLiteral("--port") << QStringLiteral("board");
        break;
    }
    const Outcome sent = Run(options + arguments, input, environment, directory.path());
    QCOMPARE(sent.status, 0);
    QCOMPARE(sent.out, QByteArray());
    QCOMPARE(board.readExactly(wire.size()), wire);
    QCOMPARE(board.readAvailable(), QByteArray());
}

void TestCli::refusalWritesNothing_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("named");

    auto bad = [](const char* name, const char* arguments, const char* named) {
        QTest::newRow(name) << Words(arguments) << QByteArray() << 2 << QString::fromUtf8(named);
    };
    bad("a channel above 7", "single 8 1.000", "\"8\"");
    bad("a channel of two digits", "single 07 1.000", "\"07\"");
    bad("a single value of five digits", "single 0 12.5", "\"12.5\"");
    bad("a negative value, which is a value and not an option", "single 0 -1", "\"-1\"");
    bad("a fraction of a millivolt", "single 0 1.0005", "\"1.0005\"");
    bad("a decimal comma", "single 0 1,100", "\"1,100\"");
    bad("a four-channel value of four digits", "four 0:1.00 1:10.00 2:3.86 3:4.00", "\"10.00\"");
    bad("a four-channel entry without its colon", "four 0:1.00 1 2:3.86 3:4.00", "\"1\"");
    bad("three entries for four", "four 0:1.00 1:2.02 2:3.86", "4 arguments");
    bad("a code above 255", "eight 0 0 0 256 0 0 0 0", "\"256\"");
    bad("a code that is not whole", "eight 0 0 0 1.5 0 0 0 0", "\"1.5\"");
    bad("a negative code", "eight -1 0 0 0 0 0 0 0", "\"-1\"");
    bad("seven codes", "eight 0 0 0 0 0 0 0", "8 arguments");
    bad("reset with an argument", "reset now", "0 arguments");
    bad("an unknown command", "blink 3", "\"blink\"");
    bad("an unknown option", "--fast single 0 1", "\"--fast\"");
    bad("no command at all", "--dry-run", "no command");
    bad("a reply wait that is not a number", "--reply=soon reset", "\"soon\"");
    bad("a negative reply wait, which would never end", "--reply=-5 reset", "\"-5\"");
    bad("a reply wait written apart from its option", "--reply 100 reset",
        "the wait is given as --reply=100");
    bad("four naming one channel twice", "four 0:1.00 1:2.02 1:3.86 3:4.00", "named twice");
    bad("a log that cannot be opened", "--log @FILE@/run.log reset", "run.log");
    bad("a rate of zero", "play --rate 0 -", "\"0\"");
    bad("a sequence file that does not exist", "play @FILE@/ramp.txt", "/plain/ramp.txt");
    bad("an unknown shape", "wave 0:cosine", "\"cosine\"");
    bad("an unknown setting", "wave 0:sine,amp=2", "\"amp=2\"");
    bad("a setting given twice", "wave 0:sine,freq=1,freq=2", "\"freq\" given twice");
    bad("a channel above 7 in a wave", "wave 8:sine", "\"8\"");
    bad("a channel with two waves", "wave 0:sine,high=1 0:square,high=1",
        "channel 0 has two waves");
    bad("a duty above 100", "wave 0:square,duty=150", "duty=150");
    bad("a negative duty", "wave 0:square,duty=-1", "duty=-1");
    bad("low above high", "wave 0:sine,low=3,high=2", "low=3 is above high=2");
    bad("a frequency of zero", "wave 0:sine,freq=0", "freq=0 ");
    bad("a negative frequency", "wave 0:sine,freq=-2", "freq=-2 ");
    bad("a decimal comma in a level", "wave 0:sine,high=1,5", "\"5\"");
    bad("channels left without a level under eight-channel frames are named",
        "wave 0:sine,high=1 1:sine,high=1 --hold 2=0", "channels 3, 4, 5, 6, 7 need a level");
    bad("5 V under eight-channel frames, which carry at most code 255",
        "wave 0:sine 1:sine,high=1 --hold 2=0 --hold 3=0 --hold 4=0 --hold 5=0 --hold 6=0 "
        "--hold 7=0",
        "0 to 4.98 V");
    bad("a level beyond single-channel frames names their range", "wave 0:sine,high=12",
        "0 to 9.999 V");
    bad("a frequency that would alias names the highest the rate allows",
        "wave --rate 40 0:sine,freq=25", "at most 20 Hz");
    bad("at the line's rate the highest frequency is half of 43.636 frames a second",
        "wave 0:sine,freq=22", "at most 21.818 Hz");
    bad("a level below zero names the single-channel range", "wave 0:sine,low=-0.1",
        "0 to 9.999 V");
    bad("a hold beyond eight-channel frames names its channel",
        "wave 0:sine,high=1 1:sine,high=1 --hold 2=0 --hold 3=0 --hold 4=0 --hold 5=0 --hold 6=0 "
        "--hold 7=6",
        "--hold 7=6");
    bad("a channel with a wave and a hold",
        "wave 0:sine,high=1 1:sine,high=1 --hold 1=0 --hold 2=0 --hold 3=0 --hold 4=0 --hold 5=0 "
        "--hold 6=0 --hold 7=0",
        "channel 1 has a wave and a --hold");
    bad("a hold beside a single wave, whose frames set no other channel", "wave 0:sine --hold 1=0",
        "two or more channels");
    bad("a hold without its level", "wave 0:sine 1:sine --hold 2", "\"2\" is not CH=V");
    bad("a duration of zero", "wave --duration 0 0:sine", "\"0\"");
    bad("both a duration and cycles", "wave --duration 1 --cycles 2 0:sine",
        "--duration and --cycles");
    bad("a wave with no wave", "wave --duration 1", "at least one");
    bad("a wave longer than 30 days", "wave --duration 2600000 0:sine", "30 days");
    bad("a reply to a wave", "--reply wave 0:sine", "--reply cannot be used with wave");
    bad("an unknown reply format", "--reply --reply-format bin reset", "\"bin\" is not auto");
    bad("a reply format without a reply", "--reply-format hex reset", "give it with --reply");
    QTest::newRow("a bad line refuses the whole sequence and names its number")
        << Words("play -") << QByteArray("single 0 1\nwait 10\nsingle 9 1\nreset\n") << 2
        << QStringLiteral("line 3");
    QTest::newRow("a pause that is not whole milliseconds")
        << Words("play -") << QByteArray("wait 1.5\n") << 2 << QStringLiteral("\"1.5\"");
    QTest::newRow("play inside a sequence")
        << Words("play -") << QByteArray("play -\n") << 2 << QStringLiteral("line 1");
    QTest::newRow("a device that cannot be opened is port trouble")
        << Words("--port @FILE@/tty single 0 1") << QByteArray() << 1
        << QStringLiteral("/plain/tty");
    QTest::newRow("a bare name that is no file here is named as the /dev device tried")
        << Words("--port quillon-no-such-port reset") << QByteArray() << 1
        << QStringLiteral("\"/dev/quillon-no-such-port\": no such device");
}

void TestCli::refusalWritesNothing() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(int, status);
    QFETCH(QString, named);

    // @FILE@ is a plain file made here: nothing can be found or created below it, even by root.
    QTemporaryDir directory;
    const QString plainFile = directory.filePath(QStringLiteral("plain"));
    QVERIFY(QFile(plainFile).open(QIODevice::WriteOnly));
    arguments.replaceInStrings(QStringLiteral("@FILE@"), plainFile);

    PtyPair board;
    QVERIFY(board.isValid());
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("QUILLON_PORT1"), board.slavePath());
    const Outcome outcome = Run(arguments, input, environment);
    QCOMPARE(outcome.status, status);
    QCOMPARE(outcome.out, QByteArray());
    QVERIFY2(outcome.err.startsWith("quillon-send: ") && outcome.err.count('\n') == 1 &&
                 outcome.err.endsWith('\n'),
             outcome.err.constData());
    QVERIFY2(QString::fromUtf8(outcome.err).contains(named), outcome.err.constData());
    QCOMPARE(board.readAvailable(), QByteArray());
}

void TestCli::replyIsPrinted_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out");

    QTest::newRow("the board's answer is printed")
        << Words("--reply=5000 single 0 1.100") << QByteArray("0000110099999999999999") << 0
        << QByteArray("0000110099999999999999\n");
    QTest::newRow("an answer shorter than a frame is printed too")
        << Words("--reply=5000 reset") << QByteArray("OK") << 0 << QByteArray("OK\n");
    QTest::newRow("a flood of a reply is cut at 64 KiB")
        << Words("--reply=2000 reset") << QByteArray(100'000, 'x') << 0
        << QByteArray(64 * 1024, 'x') + '\n';
    QTest::newRow("a reply with bytes that are not printable ASCII is printed as hex pairs")
        << Words("--reply=5000 reset") << Bytes({0x32, 0x30, 0x31, 0x14, 0xFF}) << 0
        << QByteArray("32 30 31 14 FF\n");
    QTest::newRow("--reply-format text escapes each byte that is not printable ASCII")
        << Words("--reply=5000 --reply-format text reset") << QByteArray("OK\r\n\\\xff") << 0
        << QByteArray("OK\\x0d\\x0a\\\\\\xff\n");
    QTest::newRow("--reply-format hex prints text as hex pairs too")
        << Words("--reply=5000 --reply-format hex reset") << QByteArray("OK") << 0
        << QByteArray("4F 4B\n");
    QTest::newRow("--reply-format auto prints text as text")
        << Words("--reply=5000 --reply-format auto reset") << QByteArray("U") << 0
        << QByteArray("U\n");
    QTest::newRow("a silent board is no reply")
        << Words("--reply=200 reset") << QByteArray() << 3 << QByteArray();
}

void TestCli::replyIsPrinted() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, reply);
    QFETCH(int, status);
    QFETCH(QByteArray, out);

    PtyPair board;
    QVERIFY(board.isValid());
    QProcess process;
    Prepare(process, QStringList{QStringLiteral("--port"), board.slavePath()} + arguments);
    process.start();
    QVERIFY(!board.readUntilQuiet(kTimeoutMs, 50).isEmpty());
    if (!reply.isEmpty())
        QVERIFY(board.write(reply));
    const Outcome outcome = Finish(process);
    QCOMPARE(outcome.status, status);
    QCOMPARE(outcome.out, out);
}

// What ends a play early, and how.
enum class Ending { CtrlC, CtrlCOnAStoppedLine, Terminated, HungUp, BoardPulled };

void TestCli::playEndsOnWholeFrames_data() {
    QTest::addColumn<Ending>("ending");
    QTest::addColumn<int>("frameCount");
    QTest::addColumn<int>("lastPauseMs"); // a pause after the last frame
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said");

    QTest::newRow("Ctrl-C stops after the frame being written")
        << Ending::CtrlC << 200 << 0 << 130 << "stopped by Ctrl-C";
    QTest::newRow("SIGTERM stops after the frame being written, with status 143")
        << Ending::Terminated << 200 << 0 << 143 << "stopped by SIGTERM";
    QTest::newRow("SIGHUP stops after the frame being written, with status 129")
        << Ending::HungUp << 200 << 0 << 129 << "stopped by SIGHUP";
    QTest::newRow("Ctrl-C still sends the frames queued on a stopped line")
        << Ending::CtrlCOnAStoppedLine << 200 << 0 << 130 << "stopped by Ctrl-C";
    QTest::newRow("a board pulled while the play runs is port trouble, told with what went out")
        << Ending::BoardPulled << 3 << 60000 << 1 << "of 3 frames went out";
}

void TestCli::playEndsOnWholeFrames() {
    QFETCH(Ending, ending);
    QFETCH(int, frameCount);
    QFETCH(int, lastPauseMs);
    QFETCH(int, status);
    QFETCH(QString, said);

    QTemporaryDir directory;
    QFile sequence(directory.filePath(QStringLiteral("ramp.txt")));
    QVERIFY(sequence.open(QIODevice::WriteOnly));
    QList<QByteArray> frames;
    for (int code = 0; code < frameCount; ++code) {
        const QByteArray line = "eight " + QByteArray::number(code) + " 0 0 0 0 0 0 " +
                                QByteArray::number(255 - code) + '\n';
        sequence.write(line);
        frames << Bytes({0x32, 0x30, 0x31, code, 0x31, 0,    0x31,       0,    0x31, 0,    0x31,
                         0,    0x31, 0,    0x31, 0,    0x31, 255 - code, 0x39, 0x39, 0x39, 0x39});
    }
    if (lastPauseMs > 0)
        sequence.write("wait " + QByteArray::number(lastPauseMs) + '\n');
    sequence.close();

    PtyPair board;
    QVERIFY(board.isValid());
    QProcess process;
    Prepare(process, {QStringLiteral("--port"), board.slavePath(), QStringLiteral("play"),
                      QStringLiteral("--rate"), QStringLiteral("20"), sequence.fileName()});
    process.start();
    QByteArray received = board.readExactly(3 * 22, kTimeoutMs);
    QCOMPARE(received.size(), 3 * 22);
    // A second descriptor on the line stops its output as XOFF would: frames wait in the queue.
    const int line =
        ::open(board.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(line >= 0);
    if (ending == Ending::CtrlCOnAStoppedLine) {
        QCOMPARE(::tcflow(line, TCOOFF), 0);
        QTest::qWait(300);
    }
    if (ending == Ending::BoardPulled)
        board.hangUp();
    else
        ::kill(pid_t(process.processId()), ending == Ending::Terminated ? SIGTERM
                                           : ending == Ending::HungUp   ? SIGHUP
                                                                        : SIGINT);
    if (ending == Ending::CtrlCOnAStoppedLine) {
        QTest::qWait(100);
        QCOMPARE(::tcflow(line, TCOON), 0);
    }
    ::close(line);
    const Outcome outcome = Finish(process);
    QCOMPARE(outcome.status, status);
    QVERIFY2(QString::fromUtf8(outcome.err).contains(said), outcome.err.constData());
    if (ending == Ending::BoardPulled)
        return;
    const qsizetype beforeStop = received.size();
    received += board.readAvailable();
    if (ending == Ending::CtrlCOnAStoppedLine)
        QVERIFY2(received.size() > beforeStop, "the frames queued on the stopped line were lost");
    QVERIFY(received.size() < 200 * 22);
    QCOMPARE(received.size() % 22, 0);
    for (qsizetype i = 0; i < received.size() / 22; ++i)
        QCOMPARE(received.mid(i * 22, 22), frames[i]);
    // The last line counts the frames the board got, with the time in a decimal point.
    const QRegularExpressionMatch last =
        QRegularExpression("quillon-send: (\\d+) of 200 frames sent, " + said +
                           " after \\d+\\.\\d s\n$")
            .match(QString::fromUtf8(outcome.err));
    QVERIFY2(last.hasMatch(), outcome.err.constData());
    QCOMPARE(last.captured(1).toLongLong(), received.size() / 22);
}

void TestCli::hostileInputIsRefusedSmallAndSafe_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<Input>("input");
    QTest::addColumn<QByteArray>("text"); // standard input's contents, for Input::File
    QTest::addColumn<QString>("named");
    QTest::addColumn<int>("status");

    const QStringList fromStdin = Words("--dry-run play -");
    QByteArray monthLong;
    for (int day = 0; day < 31; ++day)
        monthLong += "wait 86400000\n";
    QTest::newRow("a sequence from /dev/zero")
        << Words("--dry-run play /dev/zero") << Input::None << QByteArray() << "line 1: a NUL" << 2;
    QTest::newRow("an endless pipe of resets")
        << fromStdin << Input::EndlessPipe << QByteArray() << "more than 1000000 lines" << 2;
    QTest::newRow("a 20 MB line without a line end")
        << fromStdin << Input::File << QByteArray(20'000'000, '5') << "longer than 4096 bytes" << 2;
    QTest::newRow("a NUL byte names its line")
        << fromStdin << Input::File << QByteArray("reset\nre\0set\n", 13) << "line 2: a NUL" << 2;
    QTest::newRow("text that is not UTF-8 names its line")
        << fromStdin << Input::File << QByteArray("reset\n# caf\xe9\n")
        << "line 2: text that is not" << 2;
    QTest::newRow("ESC sequences in a file are quoted as escapes")
        << fromStdin << Input::File << QByteArray("single 0 \x1b[2J\x1b]0;owned\x07\n")
        << "\\x1b[2J" << 2;
    QTest::newRow("ESC sequences in an argument are quoted as escapes")
        << QStringList{"--dry-run", "single", "0", QStringLiteral("\x1b[31m1.000") + QChar(0x9B)}
        << Input::None << QByteArray() << "\\x1b[31m1.000\\u009b" << 2;
    QTest::newRow("a long argument is cut to 40 characters with its length")
        << QStringList{"--dry-run", "single", "0", QString(100000, u'7')} << Input::None
        << QByteArray() << "7…\" (100000 characters)" << 2;
    QTest::newRow("a pause whose nanoseconds overflow")
        << fromStdin << Input::File << QByteArray("reset\nwait 9223372036854\nreset\n")
        << "longer than 24 hours" << 2;
    QTest::newRow("a pause too long to count")
        << fromStdin << Input::File << QByteArray("wait 99999999999999999999999\n")
        << "longer than 24 hours" << 2;
    QTest::newRow("a rate that underflows")
        << Words("--dry-run play --rate 1e-320 -") << Input::File << QByteArray("reset\n")
        << "slower than one frame a day" << 2;
    QTest::newRow("a sequence longer than 30 days")
        << fromStdin << Input::File << monthLong + "reset\n"
        << "longer than 30 days" << 2;
    QTest::newRow("ESC sequences in a wave are quoted as escapes")
        << QStringList{"--dry-run", "wave", QStringLiteral("0:\x1b[2J")} << Input::None
        << QByteArray() << "\\x1b[2J" << 2;
    QTest::newRow("a level of 1e300 volts is told in a short line")
        << Words("--dry-run wave 0:sine,low=1e300,high=1e300") << Input::None << QByteArray()
        << "levels 1e+300 to 1e+300 V" << 2;
    QTest::newRow("ESC sequences in a device name are quoted as escapes")
        << QStringList{"--port", QStringLiteral("/dev/\x1b[2Jtty"), "reset"} << Input::None
        << QByteArray() << "\\x1b[2Jtty" << 1;
    QTest::newRow("a host name that is a control sequence is quoted as escapes")
        << QStringList{"--port", QStringLiteral("tcp://\x1b]0;x\x07:7000"), "reset"} << Input::None
        << QByteArray() << "\\x1b]0;x\\x07" << 1;
}

// Whatever a script feeds it, the program refuses with one short, safe line and stays small.
void TestCli::hostileInputIsRefusedSmallAndSafe() {
    QFETCH(QStringList, arguments);
    QFETCH(Input, input);
    QFETCH(QByteArray, text);
    QFETCH(QString, named);
    QFETCH(int, status);

    QTemporaryDir directory;
    const QString file = directory.filePath(QStringLiteral("input"));
    if (input == Input::File) {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        QCOMPARE(out.write(text), text.size());
    }
    const Measured run = RunMeasured(arguments, input, file);
    QCOMPARE(run.status, status);
    QVERIFY2(run.err.startsWith("quillon-send: ") && run.err.count('\n') == 1 &&
                 run.err.endsWith('\n') && run.err.size() < 200,
             run.err.left(300).constData());
    QVERIFY2(QString::fromUtf8(run.err).contains(named), run.err.constData());
    for (const char c : run.err.chopped(1))
        QVERIFY2(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F, run.err.constData());
    QVERIFY2(!QString::fromUtf8(run.err).contains(QRegularExpression("[\\x{80}-\\x{9f}]")),
             run.err.constData());
#ifdef QUILLON_SANITIZED
    constexpr long kMemoryBoundKiB = 512 * 1024; // the sanitizers' own shadow and quarantine
#else
    constexpr long kMemoryBoundKiB = 64 * 1024;
#endif
    QVERIFY2(run.maxRssKiB > 0 && run.maxRssKiB < kMemoryBoundKiB,
             qPrintable(QString::number(run.maxRssKiB) + " KiB"));
}

// A run's log, played back, gives the same bytes; a dry run writes no log at all.
void TestCli::logOfARunPlaysBackToTheSameBytes() {
    QTemporaryDir directory;
    const QString log = directory.filePath(QStringLiteral("run.log"));
    PtyPair board;
    QVERIFY(board.isValid());
    const QStringList options{QStringLiteral("--port"), board.slavePath(), QStringLiteral("--log"),
                              log};
    QCOMPARE(Run(QStringList{"--dry-run", "--log", log} + Words("reset")).status, 0);
    QVERIFY(!QFile::exists(log));

    QCOMPARE(Run(options + Words("single 3 2.5")).status, 0);
    QCOMPARE(Run(options + Words("play -"), "eight 0 0 0 0 0 0 0 255\nwait 40\nreset\n").status, 0);
    QProcess replied;
    Prepare(replied, options + Words("--reply=5000 four 0:1 1:2 2:3 3:4"));
    replied.start();
    const QByteArray four = "1000100102002030030400";
    QCOMPARE(board.readExactly(22 + 22 + 1 + 22),
             "0030250099999999999999" +
                 Bytes({0x32, 0x30, 0x31, 0,    0x31, 0,    0x31, 0,    0x31, 0,    0x31,
                        0,    0x31, 0,    0x31, 0,    0x31, 255,  0x39, 0x39, 0x39, 0x39}) +
                 "U" + four);
    QVERIFY(board.write("OK"));
    QCOMPARE(Finish(replied).status, 0);
    QCOMPARE(Run(options + Words("--reply=100 reset")).status, 3);
    QCOMPARE(board.readExactly(1), QByteArray("U"));

    const QString text = QString::fromUtf8(ReadFile(log));
    QCOMPARE(text.count(QStringLiteral("# quillon log started ")), 4);
    QCOMPARE(text.split(u'\n')
                 .filter(QRegularExpression("^[a-z]"))
                 .filter(QRegularExpression("^(?!wait)")),
             QStringList({"single 3 2.500", "eight 0 0 0 0 0 0 0 255", "reset",
                          "four 0:1.00 1:2.00 2:3.00 3:4.00", "reset"}));
    // The pause before the reset is logged as the time that passed between the frames as the
    // driver took them, which a loaded machine stretches or shortens: its length is not pinned.
    QVERIFY2(text.contains(QRegularExpression("\\n(wait \\d+\\n)?# [0-9:.]+ sent 1 bytes\\nreset\\n")),
             qPrintable(text));
    QVERIFY2(text.contains(QRegularExpression("received 2 bytes: OK\\n")), qPrintable(text));
    QVERIFY2(text.contains(QRegularExpression("no reply from \\S+ within 100 ms\\n")),
             qPrintable(text));

    PtyPair replay;
    QVERIFY(replay.isValid());
    QCOMPARE(
        Run({QStringLiteral("--port"), replay.slavePath(), QStringLiteral("play"), log}).status, 0);
    const QByteArray expected =
        "0030250099999999999999" +
        Bytes({0x32, 0x30, 0x31, 0,    0x31, 0,    0x31, 0,    0x31, 0,    0x31,
               0,    0x31, 0,    0x31, 0,    0x31, 255,  0x39, 0x39, 0x39, 0x39}) +
        "U" + four + "U";
    QCOMPARE(replay.readExactly(expected.size()), expected);
    QCOMPARE(replay.readAvailable(), QByteArray());
}

// `--log -`: standard output carries the log alone, which plays back; the reply goes to
// standard error, and no file named "-" appears.
void TestCli::logOnStandardOutputPlaysBack() {
    QTemporaryDir directory;
    PtyPair board;
    QVERIFY(board.isValid());
    QProcess replied;
    Prepare(replied,
            {"--port", board.slavePath(), "--log", "-", "--reply=5000", "single", "2", "1"}, {},
            directory.path());
    replied.start();
    QCOMPARE(board.readExactly(22), QByteArray("0020100099999999999999"));
    QVERIFY(board.write("OK"));
    const Outcome outcome = Finish(replied);
    QCOMPARE(outcome.status, 0);
    QCOMPARE(outcome.err, QByteArray("OK\n"));
    QVERIFY2(outcome.out.startsWith("# quillon log started ") &&
                 outcome.out.contains("\nsingle 2 1.000\n") &&
                 outcome.out.contains("received 2 bytes: OK\n"),
             outcome.out.constData());
    QVERIFY(!QFile::exists(directory.filePath(QStringLiteral("-"))));

    PtyPair replay;
    QVERIFY(replay.isValid());
    QCOMPARE(Run({"--port", replay.slavePath(), "play", "-"}, outcome.out).status, 0);
    QCOMPARE(replay.readExactly(22), QByteArray("0020100099999999999999"));
}

// --verbose names the ports tried, the one opened with its settings, and each frame in hex.
void TestCli::verboseTellsWhereAndWhat_data() {
    QTest::addColumn<PortBy>("portBy");
    QTest::addColumn<QString>("said");

    QTest::newRow("the device given") << PortBy::Option << "opened \"@BOARD@\", 9600 8N1\n";
    QTest::newRow("port 2 after port 1, which is named as tried")
        << PortBy::Port2Variable
        << "tried \"@MISSING@\": no such device (No such file or directory)\n"
           "quillon-send: opened \"@BOARD@\" (port 2), 9600 8N1\n";
}

void TestCli::verboseTellsWhereAndWhat() {
    QFETCH(PortBy, portBy);
    QFETCH(QString, said);

    PtyPair board;
    QVERIFY(board.isValid());
    QTemporaryDir directory;
    const QString missing = directory.filePath(QStringLiteral("missing"));
    QStringList arguments{QStringLiteral("--verbose")};
    QProcessEnvironment environment;
    if (portBy == PortBy::Option) {
        arguments << QStringLiteral("--port") << board.slavePath();
    } else {
        environment.insert(QStringLiteral("QUILLON_PORT1"), missing);
        environment.insert(QStringLiteral("QUILLON_PORT2"), board.slavePath());
    }
    const Outcome outcome =
        Run(arguments + Words("eight 0 32 64 96 128 160 192 255"), {}, environment);
    QCOMPARE(outcome.status, 0);
    QCOMPARE(outcome.out, QByteArray());
    said.replace(QStringLiteral("@BOARD@"), board.slavePath());
    said.replace(QStringLiteral("@MISSING@"), missing);
    QCOMPARE(QString::fromUtf8(outcome.err),
             "quillon-send: " + said +
                 "quillon-send: sent 22 bytes: 32 30 31 00 31 20 31 40 31 60 31 80 31 A0 31 C0 31 "
                 "FF 39 39 39 39\n");
    QCOMPARE(board.readExactly(22).size(), 22);
}

void TestCli::printedWavePlaysBackToTheSameFrames() {
    const QStringList wave = Words("wave --rate 40 --duration 0.5 0:sine,freq=2,low=1,high=4 "
                                   "3:triangle,freq=4,high=3.3,phase=45 --hold 1=0 --hold 2=2.5 "
                                   "--hold 4=0 --hold 5=0 --hold 6=0 --hold 7=1");
    const Outcome printed = Run(wave + Words("--print"));
    QCOMPARE(printed.status, 0);
    QCOMPARE(printed.err, QByteArray());
    QCOMPARE(printed.out.count("eight "), 20);
    QVERIFY2(printed.out.contains("\nwait 2\n"), printed.out.constData());

    PtyPair waved;
    PtyPair played;
    QVERIFY(waved.isValid() && played.isValid());
    QCOMPARE(Run(QStringList{QStringLiteral("--port"), waved.slavePath()} + wave).status, 0);
    QCOMPARE(Run({QStringLiteral("--port"), played.slavePath(), QStringLiteral("play"),
                  QStringLiteral("-")},
                 printed.out)
                 .status,
             0);
    const QByteArray frames = waved.readExactly(20 * 22);
    QCOMPARE(frames.size(), 20 * 22);
    QCOMPARE(played.readExactly(20 * 22), frames);
    QCOMPARE(waved.readAvailable(), QByteArray());
    QCOMPARE(played.readAvailable(), QByteArray());
}

// `| head`: the wave ends at once when its reader has read enough, with nothing to complain of.
void TestCli::printedWaveEndsQuietlyWhenItsReaderGoes() {
    QProcess shell;
    Prepare(shell, {QStringLiteral("-c"),
                    QStringLiteral("\"$0\" wave 0:sine,freq=0.5 --print | head -n 3 >/dev/null; "
                                   "exit ${PIPESTATUS[0]}"),
                    ProgramPath()});
    shell.setProgram(QStringLiteral("/bin/bash"));
    shell.start();
    const Outcome outcome = Finish(shell);
    QCOMPARE(outcome.status, 0);
    QCOMPARE(outcome.err, QByteArray());
}

void TestCli::endlessWaveStopsOnWholeFrames() {
    PtyPair board;
    QVERIFY(board.isValid());
    QProcess process;
    Prepare(process, {QStringLiteral("--port"), board.slavePath(), QStringLiteral("wave"),
                      QStringLiteral("2:triangle,freq=0.5")});
    process.start();
    QByteArray received = board.readExactly(3 * 22, kTimeoutMs);
    QVERIFY(received.size() >= 3 * 22);
    ::kill(pid_t(process.processId()), SIGTERM);
    const Outcome outcome = Finish(process);
    QCOMPARE(outcome.status, 143);
    received += board.readAvailable();
    const QRegularExpressionMatch last =
        QRegularExpression(
            "quillon-send: (\\d+) frames sent, stopped by SIGTERM after \\d+\\.\\d s\n$")
            .match(QString::fromUtf8(outcome.err));
    QVERIFY2(last.hasMatch(), outcome.err.constData());
    QCOMPARE(last.captured(1).toLongLong(), received.size() / 22);
    QCOMPARE(received.size() % 22, 0);
    for (qsizetype i = 0; i < received.size() / 22; ++i)
        QVERIFY2(received.mid(i * 22, 22).startsWith("0020"), received.constData());
}

// Every kind of port failure has its own English words, as a script reads them on stderr.
void TestCli::portFailureIsToldInEnglish_data() {
    using quillon::PortError;
    QTest::addColumn<PortError>("error");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<QString>("text");

    const QString port = "/dev/ttyUSB0";
    QTest::newRow("a missing device") << PortError::NotFound << port << ""
                                      << "\"/dev/ttyUSB0\": no such device";
    QTest::newRow("an unknown host") << PortError::HostNotFound << "tcp://rig:7000"
                                     << ""
                                     << "\"tcp://rig:7000\": no such host";
    QTest::newRow("a device held by another program")
        << PortError::Permission << port << ""
        << "\"/dev/ttyUSB0\": permission denied, or the device is in use by another program";
    QTest::newRow("a device already open") << PortError::AlreadyOpen << port << ""
                                           << "\"/dev/ttyUSB0\": the device is already open";
    QTest::newRow("a port not open") << PortError::NotOpen << port << ""
                                     << "\"/dev/ttyUSB0\": the port is not open";
    QTest::newRow("a write error") << PortError::Write << port << ""
                                   << "\"/dev/ttyUSB0\": writing failed";
    QTest::newRow("a read error") << PortError::Read << port << ""
                                  << "\"/dev/ttyUSB0\": reading failed";
    QTest::newRow("a device gone")
        << PortError::Gone << port << ""
        << "\"/dev/ttyUSB0\": the device was disconnected, or the connection dropped";
    QTest::newRow("settings the server does not take are named")
        << PortError::Unsupported << port << ""
        << "\"/dev/ttyUSB0\": the device or the server does not take 9600 8N1";
    QTest::newRow("a connection refused")
        << PortError::ConnectionRefused << "tcp://127.0.0.1:1"
        << ""
        << "\"tcp://127.0.0.1:1\": the server refused the connection";
    QTest::newRow("a timeout") << PortError::Timeout << port << ""
                               << "\"/dev/ttyUSB0\": timed out";
    QTest::newRow("an unknown error") << PortError::Unknown << port << ""
                                      << "\"/dev/ttyUSB0\": an unknown error";
    QTest::newRow("no error named reads as unknown") << PortError::None << port << ""
                                                     << "\"/dev/ttyUSB0\": an unknown error";
    QTest::newRow("the system's words follow in brackets")
        << PortError::NotFound << port << "No such file or directory"
        << "\"/dev/ttyUSB0\": no such device (No such file or directory)";
    QTest::newRow("no device is named as such") << PortError::NotOpen << ""
                                                << ""
                                                << "(no device): the port is not open";
}

void TestCli::portFailureIsToldInEnglish() {
    QFETCH(quillon::PortError, error);
    QFETCH(QString, device);
    QFETCH(QString, detail);
    QFETCH(QString, text);

    QCOMPARE(quillon::cli::FailureText({device, error, detail}), text);
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
