#pragma once

// The words of a command as a sequence writes it ("single 3 2.500"), made from the bytes of a
// frame by the decoder, so that a record of the line says what the wire carried.

#include "frame_decoder.h"

#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// The words that name the board's commands wherever a person or a script writes or reads them:
// sequences, logs, quillon-send's command line and the virtual board's printout.
inline constexpr std::string_view kSingleWord = "single";
inline constexpr std::string_view kFourWord = "four";
inline constexpr std::string_view kEightWord = "eight";
inline constexpr std::string_view kResetWord = "reset";

// The word of a kind of command.
std::string_view CommandWord(DecodedCommand::Kind kind);

// Canonical words for a frame that a sequence could send again byte for byte: `single CH V.VVV`,
// `four CH:V.VV CH:V.VV CH:V.VV CH:V.VV`, `eight C C C C C C C C` or `reset`. Nothing for bytes
// that are not one such command, that carry a gain flag of "1", or that name a channel twice in
// a four-channel frame, none of which sequences send.
std::optional<std::string> CommandWords(std::string_view frame);

} // namespace quillon
