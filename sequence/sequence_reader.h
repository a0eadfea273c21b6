#pragma once

// A sequence as text: read from a file or a pipe within fixed bounds, and parsed whole into its
// steps before anything is sent. One bad line refuses it all.

#include "commands.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::sequence {

// Bounds on a sequence from outside: whatever a file or a pipe holds, reading stops at the
// first of them and memory stays small.
inline constexpr std::size_t kMaxSequenceBytes = 16 * 1024 * 1024;
inline constexpr std::size_t kMaxSequenceLines = 1'000'000;
inline constexpr std::size_t kMaxLineBytes = 4096;

// Everything `fd` holds, up to end of file. Throws Refusal ("NAME: …", naming the bound or the
// line) as soon as the text passes a bound or holds a NUL byte, without reading the rest; a read
// error is a Refusal too. `name` names the source in messages ("ramp.txt", "standard input"; none
// if empty).
std::string ReadSequenceText(int fd, const std::string& name);

// Everything the plain file at `path` holds, read as ReadSequenceText() reads. Anything else (a
// folder, a pipe, a device) is refused as "not a plain file" without waiting for it to give or
// take anything: for a reader that must never wait, such as the panel's window.
std::string ReadSequenceFile(const std::string& path);

// One command a line; blank lines are skipped, and a '#' at the start of a word starts a comment
// that runs to the end of its line. A UTF-8 byte-order mark at the very start is skipped. Throws
// Refusal whose message starts with "line N: " for the first bad line: a NUL byte, text that is
// not UTF-8, a line over kMaxLineBytes, more than kMaxSequenceLines lines, or a command that is
// refused.
std::vector<Step> ParseSequence(std::string_view text);

} // namespace quillon::sequence
