#pragma once

// The commands of quillon-send as words ("single 0 1.100"), checked strictly and turned into the
// board's frames by the protocol library's builders. Shared by the command line and by play.

#include <QByteArray>

#include <chrono>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace quillon::cli {

// Input the program refuses: what() is one line naming the offending text and the accepted form.
class Refusal : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Frame {
    QByteArray bytes;
    bool binary = false; // the eight-channel frame; the others are text
};

struct Pause {
    std::chrono::milliseconds length{0};
};

using Step = std::variant<Frame, Pause>;

// words[0] is single, four, eight or reset; throws Refusal for anything the board should not get.
Frame ParseFrameCommand(const std::vector<std::string>& words);

// A line of a sequence: a frame command or "wait MS".
Step ParseSequenceCommand(const std::vector<std::string>& words);

// The frame as --dry-run prints it: text frames as text, the eight-channel frame as hex bytes.
std::string DisplayFrame(const Frame& frame);

} // namespace quillon::cli
