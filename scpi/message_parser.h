#pragma once

// SCPI program messages as they come over a socket: bytes gathered into lines (LF, CR LF), each
// line split into message units (`;` outside quotes), each unit into a header and its
// parameters. Only the form is checked here; what a header means is the command table's job.

#include "status_model.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::scpi {

// Bytes gathered into lines; a line longer than kLongestLine is dropped whole.
class LineAssembler {
public:
    static constexpr std::size_t kLongestLine = 4096;

    enum class Result { Pending, Line, Overrun };

    // Line: takeLine() has the line, without its CR LF. Overrun: a line too long has ended.
    Result feed(char byte);
    std::string takeLine();
    std::size_t bufferedBytes() const { return m_line.size(); }

private:
    std::string m_line;
    bool m_overrun = false;
};

struct Keyword {
    std::string mnemonic;       // without its suffix
    std::optional<int> suffix;  // the digits after it, if any
    bool suffixTooLong = false; // more digits than any channel has
};

struct Header {
    enum class Kind { Common, FromRoot, Relative };
    Kind kind = Kind::Relative;
    bool query = false;
    std::string common;            // "*IDN" for a common command, upper case
    std::vector<Keyword> keywords; // for the others
};

struct Parameter {
    enum class Kind { Number, Characters, String };
    Kind kind = Kind::Number;
    double number = 0; // in the unit given, if any
    std::string unit;  // upper case, empty when none
    std::string text;  // characters (upper case) or a string's contents
};

struct MessageUnit {
    Header header;
    std::vector<Parameter> parameters;
    std::optional<ErrorCode> malformed; // the unit cannot be read
};

// The units of one line in order; a blank line has none.
std::vector<MessageUnit> SplitProgramMessage(std::string_view line);

} // namespace quillon::scpi
