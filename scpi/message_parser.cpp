#include "message_parser.h"

#include <charconv>
#include <limits>

namespace quillon::scpi {

namespace {

// Channel suffixes have one digit; a few more are read so that 09 and 10 are told apart from
// garbage, no more, so that a number never overflows.
constexpr std::size_t kLongestSuffix = 3;

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

std::string UpperText(std::string_view text) {
    std::string upper;
    for (const char c : text)
        upper += Upper(c);
    return upper;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

// Splits at `separator` outside quoted strings; nothing when a quote is left open.
std::optional<std::vector<std::string_view>> SplitOutsideQuotes(std::string_view text,
                                                                char separator) {
    std::vector<std::string_view> pieces;
    char quote = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (c == quote)
                quote = 0; // a doubled quote reopens at once on the next character
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == separator) {
            pieces.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    if (quote)
        return std::nullopt;
    pieces.push_back(text.substr(start));
    return pieces;
}

std::optional<Keyword> ReadKeyword(std::string_view text) {
    std::size_t letters = 0;
    while (letters < text.size() && (IsLetter(text[letters]) || text[letters] == '_'))
        ++letters;
    if (letters == 0)
        return std::nullopt;
    Keyword keyword{UpperText(text.substr(0, letters)), std::nullopt, false};
    const std::string_view digits = text.substr(letters);
    for (const char c : digits) {
        if (!IsDigit(c))
            return std::nullopt;
    }
    if (digits.empty())
        return keyword;
    if (digits.size() > kLongestSuffix) {
        keyword.suffixTooLong = true;
        return keyword;
    }
    int suffix = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), suffix);
    keyword.suffix = suffix;
    return keyword;
}

std::optional<Header> ReadHeader(std::string_view text) {
    Header header;
    if (!text.empty() && text.back() == '?') {
        header.query = true;
        text.remove_suffix(1);
    }
    if (!text.empty() && text.front() == '*') {
        const std::string_view name = text.substr(1);
        if (name.empty())
            return std::nullopt;
        for (const char c : name) {
            if (!IsLetter(c))
                return std::nullopt;
        }
        header.kind = Header::Kind::Common;
        header.common = '*' + UpperText(name);
        return header;
    }
    if (!text.empty() && text.front() == ':') {
        header.kind = Header::Kind::FromRoot;
        text.remove_prefix(1);
    }
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != ':')
            continue;
        const std::optional<Keyword> keyword = ReadKeyword(text.substr(start, i - start));
        if (!keyword)
            return std::nullopt;
        header.keywords.push_back(*keyword);
        start = i + 1;
    }
    return header;
}

// Decimal numeric data: [+-] digits [. digits] [E [+-] digits], then an optional unit.
std::optional<Parameter> ReadNumber(std::string_view text) {
    std::size_t at = 0;
    std::string mantissa;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        if (text[at] == '-')
            mantissa += '-';
        ++at;
    }
    std::size_t digits = 0;
    while (at < text.size() && IsDigit(text[at])) {
        mantissa += text[at++];
        ++digits;
    }
    if (at < text.size() && text[at] == '.') {
        mantissa += text[at++];
        while (at < text.size() && IsDigit(text[at])) {
            mantissa += text[at++];
            ++digits;
        }
    }
    if (digits == 0)
        return std::nullopt;
    std::size_t afterMantissa = at;
    while (afterMantissa < text.size() && IsSpace(text[afterMantissa]))
        ++afterMantissa;
    if (afterMantissa < text.size() && Upper(text[afterMantissa]) == 'E') {
        std::size_t e = afterMantissa + 1;
        while (e < text.size() && IsSpace(text[e]))
            ++e;
        std::string exponent = "e";
        if (e < text.size() && (text[e] == '+' || text[e] == '-')) {
            if (text[e] == '-')
                exponent += '-';
            ++e;
        }
        while (e < text.size() && IsSpace(text[e]))
            ++e;
        const std::size_t exponentDigits = e;
        while (e < text.size() && IsDigit(text[e]))
            exponent += text[e++];
        // An E with no digits after it is the start of a unit, not an exponent.
        if (e > exponentDigits) {
            mantissa += exponent;
            at = e;
        }
    }
    Parameter parameter;
    parameter.kind = Parameter::Kind::Number;
    const auto result =
        std::from_chars(mantissa.data(), mantissa.data() + mantissa.size(), parameter.number);
    if (result.ec == std::errc::result_out_of_range)
        parameter.number =
            (mantissa.front() == '-' ? -1 : 1) * std::numeric_limits<double>::infinity();
    else if (result.ec != std::errc() || result.ptr != mantissa.data() + mantissa.size())
        return std::nullopt;
    const std::string_view unit = Trimmed(text.substr(at));
    for (const char c : unit) {
        if (!IsLetter(c))
            return std::nullopt;
    }
    parameter.unit = UpperText(unit);
    return parameter;
}

std::optional<Parameter> ReadString(std::string_view text) {
    const char quote = text.front();
    if (text.size() < 2 || text.back() != quote)
        return std::nullopt;
    Parameter parameter;
    parameter.kind = Parameter::Kind::String;
    for (std::size_t i = 1; i + 1 < text.size(); ++i) {
        if (text[i] == quote) {
            if (i + 2 >= text.size() || text[i + 1] != quote)
                return std::nullopt;
            ++i;
        }
        parameter.text += text[i];
    }
    return parameter;
}

std::optional<Parameter> ReadParameter(std::string_view text) {
    if (text.empty())
        return std::nullopt;
    if (text.front() == '"' || text.front() == '\'')
        return ReadString(text);
    if (IsLetter(text.front())) {
        for (const char c : text) {
            if (!IsLetter(c) && !IsDigit(c) && c != '_')
                return std::nullopt;
        }
        Parameter parameter;
        parameter.kind = Parameter::Kind::Characters;
        parameter.text = UpperText(text);
        return parameter;
    }
    return ReadNumber(text);
}

MessageUnit ReadUnit(std::string_view text) {
    MessageUnit unit;
    text = Trimmed(text);
    std::size_t headerEnd = 0;
    while (headerEnd < text.size() && !IsSpace(text[headerEnd]))
        ++headerEnd;
    const std::optional<Header> header = ReadHeader(text.substr(0, headerEnd));
    if (!header) {
        unit.malformed = ErrorCode::SyntaxError;
        return unit;
    }
    unit.header = *header;
    const std::string_view data = Trimmed(text.substr(headerEnd));
    if (data.empty())
        return unit;
    const auto pieces = SplitOutsideQuotes(data, ',');
    if (!pieces) {
        unit.malformed = ErrorCode::SyntaxError;
        return unit;
    }
    for (const std::string_view piece : *pieces) {
        const std::optional<Parameter> parameter = ReadParameter(Trimmed(piece));
        if (!parameter) {
            unit.malformed = ErrorCode::SyntaxError;
            unit.parameters.clear();
            return unit;
        }
        unit.parameters.push_back(*parameter);
    }
    return unit;
}

} // namespace

LineAssembler::Result LineAssembler::feed(char byte) {
    if (byte == '\n') {
        if (m_overrun) {
            m_overrun = false;
            return Result::Overrun;
        }
        if (!m_line.empty() && m_line.back() == '\r')
            m_line.pop_back();
        return Result::Line;
    }
    if (m_overrun)
        return Result::Pending;
    if (m_line.size() >= kLongestLine) {
        m_line.clear();
        m_line.shrink_to_fit();
        m_overrun = true;
        return Result::Pending;
    }
    m_line += byte;
    return Result::Pending;
}

std::string LineAssembler::takeLine() {
    std::string line;
    line.swap(m_line);
    return line;
}

std::vector<MessageUnit> SplitProgramMessage(std::string_view line) {
    std::vector<MessageUnit> units;
    if (Trimmed(line).empty())
        return units;
    const auto pieces = SplitOutsideQuotes(line, ';');
    if (!pieces) {
        MessageUnit unit;
        unit.malformed = ErrorCode::SyntaxError;
        units.push_back(unit);
        return units;
    }
    for (const std::string_view piece : *pieces) {
        // A line may end with ';'; an empty unit anywhere else is a syntax error.
        if (Trimmed(piece).empty() && piece.data() + piece.size() == line.data() + line.size() &&
            !units.empty())
            break;
        units.push_back(ReadUnit(piece));
    }
    return units;
}

} // namespace quillon::scpi
