#include "session.h"

#include "command_table.h"
#include "commands.h"
#include "frame_layout.h"
#include "frames.h"

#include <charconv>
#include <cmath>
#include <optional>

namespace quillon::scpi {

namespace {

constexpr std::string_view kManufacturer = "Quillon";
constexpr std::string_view kModel = "DAC8";
constexpr std::string_view kSerialNumber = "0";
constexpr std::string_view kScpiVersion = "1999.0";
// SCPI's stand-in for a value not known.
constexpr std::string_view kNotKnown = "9.91E+37";
constexpr int kChannelCount = layout::kLastChannel - layout::kFirstChannel + 1;

// The single-channel frame's field holds whole millivolts in so many digits.
constexpr double kMillivoltsPerVolt = layout::kSingleChannelScale;
constexpr double MostMillivolts() {
    double most = 1;
    for (std::size_t i = 0; i < layout::kSingleChannelValueWidth; ++i)
        most *= 10;
    return most - 1;
}
constexpr double kMostSingleVolts = MostMillivolts() / kMillivoltsPerVolt;
constexpr double kLargestCode = layout::kCodeSteps - 1;
constexpr double kMostCodeVolts = kLargestCode * layout::kFullScaleVolts / layout::kCodeSteps;
// The status registers' masks are bytes.
constexpr int kLargestMask = 255;

std::string Integer(long long value) {
    char text[24] = {};
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string Shortest(double value) {
    char text[40] = {};
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string Millivolts(double volts) {
    char text[40] = {};
    const auto result = std::to_chars(text, text + sizeof text, volts, std::chars_format::fixed, 3);
    return std::string(text, result.ptr);
}

std::string CodeVolts(int code) {
    return Shortest(code * layout::kFullScaleVolts / layout::kCodeSteps);
}

// A value in volts: a number in V or mV, or MIN, MAX or DEF (0 V). Nothing with the error.
struct Volts {
    double value = 0;
    ErrorCode error = ErrorCode::NoError;
};

Volts ReadVolts(const Parameter& parameter, double most) {
    switch (parameter.kind) {
    case Parameter::Kind::Number:
        if (parameter.unit.empty() || parameter.unit == "V")
            return {parameter.number};
        if (parameter.unit == "MV")
            return {parameter.number / kMillivoltsPerVolt};
        return {0, ErrorCode::DataTypeError};
    case Parameter::Kind::Characters:
        if (parameter.text == "MIN" || parameter.text == "MINIMUM" || parameter.text == "DEF" ||
            parameter.text == "DEFAULT")
            return {0};
        if (parameter.text == "MAX" || parameter.text == "MAXIMUM")
            return {most};
        return {0, ErrorCode::DataTypeError};
    case Parameter::Kind::String:
        break;
    }
    return {0, ErrorCode::DataTypeError};
}

// A whole number for a register or a code: rounded as IEEE 488.2 asks, within 0..most.
struct Whole {
    int value = 0;
    ErrorCode error = ErrorCode::NoError;
};

Whole ReadWhole(const Parameter& parameter, int most, bool roundFractions) {
    if (parameter.kind == Parameter::Kind::Characters) {
        if (parameter.text == "MIN" || parameter.text == "MINIMUM" || parameter.text == "DEF" ||
            parameter.text == "DEFAULT")
            return {0};
        if (parameter.text == "MAX" || parameter.text == "MAXIMUM")
            return {most};
    }
    if (parameter.kind != Parameter::Kind::Number || !parameter.unit.empty())
        return {0, ErrorCode::DataTypeError};
    const double rounded = std::nearbyint(parameter.number);
    if (!roundFractions && rounded != parameter.number)
        return {0, ErrorCode::DataOutOfRange};
    if (!(rounded >= 0 && rounded <= most))
        return {0, ErrorCode::DataOutOfRange};
    return {static_cast<int>(rounded)};
}

} // namespace

ChannelReadback::ChannelReadback() : m_answers(kChannelCount, std::string(kNotKnown)) {}

const std::string& ChannelReadback::answer(int channel) const {
    return m_answers.at(std::size_t(channel - layout::kFirstChannel));
}

void ChannelReadback::set(int channel, std::string answer) {
    m_answers.at(std::size_t(channel - layout::kFirstChannel)) = std::move(answer);
}

void ChannelReadback::setAll(const std::string& answer) {
    for (std::string& each : m_answers)
        each = answer;
}

Session::Session(FrameSink& sink, ChannelReadback& readback, std::string version)
    : m_sink(sink), m_readback(readback), m_version(std::move(version)) {}

std::string Session::receive(std::string_view bytes) {
    if (m_input.size() - m_consumed + bytes.size() > kLongestHeldInput) {
        m_status.report({ErrorCode::InputBufferOverrun, {}});
        return run();
    }
    m_input.append(bytes);
    return run();
}

std::string Session::framesDone() {
    if (m_operationCompleteArmed) {
        m_operationCompleteArmed = false;
        m_status.setOperationComplete();
    }
    if (m_hold == Hold::OperationCompleteQuery)
        m_answers.push_back("1");
    m_hold = Hold::None;
    return run();
}

void Session::reportDroppedFrame(std::string_view reason) {
    m_status.report({ErrorCode::HardwareError, std::string(reason)});
}

std::size_t Session::bufferedBytes() const {
    return m_assembler.bufferedBytes() + (m_input.size() - m_consumed);
}

std::string Session::run() {
    std::string replies;
    while (!isHeld()) {
        while (m_nextUnit < m_units.size()) {
            const Flow flow = execute(m_units[m_nextUnit++]);
            if (flow == Flow::Hold)
                return replies;
            if (flow == Flow::StopLine)
                m_nextUnit = m_units.size();
        }
        if (m_lineOpen)
            replies += finishLine();
        if (m_consumed == m_input.size()) {
            m_input.clear();
            m_consumed = 0;
            break;
        }
        switch (m_assembler.feed(m_input[m_consumed++])) {
        case LineAssembler::Result::Pending:
            break;
        case LineAssembler::Result::Line:
            startLine(m_assembler.takeLine());
            break;
        case LineAssembler::Result::Overrun:
            m_status.report({ErrorCode::InputBufferOverrun, {}});
            break;
        }
    }
    return replies;
}

void Session::startLine(std::string_view line) {
    m_units = SplitProgramMessage(line);
    m_nextUnit = 0;
    m_lineOpen = true;
    m_answers.clear();
    m_path.clear();
}

// The answers of one line's queries in one reply, joined as IEEE 488.2 joins them.
std::string Session::finishLine() {
    m_lineOpen = false;
    m_units.clear();
    m_nextUnit = 0;
    if (m_answers.empty())
        return {};
    std::string reply;
    for (const std::string& answer : m_answers) {
        if (!reply.empty())
            reply += ';';
        reply += answer;
    }
    m_answers.clear();
    return reply + '\n';
}

Session::Flow Session::fail(ErrorCode code, std::string reason) {
    m_status.report({code, std::move(reason)});
    // After a command error the rest of the line cannot be trusted; other errors let it go on.
    const int value = static_cast<int>(code);
    return (value <= -100 && value > -200) ? Flow::StopLine : Flow::Next;
}

Session::Flow Session::execute(const MessageUnit& unit) {
    if (unit.malformed)
        return fail(*unit.malformed);
    if (unit.header.kind == Header::Kind::Common)
        return executeCommon(unit);
    return executeCommand(unit);
}

bool Session::send(const std::vector<std::string>& words) {
    const SendOutcome outcome = m_sink.send(sequence::ParseFrameCommand(words));
    switch (outcome.kind) {
    case SendOutcome::Kind::Queued:
        return true;
    case SendOutcome::Kind::Refused:
        fail(ErrorCode::HardwareError, outcome.reason);
        return false;
    case SendOutcome::Kind::NoPort:
        fail(ErrorCode::HardwareMissing, outcome.reason);
        return false;
    }
    return false;
}

Session::Flow Session::executeCommon(const MessageUnit& unit) {
    const std::optional<ResolvedCommon> common = ResolveCommon(unit.header.common);
    const bool query = unit.header.query;
    if (!common || (query && common->forms == Forms::SetOnly) ||
        (!query && common->forms == Forms::QueryOnly))
        return fail(ErrorCode::UndefinedHeader);
    const std::size_t wanted = (common->takesMask && !query) ? 1 : 0;
    if (unit.parameters.size() < wanted)
        return fail(ErrorCode::MissingParameter);
    if (unit.parameters.size() > wanted)
        return fail(ErrorCode::ParameterNotAllowed);
    std::optional<std::uint8_t> mask;
    if (wanted == 1) {
        const Whole value = ReadWhole(unit.parameters[0], kLargestMask, true);
        if (value.error != ErrorCode::NoError)
            return fail(value.error);
        mask = std::uint8_t(value.value);
    }

    switch (common->command) {
    case CommonCommand::Identify:
        m_answers.push_back(std::string(kManufacturer) + ',' + std::string(kModel) + ',' +
                            std::string(kSerialNumber) + ',' + m_version);
        break;
    case CommonCommand::Reset:
        if (send({"reset"}))
            m_readback.setAll("0");
        break;
    case CommonCommand::Clear:
        m_status.clear();
        m_operationCompleteArmed = false;
        break;
    case CommonCommand::OperationComplete:
    case CommonCommand::Wait:
        if (!m_sink.framesPending()) {
            if (common->command == CommonCommand::Wait)
                break;
            if (query)
                m_answers.push_back("1");
            else
                m_status.setOperationComplete();
            break;
        }
        if (common->command == CommonCommand::OperationComplete && !query) {
            m_operationCompleteArmed = true;
            break;
        }
        m_hold = query ? Hold::OperationCompleteQuery : Hold::Wait;
        return Flow::Hold;
    case CommonCommand::EventStatus:
        m_answers.push_back(Integer(m_status.takeEventStatus()));
        break;
    case CommonCommand::EventStatusEnable:
        if (mask)
            m_status.setEventStatusEnable(*mask);
        else
            m_answers.push_back(Integer(m_status.eventStatusEnable()));
        break;
    case CommonCommand::StatusByte:
        m_answers.push_back(Integer(m_status.statusByte()));
        break;
    case CommonCommand::ServiceRequestEnable:
        if (mask)
            m_status.setServiceRequestEnable(*mask);
        else
            m_answers.push_back(Integer(m_status.serviceRequestEnable()));
        break;
    case CommonCommand::SelfTest:
        m_answers.push_back("0");
        break;
    }
    return Flow::Next;
}

Session::Flow Session::executeCommand(const MessageUnit& unit) {
    std::vector<Keyword> keywords;
    if (unit.header.kind == Header::Kind::Relative)
        keywords = m_path;
    keywords.insert(keywords.end(), unit.header.keywords.begin(), unit.header.keywords.end());
    // The next relative header starts where this one's last node is.
    m_path.assign(keywords.begin(), keywords.end() - 1);

    const auto resolved = ResolveHeader(keywords);
    if (const ErrorCode* error = std::get_if<ErrorCode>(&resolved))
        return fail(*error);
    const ResolvedHeader& header = std::get<ResolvedHeader>(resolved);
    const bool query = unit.header.query;
    if ((query && header.forms == Forms::SetOnly) || (!query && header.forms == Forms::QueryOnly))
        return fail(ErrorCode::UndefinedHeader);
    const std::vector<Parameter>& parameters = unit.parameters;

    if (query && header.command != Command::Voltage && !parameters.empty())
        return fail(ErrorCode::ParameterNotAllowed);
    switch (header.command) {
    case Command::ErrorNext:
        m_answers.push_back(m_status.takeOldestError());
        return Flow::Next;
    case Command::Version:
        m_answers.push_back(std::string(kScpiVersion));
        return Flow::Next;
    case Command::ChannelCount:
        m_answers.push_back(Integer(kChannelCount));
        return Flow::Next;
    case Command::Voltage:
        break;
    case Command::VoltageAll:
    case Command::CodeAll: {
        if (parameters.size() < layout::kEightChannelEntries)
            return fail(ErrorCode::MissingParameter);
        if (parameters.size() > layout::kEightChannelEntries)
            return fail(ErrorCode::ParameterNotAllowed);
        std::vector<std::string> words{"eight"};
        std::vector<int> codes;
        for (const Parameter& parameter : parameters) {
            Whole code;
            if (header.command == Command::CodeAll) {
                code = ReadWhole(parameter, int(kLargestCode), false);
            } else {
                const Volts volts = ReadVolts(parameter, kMostCodeVolts);
                code.error = volts.error;
                if (volts.error == ErrorCode::NoError &&
                    !(volts.value >= 0 && volts.value <= kMostCodeVolts))
                    code.error = ErrorCode::DataOutOfRange;
                if (code.error == ErrorCode::NoError)
                    code.value = ToByte(volts.value * layout::kCodeSteps / layout::kFullScaleVolts);
            }
            if (code.error != ErrorCode::NoError)
                return fail(code.error);
            codes.push_back(code.value);
            words.push_back(Integer(code.value));
        }
        if (send(words)) {
            for (std::size_t k = 0; k < codes.size(); ++k)
                m_readback.set(layout::kFirstChannel + int(k), CodeVolts(codes[k]));
        }
        return Flow::Next;
    }
    }

    if (query) {
        if (parameters.empty()) {
            m_answers.push_back(m_readback.answer(header.channel));
            return Flow::Next;
        }
        if (parameters.size() > 1)
            return fail(ErrorCode::ParameterNotAllowed);
        const Parameter& limit = parameters[0];
        if (limit.kind == Parameter::Kind::Characters &&
            (limit.text == "MIN" || limit.text == "MINIMUM"))
            m_answers.push_back("0");
        else if (limit.kind == Parameter::Kind::Characters &&
                 (limit.text == "MAX" || limit.text == "MAXIMUM"))
            m_answers.push_back(Millivolts(kMostSingleVolts));
        else
            return fail(ErrorCode::DataTypeError);
        return Flow::Next;
    }
    if (parameters.empty())
        return fail(ErrorCode::MissingParameter);
    if (parameters.size() > 1)
        return fail(ErrorCode::ParameterNotAllowed);
    const Volts volts = ReadVolts(parameters[0], kMostSingleVolts);
    if (volts.error != ErrorCode::NoError)
        return fail(volts.error);
    if (!(volts.value >= 0))
        return fail(ErrorCode::DataOutOfRange);
    // Rounded to the millivolt first, so that 9.9994 V is 9.999 V and 9.9996 V is too much.
    const double millivolts = std::nearbyint(volts.value * kMillivoltsPerVolt);
    if (!(millivolts >= 0 && millivolts <= MostMillivolts()))
        return fail(ErrorCode::DataOutOfRange);
    const std::string value = Millivolts(millivolts / kMillivoltsPerVolt);
    if (send({"single", Integer(header.channel), value}))
        m_readback.set(header.channel, value);
    return Flow::Next;
}

} // namespace quillon::scpi
