#pragma once

// What of a text frame's inputs the board will not take. The panel builds and sends its text
// frames as typed (a channel "9", a value "12.5" that makes a fifth digit), so that the bytes
// stay those of its conversions; these name the fields the board will reject, so the operator
// can be told what was sent.

#include "frames.h"

#include <array>
#include <string>
#include <vector>

namespace quillon {

struct Misfit {
    enum class Kind {
        Channel,       // not one digit 0 to 7
        NegativeValue, // a sign lands in the value field
        ValueTooLarge, // the value field has more digits than its width
        ValueTooFine,  // the value field has a point: finer than the frame's step
    };
    Kind kind;
    std::size_t entry; // in the builder's input order: 0 for single-channel, the column for four
    std::string typed; // the channel text or the value text, as given to the builder
    // In volts, for a value: the largest the field carries ("9.999") for ValueTooLarge, the step
    // ("0.001") for ValueTooFine; empty otherwise.
    std::string limit;
};

// Call with inputs the builder took; a value that does not convert throws ConversionError, as
// the builder does. Empty when the board takes the frame.
std::vector<Misfit> SingleChannelMisfits(const ChannelEntry& entry);
std::vector<Misfit> FourChannelMisfits(const std::array<ChannelEntry, 4>& entries);

} // namespace quillon
