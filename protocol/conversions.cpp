#include "frames.h"

#include "quoted_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <system_error>

namespace quillon {

ConversionError::ConversionError(Kind kind, const std::string& message, int valueIndex)
    : std::runtime_error(message), m_kind(kind), m_valueIndex(valueIndex) {}

ConversionError::Kind ConversionError::kind() const noexcept {
    return m_kind;
}

int ConversionError::valueIndex() const noexcept {
    return m_valueIndex;
}

namespace {

constexpr int kSignificantDigits = 15;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsOctalDigit(char c) {
    return c >= '0' && c <= '7';
}

bool IsHexDigit(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsSign(char c) {
    return c == '+' || c == '-';
}

// A value text inside an error message: quoted, escaped and cut short.
std::string Quoted(std::string_view text) {
    return QuotedText(text);
}

[[noreturn]] void ThrowBeyondDoubleRange(std::string_view text) {
    throw ConversionError(ConversionError::Kind::OutOfRange,
                          Quoted(text) + " is beyond the range of a number");
}

// Length of the longest prefix of the form: optional sign, digits with at most one point (at
// least one digit), optional exponent ("E" or "e", optional sign, at least one digit).
std::size_t DecimalPrefixLength(std::string_view text) {
    std::size_t i = 0;
    if (i < text.size() && IsSign(text[i]))
        ++i;
    std::size_t digits = 0;
    bool pointSeen = false;
    for (; i < text.size(); ++i) {
        if (IsDigit(text[i]))
            ++digits;
        else if (text[i] == '.' && !pointSeen)
            pointSeen = true;
        else
            break;
    }
    if (digits == 0)
        return 0;
    const std::size_t mantissaEnd = i;
    if (i == text.size() || (text[i] != 'e' && text[i] != 'E'))
        return mantissaEnd;
    ++i;
    if (i < text.size() && IsSign(text[i]))
        ++i;
    const std::size_t exponentDigitsStart = i;
    while (i < text.size() && IsDigit(text[i]))
        ++i;
    return i > exponentDigitsStart ? i : mantissaEnd;
}

// Decimal power of the leading nonzero digit of an unsigned number text ("123.4" gives 2, "0.05"
// gives -2, "5e3" gives 3), saturated far outside the double range.
std::int64_t LeadingDigitPower(std::string_view number) {
    constexpr std::int64_t kSaturation = std::int64_t{1} << 50;
    std::int64_t integerDigits = 0;
    std::int64_t digitIndex = 0;
    std::int64_t firstNonzero = -1;
    bool pointSeen = false;
    std::size_t i = 0;
    for (; i < number.size() && number[i] != 'e' && number[i] != 'E'; ++i) {
        if (number[i] == '.') {
            pointSeen = true;
            continue;
        }
        if (number[i] != '0' && firstNonzero < 0)
            firstNonzero = digitIndex;
        ++digitIndex;
        if (!pointSeen)
            ++integerDigits;
    }
    if (firstNonzero < 0)
        return -kSaturation;
    std::int64_t exponent = 0;
    bool negativeExponent = false;
    if (i < number.size()) {
        ++i;
        if (IsSign(number[i]))
            negativeExponent = number[i++] == '-';
        for (; i < number.size() && exponent < kSaturation; ++i)
            exponent = exponent * 10 + (number[i] - '0');
    }
    return integerDigits - 1 - firstNonzero + (negativeExponent ? -exponent : exponent);
}

// Reads a text that DecimalPrefixLength accepted in full. from_chars reports both overflow and
// underflow as out of range; only overflow is an error, an underflow reads as zero.
double ReadDecimal(std::string_view number) {
    const bool negative = number.front() == '-';
    std::string_view unsignedNumber = number;
    if (IsSign(number.front()))
        unsignedNumber.remove_prefix(1);
    const char* first = negative ? number.data() : unsignedNumber.data();
    double value = 0;
    const auto result = std::from_chars(first, number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        if (LeadingDigitPower(unsignedNumber) >= 0)
            ThrowBeyondDoubleRange(number);
        return negative ? -0.0 : 0.0;
    }
    return value;
}

// Hexadecimal digits (leading zeros removed) of the number that the octal digits spell.
std::string OctalToHex(std::string_view octal) {
    std::string bits;
    bits.reserve(octal.size() * 3 + 3);
    for (char digit : octal) {
        const int value = digit - '0';
        for (int shift = 2; shift >= 0; --shift)
            bits += ((value >> shift) & 1) ? '1' : '0';
    }
    bits.insert(0, (4 - bits.size() % 4) % 4, '0');
    std::string hex;
    for (std::size_t i = 0; i < bits.size(); i += 4) {
        const int nibble = (bits[i] - '0') * 8 + (bits[i + 1] - '0') * 4 + (bits[i + 2] - '0') * 2 +
                           (bits[i + 3] - '0');
        hex += "0123456789ABCDEF"[nibble];
    }
    return hex;
}

// An "&H"/"&O" whole number, read the way the panel's original run time reads it: values up to
// 0xFFFF are 16-bit two's complement ("&HFFFF" is -1), up to 0xFFFFFFFF 32-bit ("&HFFFFFFFF" is
// -1). Longer texts, which that run time rejected, read as plain non-negative numbers rather than
// wrapping around silently.
double ReadHex(std::string_view hexDigits, std::string_view originalText) {
    while (!hexDigits.empty() && hexDigits.front() == '0')
        hexDigits.remove_prefix(1);
    if (hexDigits.size() <= 8) {
        std::uint32_t value = 0;
        std::from_chars(hexDigits.data(), hexDigits.data() + hexDigits.size(), value, 16);
        if (value <= 0xFFFF)
            return static_cast<std::int16_t>(static_cast<std::uint16_t>(value));
        return static_cast<std::int32_t>(value);
    }
    double value = 0;
    const auto result = std::from_chars(hexDigits.data(), hexDigits.data() + hexDigits.size(),
                                        value, std::chars_format::hex);
    if (result.ec == std::errc::result_out_of_range)
        ThrowBeyondDoubleRange(originalText);
    return value;
}

template <typename Predicate>
std::string_view LeadingRun(std::string_view text, Predicate belongs) {
    std::size_t length = 0;
    while (length < text.size() && belongs(text[length]))
        ++length;
    return text.substr(0, length);
}

bool IsLeadingNumberBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

std::string WithoutBlanks(std::string_view text) {
    std::string compact;
    compact.reserve(text.size());
    for (char c : text) {
        if (!IsLeadingNumberBlank(c))
            compact += c;
    }
    return compact;
}

bool StartsWithRadixPrefix(std::string_view text, char upper) {
    return text.size() >= 2 && text[0] == '&' && (text[1] == upper || text[1] == upper + 32);
}

std::size_t CharacterCount(std::string_view utf8) {
    std::size_t count = 0;
    for (char byte : utf8) {
        if ((static_cast<unsigned char>(byte) & 0xC0) != 0x80)
            ++count;
    }
    return count;
}

// Nearest whole number, an exact half going to the even neighbour, without depending on the
// floating-point environment's rounding mode.
double RoundHalfToEven(double number) {
    const double below = std::floor(number);
    const double fraction = number - below;
    if (fraction < 0.5)
        return below;
    if (fraction > 0.5)
        return below + 1;
    return std::fmod(below, 2.0) == 0 ? below : below + 1;
}

} // namespace

// Accepts exactly: spaces, optional sign, digits with at most one ".", optional exponent, spaces.
// No "&H"/"&O" forms, no tabs and no locale forms (grouping, decimal comma, currency), so a
// value means the same thing on every machine.
double CoerceNumber(std::string_view text) {
    const std::string trimmed = TrimSpaces(text);
    if (trimmed.empty() || DecimalPrefixLength(trimmed) != trimmed.size()) {
        throw ConversionError(ConversionError::Kind::NotANumber, Quoted(text) + " is not a number");
    }
    return ReadDecimal(trimmed);
}

double LeadingNumber(std::string_view text) {
    const std::string compact = WithoutBlanks(text);
    std::string_view rest = compact;
    if (StartsWithRadixPrefix(rest, 'H'))
        return ReadHex(LeadingRun(rest.substr(2), IsHexDigit), text);
    if (StartsWithRadixPrefix(rest, 'O'))
        return ReadHex(OctalToHex(LeadingRun(rest.substr(2), IsOctalDigit)), text);
    const std::size_t length = DecimalPrefixLength(rest);
    return length == 0 ? 0.0 : ReadDecimal(rest.substr(0, length));
}

double ScaleValue(double number, double factor) {
    const double product = number * factor;
    if (!std::isfinite(product)) {
        throw ConversionError(ConversionError::Kind::OutOfRange,
                              NumberText(number) + " times " + NumberText(factor) +
                                  " is beyond the range of a number");
    }
    return product;
}

// "%.15G" without the process locale: 15 significant digits, trailing zeros dropped, the
// exponent form below 1E-04 and from 1E+15, so 1000.9999999999999 reads "1001". A negative zero
// is written "0".
std::string NumberText(double number) {
    if (std::isnan(number))
        return "NaN";
    if (std::isinf(number))
        return number < 0 ? "-Infinity" : "Infinity";
    if (number == 0)
        return "0";
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, number,
                                      std::chars_format::general, kSignificantDigits);
    std::string text(buffer, result.ptr);
    if (const std::size_t exponent = text.find('e'); exponent != std::string::npos)
        text[exponent] = 'E';
    return text;
}

std::string PadLeft(std::string_view text, std::size_t width) {
    const std::size_t length = CharacterCount(text);
    if (length >= width)
        return std::string(text);
    return std::string(width - length, '0') + std::string(text);
}

std::uint8_t ToByte(double number) {
    const double rounded = RoundHalfToEven(number);
    if (!(rounded >= 0 && rounded <= 255)) {
        throw ConversionError(ConversionError::Kind::OutOfRange,
                              NumberText(number) + " does not fit in 0 to 255");
    }
    return static_cast<std::uint8_t>(rounded);
}

std::string GainFlag(bool checked) {
    return checked ? "1" : "0";
}

// Only the space character (code 32) goes; tabs and other blanks such as the ideographic space
// stay, so a channel text reaches the board as typed apart from the spaces around it.
std::string TrimSpaces(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    const std::size_t last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

} // namespace quillon
