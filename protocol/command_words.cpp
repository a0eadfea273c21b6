#include "command_words.h"

#include <algorithm>
#include <charconv>

namespace quillon {

namespace {

std::string Decimal(int value) {
    char digits[16];
    return {digits, std::to_chars(digits, digits + sizeof digits, value).ptr};
}

// A field of whole units (millivolts, tens of millivolts) written as volts with `decimals`
// places, from the integer itself so no rounding can creep in.
std::string Volts(int units, int decimals) {
    const int scale = decimals == 3 ? 1000 : 100;
    std::string fraction = Decimal(units % scale);
    fraction.insert(0, std::size_t(decimals) - fraction.size(), '0');
    return Decimal(units / scale) + '.' + fraction;
}

} // namespace

std::string_view CommandWord(DecodedCommand::Kind kind) {
    switch (kind) {
    case DecodedCommand::Kind::SingleChannel:
        return kSingleWord;
    case DecodedCommand::Kind::FourChannel:
        return kFourWord;
    case DecodedCommand::Kind::EightChannel:
        return kEightWord;
    case DecodedCommand::Kind::Reset:
        return kResetWord;
    }
    return {};
}

std::optional<std::string> CommandWords(std::string_view frame) {
    const DecodeResult result = DecodeCommand(frame);
    if (!result.command)
        return std::nullopt;
    const DecodedCommand& command = *result.command;
    if (std::ranges::any_of(command.outputs, &ChannelOutput::gain))
        return std::nullopt;
    // Sequences refuse a four-channel frame that names a channel twice.
    if (command.kind == DecodedCommand::Kind::FourChannel) {
        for (std::size_t k = 1; k < command.outputs.size(); ++k) {
            for (std::size_t earlier = 0; earlier < k; ++earlier) {
                if (command.outputs[earlier].channel == command.outputs[k].channel)
                    return std::nullopt;
            }
        }
    }
    std::string words(CommandWord(command.kind));
    switch (command.kind) {
    case DecodedCommand::Kind::Reset:
        return words;
    case DecodedCommand::Kind::SingleChannel: {
        const ChannelOutput& output = command.outputs.front();
        return words + ' ' + Decimal(output.channel) + ' ' + Volts(output.fieldValue, 3);
    }
    case DecodedCommand::Kind::FourChannel:
        for (const ChannelOutput& output : command.outputs)
            words += ' ' + Decimal(output.channel) + ':' + Volts(output.fieldValue, 2);
        return words;
    case DecodedCommand::Kind::EightChannel:
        for (const ChannelOutput& output : command.outputs)
            words += ' ' + Decimal(output.fieldValue);
        return words;
    }
    return std::nullopt;
}

} // namespace quillon
