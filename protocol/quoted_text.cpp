#include "quoted_text.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <deque>

namespace quillon {

namespace {

struct CodePoint {
    char32_t value = 0;
    std::size_t size = 1; // bytes taken from the text
    bool valid = false;
};

// One UTF-8 sequence from the front of `text`; overlong forms, surrogates and values beyond
// U+10FFFF are not valid.
CodePoint NextCodePoint(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x80)
        return {lead, 1, true};
    std::size_t size = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        size = 2, value = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        size = 3, value = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        size = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        return {};
    }
    if (text.size() < size)
        return {};
    for (std::size_t i = 1; i < size; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80)
            return {};
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return {};
    return {value, size, true};
}

bool IsControl(char32_t c) {
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F);
}

// Characters that reorder or break the line they stand in.
bool IsLayoutControl(char32_t c) {
    return (c >= 0x200E && c <= 0x200F) || (c >= 0x2028 && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

std::string Hex(std::uint32_t value, int width) {
    char digits[8];
    const auto end = std::to_chars(digits, digits + sizeof digits, value, 16).ptr;
    const auto length = std::size_t(end - digits);
    return std::string(length < std::size_t(width) ? std::size_t(width) - length : 0, '0') +
           std::string(digits, end);
}

std::string Escape(char32_t c) {
    switch (c) {
    case 0:
        return "\\0";
    case '\t':
        return "\\t";
    case '\n':
        return "\\n";
    case '\r':
        return "\\r";
    default:
        return c < 0x80 ? "\\x" + Hex(c, 2) : "\\u" + Hex(c, 4);
    }
}

// Calls `take` with each character of the text as it is shown: itself, or its escape.
template <typename Take> void ForEachShown(std::string_view utf8, Take take) {
    while (!utf8.empty()) {
        const CodePoint point = NextCodePoint(utf8);
        if (!point.valid)
            take("\\x" + Hex(static_cast<unsigned char>(utf8[0]), 2));
        else if (IsControl(point.value) || IsLayoutControl(point.value))
            take(Escape(point.value));
        else
            take(std::string(utf8.substr(0, point.size)));
        utf8.remove_prefix(point.valid ? point.size : 1);
    }
}

// An escape counts as the characters it is written with.
std::size_t Width(const std::string& shown) {
    return shown.size() > 1 && shown[0] == '\\' ? shown.size() : 1;
}

} // namespace

// The limit counts the characters shown, escapes included, so an excerpt of control characters
// is no longer than any other.
TextExcerpt Excerpt(std::string_view utf8, std::size_t maxCharacters) {
    TextExcerpt excerpt;
    std::size_t width = 0;
    ForEachShown(utf8, [&](const std::string& character) {
        ++excerpt.length;
        if (excerpt.cut)
            return;
        width += Width(character);
        if (width > maxCharacters)
            excerpt.cut = true;
        else
            excerpt.text += character;
    });
    return excerpt;
}

TextExcerpt PathExcerpt(std::string_view utf8, std::size_t maxCharacters) {
    TextExcerpt excerpt;
    std::deque<std::string> tail;
    std::size_t width = 0;
    ForEachShown(utf8, [&](const std::string& character) {
        ++excerpt.length;
        tail.push_back(character);
        width += Width(character);
        while (width > maxCharacters) {
            width -= Width(tail.front());
            tail.pop_front();
            excerpt.cut = true;
        }
    });
    for (const std::string& character : tail)
        excerpt.text += character;
    return excerpt;
}

std::string QuotedPath(std::string_view utf8) {
    const TextExcerpt excerpt = PathExcerpt(utf8);
    if (!excerpt.cut)
        return "\"" + excerpt.text + "\"";
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, excerpt.length).ptr;
    return "\"…" + excerpt.text + "\" (" + std::string(digits, end) + " characters)";
}

bool IsValidUtf8(std::string_view text) {
    while (!text.empty()) {
        const CodePoint point = NextCodePoint(text);
        if (!point.valid)
            return false;
        text.remove_prefix(point.size);
    }
    return true;
}

std::string QuotedText(std::string_view utf8) {
    const TextExcerpt excerpt = Excerpt(utf8);
    if (!excerpt.cut)
        return "\"" + excerpt.text + "\"";
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, excerpt.length).ptr;
    return "\"" + excerpt.text + "…\" (" + std::string(digits, end) + " characters)";
}

std::string HexBytes(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(bytes.size() * 3);
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        if (!hex.empty())
            hex += ' ';
        hex += kDigits[value >> 4];
        hex += kDigits[value & 0x0F];
    }
    return hex;
}

bool IsPrintableAscii(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char byte) { return byte >= 0x20 && byte < 0x7F; });
}

std::string EscapedBytes(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        if (byte == '\\')
            text += "\\\\";
        else if (byte >= 0x20 && byte < 0x7F)
            text += byte;
        else
            text += "\\x" + Hex(static_cast<unsigned char>(byte), 2);
    }
    return text;
}

} // namespace quillon
