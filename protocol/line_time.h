#pragma once

// The board's line: 9600 baud, 8 data bits, no parity, 1 stop bit, so each byte takes ten bit
// times. Everything that paces frames or waits for them to leave counts with this.

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace quillon {

inline constexpr std::int64_t kLineBaud = 9600;
inline constexpr std::int64_t kLineBitsPerByte = 10; // start bit, 8 data bits, stop bit
inline constexpr std::int64_t kLineBytesPerSecond = kLineBaud / kLineBitsPerByte;
inline constexpr const char* kLineSettingsText = "9600 8N1";

// How long `bytes` bytes take on the line, in whole nanoseconds computed from the byte count, so
// that sums over long sequences add no rounding (22 bytes: 22.916666 ms).
constexpr std::chrono::nanoseconds LineTime(std::size_t bytes) {
    return std::chrono::nanoseconds(std::int64_t(bytes) * kLineBitsPerByte * 1'000'000'000 /
                                    kLineBaud);
}

} // namespace quillon
