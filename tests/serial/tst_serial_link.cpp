#include "pty_pair.h"
#include "serial_link.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <array>
#include <fcntl.h>
#include <future>
#include <memory>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using quillon::PortDevices;
using quillon::PortFailure;
using quillon::SerialLink;
using quillon::WriteOutcome;
using quillon::testing::PtyPair;

namespace {

enum class Device { Free, Missing, Held };

// How long the line must stay silent before "nothing was reported" counts as true.
constexpr int kQuietMs = 300;

// A serial device under a fixed path, as the test wants it: free, missing or held open by
// another program.
class TestPort {
public:
    TestPort(const QString& path, Device state) : m_path(path) {
        if (state == Device::Missing)
            return;
        m_pty = std::make_unique<PtyPair>();
        m_pty->linkAs(path);
        if (state == Device::Held) {
            m_holder.setPortName(path);
            m_holder.open(QIODevice::ReadWrite);
        }
    }
    bool isReady() const { return !m_pty || m_pty->isValid(); }
    bool isHeld() const { return m_holder.isOpen(); }
    PtyPair& board() { return *m_pty; }

    termios lineSettings() const {
        termios settings{};
        // Terminal settings asked of a pty master are those of its slave.
        tcgetattr(m_pty->masterFd(), &settings);
        return settings;
    }

private:
    QString m_path;
    std::unique_ptr<PtyPair> m_pty;
    QSerialPort m_holder;
};

std::span<const std::uint8_t> asBytes(const QByteArray& bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())};
}

// Up to `maxCount` bytes from the board's side, waiting for the first; unlike
// PtyPair::readAvailable it leaves the rest in the line.
QByteArray readSome(PtyPair& board, qsizetype maxCount) {
    QByteArray bytes(maxCount, Qt::Uninitialized);
    pollfd readable{board.masterFd(), POLLIN, 0};
    if (::poll(&readable, 1, 10000) <= 0)
        return {};
    const ssize_t count = ::read(board.masterFd(), bytes.data(), maxCount);
    return bytes.left(std::max<ssize_t>(count, 0));
}

QSerialPort* portOf(SerialLink& link) {
    return link.findChild<QSerialPort*>();
}

} // namespace

class tst_SerialLink : public QObject {
    Q_OBJECT

private slots:
    void init();

    void mapsPortsToDevices_data();
    void mapsPortsToDevices();
    void opensFirstAvailablePort_data();
    void opensFirstAvailablePort();
    void leavesPort2AloneWhenPort1Opens();
    void setsLineTo9600_8N1_data();
    void setsLineTo9600_8N1();

    void reportsOnlyWholeFrames_data();
    void reportsOnlyWholeFrames();
    void deliversBurstsBeyondReceiveBuffer();
    void dropsInputQueuedBeforeOpen();

    void writesFramesByteExact_data();
    void writesFramesByteExact();
    void writeWhileClosedOpensFirst();
    void writeFailsWithReasonWhenNoPortOpens();
    void repliesDuringALongWriteAreReportedWhole();

    void hangUpClosesOnceAndNextWriteReopens();
    void writeToAnUnnoticedHangUpIsToldOnceAsAFailedWrite();
    void longFrameLeavesTheEventLoopServing();
    void refusesAFrameThatWouldOverfillTheQueue();
    void aStalledFrameIsDroppedAndNeverGoesOutLater();
    void tellsEachFrameWrittenAndEachByteReceived();
    void switchesToAChosenDevice_data();
    void switchesToAChosenDevice();
    void aChosenDeviceKeepsItsQueueApartAndIsReopenedByName();
    void anEmptyPort2IsNeverTried();

    void showsEveryByteVisibly_data();
    void showsEveryByteVisibly();

private:
    PortDevices devices() const {
        return {m_dir.filePath(QStringLiteral("port1")), m_dir.filePath(QStringLiteral("port2"))};
    }

    QTemporaryDir m_dir;
};

void tst_SerialLink::init() {
    QVERIFY(m_dir.isValid());
    QFile::remove(devices().port1);
    QFile::remove(devices().port2);
}

void tst_SerialLink::mapsPortsToDevices_data() {
    QTest::addColumn<QByteArray>("port1Variable");
    QTest::addColumn<QByteArray>("port2Variable");
    QTest::addColumn<QString>("port1");
    QTest::addColumn<QString>("port2");

    QTest::newRow("variables name the devices")
        << QByteArray("/dev/ttyUSB0") << QByteArray("/dev/ttyACM1")
        << QStringLiteral("/dev/ttyUSB0") << QStringLiteral("/dev/ttyACM1");
    QTest::newRow("unset variables mean the first two serial ports")
        << QByteArray() << QByteArray() << QStringLiteral("/dev/ttyS0")
        << QStringLiteral("/dev/ttyS1");
    QTest::newRow("each variable stands alone")
        << QByteArray() << QByteArray("/dev/ttyUSB0") << QStringLiteral("/dev/ttyS0")
        << QStringLiteral("/dev/ttyUSB0");
}

void tst_SerialLink::mapsPortsToDevices() {
    QFETCH(QByteArray, port1Variable);
    QFETCH(QByteArray, port2Variable);
    QFETCH(QString, port1);
    QFETCH(QString, port2);
    const auto setOrUnset = [](const char* name, const QByteArray& value) {
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
    };
    setOrUnset("QUILLON_PORT1", port1Variable);
    setOrUnset("QUILLON_PORT2", port2Variable);

    const PortDevices devices = PortDevices::fromEnvironment();
    qunsetenv("QUILLON_PORT1");
    qunsetenv("QUILLON_PORT2");
    QCOMPARE(devices.port1, port1);
    QCOMPARE(devices.port2, port2);
}

void tst_SerialLink::opensFirstAvailablePort_data() {
    QTest::addColumn<Device>("port1");
    QTest::addColumn<Device>("port2");
    QTest::addColumn<int>("expectedPort");
    QTest::addColumn<QStringList>("failedDevices");

    const PortDevices names = devices();
    QTest::newRow("port 1 free is used") << Device::Free << Device::Free << 1 << QStringList();
    QTest::newRow("port 1 missing falls back to port 2")
        << Device::Missing << Device::Free << 2 << QStringList{names.port1};
    QTest::newRow("port 1 held by another program falls back to port 2")
        << Device::Held << Device::Free << 2 << QStringList{names.port1};
    QTest::newRow("neither port opens: closed, both reasons kept")
        << Device::Missing << Device::Held << 0 << QStringList{names.port1, names.port2};
}

void tst_SerialLink::opensFirstAvailablePort() {
    QFETCH(Device, port1);
    QFETCH(Device, port2);
    QFETCH(int, expectedPort);
    QFETCH(QStringList, failedDevices);
    TestPort first(devices().port1, port1);
    TestPort second(devices().port2, port2);
    QVERIFY(first.isReady() && second.isReady());
    if (port1 == Device::Held)
        QVERIFY(first.isHeld());

    SerialLink link(devices());
    QCOMPARE(link.OpenAtStartup(), expectedPort != 0);

    QCOMPARE(link.isOpen(), expectedPort != 0);
    QCOMPARE(link.portNumber(), expectedPort);
    const PortDevices names = devices();
    QCOMPARE(link.deviceName(), expectedPort == 1   ? names.port1
                                : expectedPort == 2 ? names.port2
                                                    : QString());
    QStringList failed;
    for (const PortFailure& failure : link.openFailures()) {
        failed << failure.device;
        QVERIFY(failure.error != quillon::PortError::None);
        QVERIFY(!failure.detail.isEmpty());
    }
    QCOMPARE(failed, failedDevices);
}

void tst_SerialLink::leavesPort2AloneWhenPort1Opens() {
    TestPort first(devices().port1, Device::Free);
    TestPort second(devices().port2, Device::Free);
    SerialLink link(devices());
    QVERIFY(link.OpenAtStartup());
    QCOMPARE(link.portNumber(), 1);

    QSerialPort other;
    other.setPortName(devices().port2);
    QVERIFY2(other.open(QIODevice::ReadWrite), qPrintable(other.errorString()));
    QCOMPARE(link.WriteText(QStringLiteral("U")), WriteOutcome::Queued);
    QCOMPARE(first.board().readExactly(1), QByteArray("U"));
    QCOMPARE(second.board().readAvailable(), QByteArray());
}

void tst_SerialLink::setsLineTo9600_8N1_data() {
    QTest::addColumn<Device>("port1");
    QTest::newRow("on port 1") << Device::Free;
    QTest::newRow("on port 2 after the fallback") << Device::Missing;
}

void tst_SerialLink::setsLineTo9600_8N1() {
    QFETCH(Device, port1);
    TestPort first(devices().port1, port1);
    TestPort second(devices().port2, Device::Free);
    SerialLink link(devices());
    QVERIFY(link.OpenAtStartup());
    const termios line = (port1 == Device::Free ? first : second).lineSettings();

    QCOMPARE(cfgetispeed(&line), speed_t(B9600));
    QCOMPARE(cfgetospeed(&line), speed_t(B9600));
    QCOMPARE(line.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    QCOMPARE(line.c_iflag & (IXON | IXOFF | INPCK), tcflag_t(0));
}

void tst_SerialLink::reportsOnlyWholeFrames_data() {
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<QList<int>>("reportsAfterChunk");
    QTest::addColumn<QByteArrayList>("reports");

    const QByteArray a21(21, 'a');
    QTest::newRow("21 bytes stay unreported")
        << QByteArrayList{a21} << QList<int>{0} << QByteArrayList{};
    QTest::newRow("the 22nd byte reports all 22")
        << QByteArrayList{a21, "b"} << QList<int>{0, 1} << QByteArrayList{a21 + "b"};
    QTest::newRow("each report holds only what came since the last")
        << QByteArrayList{QByteArray(22, 'a'), QByteArray(22, 'b')} << QList<int>{1, 2}
        << QByteArrayList{QByteArray(22, 'a'), QByteArray(22, 'b')};
    const QByteArray controlBytes("\0\r\n\x7f\x80\xff 0123456789abcde", 22);
    QTest::newRow("control and high bytes count like any other")
        << QByteArrayList{controlBytes.left(21), controlBytes.mid(21)} << QList<int>{0, 1}
        << QByteArrayList{controlBytes};
}

void tst_SerialLink::reportsOnlyWholeFrames() {
    QFETCH(QByteArrayList, chunks);
    QFETCH(QList<int>, reportsAfterChunk);
    QFETCH(QByteArrayList, reports);
    TestPort first(devices().port1, Device::Free);
    SerialLink link(devices());
    QVERIFY(link.OpenAtStartup());
    QSignalSpy received(&link, &SerialLink::dataReceived);
    QSignalSpy arrived(&link, &SerialLink::received);
    const auto bytesTaken = [&] {
        qsizetype bytes = 0;
        for (const QList<QVariant>& chunk : arrived)
            bytes += chunk.first().toByteArray().size();
        return bytes;
    };

    for (qsizetype i = 0; i < chunks.size(); ++i) {
        arrived.clear();
        QVERIFY(first.board().write(chunks[i]));
        if (reportsAfterChunk[i] > received.count()) {
            QTRY_COMPARE(received.count(), reportsAfterChunk[i]);
            continue;
        }
        // Once the link has taken the bytes, a report for them would have come with them.
        QTRY_COMPARE(bytesTaken(), chunks[i].size());
        QCOMPARE(received.count(), reportsAfterChunk[i]);
    }
    QCOMPARE(received.count(), reports.size());
    for (qsizetype i = 0; i < reports.size(); ++i)
        QCOMPARE(received[i][0].toString(), quillon::WireBytesToDisplayText(reports[i]));
}

void tst_SerialLink::deliversBurstsBeyondReceiveBuffer() {
    TestPort first(devices().port1, Device::Free);
    SerialLink link(devices());
    QVERIFY(link.OpenAtStartup());
    QString shown;
    connect(&link, &SerialLink::dataReceived, this, [&](const QString& text) { shown += text; });

    QByteArray burst;
    for (int i = 0; i < 3000; ++i)
        burst.append(char('A' + i % 26));
    QVERIFY(first.board().write(burst));

    QTRY_COMPARE(shown.size(), burst.size());
    QCOMPARE(shown, QString::fromLatin1(burst));
}

void tst_SerialLink::dropsInputQueuedBeforeOpen() {
    TestPort first(devices().port1, Device::Free);
    QVERIFY(first.board().write("stale reply from before the open"));
    QTest::qWait(50);
    SerialLink link(devices());
    QSignalSpy received(&link, &SerialLink::dataReceived);
    QVERIFY(link.OpenAtStartup());

    const QByteArray fresh(22, 'f');
    QVERIFY(first.board().write(fresh));
    QTRY_COMPARE(received.count(), 1);
    QCOMPARE(received[0][0].toString(), QString::fromLatin1(fresh));
}

void tst_SerialLink::writesFramesByteExact_data() {
    QTest::addColumn<bool>("asText");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("wire");

    QTest::newRow("single-channel text frame")
        << true << QStringLiteral("0000110099999999999999") << QByteArray("0000110099999999999999");
    QTest::newRow("non-ASCII text goes out as one ? per character")
        << true << QStringLiteral("1.1µ°中\U0001F600x") << QByteArray("1.1????x");
    QTest::newRow("ASCII control characters in text go out unchanged")
        << true << QStringLiteral("a\tb\r\n") << QByteArray("a\tb\r\n");
    QByteArray everyByte;
    for (int value = 0; value < 256; ++value)
        everyByte.append(char(value));
    QTest::newRow("byte frame with every byte value") << false << QString() << everyByte;
    QTest::newRow("eight-channel byte frame with NUL and high bytes")
        << false << QString()
        << QByteArray::fromHex("0400ff807f0102030405060708090a0b0c0d0e0f10ff");
    QByteArray longFrame;
    for (int i = 0; i < 100 * 1024; ++i)
        longFrame.append(char('0' + i % 10));
    QTest::newRow("100 kB text frame arrives whole")
        << true << QString::fromLatin1(longFrame) << longFrame;
    QTest::newRow("empty text frame writes nothing") << true << QString() << QByteArray();
}

void tst_SerialLink::writesFramesByteExact() {
    QFETCH(bool, asText);
    QFETCH(QString, text);
    QFETCH(QByteArray, wire);
    TestPort first(devices().port1, Device::Free);
    SerialLink link(devices());
    QVERIFY(link.OpenAtStartup());

    QSignalSpy failed(&link, &SerialLink::writeFailed);

    const WriteOutcome outcome = asText ? link.WriteText(text) : link.WriteBytes(asBytes(wire));
    QCOMPARE(outcome, WriteOutcome::Queued);
    QCOMPARE(first.board().readExactly(wire.size(), 60000), wire);
    // The link keeps order: a marker written now is the next byte only if nothing else went out.
    QCOMPARE(link.WriteText(QStringLiteral("U")), WriteOutcome::Queued);
    QCOMPARE(first.board().readExactly(1), QByteArray("U"));
    QCOMPARE(link.bytesToWrite(), 0);
    QCOMPARE(failed.count(), 0);
}

void tst_SerialLink::writeWhileClosedOpensFirst() {
    TestPort first(devices().port1, Device::Free);
    SerialLink link(devices());
    QVERIFY(!link.isOpen());

    QCOMPARE(link.WriteText(QStringLiteral("U")), WriteOutcome::Queued);
    QCOMPARE(link.portNumber(), 1);
    QCOMPARE(first.board().readExactly(1), QByteArray("U"));
}

void tst_SerialLink::writeFailsWithReasonWhenNoPortOpens() {
    SerialLink link(devices());
    QVERIFY(!link.OpenAtStartup());

    QCOMPARE(link.WriteText(QStringLiteral("U")), WriteOutcome::NoPort);
    QVERIFY(!link.isOpen());
    QCOMPARE(link.lastFailure().device, devices().port2);
    QCOMPARE(link.lastFailure().error, quillon::PortError::NotFound);
    QVERIFY(!link.lastFailure().detail.isEmpty());
    QCOMPARE(link.openFailures().size(), 2);
    QCOMPARE(link.openFailures()[0].device, devices().port1);
}

// A board that echoes while a frame longer than every buffer goes out. It holds its echo back
// until 100 kB have come and then sends it all at once, so that it blocks until the link reads;
// a link that stops reading while it writes would stall both sides.
void tst_SerialLink::repliesDuringALongWriteAreReportedWhole() {
    TestPort first(devices().port1, Device::Free);
    SerialLink link(devices());
    QVERIFY(link.OpenAtStartup());
    QString shown;
    connect(&link, &SerialLink::dataReceived, this, [&](const QString& text) { shown += text; });

    QByteArray frame;
    for (int i = 0; i < 400 * 1024; ++i)
        frame.append(char('a' + i % 26));
    auto echo = std::async(std::launch::async, [&] {
        QByteArray held;
        for (qsizetype echoed = 0; echoed < frame.size();) {
            held += readSome(first.board(), 4096);
            if (held.isEmpty())
                return false;
            if (echoed == 0 && held.size() < 100 * 1024)
                continue;
            if (!first.board().write(held))
                return false;
            echoed += std::exchange(held, {}).size();
        }
        return true;
    });
    QCOMPARE(link.WriteText(QString::fromLatin1(frame)), WriteOutcome::Queued);
    // The last few echoed bytes may stay below the threshold; the read takes them.
    const auto takeRest = [&] { return (shown += link.ReadAll()).size(); };
    QTRY_COMPARE_WITH_TIMEOUT(takeRest(), frame.size(), 30000);
    QVERIFY(echo.get());
    QCOMPARE(shown, QString::fromLatin1(frame));
}

void tst_SerialLink::hangUpClosesOnceAndNextWriteReopens() {
    auto first = std::make_unique<TestPort>(devices().port1, Device::Free);
    SerialLink link(devices());
    QVERIFY(link.OpenAtStartup());
    QSignalSpy lost(&link, &SerialLink::portLost);
    QSignalSpy portErrors(portOf(link), &QSerialPort::errorOccurred);

    first->board().hangUp();
    QVERIFY(lost.wait());
    // Long enough for a storm of read errors to show; a closed port raises none.
    QTest::qWait(500);
    QCOMPARE(lost.count(), 1);
    QVERIFY(!link.isOpen());
    QCOMPARE(lost[0][0].value<PortFailure>().device, devices().port1);
    QVERIFY(lost[0][0].value<PortFailure>().error != quillon::PortError::None);
    qsizetype realErrors = 0;
    for (const QList<QVariant>& error : portErrors)
        realErrors += error[0].value<QSerialPort::SerialPortError>() != QSerialPort::NoError;
    QCOMPARE_LE(realErrors, 2);

    QCOMPARE(link.WriteText(QStringLiteral("U")), WriteOutcome::NoPort);
    QVERIFY(!link.isOpen());

    first.reset();
    TestPort replugged(devices().port1, Device::Free);
    QCOMPARE(link.WriteText(QStringLiteral("U")), WriteOutcome::Queued);
    QCOMPARE(link.portNumber(), 1);
    QCOMPARE(replugged.board().readExactly(1), QByteArray("U"));
    QCOMPARE(lost.count(), 1);
}

// The write is queued before the link notices the hang-up; the loss is then told once, as the
// failure of that write, and not again as a loss.
void tst_SerialLink::writeToAnUnnoticedHangUpIsToldOnceAsAFailedWrite() {
    TestPort first(devices().port1, Device::Free);
    SerialLink link(devices());
    QVERIFY(link.OpenAtStartup());
    QSignalSpy lost(&link, &SerialLink::portLost);
    QSignalSpy failed(&link, &SerialLink::writeFailed);

    first.board().hangUp();
    QCOMPARE(link.WriteText(QStringLiteral("0000110099999999999999")), WriteOutcome::Queued);
    QTRY_COMPARE(failed.count(), 1);
    QVERIFY(!failed.wait(kQuietMs));
    QCOMPARE(failed.count(), 1);
    QCOMPARE(lost.count(), 0);
    QVERIFY(!link.isOpen());
    QCOMPARE(failed[0][0].value<PortFailure>().device, devices().port1);
    QVERIFY(failed[0][0].value<PortFailure>().error != quillon::PortError::None);
    QCOMPARE(link.bytesToWrite(), 0);
}

// A frame far larger than the pty holds goes out while the board reads slowly; meanwhile the
// event loop keeps serving (a timer fires, a second frame is queued behind the first) and every
// byte arrives in order.
void tst_SerialLink::longFrameLeavesTheEventLoopServing() {
    TestPort first(devices().port1, Device::Free);
    SerialLink link(devices());
    QVERIFY(link.OpenAtStartup());
    QSignalSpy written(&link, &SerialLink::allWritten);

    QByteArray frame;
    for (int i = 0; i < 256 * 1024; ++i)
        frame.append(char('a' + i % 26));
    const QByteArray second("0000110099999999999999");
    auto board = std::async(std::launch::async, [&] {
        QByteArray got;
        while (got.size() < frame.size() + second.size()) {
            const QByteArray chunk = readSome(first.board(), 4096);
            if (chunk.isEmpty())
                break;
            got += chunk;
            ::usleep(10000); // about 400 kB/s at most: far slower than the link can hand over
        }
        return got;
    });
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
    ticker.start(10);

    QCOMPARE(link.WriteText(QString::fromLatin1(frame)), WriteOutcome::Queued);
    const qint64 firstPending = link.bytesToWrite();
    QVERIFY(firstPending > 0);
    // The driver may take a little more of the first frame meanwhile, never the second first.
    QCOMPARE(link.WriteText(QString::fromLatin1(second)), WriteOutcome::Queued);
    QVERIFY(link.bytesToWrite() > second.size());
    QVERIFY(link.bytesToWrite() <= firstPending + second.size());
    QTRY_VERIFY_WITH_TIMEOUT(written.count() == 1, 60000);
    QCOMPARE(board.get(), frame + second);
    QVERIFY(ticks > 3);
}

// Nothing of a frame that would overfill the queue is written; once the queue drains a frame
// is taken again.
void tst_SerialLink::refusesAFrameThatWouldOverfillTheQueue() {
    TestPort first(devices().port1, Device::Free);
    SerialLink link(devices());
    QVERIFY(link.OpenAtStartup());

    const QByteArray big(SerialLink::kMaxQueuedBytes - 10, '1');
    QCOMPARE(link.WriteText(QString::fromLatin1(big)), WriteOutcome::Queued);
    // The driver may have taken some of it already.
    const qint64 room = SerialLink::kMaxQueuedBytes - link.bytesToWrite();
    QCOMPARE(link.WriteText(QString(room + 1, QLatin1Char('2'))), WriteOutcome::LineBusy);
    QCOMPARE(link.WriteText(QString(room, QLatin1Char('3'))), WriteOutcome::Queued);
    QCOMPARE(first.board().readExactly(big.size() + room, 60000), big + QByteArray(room, '3'));
    QCOMPARE(link.WriteText(QStringLiteral("U")), WriteOutcome::Queued);
    QCOMPARE(first.board().readExactly(1), QByteArray("U"));
}

// A line that takes no bytes for the frame's whole deadline (output stopped, as by XOFF): the
// frame fails with the reason, and once the line moves again it is not sent after all.
void tst_SerialLink::aStalledFrameIsDroppedAndNeverGoesOutLater() {
    TestPort first(devices().port1, Device::Free);
    SerialLink link(devices());
    QVERIFY(link.OpenAtStartup());
    const int line =
        ::open(first.board().slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(line >= 0);
    QCOMPARE(::tcflow(line, TCOOFF), 0);
    QSignalSpy failed(&link, &SerialLink::writeFailed);

    QCOMPARE(link.WriteText(QStringLiteral("0000110099999999999999")), WriteOutcome::Queued);
    QVERIFY(failed.wait(20000));
    const auto failure = failed.first().first().value<PortFailure>();
    QCOMPARE(failure.error, quillon::PortError::Timeout);
    QCOMPARE(failure.droppedFrames, 1);
    QVERIFY2(failure.detail.contains(QStringLiteral("0 of 22 bytes")), qPrintable(failure.detail));
    QCOMPARE(link.bytesToWrite(), 0);

    QCOMPARE(::tcflow(line, TCOON), 0);
    QCOMPARE(link.WriteText(QStringLiteral("U")), WriteOutcome::Queued);
    QCOMPARE(first.board().readExactly(1), QByteArray("U"));
    QCOMPARE(failed.size(), 1);
    ::close(line);
}

// What a log needs of the link: each frame once its last byte is out, each byte once as it
// comes, whether or not anyone has read it yet.
void tst_SerialLink::tellsEachFrameWrittenAndEachByteReceived() {
    TestPort first(devices().port1, Device::Free);
    SerialLink link(devices());
    QVERIFY(link.OpenAtStartup());
    QSignalSpy written(&link, &SerialLink::frameWritten);
    QSignalSpy received(&link, &SerialLink::received);

    QCOMPARE(link.WriteText(QStringLiteral("U")), WriteOutcome::Queued);
    const QByteArray big(100'000, '7');
    QCOMPARE(link.WriteText(QString::fromLatin1(big)), WriteOutcome::Queued);
    QCOMPARE(first.board().readExactly(1 + big.size()), "U" + big);
    QTRY_COMPARE(written.size(), 2);
    QCOMPARE(written.at(0).first().toByteArray(), QByteArray("U"));
    QCOMPARE(written.at(1).first().toByteArray(), big);

    QSignalSpy shown(&link, &SerialLink::dataReceived);
    const auto receivedSoFar = [&] {
        QByteArray all;
        for (const QList<QVariant>& bytes : received)
            all += bytes.first().toByteArray();
        return all;
    };
    QVERIFY(first.board().write("0123456789"));
    QTRY_COMPARE(receivedSoFar(), QByteArray("0123456789"));
    QCOMPARE(link.peekReceived(), QByteArray("0123456789"));
    QCOMPARE(shown.size(), 0);
    QVERIFY(first.board().write("abcdefghijklm"));
    QTRY_COMPARE(shown.size(), 1);
    QCOMPARE(shown.first().first().toString(), QStringLiteral("0123456789abcdefghijklm"));
    QCOMPARE(receivedSoFar(), QByteArray("0123456789abcdefghijklm"));
    QCOMPARE(link.peekReceived(), QByteArray());
}

void tst_SerialLink::switchesToAChosenDevice_data() {
    QTest::addColumn<Device>("chosen");
    QTest::addColumn<bool>("switched");
    QTest::newRow("a free device becomes the port") << Device::Free << true;
    QTest::newRow("a missing device leaves the old port in use") << Device::Missing << false;
    QTest::newRow("a device another program holds leaves the old port in use")
        << Device::Held << false;
}

void tst_SerialLink::switchesToAChosenDevice() {
    QFETCH(Device, chosen);
    QFETCH(bool, switched);
    TestPort first(devices().port1, Device::Free);
    const QString chosenPath = m_dir.filePath(QStringLiteral("chosen"));
    QFile::remove(chosenPath);
    TestPort other(chosenPath, chosen);
    SerialLink link(devices());
    QVERIFY(link.OpenAtStartup());
    QSignalSpy changed(&link, &SerialLink::portChanged);

    QCOMPARE(link.openDevice(chosenPath), switched);
    QCOMPARE(link.deviceName(), switched ? chosenPath : devices().port1);
    QCOMPARE(link.chosenDevice(), switched ? chosenPath : QString());
    QCOMPARE(changed.count(), switched ? 1 : 0);
    if (!switched) {
        QCOMPARE(link.lastFailure().device, chosenPath);
        QVERIFY(link.lastFailure().error != quillon::PortError::None);
    }
    QCOMPARE(link.WriteText(QStringLiteral("U")), WriteOutcome::Queued);
    PtyPair& used = switched ? other.board() : first.board();
    QCOMPARE(used.readExactly(1), QByteArray("U"));
    if (switched)
        QCOMPARE(first.board().readUntilQuiet(kQuietMs), QByteArray());
}

// What was queued for the old port is dropped and told, never sent to the new one; once the
// chosen device is lost, the next write reopens it by name rather than port 1.
void tst_SerialLink::aChosenDeviceKeepsItsQueueApartAndIsReopenedByName() {
    TestPort first(devices().port1, Device::Free);
    const QString chosenPath = m_dir.filePath(QStringLiteral("chosen"));
    QFile::remove(chosenPath);
    auto chosen = std::make_unique<TestPort>(chosenPath, Device::Free);
    SerialLink link(devices());
    QVERIFY(link.OpenAtStartup());
    QSignalSpy failed(&link, &SerialLink::writeFailed);

    // The board on port 1 does not read, so most of this stays queued.
    QCOMPARE(link.WriteText(QString(512 * 1024, QLatin1Char('x'))), WriteOutcome::Queued);
    QVERIFY(link.openDevice(chosenPath));
    QCOMPARE(failed.count(), 1);
    QCOMPARE(link.bytesToWrite(), 0);
    QCOMPARE(link.WriteText(QStringLiteral("U")), WriteOutcome::Queued);
    QCOMPARE(chosen->board().readExactly(1), QByteArray("U"));
    QCOMPARE(chosen->board().readUntilQuiet(kQuietMs), QByteArray());

    QSignalSpy lost(&link, &SerialLink::portLost);
    chosen->board().hangUp();
    QVERIFY(lost.wait());
    chosen.reset();
    QCOMPARE(link.WriteText(QStringLiteral("U")), WriteOutcome::NoPort);
    QCOMPARE(link.openFailures().size(), 1);
    QCOMPARE(link.openFailures()[0].device, chosenPath);
    TestPort replugged(chosenPath, Device::Free);
    QCOMPARE(link.WriteText(QStringLiteral("U")), WriteOutcome::Queued);
    QCOMPARE(link.deviceName(), chosenPath);
    QCOMPARE(replugged.board().readExactly(1), QByteArray("U"));
}

void tst_SerialLink::anEmptyPort2IsNeverTried() {
    SerialLink link(PortDevices{devices().port1, QString()});
    QVERIFY(!link.OpenAtStartup());
    QCOMPARE(link.openFailures().size(), 1);
    QCOMPARE(link.openFailures()[0].device, devices().port1);
}

void tst_SerialLink::showsEveryByteVisibly_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");

    QTest::newRow("printable ASCII as itself")
        << QByteArray(" 09AZaz~") << QStringLiteral(" 09AZaz~");
    QTest::newRow("NUL neither cuts nor vanishes")
        << QByteArray("A\0B", 3) << QStringLiteral("A\u2400B");
    QTest::newRow("CR and LF as control pictures")
        << QByteArray("\r\n") << QStringLiteral("\u240D\u240A");
    QTest::newRow("unit separator 0x1F") << QByteArray("\x1f") << QStringLiteral("\u241F");
    QTest::newRow("DEL as its control picture") << QByteArray("\x7f") << QStringLiteral("\u2421");
    QTest::newRow("0x80 as a Braille pattern") << QByteArray("\x80") << QStringLiteral("\u2880");
    QTest::newRow("0xFF as a Braille pattern") << QByteArray("\xff") << QStringLiteral("\u28FF");
}

void tst_SerialLink::showsEveryByteVisibly() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    QCOMPARE(quillon::WireBytesToDisplayText(bytes), shown);

    QByteArray everyByte;
    for (int value = 0; value < 256; ++value)
        everyByte.append(char(value));
    const QString all = quillon::WireBytesToDisplayText(everyByte);
    QCOMPARE(all.size(), 256);
    QCOMPARE(QSet<QChar>(all.begin(), all.end()).size(), 256);
}

QTEST_GUILESS_MAIN(tst_SerialLink)
#include "tst_serial_link.moc"
