#include "panel_harness.h"
#include "serial_link.h"

#include <QAction>
#include <QEventLoop>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include <poll.h>
#include <time.h>
#include <unistd.h>

using namespace quillon;
using namespace std::chrono_literals;
using namespace quillon::testing;

namespace {

constexpr qsizetype kMegabyte = 1 << 20;
constexpr qsizetype kFloodSize = 10 * kMegabyte;
// Generous: a megabyte crosses the pty in pieces, and sanitizer builds are slow.
constexpr int kLongTimeoutMs = 240000;
// An idle panel may wake now and then, but never spins.
constexpr auto kIdleCpuBound = 50ms;

const QByteArray kSingleChannelDefaults = "0000110099999999999999";
const QByteArray kFourChannelDefaults = "1000100102022038630400";
const QByteArray kEightChannelDefaults =
    QByteArray::fromHex("323031143128313C315031643178318C31A039393939");
const QString kEarlierSendCode = QStringLiteral("上一次的发送码");

std::chrono::nanoseconds ProcessCpuTime() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// The CPU time the whole process uses while its event loop runs for one second.
std::chrono::nanoseconds CpuTimeOfOneSecond() {
    const auto before = ProcessCpuTime();
    QEventLoop loop;
    QTimer::singleShot(1s, &loop, &QEventLoop::quit);
    loop.exec();
    return ProcessCpuTime() - before;
}

// Takes `count` bytes off the board's end and leaves the rest waiting in the pty.
void ReadNoMoreThan(int masterFd, qsizetype count) {
    char buffer[4096];
    while (count > 0) {
        pollfd readable{masterFd, POLLIN, 0};
        if (::poll(&readable, 1, kLongTimeoutMs) <= 0)
            return;
        const ssize_t n = ::read(masterFd, buffer, std::min<qsizetype>(count, sizeof buffer));
        if (n > 0)
            count -= n;
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            return;
    }
}

// Writes everything to the board's end while the panel reads it; gives up when told to stop or
// when the other end is gone.
class BoardWriter {
public:
    BoardWriter(int masterFd, QByteArray bytes)
        : m_thread([this, masterFd, bytes = std::move(bytes)] { writeAll(masterFd, bytes); }) {}
    ~BoardWriter() {
        m_stop = true;
        m_thread.join();
    }

    bool finished() const { return m_finished; }
    bool failed() const { return m_failed; }

private:
    void writeAll(int fd, const QByteArray& bytes) {
        qsizetype written = 0;
        while (written < bytes.size() && !m_stop) {
            const ssize_t n = ::write(fd, bytes.constData() + written,
                                      std::min<qsizetype>(bytes.size() - written, 4096));
            if (n > 0) {
                written += n;
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                pollfd writable{fd, POLLOUT, 0};
                ::poll(&writable, 1, 100);
                continue;
            }
            m_failed = true;
            break;
        }
        m_finished = true;
    }

    std::atomic<bool> m_stop = false;
    std::atomic<bool> m_finished = false;
    std::atomic<bool> m_failed = false;
    std::thread m_thread;
};

QByteArray RandomBytes(qsizetype size, quint32 seed) {
    QRandomGenerator generator(seed);
    QList<quint32> words(size / 4);
    generator.fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char*>(words.constData()), size);
}

enum class Pull { WhileIdle, WithAReplyHalfIn, DuringALongWrite };

} // namespace

Q_DECLARE_METATYPE(Pull)

class tst_Faults : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void pulledDevice_data();
    void pulledDevice();
    void megabyteText_data();
    void megabyteText();
    void receiveFloodShowsOnlyTheLatestChunk();
    void longSendLeavesTheWindowServing();
    void badInputWritesNothing_data();
    void badInputWritesNothing();

private:
    bool openPanel();
    // Reset writes one "U": when it is the next byte at the board, nothing was written before.
    void verifyNothingWasWritten();

    std::unique_ptr<PanelHarness> m_panel;
};

void tst_Faults::init() {
    m_panel = std::make_unique<PanelHarness>();
    QVERIFY(m_panel->isValid());
}

void tst_Faults::cleanup() {
    m_panel.reset();
}

bool tst_Faults::openPanel() {
    return m_panel->open() &&
           QTest::qWaitFor([this] { return m_panel->controller().link().isOpen(); }, 10000);
}

void tst_Faults::verifyNothingWasWritten() {
    QVERIFY(m_panel->click("Command4"));
    QCOMPARE(m_panel->board().readExactly(1), QByteArray("U"));
}

void tst_Faults::pulledDevice_data() {
    QTest::addColumn<Pull>("pull");
    QTest::addColumn<QString>("reportSays");

    const QString lost = QStringLiteral("串口已断开");
    QTest::newRow("pulled while idle") << Pull::WhileIdle << lost;
    QTest::newRow("pulled with a reply half in") << Pull::WithAReplyHalfIn << lost;
    QTest::newRow("pulled during a long write")
        << Pull::DuringALongWrite << QStringLiteral("命令未发出");
}

void tst_Faults::pulledDevice() {
    QFETCH(Pull, pull);
    QFETCH(QString, reportSays);
    QVERIFY(openPanel());
    PtyPair& board = m_panel->board();

    switch (pull) {
    case Pull::WhileIdle:
        board.hangUp();
        break;
    case Pull::WithAReplyHalfIn:
        QVERIFY(board.write("0000110099"));
        board.hangUp();
        break;
    case Pull::DuringALongWrite: {
        // The adapter goes once part of a long frame has crossed, while the write still waits:
        // a megabyte is more than the kernel buffers between the two ends of a pty (640 KB).
        m_panel->form().singleChannelGroup().channelBox->setText(
            QString(kMegabyte - 100, QLatin1Char('7')));
        auto pulling = std::async(std::launch::async, [&board] {
            ReadNoMoreThan(board.masterFd(), 16 * 1024);
            board.hangUp();
        });
        QVERIFY(m_panel->click("Command1(0)"));
        // The frame goes out from the event loop, which must run while the board reads.
        QTRY_VERIFY_WITH_TIMEOUT(pulling.wait_for(0s) == std::future_status::ready, kLongTimeoutMs);
        break;
    }
    }

    QTRY_COMPARE(m_panel->messages().size(), 1);
    const OperatorMessage report = m_panel->messages().first();
    QCOMPARE(report.kind, OperatorMessage::Kind::Warning);
    QVERIFY2(report.text.contains(m_panel->boardPath()), qPrintable(report.text));
    QVERIFY2(report.text.contains(reportSays), qPrintable(report.text));
    QVERIFY(!m_panel->controller().link().isOpen());

    // Let the window repaint what the failed send put on screen before it is expected to idle.
    QCoreApplication::processEvents();
    const auto cpu = CpuTimeOfOneSecond();
    QVERIFY2(cpu < kIdleCpuBound,
             qPrintable(QStringLiteral("%1 ms of CPU time in the second after the pull")
                            .arg(std::chrono::duration<double, std::milli>(cpu).count())));
    QCOMPARE(m_panel->messages().size(), 1);

    m_panel->form().singleChannelGroup().channelBox->setText(QStringLiteral("0"));
    QVERIFY(m_panel->replugBoard());
    QVERIFY(m_panel->click("Command1(0)"));
    QCOMPARE(m_panel->board().readExactly(kSingleChannelDefaults.size()), kSingleChannelDefaults);
    QVERIFY(m_panel->controller().link().isOpen());
    QCOMPARE(m_panel->messages().size(), 1);
}

void tst_Faults::megabyteText_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<BoxRole>("box");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("frame"); // empty: refused
    QTest::addColumn<QString>("reason");

    // Frames up to the link's queue limit go out whole; a longer one is refused whole.
    const QByteArray sevens(kMegabyte - 21, '7');
    const QByteArray fives(kMegabyte - 21, '5');
    QTest::newRow("channel text in the single-channel group")
        << "Command1(0)" << kSingleChannelBox << QString::fromLatin1(sevens)
        << "00" + sevens + "0" + "1100" + QByteArray(14, '9') << QString();
    QTest::newRow("channel text making a frame longer than the line's queue is refused")
        << "Command1(0)" << kSingleChannelBox << QString::fromLatin1(sevens + '7') << QByteArray()
        << QStringLiteral("串口一次最多只能排队发送");
    QTest::newRow("value with a megabyte of trailing zeros")
        << "Command1(0)" << kSingleValueBox << "1.1" + QString(kMegabyte, QLatin1Char('0'))
        << kSingleChannelDefaults << QString();
    QTest::newRow("value after a megabyte of spaces")
        << "Command1(0)" << kSingleValueBox << QString(kMegabyte, QLatin1Char(' ')) + "1.1"
        << kSingleChannelDefaults << QString();
    QTest::newRow("value of a megabyte of digits is beyond the range")
        << "Command1(0)" << kSingleValueBox << "1" + QString(kMegabyte, QLatin1Char('0'))
        << QByteArray() << QStringLiteral("超出范围");
    QTest::newRow("value with a megabyte of letters is not a number")
        << "Command1(0)" << kSingleValueBox << "1.1" + QString(kMegabyte, QLatin1Char('V'))
        << QByteArray() << QStringLiteral("不是数字");
    QTest::newRow("channel text in the four-channel group")
        << "Command2" << kFourChannelBox<1> << QString::fromLatin1(fives)
        << "10" + QByteArray("00100") + fives + "0202" + "20386" + "30400" << QString();
    QTest::newRow("eight-channel code after a megabyte of zeros")
        << "Command3" << kEightCodeBox<0> << QString(kMegabyte, QLatin1Char('0')) + "20"
        << kEightChannelDefaults << QString();
    QTest::newRow("eight-channel code of a megabyte of nines is beyond the range")
        << "Command3" << kEightCodeBox<0> << QString(kMegabyte, QLatin1Char('9')) << QByteArray()
        << QStringLiteral("超出范围");
}

void tst_Faults::megabyteText() {
    QFETCH(QString, button);
    QFETCH(BoxRole, box);
    QFETCH(QString, text);
    QFETCH(QByteArray, frame);
    QFETCH(QString, reason);

    QVERIFY(openPanel());
    QLineEdit* typedInto = box(m_panel->form());
    QLineEdit* sendCode = m_panel->form().resetGroup().sendCodeBox;
    typedInto->setText(text);
    QCOMPARE(typedInto->text().size(), text.size());
    sendCode->setText(kEarlierSendCode);

    if (frame.isEmpty()) {
        QVERIFY(m_panel->click(button));
        QCOMPARE(m_panel->messages().size(), 1);
        const QString warning = m_panel->messages().first().text;
        QVERIFY2(warning.contains(reason), qPrintable(warning));
        QVERIFY2(warning.size() < 200, qPrintable(warning.left(400)));
        // A bad value stops the Send before the frame is shown; a refused frame stays shown.
        if (typedInto != m_panel->form().singleChannelGroup().channelBox)
            QCOMPARE(sendCode->text(), kEarlierSendCode);
        verifyNothingWasWritten();
        return;
    }

    QVERIFY(m_panel->click(button));
    const QByteArray written = m_panel->board().readExactly(frame.size(), kLongTimeoutMs);
    QCOMPARE(written.size(), frame.size());
    QVERIFY(written == frame);
    QVERIFY(m_panel->messages().isEmpty());
    if (button != "Command3")
        QVERIFY(sendCode->text() == QString::fromLatin1(frame));
    verifyNothingWasWritten();
}

// Every chunk the board's flood produces must appear in the Return code box whole, alone, and
// exactly as the bytes that came after the previous read, so the chunks shown, laid end to end,
// are the flood itself.
void tst_Faults::receiveFloodShowsOnlyTheLatestChunk() {
    QVERIFY(openPanel());
    const QByteArray flood = RandomBytes(kFloodSize, 20240607) + "END-OF-FLOOD-0123456789";
    const QString expected = WireBytesToDisplayText(flood);
    QLineEdit* returnCode = m_panel->form().resetGroup().returnCodeBox;

    int changesSinceLastChunk = 0;
    connect(returnCode, &QLineEdit::textChanged, this, [&] { ++changesSinceLastChunk; });
    qsizetype shown = 0;
    int chunks = 0;
    QString problem;
    connect(
        &m_panel->controller().link(), &SerialLink::dataReceived, this, [&](const QString& chunk) {
            if (!problem.isEmpty())
                return;
            ++chunks;
            if (QStringView(expected).mid(shown, chunk.size()) != chunk)
                problem = QStringLiteral("chunk %1 is not the %2 characters after the first %3")
                              .arg(chunks)
                              .arg(chunk.size())
                              .arg(shown);
            else if (returnCode->text() != chunk)
                problem = QStringLiteral("after chunk %1 the box shows something else").arg(chunks);
            else if (changesSinceLastChunk != 1)
                problem = QStringLiteral("the box changed %1 times for chunk %2")
                              .arg(changesSinceLastChunk)
                              .arg(chunks);
            shown += chunk.size();
            changesSinceLastChunk = 0;
        });

    BoardWriter writer(m_panel->board().masterFd(), flood);
    QTRY_VERIFY_WITH_TIMEOUT((writer.finished() && shown == expected.size()) || !problem.isEmpty(),
                             kLongTimeoutMs);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QVERIFY(!writer.failed());
    QCOMPARE(changesSinceLastChunk, 0);
    QVERIFY(chunks > 1);
    QVERIFY(m_panel->messages().isEmpty());
    QVERIFY(m_panel->controller().link().isOpen());
}

// A frame the board takes for seconds: the Send returns with most of it still queued, Help
// opens meanwhile from the event loop, a Reset queues behind it, and the board gets every byte
// in order; then the channel it will not take is named.
void tst_Faults::longSendLeavesTheWindowServing() {
    QVERIFY(openPanel());
    const QString channel(300000, QLatin1Char('4'));
    const QByteArray frame = "00" + channel.toLatin1() + "0" + "1100" + QByteArray(14, '9');
    m_panel->form().singleChannelGroup().channelBox->setText(channel);
    PtyPair& board = m_panel->board();
    auto slowBoard = std::async(std::launch::async, [&board, size = frame.size() + 1] {
        QByteArray got;
        while (got.size() < size) {
            pollfd readable{board.masterFd(), POLLIN, 0};
            if (::poll(&readable, 1, kLongTimeoutMs) <= 0)
                break;
            char buffer[1024];
            const ssize_t n = ::read(board.masterFd(), buffer, sizeof buffer);
            if (n > 0)
                got.append(buffer, n);
            ::usleep(16000); // about 64 kB/s
        }
        return got;
    });

    QVERIFY(m_panel->click("Command1(0)"));
    const SerialLink& link = m_panel->controller().link();
    QVERIFY(link.bytesToWrite() > 0);
    QTimer::singleShot(0, m_panel->form().helpAction(), &QAction::trigger);
    QTRY_COMPARE(m_panel->messages().size(), 1);
    QCOMPARE(m_panel->messages().first().kind, OperatorMessage::Kind::Help);
    QVERIFY(link.bytesToWrite() > 0);
    QVERIFY(m_panel->click("Command4"));

    QTRY_VERIFY_WITH_TIMEOUT(slowBoard.wait_for(0s) == std::future_status::ready, kLongTimeoutMs);
    const QByteArray got = slowBoard.get();
    QCOMPARE(got.size(), frame.size() + 1);
    QVERIFY(got == frame + "U");
    // Once out, the frame's channel is named, quoted cut short: the board has no such channel.
    QTRY_COMPARE(m_panel->messages().size(), 2);
    const OperatorMessage& misfit = m_panel->messages().last();
    QCOMPARE(misfit.kind, OperatorMessage::Kind::Warning);
    QVERIFY2(misfit.text.contains("控制板只有通道0到7") &&
                 misfit.text.contains("（共300000个字符）") && misfit.text.size() < 200,
             qPrintable(misfit.text));
}

void tst_Faults::badInputWritesNothing_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<BoxRole>("box");
    QTest::addColumn<QString>("text");

    const QString single = QStringLiteral("Command1(0)");
    QTest::newRow("single-channel empty value") << single << kSingleValueBox << "";
    QTest::newRow("single-channel spaces only") << single << kSingleValueBox << "   ";
    QTest::newRow("single-channel unit after the value") << single << kSingleValueBox << "1.1V";
    QTest::newRow("single-channel second decimal point") << single << kSingleValueBox << "1..1";
    QTest::newRow("single-channel beyond the double range") << single << kSingleValueBox << "1e400";
    QTest::newRow("single-channel letters") << single << kSingleValueBox << "abc";
    QTest::newRow("single-channel decimal comma") << single << kSingleValueBox << "1,1";
    QTest::newRow("single-channel exponent without digits") << single << kSingleValueBox << "1e";
    QTest::newRow("single-channel point only") << single << kSingleValueBox << ".";
    QTest::newRow("single-channel sign only") << single << kSingleValueBox << "-";
    QTest::newRow("single-channel hexadecimal form") << single << kSingleValueBox << "&H10";
    QTest::newRow("single-channel tab before the value") << single << kSingleValueBox << "\t1";
    QTest::newRow("single-channel infinity word") << single << kSingleValueBox << "inf";
    QTest::newRow("single-channel product beyond the range")
        << single << kSingleValueBox << "1e308";
    QTest::newRow("single-channel largest double times 1000")
        << single << kSingleValueBox << "1.7976931348623157e308";

    const QString four = QStringLiteral("Command2");
    QTest::newRow("four-channel empty first value") << four << kFourValueBox<0> << "";
    QTest::newRow("four-channel unit after the second value")
        << four << kFourValueBox<1> << "2.02V";
    QTest::newRow("four-channel product beyond the range") << four << kFourValueBox<2> << "1e307";
    QTest::newRow("four-channel last value not a number") << four << kFourValueBox<3> << "abc";
    QTest::newRow("four-channel negative beyond the range") << four << kFourValueBox<3> << "-1e400";

    const QString eight = QStringLiteral("Command3");
    QTest::newRow("eight-channel 256") << eight << kEightCodeBox<0> << "256";
    QTest::newRow("eight-channel -1 in the lower block") << eight << kEightCodeBox<7> << "-1";
    QTest::newRow("eight-channel 300") << eight << kEightCodeBox<2> << "300";
    QTest::newRow("eight-channel 255.5 rounds to 256") << eight << kEightCodeBox<3> << "255.5";
    QTest::newRow("eight-channel -0.6 rounds to -1") << eight << kEightCodeBox<5> << "-0.6";
    QTest::newRow("eight-channel beyond the double range") << eight << kEightCodeBox<4> << "1e400";
    QTest::newRow("eight-channel hexadecimal 256") << eight << kEightCodeBox<6> << "&H100";
    QTest::newRow("eight-channel hexadecimal -1") << eight << kEightCodeBox<1> << "&HFFFF";
    QTest::newRow("eight-channel 400 digits")
        << eight << kEightCodeBox<0> << QString(400, QLatin1Char('9'));
}

void tst_Faults::badInputWritesNothing() {
    QFETCH(QString, button);
    QFETCH(BoxRole, box);
    QFETCH(QString, text);

    QVERIFY(openPanel());
    box(m_panel->form())->setText(text);
    QLineEdit* sendCode = m_panel->form().resetGroup().sendCodeBox;
    sendCode->setText(kEarlierSendCode);

    QVERIFY(m_panel->click(button));

    QCOMPARE(sendCode->text(), kEarlierSendCode);
    QCOMPARE(m_panel->messages().size(), 1);
    QCOMPARE(m_panel->messages().first().kind, OperatorMessage::Kind::Warning);
    verifyNothingWasWritten();
    QCOMPARE(m_panel->messages().size(), 1);
}

QTEST_MAIN(tst_Faults)
#include "tst_faults.moc"
