#pragma once

// The board's commands as words ("single 0 1.100"), checked strictly and turned into the board's
// frames by the protocol library's builders. Shared by quillon-send's command line, the
// sequences it and the panel play, and the log they both write.

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace quillon::sequence {

// Input the programs refuse: what() is one line naming the offending text (quoted safely) and
// the accepted form.
class Refusal : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Frame {
    std::string bytes;
    bool binary = false; // the eight-channel frame; the others are text
};

struct Pause {
    std::chrono::milliseconds length{0};
};

using Step = std::variant<Frame, Pause>;

// The longest pause a sequence may hold.
inline constexpr std::chrono::milliseconds kLongestPause = std::chrono::hours(24);

// words[0] is single, four, eight or reset; throws Refusal for anything the board should not get.
Frame ParseFrameCommand(const std::vector<std::string>& words);

// A line of a sequence: a frame command or "wait MS".
Step ParseSequenceCommand(const std::vector<std::string>& words);

// The frame as --dry-run prints it: text frames as text, the eight-channel frame as hex bytes.
std::string DisplayFrame(const Frame& frame);

// The canonical words of a step, which parse back to the same step: "wait 250", or the
// command's words made from the frame's bytes; nothing for a frame no command makes.
std::optional<std::string> StepWords(const Step& step);

} // namespace quillon::sequence
