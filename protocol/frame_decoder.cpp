#include "frame_decoder.h"

#include <charconv>
#include <cstdint>

namespace quillon {

namespace {

struct Rejection {
    std::string reason;
};

std::string ByteName(char byte) {
    const auto value = static_cast<unsigned char>(byte);
    if (value >= 0x20 && value < 0x7F)
        return std::string("'") + byte + "'";
    char hex[2];
    char* end = std::to_chars(hex, hex + 2, value, 16).ptr;
    return (value < 0x10 ? "0x0" : "0x") + std::string(hex, end);
}

std::string DecimalText(std::size_t number) {
    char digits[24];
    char* end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    return std::string(digits, end);
}

std::string AtOffset(std::size_t offset) {
    return " at offset " + DecimalText(offset);
}

// Walks a frame field by field; any byte out of place ends the decoding with a reason.
class FrameReader {
public:
    explicit FrameReader(std::string_view bytes) : m_bytes(bytes) {}

    void expect(char wanted, std::string_view what) {
        const char byte = next();
        if (byte != wanted) {
            reject(std::string(what) + " must be " + ByteName(wanted) + ", got " + ByteName(byte),
                   m_position - 1);
        }
    }

    void expectText(std::string_view wanted, std::string_view what) {
        for (char c : wanted) {
            const char byte = next();
            if (byte != c) {
                reject(std::string(what) + " must be \"" + std::string(wanted) + "\", got " +
                           ByteName(byte),
                       m_position - 1);
            }
        }
    }

    int channel() {
        const char byte = next();
        const int channel = byte - '0';
        if (channel < layout::kFirstChannel || channel > layout::kLastChannel)
            reject("channel must be a digit 0 to 7, got " + ByteName(byte), m_position - 1);
        return channel;
    }

    bool gain() {
        const char byte = next();
        if (byte != '0' && byte != '1')
            reject("gain flag must be '0' or '1', got " + ByteName(byte), m_position - 1);
        return byte == '1';
    }

    int digits(std::size_t count) {
        int value = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const char byte = next();
            if (byte < '0' || byte > '9')
                reject("set value has the non-digit " + ByteName(byte), m_position - 1);
            value = value * 10 + (byte - '0');
        }
        return value;
    }

    std::uint8_t byte() { return static_cast<std::uint8_t>(next()); }

private:
    char next() { return m_bytes[m_position++]; }

    [[noreturn]] void reject(const std::string& reason, std::size_t offset) {
        throw Rejection{reason + AtOffset(offset)};
    }

    std::string_view m_bytes;
    std::size_t m_position = 0;
};

DecodedCommand SingleChannel(FrameReader& reader) {
    ChannelOutput output{};
    output.channel = reader.channel();
    output.gain = reader.gain();
    output.fieldValue = reader.digits(layout::kSingleChannelValueWidth);
    output.volts = output.fieldValue / layout::kSingleChannelScale;
    reader.expectText(layout::kSingleChannelTrailer, "trailer");
    return {DecodedCommand::Kind::SingleChannel, {output}};
}

DecodedCommand FourChannel(FrameReader& reader) {
    DecodedCommand command{DecodedCommand::Kind::FourChannel, {}};
    for (std::size_t k = 0; k < layout::kFourChannelEntries; ++k) {
        ChannelOutput output{};
        output.channel = reader.channel();
        output.gain = reader.gain();
        output.fieldValue = reader.digits(layout::kFourChannelValueWidth);
        output.volts = output.fieldValue / layout::kFourChannelScale;
        command.outputs.push_back(output);
    }
    return command;
}

DecodedCommand EightChannel(FrameReader& reader) {
    DecodedCommand command{DecodedCommand::Kind::EightChannel, {}};
    for (std::size_t k = 0; k < layout::kEightChannelEntries; ++k) {
        reader.expect(static_cast<char>(layout::kEightChannelMarker), "channel marker");
        const int code = reader.byte();
        command.outputs.push_back(ChannelOutput{
            static_cast<int>(k), false, code / layout::kCodeSteps * layout::kFullScaleVolts, code});
    }
    reader.expectText(layout::kEightChannelTrailer, "trailer");
    return command;
}

bool IsModeByte(char byte) {
    return byte == layout::kSingleChannelMode || byte == layout::kFourChannelMode ||
           byte == layout::kEightChannelMode;
}

DecodedCommand DecodeFrame(std::string_view bytes) {
    FrameReader reader(bytes);
    const char mode = static_cast<char>(reader.byte());
    if (!IsModeByte(mode))
        throw Rejection{"unknown mode byte " + ByteName(mode)};
    reader.expect(layout::kSecondByte, "second byte");
    if (mode == layout::kSingleChannelMode)
        return SingleChannel(reader);
    if (mode == layout::kFourChannelMode)
        return FourChannel(reader);
    return EightChannel(reader);
}

std::string LengthReason(std::size_t length) {
    return "wrong length: " + DecimalText(length) + " bytes, a frame has " + DecimalText(kFrameLength);
}

} // namespace

DecodeResult DecodeCommand(std::string_view bytes) {
    if (bytes.empty())
        return {std::nullopt, "empty command"};
    if (bytes.size() == 1) {
        if (bytes[0] == layout::kResetByte)
            return {DecodedCommand{DecodedCommand::Kind::Reset, {}}, {}};
        return {std::nullopt, "unknown one-byte command " + ByteName(bytes[0])};
    }
    if (bytes.size() != kFrameLength)
        return {std::nullopt, LengthReason(bytes.size())};
    try {
        return {DecodeFrame(bytes), {}};
    } catch (const Rejection& rejection) {
        return {std::nullopt, rejection.reason};
    }
}

} // namespace quillon
