#include "command_text.h"

#include "command_words.h"
#include "quoted_text.h"

#include <QByteArray>

#include <cmath>
#include <string>

namespace quillon::board {

namespace {

// Decimals each command carries on the wire: millivolts, tens of millivolts; the eight-channel
// step of 5/256 V is shown to the millivolt.
int DecimalsOf(DecodedCommand::Kind kind) {
    return kind == DecodedCommand::Kind::FourChannel ? 2 : 3;
}

std::string DescribeOutput(const ChannelOutput& output, int decimals) {
    std::string text =
        "ch" + std::to_string(output.channel) + ' ' + FixedPoint(output.volts, decimals) + " V";
    if (output.gain)
        text += " gain";
    return text;
}

} // namespace

std::string FixedPoint(double value, int decimals) {
    long long scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    const long long scaled = std::llround(value * double(scale));
    const long long magnitude = scaled < 0 ? -scaled : scaled;
    std::string text = scaled < 0 ? "-" : "";
    text += std::to_string(magnitude / scale);
    if (decimals > 0) {
        const std::string fraction = std::to_string(magnitude % scale);
        text += '.' + std::string(std::size_t(decimals) - fraction.size(), '0') + fraction;
    }
    return text;
}

std::string DescribeCommand(const DecodedCommand& command) {
    if (command.kind == DecodedCommand::Kind::Reset)
        return std::string(kResetWord) + " all channels 0 V";
    std::string line(CommandWord(command.kind));
    const char* separator = " ";
    for (const ChannelOutput& output : command.outputs) {
        line += separator + DescribeOutput(output, DecimalsOf(command.kind));
        separator = ", ";
    }
    return line;
}

std::string DescribeRejected(std::string_view bytes, std::string_view reason) {
    std::string line =
        "rejected (" + std::to_string(bytes.size()) + (bytes.size() == 1 ? " byte):" : " bytes):");
    if (!bytes.empty())
        line += ' ' + HexBytes(bytes);
    if (!reason.empty())
        line.append(" (").append(reason).append(")");
    return line;
}

} // namespace quillon::board
