#pragma once

// Text from outside (a box, a file, an argument) quoted inside a message: control characters
// are written as escapes so a message can never recolour, retitle or clear a terminal, and a
// long text is cut short with its full length, so a message stays one readable line.

#include <cstddef>
#include <string>
#include <string_view>

namespace quillon {

inline constexpr std::size_t kQuotedCharacters = 40;

struct TextExcerpt {
    std::string text;       // UTF-8, escapes in place of control characters
    bool cut = false;       // only the first kQuotedCharacters characters are in `text`
    std::size_t length = 0; // characters in the whole text (an invalid byte counts as one)
};

// Control characters (below 0x20, 0x7F, the C1 range U+0080..U+009F) become "\0", "\t", "\n",
// "\r" or "\x1b"; bidirectional and line-separator controls become "\u202e" and the like; a byte
// that is not UTF-8 becomes "\xff".
TextExcerpt Excerpt(std::string_view utf8, std::size_t maxCharacters = kQuotedCharacters);

// Whether `text` is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsValidUtf8(std::string_view text);

// "\"abc\"", or "\"abcd…\" (20000000 characters)" when cut.
std::string QuotedText(std::string_view utf8);

// The end of a path, which names the file: at most `maxCharacters` characters shown, escaped as
// Excerpt() does, and cut at the front.
TextExcerpt PathExcerpt(std::string_view utf8, std::size_t maxCharacters = kQuotedCharacters);

// Bytes that are not text, as a person reads them: "32 30 31 14", uppercase pairs.
std::string HexBytes(std::string_view bytes);

// Whether every byte is printable ASCII (0x20 to 0x7E); true for no bytes.
bool IsPrintableAscii(std::string_view bytes);

// Bytes as one line of text that reads back unambiguously: printable ASCII as itself, a
// backslash as "\\", every other byte as "\xHH" ("OK\x0d\x0a").
std::string EscapedBytes(std::string_view bytes);

// "\"/dev/ttyUSB0\", or "\"…/rig/sequences/ramp.txt\" (64 characters)" when cut.
std::string QuotedPath(std::string_view utf8);

} // namespace quillon
