#include "board_fit.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

namespace quillon {

namespace {

// A value field's shape: `width` digits of the value in units of 1 / `scale` volt.
struct ValueField {
    double scale;
    std::size_t width;
};

constexpr ValueField kSingleChannelField{layout::kSingleChannelScale,
                                         layout::kSingleChannelValueWidth};
constexpr ValueField kFourChannelField{layout::kFourChannelScale, layout::kFourChannelValueWidth};

std::string VoltsText(double volts) {
    char text[32];
    char* end = std::to_chars(text, text + sizeof text, volts, std::chars_format::fixed).ptr;
    return std::string(text, end);
}

bool ChannelFits(const std::string& channel) {
    return channel.size() == layout::kChannelWidth && channel[0] >= '0' + layout::kFirstChannel &&
           channel[0] <= '0' + layout::kLastChannel;
}

// The field as the builder writes it, before it is filled with zeros to its width; read from
// that text, so that what is named is what goes out.
std::optional<Misfit> ValueMisfit(const std::string& value, ValueField field, std::size_t entry) {
    const std::string digits = NumberText(ScaleValue(CoerceNumber(value), field.scale));
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    if (std::ranges::all_of(digits, isDigit) && digits.size() <= field.width)
        return std::nullopt;
    if (digits.front() == '-')
        return Misfit{Misfit::Kind::NegativeValue, entry, value, {}};
    // An exponent form is either beyond any width or below the smallest step.
    const std::size_t integerEnd = digits.find_first_not_of("0123456789");
    const bool exponent = digits.find_first_of("Ee") != std::string::npos;
    const bool tooLarge = exponent ? std::abs(CoerceNumber(value) * field.scale) >= 1
                                   : std::min(integerEnd, digits.size()) > field.width;
    if (tooLarge) {
        const double largest = (std::pow(10.0, double(field.width)) - 1) / field.scale;
        return Misfit{Misfit::Kind::ValueTooLarge, entry, value, VoltsText(largest)};
    }
    return Misfit{Misfit::Kind::ValueTooFine, entry, value, VoltsText(1 / field.scale)};
}

void AddMisfits(const ChannelEntry& entry, ValueField field, std::size_t index,
                std::vector<Misfit>& misfits) {
    if (!ChannelFits(entry.channel))
        misfits.push_back({Misfit::Kind::Channel, index, entry.channel, {}});
    if (auto misfit = ValueMisfit(entry.value, field, index))
        misfits.push_back(std::move(*misfit));
}

} // namespace

std::vector<Misfit> SingleChannelMisfits(const ChannelEntry& entry) {
    std::vector<Misfit> misfits;
    AddMisfits(entry, kSingleChannelField, 0, misfits);
    return misfits;
}

std::vector<Misfit> FourChannelMisfits(const std::array<ChannelEntry, 4>& entries) {
    std::vector<Misfit> misfits;
    for (std::size_t k = 0; k < entries.size(); ++k)
        AddMisfits(entries[k], kFourChannelField, k, misfits);
    return misfits;
}

} // namespace quillon
