#include "status_model.h"

#include <charconv>

namespace quillon::scpi {

namespace {

std::uint8_t EventBit(ErrorCode code) {
    const int value = static_cast<int>(code);
    if (value <= -400)
        return esr::kQueryError;
    if (value <= -300)
        return esr::kDeviceError;
    if (value <= -200)
        return esr::kExecutionError;
    if (value <= -100)
        return esr::kCommandError;
    return 0;
}

// A reason inside a SCPI string: printable ASCII only, no quote to double, cut short.
std::string SafeReason(std::string_view reason) {
    std::string safe;
    for (const char c : reason.substr(0, StatusModel::kLongestReason))
        safe += (c >= 0x20 && c < 0x7F && c != '"') ? c : '?';
    return safe;
}

} // namespace

std::string_view ErrorText(ErrorCode code) {
    switch (code) {
    case ErrorCode::NoError:
        return "No error";
    case ErrorCode::CommandError:
        return "Command error";
    case ErrorCode::SyntaxError:
        return "Syntax error";
    case ErrorCode::DataTypeError:
        return "Data type error";
    case ErrorCode::ParameterNotAllowed:
        return "Parameter not allowed";
    case ErrorCode::MissingParameter:
        return "Missing parameter";
    case ErrorCode::UndefinedHeader:
        return "Undefined header";
    case ErrorCode::HeaderSuffixOutOfRange:
        return "Header suffix out of range";
    case ErrorCode::DataOutOfRange:
        return "Data out of range";
    case ErrorCode::HardwareError:
        return "Hardware error";
    case ErrorCode::HardwareMissing:
        return "Hardware missing";
    case ErrorCode::QueueOverflow:
        return "Queue overflow";
    case ErrorCode::InputBufferOverrun:
        return "Input buffer overrun";
    }
    return "Command error";
}

void StatusModel::report(const Error& error) {
    m_eventStatus |= EventBit(error.code);
    if (m_errors.size() < kQueueLength) {
        m_errors.push_back({error.code, SafeReason(error.reason)});
        return;
    }
    m_errors.back() = {ErrorCode::QueueOverflow, {}};
    m_eventStatus |= EventBit(ErrorCode::QueueOverflow);
}

std::string StatusModel::takeOldestError() {
    Error error;
    if (!m_errors.empty()) {
        error = std::move(m_errors.front());
        m_errors.pop_front();
    }
    char number[8] = {};
    const auto result = std::to_chars(number, number + sizeof number, static_cast<int>(error.code));
    std::string text(number, result.ptr);
    text += ",\"";
    text += ErrorText(error.code);
    if (!error.reason.empty())
        text += ';' + error.reason;
    return text + '"';
}

void StatusModel::clear() {
    m_errors.clear();
    m_eventStatus = 0;
}

std::uint8_t StatusModel::takeEventStatus() {
    const std::uint8_t status = m_eventStatus;
    m_eventStatus = 0;
    return status;
}

std::uint8_t StatusModel::statusByte() const {
    std::uint8_t status = 0;
    if (!m_errors.empty())
        status |= stb::kErrorQueueNotEmpty;
    if (m_eventStatus & m_eventStatusEnable)
        status |= stb::kEventSummary;
    if (status & m_serviceRequestEnable)
        status |= stb::kMasterSummary;
    return status;
}

void StatusModel::setServiceRequestEnable(std::uint8_t mask) {
    m_serviceRequestEnable = mask & std::uint8_t(~stb::kMasterSummary);
}

} // namespace quillon::scpi
