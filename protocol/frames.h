#pragma once

// The board's command protocol: conversions from the panel's texts to numbers and back, and
// the builders of the four commands. Plain standard C++, independent of the process locale.

#include "frame_layout.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quillon {

class ConversionError : public std::runtime_error {
public:
    enum class Kind { NotANumber, OutOfRange };

    // valueIndex: which value of a frame failed (0-based, in the builder's input order), or -1
    // when the error did not come from a frame builder.
    ConversionError(Kind kind, const std::string& message, int valueIndex = -1);

    Kind kind() const noexcept;
    int valueIndex() const noexcept;

private:
    Kind m_kind;
    int m_valueIndex;
};

double CoerceNumber(std::string_view text);
double LeadingNumber(std::string_view text);
double ScaleValue(double number, double factor);
std::string NumberText(double number);
std::string PadLeft(std::string_view text, std::size_t width);
std::uint8_t ToByte(double number);
std::string GainFlag(bool checked);
std::string TrimSpaces(std::string_view text);

struct ChannelEntry {
    std::string channel;
    bool gainChecked;
    std::string value;
};

std::string SingleChannelFrame(const ChannelEntry& entry);
std::string FourChannelFrame(const std::array<ChannelEntry, 4>& entries);
std::array<std::uint8_t, kFrameLength> EightChannelFrame(const std::array<std::string, 8>& values);
std::string ResetCommand();

} // namespace quillon
