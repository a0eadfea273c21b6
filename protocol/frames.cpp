#include "frames.h"

#include "frame_layout.h"

#include <algorithm>
#include <cstddef>

namespace quillon {

namespace {

// Runs the conversion of one value, tagging a failure with the value's position in the
// builder's input, so the panel can point the operator at the box.
template <typename Conversion> auto ConvertValue(std::size_t index, Conversion convert) {
    try {
        return convert();
    } catch (const ConversionError& error) {
        throw ConversionError(error.kind(), error.what(), static_cast<int>(index));
    }
}

std::string VoltsField(std::string_view valueText, double scale, std::size_t width) {
    return PadLeft(NumberText(ScaleValue(CoerceNumber(valueText), scale)), width);
}

std::string ModePrefix(char mode) {
    return {mode, layout::kSecondByte};
}

} // namespace

std::string SingleChannelFrame(const ChannelEntry& entry) {
    const std::string field = ConvertValue(0, [&] {
        return VoltsField(entry.value, layout::kSingleChannelScale,
                          layout::kSingleChannelValueWidth);
    });
    return ModePrefix(layout::kSingleChannelMode) + entry.channel + GainFlag(entry.gainChecked) +
           field + std::string(layout::kSingleChannelTrailer);
}

// Every value is converted before anything is concatenated, first to fourth, so the first
// failing value is the one reported.
std::string FourChannelFrame(const std::array<ChannelEntry, 4>& entries) {
    std::array<std::string, 4> fields;
    for (std::size_t k = 0; k < entries.size(); ++k) {
        fields[k] = ConvertValue(k, [&] {
            return VoltsField(entries[k].value, layout::kFourChannelScale,
                              layout::kFourChannelValueWidth);
        });
    }
    std::string frame = ModePrefix(layout::kFourChannelMode);
    for (std::size_t k = 0; k < entries.size(); ++k)
        frame += entries[k].channel + GainFlag(entries[k].gainChecked) + fields[k];
    return frame;
}

std::array<std::uint8_t, kFrameLength> EightChannelFrame(const std::array<std::string, 8>& values) {
    static_assert(kFrameLength == 22 && layout::kEightChannelEntries == 8);
    std::array<std::uint8_t, kFrameLength> frame{};
    frame[0] = layout::kEightChannelMode;
    frame[1] = layout::kSecondByte;
    for (std::size_t k = 0; k < values.size(); ++k) {
        frame[layout::kModeWidth + 2 * k] = layout::kEightChannelMarker;
        frame[layout::kModeWidth + 2 * k + 1] =
            ConvertValue(k, [&] { return ToByte(LeadingNumber(values[k])); });
    }
    const auto& trailer = layout::kEightChannelTrailer;
    std::copy(trailer.begin(), trailer.end(), frame.end() - trailer.size());
    return frame;
}

std::string ResetCommand() {
    return std::string(1, layout::kResetByte);
}

} // namespace quillon
