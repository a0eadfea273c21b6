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
// that sums over long sequences add no rounding (22 bytes: 22.916666 ms). Whole multiples of the
// baud rate are counted apart from the rest, so 30 days of bytes do not overflow the product.
constexpr std::chrono::nanoseconds LineTime(std::size_t bytes) {
    constexpr std::int64_t kPerByte = kLineBitsPerByte * 1'000'000'000; // over kLineBaud
    const auto count = std::int64_t(bytes);
    return std::chrono::nanoseconds(count / kLineBaud * kPerByte +
                                    count % kLineBaud * kPerByte / kLineBaud);
}

static_assert(LineTime(22).count() == 22'916'666);
static_assert(LineTime(2'488'320'000).count() == 2'592'000'000'000'000); // 30 days of bytes

} // namespace quillon
