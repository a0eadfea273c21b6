#pragma once

// Cuts the bytes of one burst (what arrived between two pauses on the line) into commands.

#include "frame_decoder.h"

#include <cstddef>
#include <string_view>
#include <vector>

namespace quillon::board {

struct SplitCommand {
    std::string_view bytes;
    DecodedCommand command;
};

struct BurstSplit {
    std::vector<SplitCommand> commands; // whole valid commands from the front of the burst
    std::size_t consumed = 0;           // bytes they cover; the rest did not decode
};

// Takes "U" or a valid 22-byte frame from the front, again and again, until the rest is empty
// or does not start with a valid command. The views point into `burst`.
BurstSplit SplitCommands(std::string_view burst);

} // namespace quillon::board
