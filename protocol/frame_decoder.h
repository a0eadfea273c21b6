#pragma once

// Reads the board's commands back from the bytes on the wire, as the board itself would. The
// virtual board decodes what it receives with it, and the log makes a frame's command words
// from it; it shares the frame layout with the builders in frames.h.

#include "frame_layout.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

struct ChannelOutput {
    int channel;  // 0..7
    bool gain;    // the frame's gain flag was "1"
    double volts; // the output voltage the command sets
    // The value as the frame carries it: millivolts, tens of millivolts, or the raw code.
    int fieldValue;
};

struct DecodedCommand {
    enum class Kind { SingleChannel, FourChannel, EightChannel, Reset };
    Kind kind;
    std::vector<ChannelOutput> outputs; // in frame order; empty for Reset
};

struct DecodeResult {
    std::optional<DecodedCommand> command; // set when the bytes are one valid command
    std::string reason;                    // why they were rejected, otherwise
};

// Decodes exactly one whole command: "U", or a 22-byte frame of one of the three modes.
DecodeResult DecodeCommand(std::string_view bytes);

} // namespace quillon
