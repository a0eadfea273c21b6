#include "board_fit.h"
#include "command_words.h"
#include "frame_decoder.h"
#include "frames.h"
#include "quoted_text.h"

#include <QtTest>

#include <random>

using quillon::DecodedCommand;
using CommandKind = DecodedCommand::Kind;

Q_DECLARE_METATYPE(DecodedCommand::Kind)

namespace {

std::string EightChannelBytes(const std::array<std::string, 8>& values) {
    const auto frame = quillon::EightChannelFrame(values);
    return std::string(frame.begin(), frame.end());
}

// "0 1 1.1" style: channel, gain and volts of each output, so a table row reads like the frame.
QByteArray Describe(const DecodedCommand& command) {
    QByteArrayList parts;
    for (const auto& output : command.outputs) {
        parts << QByteArray::number(output.channel) + ' ' + (output.gain ? '1' : '0') + ' ' +
                     QByteArray::number(output.volts, 'g', 15);
    }
    return parts.join(", ");
}

// "value 1 12.5 9.999": the kind, the column from 0, what was typed and the limit, if any.
QStringList DescribeMisfits(const std::vector<quillon::Misfit>& misfits) {
    static const char* const kKinds[] = {"channel", "negative", "value", "fine"};
    QStringList described;
    for (const quillon::Misfit& misfit : misfits) {
        described << QStringLiteral("%1 %2 %3 %4")
                         .arg(kKinds[int(misfit.kind)])
                         .arg(misfit.entry)
                         .arg(QString::fromStdString(misfit.typed),
                              QString::fromStdString(misfit.limit))
                         .trimmed();
    }
    return described;
}

} // namespace

class TestFrameDecoder : public QObject {
    Q_OBJECT

private slots:
    void decodesBuiltFrames_data();
    void decodesBuiltFrames();
    void builtFramesRoundTrip();
    void rejects_data();
    void rejects();
    void commandWords_data();
    void commandWords();
    void quotesTextSafely_data();
    void quotesTextSafely();
    void misfitsAreWhatTheBoardRejects_data();
    void misfitsAreWhatTheBoardRejects();
};

void TestFrameDecoder::decodesBuiltFrames_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<CommandKind>("kind");
    QTest::addColumn<QByteArray>("outputs");
    QTest::newRow("reset") << QByteArray::fromStdString(quillon::ResetCommand())
                           << CommandKind::Reset << QByteArray();
    QTest::newRow("single-channel defaults")
        << QByteArray::fromStdString(quillon::SingleChannelFrame({"0", false, "1.100"}))
        << CommandKind::SingleChannel << QByteArray("0 0 1.1");
    QTest::newRow("single-channel gain on channel 7")
        << QByteArray::fromStdString(quillon::SingleChannelFrame({"7", true, "9.999"}))
        << CommandKind::SingleChannel << QByteArray("7 1 9.999");
    QTest::newRow("four-channel defaults")
        << QByteArray::fromStdString(quillon::FourChannelFrame({{{"0", false, "1.00"},
                                                                 {"1", false, "2.02"},
                                                                 {"2", false, "3.86"},
                                                                 {"3", false, "4.00"}}}))
        << CommandKind::FourChannel << QByteArray("0 0 1, 1 0 2.02, 2 0 3.86, 3 0 4");
    QTest::newRow("eight-channel defaults")
        << QByteArray::fromStdString(
               EightChannelBytes({"20", "40", "60", "80", "100", "120", "140", "160"}))
        << CommandKind::EightChannel
        << QByteArray("0 0 0.390625, 1 0 0.78125, 2 0 1.171875, 3 0 1.5625, 4 0 1.953125, "
                      "5 0 2.34375, 6 0 2.734375, 7 0 3.125");
    QTest::newRow("eight-channel full scale")
        << QByteArray::fromStdString(
               EightChannelBytes({"0", "255", "0", "0", "0", "0", "0", "128"}))
        << CommandKind::EightChannel
        << QByteArray("0 0 0, 1 0 4.98046875, 2 0 0, 3 0 0, 4 0 0, 5 0 0, 6 0 0, 7 0 2.5");
}

void TestFrameDecoder::decodesBuiltFrames() {
    QFETCH(QByteArray, bytes);
    QFETCH(CommandKind, kind);
    QFETCH(QByteArray, outputs);
    const auto result = quillon::DecodeCommand(bytes.toStdString());
    QVERIFY2(result.command.has_value(), result.reason.c_str());
    QCOMPARE(result.command->kind, kind);
    QCOMPARE(Describe(*result.command), outputs);
}

// Any frame the panel builds from in-range inputs reads back as those inputs.
void TestFrameDecoder::builtFramesRoundTrip() {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> channel(0, 7);
    std::uniform_int_distribution<int> millivolts(0, 9999);
    std::uniform_int_distribution<int> code(0, 255);
    for (int i = 0; i < 2000; ++i) {
        const int ch = channel(random);
        const bool gain = i % 2;
        const int mv = millivolts(random);
        const auto volts = QByteArray::number(mv / 1000.0, 'f', 3).toStdString();
        const auto single =
            quillon::DecodeCommand(quillon::SingleChannelFrame({std::to_string(ch), gain, volts}));
        QVERIFY2(single.command.has_value(), single.reason.c_str());
        QCOMPARE(single.command->outputs.at(0).channel, ch);
        QCOMPARE(single.command->outputs.at(0).gain, gain);
        QCOMPARE(single.command->outputs.at(0).volts, mv / 1000.0);

        std::array<std::string, 8> values;
        std::array<int, 8> codes;
        for (int k = 0; k < 8; ++k) {
            codes[k] = code(random);
            values[k] = std::to_string(codes[k]);
        }
        const auto eight = quillon::DecodeCommand(EightChannelBytes(values));
        QVERIFY2(eight.command.has_value(), eight.reason.c_str());
        for (int k = 0; k < 8; ++k)
            QCOMPARE(eight.command->outputs.at(k).volts, codes[k] / 256.0 * 5);
    }
}

void TestFrameDecoder::rejects_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("reason");
    const QByteArray single = "0000110099999999999999";
    const QByteArray four = "1000100102022038630400";
    const QByteArray eight =
        QByteArray::fromHex("32 30 31 14 31 28 31 3C 31 50 31 64 31 78 31 8C 31 A0 39 39 39 39");
    QTest::newRow("empty") << QByteArray() << QByteArray("empty command");
    QTest::newRow("lower-case reset")
        << QByteArray("u") << QByteArray("unknown one-byte command 'u'");
    QTest::newRow("long value field") << QByteArray("00001250099999999999999")
                                      << QByteArray("wrong length: 23 bytes, a frame has 22");
    QTest::newRow("short frame") << single.left(21)
                                 << QByteArray("wrong length: 21 bytes, a frame has 22");
    QTest::newRow("unknown mode") << QByteArray(single).replace(0, 1, "3")
                                  << QByteArray("unknown mode byte '3'");
    QTest::newRow("second byte named at its own offset")
        << QByteArray(single).replace(1, 1, "1")
        << QByteArray("second byte must be '0', got '1' at offset 1");
    QTest::newRow("channel 8") << QByteArray(single).replace(2, 1, "8")
                               << QByteArray("channel must be a digit 0 to 7, got '8' at offset 2");
    QTest::newRow("control byte named in hex")
        << QByteArray(single).replace(2, 1, QByteArray(1, '\x01'))
        << QByteArray("channel must be a digit 0 to 7, got 0x01 at offset 2");
    QTest::newRow("DEL named in hex, as it prints nothing")
        << QByteArray(single).replace(2, 1, QByteArray(1, '\x7F'))
        << QByteArray("channel must be a digit 0 to 7, got 0x7f at offset 2");
    QTest::newRow("gain flag 2") << QByteArray(single).replace(3, 1, "2")
                                 << QByteArray("gain flag must be '0' or '1', got '2' at offset 3");
    QTest::newRow("point in the value")
        << QByteArray("000001.599999999999999")
        << QByteArray("set value has the non-digit '.' at offset 6");
    QTest::newRow("minus in the value")
        << QByteArray("000000-599999999999999")
        << QByteArray("set value has the non-digit '-' at offset 6");
    QTest::newRow("single-channel trailer names its bad byte")
        << QByteArray(single).replace(21, 1, "8")
        << QByteArray("trailer must be \"99999999999999\", got '8' at offset 21");
    QTest::newRow("four-channel third channel")
        << QByteArray(four).replace(12, 1, "a")
        << QByteArray("channel must be a digit 0 to 7, got 'a' at offset 12");
    QTest::newRow("eight-channel marker")
        << QByteArray(eight).replace(4, 1, "2")
        << QByteArray("channel marker must be '1', got '2' at offset 4");
    QTest::newRow("eight-channel trailer")
        << QByteArray(eight).replace(18, 1, "8")
        << QByteArray("trailer must be \"9999\", got '8' at offset 18");
}

void TestFrameDecoder::rejects() {
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, reason);
    const auto result = quillon::DecodeCommand(bytes.toStdString());
    QVERIFY(!result.command.has_value());
    QCOMPARE(QByteArray::fromStdString(result.reason), reason);
}

void TestFrameDecoder::commandWords_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("words"); // empty: no command a sequence sends makes these bytes

    QTest::newRow("single with three decimals, from the millivolts on the wire")
        << QByteArray("0030250099999999999999") << "single 3 2.500";
    QTest::newRow("single at the top and the bottom of its field")
        << QByteArray("0070999999999999999999") << "single 7 9.999";
    QTest::newRow("four with two decimals, channels in frame order")
        << QByteArray("1070000500503099910001") << "four 7:0.00 5:0.50 3:9.99 1:0.01";
    QTest::newRow("eight as whole codes")
        << QByteArray::fromStdString(EightChannelBytes({"0", "1", "2", "3", "4", "5", "6", "255"}))
        << "eight 0 1 2 3 4 5 6 255";
    QTest::newRow("reset") << QByteArray("U") << "reset";
    QTest::newRow("a gain flag of 1") << QByteArray("0011110099999999999999") << "";
    QTest::newRow("a four-channel gain flag of 1") << QByteArray("1001100102022038630400") << "";
    QTest::newRow("a channel of two digits makes 23 bytes")
        << QByteArray("00100110099999999999999") << "";
    QTest::newRow("a value field of five digits") << QByteArray("00012500999999999999999") << "";
    QTest::newRow("a channel that is not 0 to 7") << QByteArray("0080110099999999999999") << "";
    QTest::newRow("a four-channel frame naming a channel twice, which sequences refuse")
        << QByteArray("1000100002022038630400") << "";
    QTest::newRow("nothing") << QByteArray() << "";
}

// The words are what a sequence would say to send the same bytes again.
void TestFrameDecoder::commandWords() {
    QFETCH(QByteArray, frame);
    QFETCH(QString, words);

    const std::optional<std::string> made = quillon::CommandWords(frame.toStdString());
    QCOMPARE(made.has_value(), !words.isEmpty());
    if (made)
        QCOMPARE(QString::fromStdString(*made), words);
}

void TestFrameDecoder::quotesTextSafely_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("quoted");
    QTest::addColumn<QString>("path");

    const QByteArray longText(100, 'a');
    QTest::newRow("plain text as it is") << QByteArray("1.1V") << "\"1.1V\""
                                         << "\"1.1V\"";
    QTest::newRow("ESC, NUL, tab and line ends as escapes")
        << QByteArray("\x1b[2J\0\t\r\n", 8) << "\"\\x1b[2J\\0\\t\\r\\n\""
        << "\"\\x1b[2J\\0\\t\\r\\n\"";
    QTest::newRow("DEL and the C1 range as escapes")
        << QByteArray("\x7f\xc2\x9b") << "\"\\x7f\\u009b\""
        << "\"\\x7f\\u009b\"";
    QTest::newRow("a right-to-left override as an escape")
        << QByteArray("a\xe2\x80\xaez") << "\"a\\u202ez\""
        << "\"a\\u202ez\"";
    QTest::newRow("a byte that is not UTF-8 as an escape")
        << QByteArray("caf\xe9") << "\"caf\\xe9\""
        << "\"caf\\xe9\"";
    QTest::newRow("Chinese counts a character each") << QByteArray("通道号") << "\"通道号\""
                                                     << "\"通道号\"";
    QTest::newRow("a long text keeps its first 40 characters and tells its length")
        << longText << "\"" + QString(40, u'a') + "…\" (100 characters)"
        << "\"…" + QString(40, u'a') + "\" (100 characters)";
    QTest::newRow("escapes count as the characters they show")
        << QByteArray(30, '\x1b') << "\"" + QString("\\x1b").repeated(10) + "…\" (30 characters)"
        << "\"…" + QString("\\x1b").repeated(10) + "\" (30 characters)";
    QTest::newRow("a path keeps the end that names the file")
        << QByteArray("/home/operator/rig/sequences/2026/december/ramp.txt")
        << "\"/home/operator/rig/sequences/2026/decemb…\" (51 characters)"
        << "\"…tor/rig/sequences/2026/december/ramp.txt\" (51 characters)";
}

void TestFrameDecoder::quotesTextSafely() {
    QFETCH(QByteArray, text);
    QFETCH(QString, quoted);
    QFETCH(QString, path);

    QCOMPARE(QString::fromStdString(quillon::QuotedText(text.toStdString())), quoted);
    QCOMPARE(QString::fromStdString(quillon::QuotedPath(text.toStdString())), path);
}

QTEST_APPLESS_MAIN(TestFrameDecoder)
#include "tst_frame_decoder.moc"

// One channel and value make a single-channel frame, four make a four-channel frame; the board
// rejects the frame exactly when a field misfits.
void TestFrameDecoder::misfitsAreWhatTheBoardRejects_data() {
    QTest::addColumn<QStringList>("channels");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QStringList>("misfits");

    const QStringList channels{"0", "1", "2", "3"};
    const QStringList values{"1.00", "2.02", "3.86", "4.00"};
    QTest::newRow("single-channel defaults fit")
        << QStringList{"0"} << QStringList{"1.100"} << QStringList{};
    QTest::newRow("the largest single-channel value fits")
        << QStringList{"7"} << QStringList{"9.999"} << QStringList{};
    QTest::newRow("channel 9 is no channel of the board")
        << QStringList{"9"} << QStringList{"1.100"} << QStringList{"channel 0 9"};
    QTest::newRow("channel 10 makes the frame longer")
        << QStringList{"10"} << QStringList{"1.100"} << QStringList{"channel 0 10"};
    QTest::newRow("an empty channel makes the frame shorter")
        << QStringList{""} << QStringList{"1.100"} << QStringList{"channel 0"};
    QTest::newRow("12.5 V makes a fifth digit")
        << QStringList{"0"} << QStringList{"12.5"} << QStringList{"value 0 12.5 9.999"};
    QTest::newRow("10 V is one millivolt too many")
        << QStringList{"0"} << QStringList{"10"} << QStringList{"value 0 10 9.999"};
    QTest::newRow("a negative value puts a sign in the field")
        << QStringList{"0"} << QStringList{"-0.005"} << QStringList{"negative 0 -0.005"};
    QTest::newRow("a tenth of a millivolt puts a point in the field")
        << QStringList{"0"} << QStringList{"1.0005"} << QStringList{"fine 0 1.0005 0.001"};
    QTest::newRow("a value far below the step takes an exponent form")
        << QStringList{"0"} << QStringList{"1e-9"} << QStringList{"fine 0 1e-9 0.001"};
    QTest::newRow("a value far above the range takes an exponent form")
        << QStringList{"0"} << QStringList{"1e20"} << QStringList{"value 0 1e20 9.999"};
    QTest::newRow("channel and value both named")
        << QStringList{"8"} << QStringList{"12.5"}
        << QStringList{"channel 0 8", "value 0 12.5 9.999"};
    QTest::newRow("four-channel defaults fit") << channels << values << QStringList{};
    QTest::newRow("four-channel 9.99 V fits")
        << channels << QStringList{"9.99", "0", "0", "0"} << QStringList{};
    QTest::newRow("four-channel misfits named by column")
        << QStringList{"0", "9", "2", "3"} << QStringList{"1.00", "2.02", "10", "4.005"}
        << QStringList{"channel 1 9", "value 2 10 9.99", "fine 3 4.005 0.01"};
}

void TestFrameDecoder::misfitsAreWhatTheBoardRejects() {
    QFETCH(QStringList, channels);
    QFETCH(QStringList, values);
    QFETCH(QStringList, misfits);

    std::string frame;
    std::vector<quillon::Misfit> found;
    if (channels.size() == 1) {
        const quillon::ChannelEntry entry{channels[0].toStdString(), false,
                                          values[0].toStdString()};
        frame = quillon::SingleChannelFrame(entry);
        found = quillon::SingleChannelMisfits(entry);
    } else {
        std::array<quillon::ChannelEntry, 4> entries;
        for (std::size_t k = 0; k < entries.size(); ++k)
            entries[k] = {channels[qsizetype(k)].toStdString(), false,
                          values[qsizetype(k)].toStdString()};
        frame = quillon::FourChannelFrame(entries);
        found = quillon::FourChannelMisfits(entries);
    }
    QCOMPARE(DescribeMisfits(found), misfits);
    const quillon::DecodeResult decoded = quillon::DecodeCommand(frame);
    QVERIFY2(decoded.command.has_value() == misfits.isEmpty(), decoded.reason.c_str());
}
