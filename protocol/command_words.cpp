#include "command_words.h"

#include "frame_decoder.h"

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

std::optional<std::string> CommandWords(std::string_view frame) {
    const DecodeResult result = DecodeCommand(frame);
    if (!result.command)
        return std::nullopt;
    const DecodedCommand& command = *result.command;
    if (std::ranges::any_of(command.outputs, &ChannelOutput::gain))
        return std::nullopt;
    std::string words;
    switch (command.kind) {
    case DecodedCommand::Kind::Reset:
        return "reset";
    case DecodedCommand::Kind::SingleChannel: {
        const ChannelOutput& output = command.outputs.front();
        return "single " + Decimal(output.channel) + ' ' + Volts(output.fieldValue, 3);
    }
    case DecodedCommand::Kind::FourChannel:
        words = "four";
        for (const ChannelOutput& output : command.outputs)
            words += ' ' + Decimal(output.channel) + ':' + Volts(output.fieldValue, 2);
        return words;
    case DecodedCommand::Kind::EightChannel:
        words = "eight";
        for (const ChannelOutput& output : command.outputs)
            words += ' ' + Decimal(output.fieldValue);
        return words;
    }
    return std::nullopt;
}

} // namespace quillon
