#include "frame_queue.h"
#include "lingering_ports.h"
#include "received_bytes.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace quillon;

namespace {

// A transport the test drives by hand: it keeps what it is given, and the driver takes bytes,
// or the board sends them, when the test says so.
class HandTransport : public LinkTransport {
public:
    explicit HandTransport(bool closeDropsOutput = false)
        : LinkTransport(QStringLiteral("/dev/hand")), m_closeDropsOutput(closeDropsOutput) {
        setState(State::Open);
    }

    void open() override {}
    qint64 write(const QByteArray& frame) override {
        if (refuseWrites) {
            setFailure(PortError::Write, QStringLiteral("refused"));
            return -1;
        }
        given += frame;
        return frame.size();
    }
    qint64 bytesAvailable() const override { return m_incoming.size(); }
    QByteArray readAll() override { return std::exchange(m_incoming, QByteArray()); }
    QByteArray peek() const override { return m_incoming; }
    void discardOutput() override {}
    void close(bool discard) override {
        closedDiscarding = discard;
        setState(State::Closed);
    }
    bool closeDropsOutput() const override { return m_closeDropsOutput; }

    // The driver takes `count` more bytes of what it was given.
    void take(qint64 count) { emit bytesWritten(count); }
    // The board sends `bytes`.
    void deliver(const QByteArray& bytes) {
        m_incoming += bytes;
        emit readyRead();
    }

    QByteArray given;
    bool refuseWrites = false;
    std::optional<bool> closedDiscarding;

private:
    bool m_closeDropsOutput;
    QByteArray m_incoming;
};

QStringList Texts(const QSignalSpy& spy) {
    QStringList texts;
    for (const QList<QVariant>& arguments : spy)
        texts << QString::fromLatin1(arguments.first().toByteArray());
    return texts;
}

} // namespace

class tst_LinkParts : public QObject {
    Q_OBJECT

private slots:
    void framesAreToldWrittenWholeAndInOrder_data();
    void framesAreToldWrittenWholeAndInOrder();
    void framesWaitForATransportAndGoOutInOrder();
    void aRefusedWriteDropsTheWholeQueue();
    void theQueueHoldsExactlyItsBound();
    void onlyANetworkPortLingersPastTheLine_data();
    void onlyANetworkPortLingersPastTheLine();
    void receivedBytesAreToldAsTheyComeAndOfferedWhole_data();
    void receivedBytesAreToldAsTheyComeAndOfferedWhole();
    void anUnreadBoardCostsABoundedBuffer();
    void aLingeringPortClosesOnceItsTimeHasPassed();
};

void tst_LinkParts::framesAreToldWrittenWholeAndInOrder_data() {
    QTest::addColumn<QStringList>("frames");
    QTest::addColumn<QList<qint64>>("taken"); // chunks the driver takes, in turn
    QTest::addColumn<QStringList>("written");
    QTest::addColumn<int>("allWritten");

    QTest::newRow("a frame is told once its last byte is taken")
        << QStringList{"0000110099999999999999"} << QList<qint64>{21, 1}
        << QStringList{"0000110099999999999999"} << 1;
    QTest::newRow("a frame taken in part is not told")
        << QStringList{"0000110099999999999999"} << QList<qint64>{21} << QStringList{} << 0;
    QTest::newRow("two frames taken in one chunk are told in order")
        << QStringList{"U", "0000110099999999999999"} << QList<qint64>{23}
        << QStringList{"U", "0000110099999999999999"} << 1;
    QTest::newRow("a chunk that ends inside the second frame tells the first only")
        << QStringList{"U", "UU"} << QList<qint64>{2} << QStringList{"U"} << 0;
}

void tst_LinkParts::framesAreToldWrittenWholeAndInOrder() {
    QFETCH(QStringList, frames);
    QFETCH(QList<qint64>, taken);
    QFETCH(QStringList, written);
    QFETCH(int, allWritten);

    HandTransport transport;
    FrameQueue queue;
    queue.setTransport(&transport);
    QSignalSpy writtenSpy(&queue, &FrameQueue::frameWritten);
    QSignalSpy allSpy(&queue, &FrameQueue::allWritten);
    for (const QString& frame : frames)
        queue.push(frame.toLatin1());
    for (const qint64 chunk : taken)
        transport.take(chunk);
    QCOMPARE(Texts(writtenSpy), written);
    QCOMPARE(allSpy.size(), allWritten);
    QCOMPARE(transport.given, frames.join(QString()).toLatin1());
}

void tst_LinkParts::framesWaitForATransportAndGoOutInOrder() {
    FrameQueue queue;
    queue.push("U");
    queue.push("0000110099999999999999");
    QCOMPARE(queue.bytesToWrite(), 23);
    HandTransport transport;
    queue.setTransport(&transport);
    QCOMPARE(transport.given, QByteArray("U0000110099999999999999"));
}

void tst_LinkParts::aRefusedWriteDropsTheWholeQueue() {
    FrameQueue queue;
    queue.push("U");
    queue.push("U");
    HandTransport transport;
    transport.refuseWrites = true;
    QSignalSpy dropped(&queue, &FrameQueue::dropped);
    queue.setTransport(&transport);
    QCOMPARE(dropped.size(), 1);
    const auto failure = dropped.first().first().value<PortFailure>();
    QCOMPARE(failure.droppedFrames, 2);
    QCOMPARE(failure.error, PortError::Write);
    QVERIFY(queue.isEmpty());
    QCOMPARE(queue.bytesToWrite(), 0);
}

void tst_LinkParts::theQueueHoldsExactlyItsBound() {
    FrameQueue queue;
    QVERIFY(queue.hasRoomFor(FrameQueue::kMaxQueuedBytes));
    QVERIFY(!queue.hasRoomFor(FrameQueue::kMaxQueuedBytes + 1));
    queue.push(QByteArray(FrameQueue::kMaxQueuedBytes - 1, '1'));
    QVERIFY(queue.hasRoomFor(1));
    QVERIFY(!queue.hasRoomFor(2));
}

void tst_LinkParts::onlyANetworkPortLingersPastTheLine_data() {
    QTest::addColumn<bool>("closeDropsOutput");
    QTest::newRow("a serial device drains as it closes") << false;
    QTest::newRow("a network port waits the line time and the margin") << true;
}

void tst_LinkParts::onlyANetworkPortLingersPastTheLine() {
    QFETCH(bool, closeDropsOutput);
    HandTransport transport(closeDropsOutput);
    FrameQueue queue;
    queue.setTransport(&transport);
    QCOMPARE(queue.lingerFor(transport), std::chrono::nanoseconds(0));
    const QByteArray frame(960, '5'); // a second on the line
    queue.push(frame);
    transport.take(frame.size());
    const std::chrono::nanoseconds busy = queue.lineBusyFor();
    QVERIFY(busy > std::chrono::milliseconds(500));
    if (closeDropsOutput)
        QVERIFY(queue.lingerFor(transport) > busy);
    else
        QCOMPARE(queue.lingerFor(transport), std::chrono::nanoseconds(0));
}

void tst_LinkParts::receivedBytesAreToldAsTheyComeAndOfferedWhole_data() {
    QTest::addColumn<QStringList>("chunks");
    QTest::addColumn<int>("offers");

    QTest::newRow("21 bytes are told but not offered") << QStringList{QString(21, u'a')} << 0;
    QTest::newRow("the 22nd byte makes a frame's worth to offer")
        << QStringList{QString(21, u'a'), "b"} << 1;
    QTest::newRow("each chunk past the threshold offers what waits")
        << QStringList{QString(22, u'a'), "b"} << 2;
}

void tst_LinkParts::receivedBytesAreToldAsTheyComeAndOfferedWhole() {
    QFETCH(QStringList, chunks);
    QFETCH(int, offers);

    HandTransport transport;
    ReceivedBytes received;
    received.setTransport(&transport);
    QSignalSpy arrived(&received, &ReceivedBytes::arrived);
    QSignalSpy offered(&received, &ReceivedBytes::thresholdReached);
    for (const QString& chunk : chunks)
        transport.deliver(chunk.toLatin1());
    QCOMPARE(Texts(arrived), chunks);
    QCOMPARE(offered.size(), offers);
    QCOMPARE(received.takeAll(), chunks.join(QString()).toLatin1());
    QCOMPARE(received.waiting(), QByteArray());
}

// Bytes nobody reads stay with the transport once a buffer's worth waits, and come in when
// read; none is told twice or lost.
void tst_LinkParts::anUnreadBoardCostsABoundedBuffer() {
    HandTransport transport;
    ReceivedBytes received;
    received.setTransport(&transport);
    QSignalSpy arrived(&received, &ReceivedBytes::arrived);
    const QByteArray chunk(1000, 'x');
    for (int i = 0; i < 5; ++i)
        transport.deliver(chunk);
    QVERIFY(received.waiting().size() <= ReceivedBytes::kReceiveBufferSize + chunk.size());
    QByteArray all = received.takeAll();
    QTRY_VERIFY(transport.bytesAvailable() == 0);
    all += received.takeAll();
    QCOMPARE(all.size(), 5 * chunk.size());
    qsizetype told = 0;
    for (const QList<QVariant>& bytes : arrived)
        told += bytes.first().toByteArray().size();
    QCOMPARE(told, all.size());
}

void tst_LinkParts::aLingeringPortClosesOnceItsTimeHasPassed() {
    LingeringPorts lingering;
    auto now = std::make_unique<HandTransport>();
    QPointer<HandTransport> closedNow = now.get();
    lingering.retire(std::move(now), std::chrono::nanoseconds(0));
    QCOMPARE(lingering.count(), std::size_t(0));

    auto later = std::make_unique<HandTransport>();
    HandTransport* held = later.get();
    lingering.retire(std::move(later), std::chrono::milliseconds(20));
    QCOMPARE(lingering.count(), std::size_t(1));
    QVERIFY(held->isOpen());
    QTRY_COMPARE(lingering.count(), std::size_t(0));
    QTRY_VERIFY(closedNow.isNull());
}

QTEST_GUILESS_MAIN(tst_LinkParts)
#include "tst_link_parts.moc"
