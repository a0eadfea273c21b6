#pragma once

// The board's log lines: one line per command received, the same on the console and in the
// window. Numbers are written without the process locale.

#include "frame_decoder.h"

#include <string>
#include <string_view>

namespace quillon::board {

// `value` rounded half away from zero to `decimals` places, always with a decimal point.
std::string FixedPoint(double value, int decimals);

// For example "single ch3 5.000 V gain" or "reset all channels 0 V".
std::string DescribeCommand(const DecodedCommand& command);

// For example "rejected (3 bytes): 41 42 0A (wrong length)".
std::string DescribeRejected(std::string_view bytes, std::string_view reason);

} // namespace quillon::board
