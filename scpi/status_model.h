#pragma once

// IEEE 488.2's status registers and SCPI's error queue for one client: the event status (ESR)
// with its enable mask (ESE), the status byte (STB) with its service request enable (SRE), and
// the oldest-first queue of errors that SYSTem:ERRor? reads.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace quillon::scpi {

// SCPI's error codes that this instrument reports, with SCPI's own texts.
enum class ErrorCode : int {
    NoError = 0,
    CommandError = -100,
    SyntaxError = -102,
    DataTypeError = -104,
    ParameterNotAllowed = -108,
    MissingParameter = -109,
    UndefinedHeader = -113,
    HeaderSuffixOutOfRange = -114,
    DataOutOfRange = -222,
    HardwareError = -240,
    HardwareMissing = -241,
    QueueOverflow = -350,
    InputBufferOverrun = -363,
};

std::string_view ErrorText(ErrorCode code);

struct Error {
    ErrorCode code = ErrorCode::NoError;
    std::string reason; // told after a ';' inside the quotes, e.g. "Hardware error;line busy"
};

// The event status register's bits.
namespace esr {
inline constexpr std::uint8_t kOperationComplete = 1 << 0;
inline constexpr std::uint8_t kQueryError = 1 << 2;
inline constexpr std::uint8_t kDeviceError = 1 << 3;
inline constexpr std::uint8_t kExecutionError = 1 << 4;
inline constexpr std::uint8_t kCommandError = 1 << 5;
} // namespace esr

// The status byte's bits.
namespace stb {
inline constexpr std::uint8_t kErrorQueueNotEmpty = 1 << 2;
inline constexpr std::uint8_t kEventSummary = 1 << 5;
inline constexpr std::uint8_t kMasterSummary = 1 << 6;
} // namespace stb

class StatusModel {
public:
    static constexpr std::size_t kQueueLength = 16;
    // The longest reason kept with an error, so that a reply stays one short line.
    static constexpr std::size_t kLongestReason = 80;

    // Queues the error (the last place becomes -350 when the queue is full) and sets its
    // class's bit in the event status.
    void report(const Error& error);
    // The oldest error as SYSTem:ERRor? answers it: -113,"Undefined header".
    std::string takeOldestError();
    // *CLS: the error queue and the event status emptied.
    void clear();

    void setOperationComplete() { m_eventStatus |= esr::kOperationComplete; }
    // *ESR? reads and clears.
    std::uint8_t takeEventStatus();
    std::uint8_t statusByte() const;

    void setEventStatusEnable(std::uint8_t mask) { m_eventStatusEnable = mask; }
    std::uint8_t eventStatusEnable() const { return m_eventStatusEnable; }
    // Bit 6 of the service request enable is ignored, as IEEE 488.2 asks.
    void setServiceRequestEnable(std::uint8_t mask);
    std::uint8_t serviceRequestEnable() const { return m_serviceRequestEnable; }

    std::size_t queuedErrors() const { return m_errors.size(); }

private:
    std::deque<Error> m_errors;
    std::uint8_t m_eventStatus = 0;
    std::uint8_t m_eventStatusEnable = 0;
    std::uint8_t m_serviceRequestEnable = 0;
};

} // namespace quillon::scpi
