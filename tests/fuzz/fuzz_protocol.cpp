// libFuzzer target for the board protocol. The first input byte picks the operation; the rest
// is its text, split at '|' into the values a builder takes. Each operation checks invariants
// and aborts when one breaks, so a wrong frame counts as a crash, not only a sanitizer report.

#include "frame_decoder.h"
#include "frames.h"
#include "fuzz_require.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

using quillon::ConversionError;

// The input split at '|' into `count` fields; the last one takes the rest as it is.
std::vector<std::string> Fields(std::string_view input, std::size_t count) {
    std::vector<std::string> fields(count);
    for (std::size_t k = 0; k + 1 < count; ++k) {
        const std::size_t bar = input.find('|');
        fields[k] = std::string(input.substr(0, bar));
        input = bar == std::string_view::npos ? std::string_view{} : input.substr(bar + 1);
    }
    fields[count - 1] = std::string(input);
    return fields;
}

bool IsAsciiDigits(std::string_view text) {
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return !text.empty();
}

bool IsChannelDigit(std::string_view channel) {
    return channel.size() == 1 && channel[0] >= '0' && channel[0] <= '7';
}

int DigitsValue(std::string_view digits) {
    int value = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return value;
}

// NumberText writes at most 15 significant digits, only these characters, and reads back as
// the number rounded to 15 digits.
void CheckNumberText(double number) {
    const std::string text = quillon::NumberText(number);
    REQUIRE(!text.empty());
    REQUIRE(text.find_first_not_of("0123456789.-E+") == std::string::npos);
    const std::size_t exponent = text.find('E');
    const std::string_view mantissa = std::string_view(text).substr(0, exponent);
    const std::size_t firstSignificant = mantissa.find_first_of("123456789");
    std::size_t significant = 0;
    if (firstSignificant != std::string_view::npos) {
        for (char c : mantissa.substr(firstSignificant))
            significant += c >= '0' && c <= '9';
    }
    REQUIRE(significant <= 15);
    double parsed = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), parsed);
    REQUIRE(result.ec == std::errc{} && result.ptr == text.data() + text.size());
    REQUIRE(std::fabs(parsed - number) <= 1e-14 * std::fabs(number) + 1e-323);
}

void CheckCoerceNumber(const std::string& text) {
    try {
        const double number = quillon::CoerceNumber(text);
        REQUIRE(std::isfinite(number));
        // A text the strict reader accepts reads the same way leniently.
        REQUIRE(quillon::LeadingNumber(text) == number);
        CheckNumberText(number);
    } catch (const ConversionError& error) {
        REQUIRE(error.valueIndex() == -1);
    }
}

void CheckLeadingNumber(const std::string& text) {
    try {
        const double number = quillon::LeadingNumber(text);
        REQUIRE(std::isfinite(number));
        CheckNumberText(number);
    } catch (const ConversionError& error) {
        REQUIRE(error.kind() == ConversionError::Kind::OutOfRange);
        REQUIRE(error.valueIndex() == -1);
    }
}

bool ConvertsToVoltsField(const std::string& value, double scale) {
    try {
        quillon::ScaleValue(quillon::CoerceNumber(value), scale);
        return true;
    } catch (const ConversionError&) {
        return false;
    }
}

std::string VoltsField(const std::string& value, double scale, std::size_t width) {
    const double scaled = quillon::ScaleValue(quillon::CoerceNumber(value), scale);
    CheckNumberText(scaled);
    return quillon::PadLeft(quillon::NumberText(scaled), width);
}

// The value decoded from a field of digits is the typed value to within 15-digit rounding.
void CheckDecodedVolts(double volts, std::string_view field, double scale,
                       const std::string& typed) {
    REQUIRE(volts == DigitsValue(field) / scale);
    REQUIRE(std::fabs(volts - quillon::CoerceNumber(typed)) <= 1e-9);
}

void CheckSingleChannelFrame(std::string_view input) {
    const auto fields = Fields(input, 3);
    const quillon::ChannelEntry entry{fields[0], fields[1] == "1", fields[2]};
    std::string frame;
    try {
        frame = quillon::SingleChannelFrame(entry);
    } catch (const ConversionError& error) {
        REQUIRE(error.valueIndex() == 0);
        REQUIRE(!ConvertsToVoltsField(entry.value, 1000));
        return;
    }
    const std::string field = VoltsField(entry.value, 1000, 4);
    REQUIRE(field.size() >= 4);
    REQUIRE(frame ==
            "00" + entry.channel + (entry.gainChecked ? "1" : "0") + field + "99999999999999");
    if (IsChannelDigit(entry.channel) && field.size() == 4 && IsAsciiDigits(field)) {
        const auto decoded = quillon::DecodeCommand(frame);
        REQUIRE(decoded.command && decoded.command->outputs.size() == 1);
        const auto& output = decoded.command->outputs[0];
        REQUIRE(output.channel == entry.channel[0] - '0' && output.gain == entry.gainChecked);
        CheckDecodedVolts(output.volts, field, 1000, entry.value);
    }
}

void CheckFourChannelFrame(std::string_view input) {
    const auto fields = Fields(input, 12);
    std::array<quillon::ChannelEntry, 4> entries;
    for (std::size_t k = 0; k < 4; ++k)
        entries[k] = {fields[3 * k], fields[3 * k + 1] == "1", fields[3 * k + 2]};
    std::string frame;
    try {
        frame = quillon::FourChannelFrame(entries);
    } catch (const ConversionError& error) {
        REQUIRE(error.valueIndex() >= 0 && error.valueIndex() < 4);
        for (int k = 0; k < error.valueIndex(); ++k)
            REQUIRE(ConvertsToVoltsField(entries[k].value, 100));
        REQUIRE(!ConvertsToVoltsField(entries[error.valueIndex()].value, 100));
        return;
    }
    REQUIRE(frame.compare(0, 2, "10") == 0);
    std::size_t position = 2;
    bool decodable = true;
    std::array<std::string, 4> valueFields;
    for (std::size_t k = 0; k < 4; ++k) {
        const auto& entry = entries[k];
        valueFields[k] = VoltsField(entry.value, 100, 3);
        const std::string group = entry.channel + (entry.gainChecked ? "1" : "0") + valueFields[k];
        REQUIRE(valueFields[k].size() >= 3);
        REQUIRE(frame.compare(position, group.size(), group) == 0);
        position += group.size();
        decodable = decodable && IsChannelDigit(entry.channel) && valueFields[k].size() == 3 &&
                    IsAsciiDigits(valueFields[k]);
    }
    REQUIRE(position == frame.size());
    if (decodable) {
        const auto decoded = quillon::DecodeCommand(frame);
        REQUIRE(decoded.command && decoded.command->outputs.size() == 4);
        for (std::size_t k = 0; k < 4; ++k) {
            const auto& output = decoded.command->outputs[k];
            REQUIRE(output.channel == entries[k].channel[0] - '0');
            REQUIRE(output.gain == entries[k].gainChecked);
            CheckDecodedVolts(output.volts, valueFields[k], 100, entries[k].value);
        }
    }
}

void CheckEightChannelFrame(std::string_view input) {
    const auto fields = Fields(input, 8);
    std::array<std::string, 8> values;
    std::copy(fields.begin(), fields.end(), values.begin());
    std::array<std::uint8_t, 22> frame;
    try {
        frame = quillon::EightChannelFrame(values);
    } catch (const ConversionError& error) {
        REQUIRE(error.kind() == ConversionError::Kind::OutOfRange);
        REQUIRE(error.valueIndex() >= 0 && error.valueIndex() < 8);
        for (int k = 0; k < error.valueIndex(); ++k) {
            const double number = quillon::LeadingNumber(values[k]);
            REQUIRE(number >= -0.5 && number <= 255.5);
        }
        return;
    }
    REQUIRE(frame[0] == 0x32 && frame[1] == 0x30);
    REQUIRE(frame[18] == 0x39 && frame[19] == 0x39 && frame[20] == 0x39 && frame[21] == 0x39);
    for (std::size_t k = 0; k < 8; ++k) {
        REQUIRE(frame[2 + 2 * k] == 0x31);
        REQUIRE(std::fabs(quillon::LeadingNumber(values[k]) - frame[3 + 2 * k]) <= 0.5);
    }
    const auto decoded = quillon::DecodeCommand(std::string(frame.begin(), frame.end()));
    REQUIRE(decoded.command && decoded.command->outputs.size() == 8);
    for (std::size_t k = 0; k < 8; ++k) {
        const auto& output = decoded.command->outputs[k];
        REQUIRE(output.channel == static_cast<int>(k) && !output.gain);
        REQUIRE(output.volts == frame[3 + 2 * k] / 256.0 * 5);
    }
}

std::string ChannelText(int channel) {
    return std::string(1, static_cast<char>('0' + channel));
}

// Bytes the decoder accepts are exactly what the builders make from the decoded outputs.
void CheckDecodeCommand(std::string_view bytes) {
    const auto decoded = quillon::DecodeCommand(bytes);
    if (!decoded.command) {
        REQUIRE(!decoded.reason.empty());
        return;
    }
    const auto& outputs = decoded.command->outputs;
    for (const auto& output : outputs) {
        REQUIRE(output.channel >= 0 && output.channel <= 7);
        REQUIRE(std::isfinite(output.volts) && output.volts >= 0 && output.volts < 10);
    }
    std::string rebuilt;
    switch (decoded.command->kind) {
    case quillon::DecodedCommand::Kind::Reset:
        rebuilt = quillon::ResetCommand();
        break;
    case quillon::DecodedCommand::Kind::SingleChannel:
        REQUIRE(outputs.size() == 1);
        rebuilt = quillon::SingleChannelFrame({ChannelText(outputs[0].channel), outputs[0].gain,
                                               quillon::NumberText(outputs[0].volts)});
        break;
    case quillon::DecodedCommand::Kind::FourChannel: {
        REQUIRE(outputs.size() == 4);
        std::array<quillon::ChannelEntry, 4> entries;
        for (std::size_t k = 0; k < 4; ++k) {
            entries[k] = {ChannelText(outputs[k].channel), outputs[k].gain,
                          quillon::NumberText(outputs[k].volts)};
        }
        rebuilt = quillon::FourChannelFrame(entries);
        break;
    }
    case quillon::DecodedCommand::Kind::EightChannel: {
        REQUIRE(outputs.size() == 8);
        std::array<std::string, 8> codes;
        for (std::size_t k = 0; k < 8; ++k)
            codes[k] = quillon::NumberText(outputs[k].volts / 5 * 256);
        const auto frame = quillon::EightChannelFrame(codes);
        rebuilt.assign(frame.begin(), frame.end());
        break;
    }
    }
    REQUIRE(rebuilt == bytes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 6) {
    case 0:
        CheckCoerceNumber(std::string(text));
        break;
    case 1:
        CheckLeadingNumber(std::string(text));
        break;
    case 2:
        CheckSingleChannelFrame(text);
        break;
    case 3:
        CheckFourChannelFrame(text);
        break;
    case 4:
        CheckEightChannelFrame(text);
        break;
    case 5:
        CheckDecodeCommand(text);
        break;
    }
    return 0;
}
