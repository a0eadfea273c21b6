#pragma once

// Where each field of the board's command frames sits and what it holds. Shared by the frame
// builders and the decoder, so both read the wire the same way.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quillon {

// The nominal length of the three voltage frames; the reset command is one byte.
inline constexpr std::size_t kFrameLength = 22;

namespace layout {

inline constexpr char kSingleChannelMode = '0';
inline constexpr char kFourChannelMode = '1';
inline constexpr char kEightChannelMode = '2';
inline constexpr char kSecondByte = '0';
inline constexpr char kResetByte = 'U';

inline constexpr std::size_t kModeWidth = 2;
inline constexpr std::size_t kChannelWidth = 1; // nominal: the builders insert the text as typed
inline constexpr std::size_t kGainWidth = 1;

inline constexpr double kSingleChannelScale = 1000; // volts to millivolts
inline constexpr std::size_t kSingleChannelValueWidth = 4;
inline constexpr std::string_view kSingleChannelTrailer = "99999999999999";

inline constexpr double kFourChannelScale = 100; // volts to units of 10 mV
inline constexpr std::size_t kFourChannelValueWidth = 3;
inline constexpr std::size_t kFourChannelEntries = 4;

inline constexpr std::size_t kEightChannelEntries = 8;
inline constexpr std::uint8_t kEightChannelMarker = 0x31;
inline constexpr std::string_view kEightChannelTrailer = "9999";
inline constexpr double kFullScaleVolts = 5.0;
inline constexpr double kCodeSteps = 256; // output voltage = code / 256 * 5 V

inline constexpr int kFirstChannel = 0;
inline constexpr int kLastChannel = 7;

static_assert(kModeWidth + kChannelWidth + kGainWidth + kSingleChannelValueWidth +
                  kSingleChannelTrailer.size() ==
              kFrameLength);
static_assert(kModeWidth +
                  kFourChannelEntries * (kChannelWidth + kGainWidth + kFourChannelValueWidth) ==
              kFrameLength);
static_assert(kModeWidth + 2 * kEightChannelEntries + kEightChannelTrailer.size() == kFrameLength);

} // namespace layout
} // namespace quillon
