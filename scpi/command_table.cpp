#include "command_table.h"

#include "frame_layout.h"

#include <array>
#include <optional>

namespace quillon::scpi {

namespace {

struct Pattern {
    std::string_view header;
    Command command;
    Forms forms;
};

constexpr std::array kPatterns{
    Pattern{"[SOURce#]:VOLTage[:LEVel][:IMMediate][:AMPLitude]", Command::Voltage,
            Forms::SetAndQuery},
    Pattern{"[SOURce]:VOLTage:ALL", Command::VoltageAll, Forms::SetOnly},
    Pattern{"[SOURce]:CODE:ALL", Command::CodeAll, Forms::SetOnly},
    Pattern{"SYSTem:ERRor[:NEXT]", Command::ErrorNext, Forms::QueryOnly},
    Pattern{"SYSTem:VERSion", Command::Version, Forms::QueryOnly},
    Pattern{"SYSTem:CHANnel:COUNt", Command::ChannelCount, Forms::QueryOnly},
};

struct CommonPattern {
    std::string_view name;
    ResolvedCommon resolved;
};

constexpr std::array kCommonPatterns{
    CommonPattern{"*IDN", {CommonCommand::Identify, Forms::QueryOnly, false}},
    CommonPattern{"*RST", {CommonCommand::Reset, Forms::SetOnly, false}},
    CommonPattern{"*CLS", {CommonCommand::Clear, Forms::SetOnly, false}},
    CommonPattern{"*OPC", {CommonCommand::OperationComplete, Forms::SetAndQuery, false}},
    CommonPattern{"*WAI", {CommonCommand::Wait, Forms::SetOnly, false}},
    CommonPattern{"*ESR", {CommonCommand::EventStatus, Forms::QueryOnly, false}},
    CommonPattern{"*ESE", {CommonCommand::EventStatusEnable, Forms::SetAndQuery, true}},
    CommonPattern{"*STB", {CommonCommand::StatusByte, Forms::QueryOnly, false}},
    CommonPattern{"*SRE", {CommonCommand::ServiceRequestEnable, Forms::SetAndQuery, true}},
    CommonPattern{"*TST", {CommonCommand::SelfTest, Forms::QueryOnly, false}},
};

// The channel suffixes run from 1, for the board's first channel.
constexpr int kFirstSuffix = 1;
constexpr int kLastSuffix = kFirstSuffix + layout::kLastChannel - layout::kFirstChannel;

struct Node {
    std::string longForm;
    std::string shortForm;
    bool optional = false;
    bool takesChannel = false;
};

std::vector<Node> Nodes(std::string_view header) {
    std::vector<Node> nodes;
    Node node;
    for (const char c : header) {
        if (c == '[') {
            if (!node.longForm.empty())
                nodes.push_back(node);
            node = Node{};
            node.optional = true;
        } else if (c == '#') {
            node.takesChannel = true;
        } else if (c == ':' || c == ']') {
            if (!node.longForm.empty()) {
                nodes.push_back(node);
                node = Node{};
            }
        } else {
            const bool capital = c >= 'A' && c <= 'Z';
            node.longForm += capital ? c : char(c - 'a' + 'A');
            if (capital)
                node.shortForm += c;
        }
    }
    if (!node.longForm.empty())
        nodes.push_back(node);
    return nodes;
}

// For each keyword, the node it matched; optional nodes may be left out.
bool Match(const std::vector<Keyword>& keywords, std::size_t k, const std::vector<Node>& nodes,
           std::size_t n, std::vector<std::size_t>& matched) {
    if (n == nodes.size())
        return k == keywords.size();
    const Node& node = nodes[n];
    if (k < keywords.size() &&
        (keywords[k].mnemonic == node.longForm || keywords[k].mnemonic == node.shortForm)) {
        matched.push_back(n);
        if (Match(keywords, k + 1, nodes, n + 1, matched))
            return true;
        matched.pop_back();
    }
    return node.optional && Match(keywords, k, nodes, n + 1, matched);
}

} // namespace

std::variant<ResolvedHeader, ErrorCode> ResolveHeader(const std::vector<Keyword>& keywords) {
    for (const Pattern& pattern : kPatterns) {
        const std::vector<Node> nodes = Nodes(pattern.header);
        std::vector<std::size_t> matched;
        if (!Match(keywords, 0, nodes, 0, matched))
            continue;
        ResolvedHeader resolved{pattern.command, pattern.forms, layout::kFirstChannel};
        for (std::size_t k = 0; k < keywords.size(); ++k) {
            const Keyword& keyword = keywords[k];
            if (keyword.suffixTooLong)
                return ErrorCode::HeaderSuffixOutOfRange;
            if (!keyword.suffix)
                continue;
            // A suffix of 1 is the same as none, wherever it stands.
            const int suffix = *keyword.suffix;
            if (nodes[matched[k]].takesChannel && suffix >= kFirstSuffix && suffix <= kLastSuffix)
                resolved.channel = layout::kFirstChannel + suffix - kFirstSuffix;
            else if (suffix != kFirstSuffix)
                return ErrorCode::HeaderSuffixOutOfRange;
        }
        return resolved;
    }
    return ErrorCode::UndefinedHeader;
}

std::optional<ResolvedCommon> ResolveCommon(std::string_view name) {
    for (const CommonPattern& pattern : kCommonPatterns) {
        if (pattern.name == name)
            return pattern.resolved;
    }
    return std::nullopt;
}

} // namespace quillon::scpi
