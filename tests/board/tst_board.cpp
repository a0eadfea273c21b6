#include "frames.h"
#include "output_chart.h"
#include "pseudo_terminal.h"
#include "virtual_board.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPointF>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using quillon::board::OutputChart;
using quillon::board::OutputHistory;
using namespace std::chrono_literals;

namespace {

constexpr int kTimeoutMs = 10000;

QByteArray Bytes(const std::string& text) {
    return QByteArray::fromStdString(text);
}

QByteArray Bytes(const std::array<std::uint8_t, 22>& frame) {
    return QByteArray(reinterpret_cast<const char*>(frame.data()), qsizetype(frame.size()));
}

QByteArray SingleDefaults() {
    return Bytes(quillon::SingleChannelFrame({"0", false, "1.100"}));
}

int PixelsOfColour(QWidget& widget, const QColor& colour) {
    const QImage image = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            count += image.pixel(x, y) == colour.rgb();
    }
    return count;
}

QString RejectedPrefix(const QByteArray& bytes) {
    return QStringLiteral("rejected (%1 bytes): %2")
        .arg(bytes.size())
        .arg(QString::fromLatin1(bytes.toHex(' ').toUpper()));
}

// The program under test, started with its stdout read line by line.
class BoardProcess {
public:
    explicit BoardProcess(const QStringList& arguments,
                          QProcess::ProcessChannelMode channels = QProcess::ForwardedErrorChannel) {
        QString binDir = qEnvironmentVariable("QUILLON_TEST_BIN_DIR");
        if (binDir.isEmpty())
            binDir = QCoreApplication::applicationDirPath();
        // The window rows must not need a display, however the test is started.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(channels);
        m_process.start(binDir + QStringLiteral("/quillon-board"), arguments);
        if (m_process.waitForStarted(kTimeoutMs))
            m_devicePath = nextLine();
    }
    ~BoardProcess() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(kTimeoutMs))
                m_process.kill();
        }
    }

    QString devicePath() const { return m_devicePath; }
    QProcess& process() { return m_process; }

    QString nextLine() {
        QDeadlineTimer deadline(kTimeoutMs);
        while (!m_process.canReadLine() && !deadline.hasExpired() &&
               m_process.state() == QProcess::Running)
            m_process.waitForReadyRead(int(deadline.remainingTime()));
        return QString::fromUtf8(m_process.readLine()).trimmed();
    }

    // QProcess::waitForFinished() fails for a process that has finished already.
    bool waitForExit() {
        return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(kTimeoutMs);
    }

    bool sendSignal(int signalNumber) {
        return ::kill(pid_t(m_process.processId()), signalNumber) == 0;
    }

private:
    QProcess m_process;
    QString m_devicePath;
};

// The panel's end of the line: the board's slave device opened raw, as a serial port would.
class PortEnd {
public:
    explicit PortEnd(const QString& path) { open(path); }
    ~PortEnd() { close(); }

    bool open(const QString& path) {
        m_fd = quillon::PseudoTerminal::openRaw(path, O_NONBLOCK);
        return m_fd >= 0;
    }
    void close() {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    bool isOpen() const { return m_fd >= 0; }

    bool write(const QByteArray& bytes) { return writeSome(bytes) == bytes.size(); }
    // What the line took of `bytes` without waiting.
    qsizetype writeSome(const QByteArray& bytes) {
        return std::max<ssize_t>(0, ::write(m_fd, bytes.constData(), std::size_t(bytes.size())));
    }

    QByteArray readAvailable() {
        QByteArray bytes;
        char buffer[256];
        ssize_t count;
        while ((count = ::read(m_fd, buffer, sizeof buffer)) > 0)
            bytes.append(buffer, count);
        return bytes;
    }

    QByteArray readExactly(qsizetype size) {
        QByteArray bytes;
        QDeadlineTimer deadline(kTimeoutMs);
        while (bytes.size() < size && !deadline.hasExpired()) {
            pollfd fd{m_fd, POLLIN, 0};
            if (::poll(&fd, 1, int(deadline.remainingTime())) > 0)
                bytes += readAvailable();
        }
        return bytes;
    }

private:
    int m_fd = -1;
};

// Channel by channel, volts and a "g" for gain: "1.1g 0 0 0 0 0 0 0".
QString Describe(const quillon::board::Outputs& outputs) {
    QStringList channels;
    for (const quillon::board::ChannelState& channel : outputs)
        channels << QString::number(channel.volts, 'g', 15) + (channel.gain ? "g" : "");
    return channels.join(QLatin1Char(' '));
}

} // namespace

class tst_Board : public QObject {
    Q_OBJECT

private slots:
    void decodesCommands_data();
    void decodesCommands();
    void rejectsAndResynchronises_data();
    void rejectsAndResynchronises();
    void replies_data();
    void replies();
    void keepsServingAfterReopen();
    void keepsOutputs_data();
    void keepsOutputs();
    void holdsTheWriterBackOnASlowLine();
    void linkFollowsBoardLife_data();
    void linkFollowsBoardLife();
    void refusesLinkPath_data();
    void refusesLinkPath();
    void refusesBadArguments_data();
    void refusesBadArguments();
    void historyKeepsSteps_data();
    void historyKeepsSteps();
    void chartDrawsRecordedValue_data();
    void chartDrawsRecordedValue();
};

void tst_Board::decodesCommands_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");

    using quillon::ChannelEntry;
    const QStringList console;
    const QByteArray fourDefaults =
        Bytes(quillon::FourChannelFrame({ChannelEntry{"0", false, "1.00"},
                                         {"1", false, "2.02"},
                                         {"2", false, "3.86"},
                                         {"3", false, "4.00"}}));

    QTest::newRow("single-channel defaults")
        << console << SingleDefaults() << QStringList{"single ch0 1.100 V"};
    QTest::newRow("single-channel gain shown")
        << console << Bytes(quillon::SingleChannelFrame({"3", true, "5"}))
        << QStringList{"single ch3 5.000 V gain"};
    QTest::newRow("single-channel smallest step")
        << console << Bytes(quillon::SingleChannelFrame({"7", false, "0.005"}))
        << QStringList{"single ch7 0.005 V"};
    QTest::newRow("four-channel defaults")
        << console << fourDefaults
        << QStringList{"four ch0 1.00 V, ch1 2.02 V, ch2 3.86 V, ch3 4.00 V"};
    QTest::newRow("four-channel gain on one entry")
        << console
        << Bytes(quillon::FourChannelFrame({ChannelEntry{"4", false, "0.07"},
                                            {"5", true, "1.13"},
                                            {"6", false, "0"},
                                            {"7", false, "5"}}))
        << QStringList{"four ch4 0.07 V, ch5 1.13 V gain, ch6 0.00 V, ch7 5.00 V"};
    QTest::newRow("eight-channel defaults")
        << console
        << Bytes(quillon::EightChannelFrame({"20", "40", "60", "80", "100", "120", "140", "160"}))
        << QStringList{"eight ch0 0.391 V, ch1 0.781 V, ch2 1.172 V, ch3 1.563 V, ch4 1.953 V, "
                       "ch5 2.344 V, ch6 2.734 V, ch7 3.125 V"};
    QTest::newRow("eight-channel extreme codes")
        << console
        << Bytes(quillon::EightChannelFrame({"0", "255", "128", "1", "", "2.5", "64", "32"}))
        << QStringList{"eight ch0 0.000 V, ch1 4.980 V, ch2 2.500 V, ch3 0.020 V, ch4 0.000 V, "
                       "ch5 0.039 V, ch6 1.250 V, ch7 0.625 V"};
    QTest::newRow("reset") << console << Bytes(quillon::ResetCommand())
                           << QStringList{"reset all channels 0 V"};
    QTest::newRow("reset and a frame in one burst")
        << console << Bytes(quillon::ResetCommand()) + SingleDefaults()
        << QStringList{"reset all channels 0 V", "single ch0 1.100 V"};
    QTest::newRow("two frames in one burst")
        << console << SingleDefaults() + fourDefaults
        << QStringList{"single ch0 1.100 V", "four ch0 1.00 V, ch1 2.02 V, ch2 3.86 V, ch3 4.00 V"};
    QTest::newRow("window mode keeps the console log")
        << QStringList{"--window"} << SingleDefaults() << QStringList{"single ch0 1.100 V"};
    QTest::newRow("two frames over a 9600-baud line are one burst")
        << QStringList{"--baud", "9600"} << SingleDefaults() + fourDefaults
        << QStringList{"single ch0 1.100 V", "four ch0 1.00 V, ch1 2.02 V, ch2 3.86 V, ch3 4.00 V"};
    QTest::newRow("a line slower than the quiet gap a byte still carries whole frames")
        << QStringList{"--baud", "110"} << SingleDefaults() << QStringList{"single ch0 1.100 V"};
}

void tst_Board::decodesCommands() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);

    BoardProcess board(arguments);
    PortEnd port(board.devicePath());
    QVERIFY(port.isOpen());
    QVERIFY(port.write(bytes));
    for (const QString& line : lines)
        QCOMPARE(board.nextLine(), line);
}

void tst_Board::rejectsAndResynchronises_data() {
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("over-wide four-channel value makes 23 bytes")
        << Bytes(quillon::FourChannelFrame({quillon::ChannelEntry{"0", false, "10.00"},
                                            {"1", false, "2.02"},
                                            {"2", false, "3.86"},
                                            {"3", false, "4.00"}}));
    QTest::newRow("over-wide single-channel value makes 23 bytes")
        << Bytes(quillon::SingleChannelFrame({"0", false, "12.5"}));
    QTest::newRow("empty channel makes 21 bytes")
        << Bytes(quillon::SingleChannelFrame({"", false, "1.100"}));
    QTest::newRow("non-digit in the value")
        << Bytes(quillon::SingleChannelFrame({"0", false, "-0.005"}));
    QTest::newRow("non-digit channel") << Bytes(quillon::SingleChannelFrame({"x", false, "1"}));
    QTest::newRow("unknown mode byte") << QByteArray("3000110099999999999999");
    QTest::newRow("first half of a frame") << SingleDefaults().left(11);
    QTest::newRow("reset followed by garbage") << QByteArray("Uxyz");
    QTest::newRow("line noise") << QByteArray("\x00\xff\r\n", 4);
}

void tst_Board::rejectsAndResynchronises() {
    QFETCH(QByteArray, bytes);

    BoardProcess board({});
    PortEnd port(board.devicePath());
    QVERIFY(port.isOpen());
    QVERIFY(port.write(bytes));
    const QString rejected = board.nextLine();
    QVERIFY2(rejected == RejectedPrefix(bytes) ||
                 rejected.startsWith(RejectedPrefix(bytes) + QStringLiteral(" (")),
             qPrintable(rejected));

    QVERIFY(port.write(SingleDefaults()));
    QCOMPARE(board.nextLine(), QStringLiteral("single ch0 1.100 V"));
}

void tst_Board::replies_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("reply");

    const QStringList echo{"--reply", "echo"};
    const QByteArray eight =
        Bytes(quillon::EightChannelFrame({"255", "0", "10", "13", "85", "0", "127", "128"}));
    QTest::newRow("echo returns a text frame") << echo << SingleDefaults() << SingleDefaults();
    QTest::newRow("echo returns raw bytes unchanged") << echo << eight << eight;
    QTest::newRow("echo returns the reset") << echo << QByteArray("U") << QByteArray("U");
    QTest::newRow("echo ignores rejected bytes") << echo << QByteArray("abc") << QByteArray();
    QTest::newRow("silent by default") << QStringList() << SingleDefaults() << QByteArray();
    QTest::newRow("silent on request")
        << QStringList{"--reply", "silent"} << SingleDefaults() << QByteArray();
}

void tst_Board::replies() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, reply);

    BoardProcess board(arguments);
    PortEnd port(board.devicePath());
    QVERIFY(port.isOpen());
    QVERIFY(port.write(bytes));
    // The board writes its reply before it logs the command.
    QVERIFY(!board.nextLine().isEmpty());
    QCOMPARE(port.readExactly(reply.size()), reply);
    QCOMPARE(port.readAvailable(), QByteArray());
}

void tst_Board::keepsServingAfterReopen() {
    BoardProcess board({"--reply", "echo"});
    PortEnd port(board.devicePath());
    for (int round = 0; round < 3; ++round) {
        QVERIFY(port.isOpen());
        QVERIFY(port.write(SingleDefaults()));
        QCOMPARE(board.nextLine(), QStringLiteral("single ch0 1.100 V"));
        QCOMPARE(port.readExactly(SingleDefaults().size()), SingleDefaults());
        port.close();
        port.open(board.devicePath());
    }
}

void tst_Board::keepsOutputs_data() {
    QTest::addColumn<QByteArray>("burst");
    QTest::addColumn<int>("lines");
    QTest::addColumn<QString>("outputs");

    const QByteArray gainOnThree = Bytes(quillon::SingleChannelFrame({"3", true, "5"}));
    const QByteArray reset = Bytes(quillon::ResetCommand());
    QTest::newRow("a frame sets its channel only") << gainOnThree << 1 << "0 0 0 5g 0 0 0 0";
    QTest::newRow("a reset clears every output and gain")
        << gainOnThree + SingleDefaults() + reset << 3 << "0 0 0 0 0 0 0 0";
    QTest::newRow("a frame after a reset sets its channel")
        << gainOnThree + reset + SingleDefaults() << 3 << "1.1 0 0 0 0 0 0 0";
    QTest::newRow("a rejected burst changes nothing")
        << gainOnThree + "x" << 1 << "0 0 0 0 0 0 0 0";
    QTest::newRow("a frame followed by a whole command is applied before the pause judges the rest")
        << gainOnThree + SingleDefaults() + "0000" << 2 << "0 0 0 5g 0 0 0 0";
}

void tst_Board::keepsOutputs() {
    QFETCH(QByteArray, burst);
    QFETCH(int, lines);
    QFETCH(QString, outputs);

    quillon::board::VirtualBoard board(quillon::board::ReplyMode::Silent);
    QString error;
    QVERIFY2(board.open({}, &error), qPrintable(error));
    QSignalSpy logged(&board, &quillon::board::VirtualBoard::commandLogged);
    PortEnd port(board.devicePath());
    QVERIFY(port.write(burst));
    QTRY_COMPARE_WITH_TIMEOUT(logged.count(), lines, kTimeoutMs);
    QCOMPARE(Describe(board.outputs()), outputs);
}

// 256 KiB offered to a line that carries 11 bytes a second: the writer keeps all but what the
// kernel holds for the line.
void tst_Board::holdsTheWriterBackOnASlowLine() {
    quillon::board::VirtualBoard board(quillon::board::ReplyMode::Silent, 110);
    QString error;
    QVERIFY2(board.open({}, &error), qPrintable(error));
    PortEnd port(board.devicePath());
    const QByteArray resets(4096, 'U');
    qsizetype taken = 0;
    for (int i = 0; i < 64; ++i) {
        taken += port.writeSome(resets);
        QTest::qWait(10);
    }
    QVERIFY2(taken < 128 * 1024, qPrintable(QString::number(taken)));
}

void tst_Board::linkFollowsBoardLife_data() {
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<bool>("staleLink");

    QTest::newRow("SIGTERM removes the link") << int(SIGTERM) << false;
    QTest::newRow("SIGINT removes the link") << int(SIGINT) << false;
    QTest::newRow("SIGHUP removes the link") << int(SIGHUP) << false;
    QTest::newRow("stale link is replaced") << int(SIGTERM) << true;
}

void tst_Board::linkFollowsBoardLife() {
    QFETCH(int, signalNumber);
    QFETCH(bool, staleLink);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("port1"));
    if (staleLink)
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")), link));

    BoardProcess board({"--link", link});
    QVERIFY(!board.devicePath().isEmpty());
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(QFileInfo(link).symLinkTarget(), board.devicePath());

    PortEnd port(link);
    QVERIFY(port.isOpen());
    QVERIFY(port.write(SingleDefaults()));
    QCOMPARE(board.nextLine(), QStringLiteral("single ch0 1.100 V"));

    QVERIFY(board.sendSignal(signalNumber));
    QVERIFY(board.waitForExit());
    QCOMPARE(board.process().exitStatus(), QProcess::NormalExit);
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(!QFileInfo::exists(link));
}

void tst_Board::refusesLinkPath_data() {
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("named");

    QTest::newRow("a file there is left alone")
        << "notes.txt"
        << "@DIR@/notes.txt exists and is not a symbolic link";
    QTest::newRow("a folder that does not exist is named, not made")
        << "not yet there/port1"
        << "the folder @DIR@/not yet there does not exist";
}

// Nothing at the path or around it changes: the board leaves no folder behind it.
void tst_Board::refusesLinkPath() {
    QFETCH(QString, link);
    QFETCH(QString, named);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile file(dir.filePath(QStringLiteral("notes.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("keep me");
    file.close();

    BoardProcess board({"--link", dir.filePath(link)}, QProcess::SeparateChannels);
    QVERIFY(board.waitForExit());
    QVERIFY(board.process().exitCode() != 0);
    const QString said = QString::fromLocal8Bit(board.process().readAllStandardError());
    QVERIFY2(said.contains(named.replace(QStringLiteral("@DIR@"), dir.path())), qPrintable(said));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
             QStringList{QStringLiteral("notes.txt")});
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("keep me"));
}

void tst_Board::refusesBadArguments_data() {
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("unknown reply mode") << QStringList{"--reply", "shout"};
    QTest::newRow("unexpected argument") << QStringList{"/dev/ttyS0"};
    QTest::newRow("unknown option") << QStringList{"--speed", "9600"};
    QTest::newRow("baud rate zero") << QStringList{"--baud", "0"};
    QTest::newRow("negative baud rate") << QStringList{"--baud=-9600"};
    QTest::newRow("baud rate not a whole number") << QStringList{"--baud", "9600.5"};
}

void tst_Board::refusesBadArguments() {
    QFETCH(QStringList, arguments);

    BoardProcess board(arguments);
    QVERIFY(board.waitForExit());
    QCOMPARE(board.process().exitStatus(), QProcess::NormalExit);
    QVERIFY(board.process().exitCode() != 0);
    QVERIFY(board.devicePath().isEmpty());
}

void tst_Board::historyKeepsSteps_data() {
    QTest::addColumn<QList<QPointF>>("commands"); // milliseconds from the start, volts
    QTest::addColumn<int>("atMs");
    QTest::addColumn<double>("volts");
    QTest::addColumn<int>("maxSteps");
    QTest::addColumn<bool>("steady");

    const QList<QPointF> twoValues{{0, 1.1}, {2000, 2.2}};
    QList<QPointF> flood;
    for (int ms = 0; ms < 30000; ++ms)
        flood << QPointF(ms, (ms % 256) * 0.02);

    QTest::newRow("before any command the output reads 0 V")
        << QList<QPointF>{} << 0 << 0.0 << 0 << true;
    QTest::newRow("a value holds until the next command") << twoValues << 1999 << 1.1 << 2 << false;
    QTest::newRow("the next command takes over at its own time")
        << twoValues << 2000 << 2.2 << 2 << false;
    QTest::newRow("a repeated value adds no step")
        << QList<QPointF>{{0, 1.1}, {1000, 1.1}, {2000, 1.1}} << 2500 << 1.1 << 1 << false;
    QTest::newRow("a value unchanged for 30 s stands still")
        << QList<QPointF>{{0, 3.0}, {30000, 3.0}} << 30000 << 3.0 << 1 << true;
    QTest::newRow("steps over 30 s old are forgotten but the one in force stays")
        << QList<QPointF>{{0, 1.0}, {1000, 2.0}, {40000, 3.0}} << 35000 << 2.0 << 2 << false;
    QTest::newRow("commands closer than the resolution merge into the later value")
        << QList<QPointF>{{0, 1.0}, {1000, 2.0}, {1004, 3.0}} << 1002 << 3.0 << 2 << false;
    QTest::newRow("commands exactly the resolution apart stay two steps")
        << QList<QPointF>{{0, 1.0}, {1000, 2.0}, {1010, 3.0}} << 1005 << 2.0 << 3 << false;
    QTest::newRow("a merge back to the held value leaves one step")
        << QList<QPointF>{{0, 1.0}, {1000, 2.0}, {1004, 1.0}} << 1500 << 1.0 << 1 << false;
    QTest::newRow("a flood keeps a bounded number of steps")
        << flood << 29999 << (29999 % 256) * 0.02 << 3001 << false;
}

void tst_Board::historyKeepsSteps() {
    QFETCH(QList<QPointF>, commands);
    QFETCH(int, atMs);
    QFETCH(double, volts);
    QFETCH(int, maxSteps);
    QFETCH(bool, steady);

    const OutputHistory::Clock::time_point start{};
    OutputHistory history;
    for (const QPointF& command : commands)
        history.record(start + std::chrono::milliseconds(qint64(command.x())), 2, command.y());
    const OutputHistory::Clock::time_point at = start + std::chrono::milliseconds(atMs);
    history.prune(at);

    QCOMPARE(history.valueAt(2, at), volts);
    QCOMPARE(history.valueAt(5, at), 0.0);
    QVERIFY2(history.steps(2).size() <= std::size_t(maxSteps),
             qPrintable(QString::number(history.steps(2).size())));
    QCOMPARE(history.isSteady(at), steady);
}

void tst_Board::chartDrawsRecordedValue_data() {
    QTest::addColumn<int>("channel");
    QTest::addColumn<double>("volts");

    QTest::newRow("full scale on the first channel") << 0 << 5.0;
    QTest::newRow("mid scale on a middle channel") << 4 << 2.5;
    QTest::newRow("the smallest step on the last channel") << 7 << 0.005;
}

// A value held for the last ten seconds draws a trace in its channel's colour.
void tst_Board::chartDrawsRecordedValue() {
    QFETCH(int, channel);
    QFETCH(double, volts);

    OutputChart blank;
    OutputChart drawn;
    blank.resize(blank.sizeHint());
    drawn.resize(drawn.sizeHint());
    drawn.record(channel, volts, OutputHistory::Clock::now() - 10s);
    const int blankPixels = PixelsOfColour(blank, OutputChart::channelColour(channel));
    const int drawnPixels = PixelsOfColour(drawn, OutputChart::channelColour(channel));
    QVERIFY2(drawnPixels > blankPixels + drawn.width() / 6,
             qPrintable(QStringLiteral("%1 against %2").arg(drawnPixels).arg(blankPixels)));
}

QTEST_MAIN(tst_Board)
#include "tst_board.moc"
