#include "frames.h"

#include <QtTest>

#include <clocale>
#include <cmath>
#include <cstring>
#include <iomanip>
#include <limits>
#include <locale>
#include <random>
#include <sstream>

using quillon::ConversionError;
using Kind = ConversionError::Kind;

Q_DECLARE_METATYPE(ConversionError::Kind)

namespace {

std::string Text(const QByteArray& bytes) {
    return bytes.toStdString();
}

QByteArray Bytes(const std::string& text) {
    return QByteArray::fromStdString(text);
}

template <typename Call> void VerifyFails(Call call, Kind expectedKind, int expectedIndex) {
    try {
        call();
        QFAIL("the conversion succeeded");
    } catch (const ConversionError& error) {
        QCOMPARE(error.kind(), expectedKind);
        QCOMPARE(error.valueIndex(), expectedIndex);
    }
}

const double kMaxDouble = std::numeric_limits<double>::max();

} // namespace

// Every test runs once under the C locale and once under a decimal-comma locale: the frames
// must be the same bytes whatever locale the panel's process has.
class TestFrames : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data();
    void init();
    void cleanupTestCase();

    void coerceNumber_data();
    void coerceNumber();
    void coerceNumberFails_data();
    void coerceNumberFails();
    void leadingNumber_data();
    void leadingNumber();
    void leadingNumberOutOfRange_data();
    void leadingNumberOutOfRange();
    void scaleValueOutOfRange();
    void numberText_data();
    void numberText();
    void numberTextMatchesFifteenDigitFormatting();
    void padLeft_data();
    void padLeft();
    void toByte_data();
    void toByte();
    void toByteOutOfRange_data();
    void toByteOutOfRange();
    void trimSpaces_data();
    void trimSpaces();
    void fixedTexts();

    void singleChannelFrame_data();
    void singleChannelFrame();
    void singleChannelFrameFails_data();
    void singleChannelFrameFails();
    void fourChannelFrame_data();
    void fourChannelFrame();
    void fourChannelFrameFails_data();
    void fourChannelFrameFails();
    void eightChannelFrame_data();
    void eightChannelFrame();
    void eightChannelFrameFails_data();
    void eightChannelFrameFails();
};

void TestFrames::initTestCase_data() {
    QTest::addColumn<QByteArray>("locale");
    QTest::newRow("C locale") << QByteArray("C");
    QTest::newRow("decimal-comma locale") << QByteArray("de_DE.UTF-8");
}

void TestFrames::init() {
    QFETCH_GLOBAL(QByteArray, locale);
    if (!std::setlocale(LC_ALL, locale.constData())) {
        const QByteArray why = "locale " + locale + " is not generated (./test as root does it)";
        QSKIP(why.constData());
    }
    if (locale != "C")
        QCOMPARE(std::localeconv()->decimal_point, ",");
}

void TestFrames::cleanupTestCase() {
    std::setlocale(LC_ALL, "C");
}

void TestFrames::coerceNumber_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<double>("number");
    QTest::newRow("spaces around are ignored") << QByteArray(" 1.1 ") << 1.1;
    QTest::newRow("three decimals") << QByteArray("1.100") << 1.1;
    QTest::newRow("plus sign") << QByteArray("+2") << 2.0;
    QTest::newRow("negative") << QByteArray("-0.005") << -0.005;
    QTest::newRow("no digit before the point") << QByteArray(".5") << 0.5;
    QTest::newRow("no digit after the point") << QByteArray("5.") << 5.0;
    QTest::newRow("exponent") << QByteArray("  -1.5e+2 ") << -150.0;
    QTest::newRow("capital exponent") << QByteArray("1E-3") << 0.001;
    QTest::newRow("underflow reads as zero") << QByteArray("1e-400") << 0.0;
    QTest::newRow("subnormal is kept") << QByteArray("4.9e-324") << 4.9e-324;
    QTest::newRow("largest double") << QByteArray("1.7976931348623157e308") << kMaxDouble;
    QTest::newRow("long zeros then underflow")
        << QByteArray("0." + QByteArray(400, '0') + "1") << 0.0;
}

void TestFrames::coerceNumber() {
    QFETCH(QByteArray, text);
    QFETCH(double, number);
    QCOMPARE(quillon::CoerceNumber(Text(text)), number);
}

void TestFrames::coerceNumberFails_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<Kind>("kind");
    QTest::newRow("empty") << QByteArray("") << Kind::NotANumber;
    QTest::newRow("spaces only") << QByteArray("   ") << Kind::NotANumber;
    QTest::newRow("unit after the number") << QByteArray("1.1V") << Kind::NotANumber;
    QTest::newRow("second decimal point") << QByteArray("1..1") << Kind::NotANumber;
    QTest::newRow("decimal comma") << QByteArray("1,5") << Kind::NotANumber;
    QTest::newRow("digit grouping") << QByteArray("1 000") << Kind::NotANumber;
    QTest::newRow("hexadecimal form") << QByteArray("&H10") << Kind::NotANumber;
    QTest::newRow("tab is not a space") << QByteArray("\t1") << Kind::NotANumber;
    QTest::newRow("parenthesised negative") << QByteArray("(1)") << Kind::NotANumber;
    QTest::newRow("exponent without digits") << QByteArray("1e") << Kind::NotANumber;
    QTest::newRow("sign only") << QByteArray("-") << Kind::NotANumber;
    QTest::newRow("point only") << QByteArray(".") << Kind::NotANumber;
    QTest::newRow("infinity word") << QByteArray("inf") << Kind::NotANumber;
    QTest::newRow("nan word") << QByteArray("nan") << Kind::NotANumber;
    QTest::newRow("hex float") << QByteArray("0x10") << Kind::NotANumber;
    QTest::newRow("beyond the double range") << QByteArray("1e400") << Kind::OutOfRange;
    QTest::newRow("negative beyond the range") << QByteArray("-1e400") << Kind::OutOfRange;
    QTest::newRow("just beyond the largest")
        << QByteArray("1.7976931348623159e308") << Kind::OutOfRange;
    QTest::newRow("many digits beyond the range")
        << QByteArray("1" + QByteArray(400, '0')) << Kind::OutOfRange;
    QTest::newRow("huge exponent") << QByteArray("1e99999999999999999999") << Kind::OutOfRange;
}

void TestFrames::coerceNumberFails() {
    QFETCH(QByteArray, text);
    QFETCH(Kind, kind);
    VerifyFails([&] { quillon::CoerceNumber(Text(text)); }, kind, -1);
}

void TestFrames::leadingNumber_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<double>("number");
    QTest::newRow("leading spaces") << QByteArray("  20") << 20.0;
    QTest::newRow("empty reads as zero") << QByteArray("") << 0.0;
    QTest::newRow("blanks between digits") << QByteArray("1 2") << 12.0;
    QTest::newRow("tab and line feed skipped") << QByteArray("\t1\n2") << 12.0;
    QTest::newRow("blank after the sign") << QByteArray("- 5") << -5.0;
    QTest::newRow("letters end the number") << QByteArray("12abc") << 12.0;
    QTest::newRow("unit ends the number") << QByteArray("1.5V") << 1.5;
    QTest::newRow("second point ends the number") << QByteArray("1.2.3") << 1.2;
    QTest::newRow("comma ends the number") << QByteArray("1,5") << 1.0;
    QTest::newRow("exponent") << QByteArray("1e3x") << 1000.0;
    QTest::newRow("exponent without digits") << QByteArray("1e+") << 1.0;
    QTest::newRow("no number") << QByteArray("abc") << 0.0;
    QTest::newRow("point only") << QByteArray(".") << 0.0;
    QTest::newRow("sign only") << QByteArray("-") << 0.0;
    QTest::newRow("infinity word is no number") << QByteArray("inf") << 0.0;
    QTest::newRow("underflow reads as zero") << QByteArray("1e-400") << 0.0;
    QTest::newRow("hexadecimal") << QByteArray("&H10") << 16.0;
    QTest::newRow("hexadecimal byte") << QByteArray("&hff") << 255.0;
    QTest::newRow("hexadecimal with blanks") << QByteArray("& H F F") << 255.0;
    QTest::newRow("hexadecimal stops at non-digit") << QByteArray("&H1G") << 1.0;
    QTest::newRow("prefix without digits") << QByteArray("&H") << 0.0;
    QTest::newRow("octal") << QByteArray("&O17") << 15.0;
    QTest::newRow("octal stops at 8") << QByteArray("&o78") << 7.0;
    QTest::newRow("16-bit hexadecimal is signed") << QByteArray("&HFFFF") << -1.0;
    QTest::newRow("16-bit lowest") << QByteArray("&H8000") << -32768.0;
    QTest::newRow("16-bit octal is signed") << QByteArray("&O177777") << -1.0;
    QTest::newRow("above 16 bits") << QByteArray("&H10000") << 65536.0;
    QTest::newRow("32-bit hexadecimal is signed") << QByteArray("&HFFFFFFFF") << -1.0;
    QTest::newRow("leading zeros do not widen") << QByteArray("&H0000FFFF") << -1.0;
    QTest::newRow("above 32 bits is unsigned") << QByteArray("&H100000000") << 4294967296.0;
    QTest::newRow("long octal is unsigned")
        << QByteArray("&O7777777777777") << 549755813887.0; // 2^39 - 1
}

void TestFrames::leadingNumber() {
    QFETCH(QByteArray, text);
    QFETCH(double, number);
    QCOMPARE(quillon::LeadingNumber(Text(text)), number);
}

void TestFrames::leadingNumberOutOfRange_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("beyond the double range") << QByteArray("1e400");
    QTest::newRow("negative beyond the range") << QByteArray("-1e400 V");
    QTest::newRow("many digits") << QByteArray(400, '9');
    QTest::newRow("long hexadecimal") << QByteArray("&H" + QByteArray(300, 'F'));
    QTest::newRow("long octal") << QByteArray("&O" + QByteArray(400, '7'));
}

void TestFrames::leadingNumberOutOfRange() {
    QFETCH(QByteArray, text);
    VerifyFails([&] { quillon::LeadingNumber(Text(text)); }, Kind::OutOfRange, -1);
}

void TestFrames::scaleValueOutOfRange() {
    QCOMPARE(quillon::ScaleValue(1.1, 1000), 1100.0);
    VerifyFails([] { quillon::ScaleValue(1e306, 1000); }, Kind::OutOfRange, -1);
    VerifyFails([] { quillon::ScaleValue(-kMaxDouble, 100); }, Kind::OutOfRange, -1);
}

void TestFrames::numberText_data() {
    QTest::addColumn<double>("number");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("whole number") << 1100.0 << QByteArray("1100");
    QTest::newRow("product rounds to 15 digits")
        << quillon::ScaleValue(1.001, 1000) << QByteArray("1001");
    QTest::newRow("1.13 scaled by 100") << quillon::ScaleValue(1.13, 100) << QByteArray("113");
    QTest::newRow("2.02 scaled by 100") << quillon::ScaleValue(2.02, 100) << QByteArray("202");
    QTest::newRow("product is not rounded to whole")
        << quillon::ScaleValue(1.0005, 1000) << QByteArray("1000.5");
    QTest::newRow("zero") << 0.0 << QByteArray("0");
    QTest::newRow("negative zero") << -0.0 << QByteArray("0");
    QTest::newRow("below one keeps its zero") << 0.5 << QByteArray("0.5");
    QTest::newRow("negative") << -5.0 << QByteArray("-5");
    QTest::newRow("binary noise removed") << 0.1 + 0.2 << QByteArray("0.3");
    QTest::newRow("fifteen digits") << 123456789012345.0 << QByteArray("123456789012345");
    QTest::newRow("rounding carries into a new digit")
        << 99999999999999.99 << QByteArray("100000000000000");
    QTest::newRow("rounding carries into exponent form")
        << 999999999999999.9 << QByteArray("1E+15");
    QTest::newRow("from 1e15 exponent form") << 1e15 << QByteArray("1E+15");
    QTest::newRow("large rounded") << 1234567890123456.0 << QByteArray("1.23456789012346E+15");
    QTest::newRow("smallest fixed form") << 0.0001 << QByteArray("0.0001");
    QTest::newRow("small fraction exponent form") << -0.000015 << QByteArray("-1.5E-05");
    QTest::newRow("three-digit exponent") << 1e-300 << QByteArray("1E-300");
    QTest::newRow("largest double") << kMaxDouble << QByteArray("1.79769313486232E+308");
}

void TestFrames::numberText() {
    QFETCH(double, number);
    QFETCH(QByteArray, text);
    QCOMPARE(Bytes(quillon::NumberText(number)), text);
}

// "%.15G" through a stream with the classic locale: rounded to 15 significant digits, trailing
// zeros dropped, exponent form below 1e-4 and from 1e15.
void TestFrames::numberTextMatchesFifteenDigitFormatting() {
    std::mt19937_64 random(20240611);
    std::uniform_real_distribution<double> volts(-20.0, 20.0);
    std::uniform_int_distribution<int> decimals(0, 6);
    for (int i = 0; i < 200000; ++i) {
        double number = 0;
        if (i % 2 == 0) {
            const std::uint64_t bits = random();
            std::memcpy(&number, &bits, sizeof number);
            if (!std::isfinite(number) || number == 0)
                continue;
        } else {
            const double power = std::pow(10.0, decimals(random));
            const double typed = std::round(volts(random) * power) / power;
            number = typed * (i % 4 == 1 ? 1000 : 100);
        }
        std::ostringstream reference;
        reference.imbue(std::locale::classic());
        reference << std::uppercase << std::setprecision(15) << number;
        const std::string expected = number == 0 ? "0" : reference.str();
        if (quillon::NumberText(number) != expected)
            QCOMPARE(Bytes(quillon::NumberText(number)), Bytes(expected));
    }
}

void TestFrames::padLeft_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<QByteArray>("padded");
    QTest::newRow("one digit to four") << QByteArray("5") << 4 << QByteArray("0005");
    QTest::newRow("longer text unchanged") << QByteArray("12500") << 4 << QByteArray("12500");
    QTest::newRow("exact width unchanged") << QByteArray("1100") << 4 << QByteArray("1100");
    QTest::newRow("one digit to three") << QByteArray("7") << 3 << QByteArray("007");
    QTest::newRow("zeros go before the minus") << QByteArray("-5") << 4 << QByteArray("00-5");
    QTest::newRow("empty text") << QByteArray("") << 3 << QByteArray("000");
    QTest::newRow("counts characters, not bytes")
        << QByteArray("\xe9\x80\x9a\xe9\x81\x93") << 4 << QByteArray("00\xe9\x80\x9a\xe9\x81\x93");
}

void TestFrames::padLeft() {
    QFETCH(QByteArray, text);
    QFETCH(int, width);
    QFETCH(QByteArray, padded);
    QCOMPARE(Bytes(quillon::PadLeft(Text(text), static_cast<std::size_t>(width))), padded);
}

void TestFrames::toByte_data() {
    QTest::addColumn<double>("number");
    QTest::addColumn<int>("byte");
    QTest::newRow("largest") << 255.0 << 255;
    QTest::newRow("half to even, down") << 2.5 << 2;
    QTest::newRow("half to even, up") << 3.5 << 4;
    QTest::newRow("half below the top") << 254.5 << 254;
    QTest::newRow("half to zero") << 0.5 << 0;
    QTest::newRow("negative half to zero") << -0.5 << 0;
    QTest::newRow("small negative rounds to zero") << -0.4 << 0;
    QTest::newRow("just above a half") << 2.5000000000000004 << 3;
    QTest::newRow("rounds down to the top") << 255.4 << 255;
}

void TestFrames::toByte() {
    QFETCH(double, number);
    QFETCH(int, byte);
    QCOMPARE(int(quillon::ToByte(number)), byte);
}

void TestFrames::toByteOutOfRange_data() {
    QTest::addColumn<double>("number");
    QTest::newRow("256") << 256.0;
    QTest::newRow("-1") << -1.0;
    QTest::newRow("half above the top rounds to 256") << 255.5;
    QTest::newRow("rounds to -1") << -0.6;
    QTest::newRow("huge") << 1e300;
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity();
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN();
}

void TestFrames::toByteOutOfRange() {
    QFETCH(double, number);
    VerifyFails([&] { quillon::ToByte(number); }, Kind::OutOfRange, -1);
}

void TestFrames::trimSpaces_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("trimmed");
    QTest::newRow("spaces at both ends") << QByteArray("  3 ") << QByteArray("3");
    QTest::newRow("inner space stays") << QByteArray(" 1 0 ") << QByteArray("1 0");
    QTest::newRow("tabs stay") << QByteArray("\t3\t") << QByteArray("\t3\t");
    QTest::newRow("ideographic space stays") << QByteArray("\xe3\x80\x80"
                                                           "3")
                                             << QByteArray("\xe3\x80\x80"
                                                           "3");
    QTest::newRow("spaces only") << QByteArray("   ") << QByteArray("");
}

void TestFrames::trimSpaces() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, trimmed);
    QCOMPARE(Bytes(quillon::TrimSpaces(Text(text))), trimmed);
}

void TestFrames::fixedTexts() {
    QCOMPARE(Bytes(quillon::GainFlag(true)), QByteArray("1"));
    QCOMPARE(Bytes(quillon::GainFlag(false)), QByteArray("0"));
    QCOMPARE(Bytes(quillon::ResetCommand()), QByteArray("U"));
}

void TestFrames::singleChannelFrame_data() {
    QTest::addColumn<QByteArray>("channel");
    QTest::addColumn<bool>("gain");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("defaults") << QByteArray("0") << false << QByteArray("1.100")
                              << QByteArray("0000110099999999999999");
    QTest::newRow("gain checked, whole volts")
        << QByteArray("3") << true << QByteArray("5") << QByteArray("0031500099999999999999");
    QTest::newRow("five millivolts")
        << QByteArray("0") << false << QByteArray("0.005") << QByteArray("0000000599999999999999");
    QTest::newRow("zero") << QByteArray("0") << false << QByteArray("0")
                          << QByteArray("0000000099999999999999");
    QTest::newRow("negative zero written as zero")
        << QByteArray("0") << false << QByteArray("-0") << QByteArray("0000000099999999999999");
    QTest::newRow("product rounded to 15 digits")
        << QByteArray("0") << false << QByteArray("1.001") << QByteArray("0000100199999999999999");
    QTest::newRow("long field makes 23")
        << QByteArray("0") << false << QByteArray("12.5") << QByteArray("00001250099999999999999");
    QTest::newRow("fraction field makes 24") << QByteArray("0") << false << QByteArray("1.0005")
                                             << QByteArray("00001000.599999999999999");
    QTest::newRow("negative padded after zeros")
        << QByteArray("0") << false << QByteArray("-0.005") << QByteArray("000000-599999999999999");
    QTest::newRow("two-digit channel makes 23")
        << QByteArray("10") << false << QByteArray("1.1") << QByteArray("00100110099999999999999");
    QTest::newRow("empty channel makes 21")
        << QByteArray("") << false << QByteArray("1.1") << QByteArray("000110099999999999999");
}

void TestFrames::singleChannelFrame() {
    QFETCH(QByteArray, channel);
    QFETCH(bool, gain);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, frame);
    QCOMPARE(Bytes(quillon::SingleChannelFrame({Text(channel), gain, Text(value)})), frame);
}

void TestFrames::singleChannelFrameFails_data() {
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<Kind>("kind");
    QTest::newRow("empty value") << QByteArray("") << Kind::NotANumber;
    QTest::newRow("unit after the value") << QByteArray("1.1V") << Kind::NotANumber;
    QTest::newRow("value beyond the range") << QByteArray("1e400") << Kind::OutOfRange;
    QTest::newRow("product beyond the range") << QByteArray("1e306") << Kind::OutOfRange;
}

void TestFrames::singleChannelFrameFails() {
    QFETCH(QByteArray, value);
    QFETCH(Kind, kind);
    VerifyFails([&] { quillon::SingleChannelFrame({"0", false, Text(value)}); }, kind, 0);
}

void TestFrames::fourChannelFrame_data() {
    QTest::addColumn<QByteArrayList>("values");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("defaults") << QByteArrayList{"1.00", "2.02", "3.86", "4.00"}
                              << QByteArray("1000100102022038630400");
    QTest::newRow("small values padded to three")
        << QByteArrayList{"0.07", "1.13", "0", "0.5"} << QByteArray("1000007101132000030050");
    QTest::newRow("long field moves the rest right")
        << QByteArrayList{"12.5", "1", "1", "1"} << QByteArray("10001250101002010030100");
}

void TestFrames::fourChannelFrame() {
    QFETCH(QByteArrayList, values);
    QFETCH(QByteArray, frame);
    std::array<quillon::ChannelEntry, 4> entries;
    for (int k = 0; k < 4; ++k)
        entries[k] = {std::to_string(k), false, Text(values[k])};
    QCOMPARE(Bytes(quillon::FourChannelFrame(entries)), frame);
}

void TestFrames::fourChannelFrameFails_data() {
    QTest::addColumn<QByteArrayList>("values");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<int>("index");
    QTest::newRow("third value not a number")
        << QByteArrayList{"1", "2", "abc", "4"} << Kind::NotANumber << 2;
    QTest::newRow("second product beyond the range")
        << QByteArrayList{"1", "1e307", "3", "4"} << Kind::OutOfRange << 1;
    QTest::newRow("first failure is reported")
        << QByteArrayList{"1", "x", "3", "1e400"} << Kind::NotANumber << 1;
}

void TestFrames::fourChannelFrameFails() {
    QFETCH(QByteArrayList, values);
    QFETCH(Kind, kind);
    QFETCH(int, index);
    std::array<quillon::ChannelEntry, 4> entries;
    for (int k = 0; k < 4; ++k)
        entries[k] = {std::to_string(k), false, Text(values[k])};
    VerifyFails([&] { quillon::FourChannelFrame(entries); }, kind, index);
}

void TestFrames::eightChannelFrame_data() {
    QTest::addColumn<QByteArrayList>("values");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("defaults")
        << QByteArrayList{"20", "40", "60", "80", "100", "120", "140", "160"}
        << QByteArray::fromHex("32 30 31 14 31 28 31 3C 31 50 31 64 31 78 31 8C 31 A0 39 39 39 39");
    QTest::newRow("lenient reading and rounding")
        << QByteArrayList{"", "2.5", "255", "&HFF", "  20", "1.5V", "0.5", "abc"}
        << QByteArray::fromHex("32 30 31 00 31 02 31 FF 31 FF 31 14 31 02 31 00 31 00 39 39 39 39");
}

void TestFrames::eightChannelFrame() {
    QFETCH(QByteArrayList, values);
    QFETCH(QByteArray, frame);
    std::array<std::string, 8> texts;
    for (int k = 0; k < 8; ++k)
        texts[k] = Text(values[k]);
    const auto bytes = quillon::EightChannelFrame(texts);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(bytes.data()), bytes.size()), frame);
}

void TestFrames::eightChannelFrameFails_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("256 does not fit") << 3 << QByteArray("256");
    QTest::newRow("-1 does not fit") << 0 << QByteArray("-1");
    QTest::newRow("beyond the double range") << 7 << QByteArray("1e400");
}

void TestFrames::eightChannelFrameFails() {
    QFETCH(int, index);
    QFETCH(QByteArray, value);
    std::array<std::string, 8> texts{"1", "2", "3", "4", "5", "6", "7", "8"};
    texts[index] = Text(value);
    VerifyFails([&] { quillon::EightChannelFrame(texts); }, Kind::OutOfRange, index);
}

QTEST_APPLESS_MAIN(TestFrames)
#include "tst_frames.moc"
