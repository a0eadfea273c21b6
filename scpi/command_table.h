#pragma once

// The instrument's SCPI commands as a table of header patterns, SCPI's own notation: long form
// with the short form in capitals, optional nodes in brackets, `#` where a channel suffix goes.

#include "message_parser.h"
#include "status_model.h"

#include <optional>
#include <string_view>
#include <variant>
#include <vector>

namespace quillon::scpi {

enum class Command {
    Voltage,      // [SOURce#]:VOLTage[:LEVel][:IMMediate][:AMPLitude] V, and its query
    VoltageAll,   // [SOURce]:VOLTage:ALL V0,...,V7
    CodeAll,      // [SOURce]:CODE:ALL C0,...,C7
    ErrorNext,    // SYSTem:ERRor[:NEXT]?
    Version,      // SYSTem:VERSion?
    ChannelCount, // SYSTem:CHANnel:COUNt?
};

// Which forms of a command exist.
enum class Forms { SetOnly, QueryOnly, SetAndQuery };

// IEEE 488.2's common commands that this instrument keeps.
enum class CommonCommand {
    Identify,             // *IDN?
    Reset,                // *RST
    Clear,                // *CLS
    OperationComplete,    // *OPC, *OPC?
    Wait,                 // *WAI
    EventStatus,          // *ESR?
    EventStatusEnable,    // *ESE mask, *ESE?
    StatusByte,           // *STB?
    ServiceRequestEnable, // *SRE mask, *SRE?
    SelfTest,             // *TST?
};

struct ResolvedCommon {
    CommonCommand command = CommonCommand::Identify;
    Forms forms = Forms::SetOnly;
    bool takesMask = false; // the set form takes one whole number 0..255
};

// The common command a header such as "*IDN" (upper case) names; nothing for one not kept.
std::optional<ResolvedCommon> ResolveCommon(std::string_view name);

struct ResolvedHeader {
    Command command = Command::Voltage;
    Forms forms = Forms::SetOnly;
    int channel = 0; // the board's channel (0..7) named by the suffix; 0 without one
};

// The command a header names, or the error it makes (-113 when none matches, -114 for a suffix
// that names no channel or stands where none goes).
std::variant<ResolvedHeader, ErrorCode> ResolveHeader(const std::vector<Keyword>& keywords);

} // namespace quillon::scpi
