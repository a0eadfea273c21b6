#include "command_splitter.h"

namespace quillon::board {

namespace {

bool StartsWithReset(std::string_view bytes) {
    return !bytes.empty() && bytes.front() == 'U';
}

} // namespace

BurstSplit SplitCommands(std::string_view burst) {
    BurstSplit split;
    while (split.consumed < burst.size()) {
        const std::string_view rest = burst.substr(split.consumed);
        const std::string_view candidate =
            StartsWithReset(rest) ? rest.substr(0, 1) : rest.substr(0, kFrameLength);
        DecodeResult decoded = DecodeCommand(candidate);
        if (!decoded.command)
            break;
        split.commands.push_back({candidate, std::move(*decoded.command)});
        split.consumed += candidate.size();
    }
    return split;
}

} // namespace quillon::board
