#include "commands.h"

#include "command_words.h"
#include "frame_layout.h"
#include "frames.h"
#include "quoted_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>

namespace quillon::sequence {

namespace {

constexpr const char* kSingleForm =
    "single CHANNEL VOLTS (channel 0..7, 0 to 9.999 V in 1 mV steps)";
constexpr const char* kFourForm = "four CH:VOLTS x 4 (channel 0..7, 0 to 9.99 V in 10 mV steps)";
constexpr const char* kEightForm = "eight CODE x 8 (whole numbers 0..255 for channels 0..7)";
constexpr const char* kResetForm = "reset (no arguments)";
const std::string kWaitForm =
    "wait MS (whole milliseconds, at most " + std::to_string(kLongestPause.count()) + ")";
const std::string kLongestPauseText =
    std::to_string(std::chrono::duration_cast<std::chrono::hours>(kLongestPause).count()) +
    " hours";

std::string Quoted(const std::string& text) {
    return QuotedText(text);
}

[[noreturn]] void Refuse(const std::string& what, const char* form) {
    throw Refusal(what + "; accepted: " + form);
}

void RequireCount(const std::vector<std::string>& words, std::size_t count, const char* form) {
    const std::size_t given = words.size() - 1;
    if (given != count) {
        Refuse(words[0] + " takes " + std::to_string(count) + " argument" +
                   (count == 1 ? "" : "s") + ", not " + std::to_string(given),
               form);
    }
}

bool AllDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string Channel(const std::string& text, const char* form) {
    const bool valid = text.size() == layout::kChannelWidth &&
                       text[0] >= '0' + layout::kFirstChannel &&
                       text[0] <= '0' + layout::kLastChannel;
    if (!valid)
        Refuse("channel " + Quoted(text) + " is not one of 0..7", form);
    return text;
}

// The value field of a built text frame must be exactly `width` digits: anything else (a sign, a
// point, a fifth digit) would give the board a frame of the wrong shape.
void RequireDigitField(const std::string& frame, std::size_t offset, std::size_t width,
                       const std::string& value, const char* form) {
    if (frame.size() != kFrameLength || !AllDigits(std::string_view(frame).substr(offset, width))) {
        Refuse("value " + Quoted(value) + " does not make a field of exactly " +
                   std::to_string(width) + " digits",
               form);
    }
}

template <typename Build> std::string BuildOrRefuse(Build build, const char* form) {
    try {
        return build();
    } catch (const ConversionError& error) {
        Refuse(error.what(), form);
    }
}

Frame TextFrame(const std::string& text) {
    return {text, false};
}

Frame Single(const std::vector<std::string>& words) {
    RequireCount(words, 2, kSingleForm);
    const ChannelEntry entry{Channel(words[1], kSingleForm), false, words[2]};
    const std::string frame = BuildOrRefuse([&] { return SingleChannelFrame(entry); }, kSingleForm);
    RequireDigitField(frame, layout::kModeWidth + layout::kChannelWidth + layout::kGainWidth,
                      layout::kSingleChannelValueWidth, words[2], kSingleForm);
    return TextFrame(frame);
}

Frame Four(const std::vector<std::string>& words) {
    RequireCount(words, layout::kFourChannelEntries, kFourForm);
    std::array<ChannelEntry, layout::kFourChannelEntries> entries;
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const std::string& word = words[k + 1];
        const std::size_t colon = word.find(':');
        if (colon == std::string::npos)
            Refuse(Quoted(word) + " is not CH:VOLTS", kFourForm);
        entries[k] = {Channel(word.substr(0, colon), kFourForm), false, word.substr(colon + 1)};
        // The board would set that channel twice in one frame: surely a typo.
        for (std::size_t earlier = 0; earlier < k; ++earlier) {
            if (entries[earlier].channel == entries[k].channel)
                Refuse("channel " + Quoted(entries[k].channel) + " is named twice", kFourForm);
        }
    }
    const std::string frame = BuildOrRefuse([&] { return FourChannelFrame(entries); }, kFourForm);
    // A value too wide shifts every field after it, so each is checked in a frame of its own
    // (the entry four times), and the message names the first that does not fit.
    for (const ChannelEntry& entry : entries) {
        RequireDigitField(FourChannelFrame({entry, entry, entry, entry}),
                          layout::kModeWidth + layout::kChannelWidth + layout::kGainWidth,
                          layout::kFourChannelValueWidth, entry.value, kFourForm);
    }
    return TextFrame(frame);
}

Frame Eight(const std::vector<std::string>& words) {
    RequireCount(words, layout::kEightChannelEntries, kEightForm);
    std::array<std::string, layout::kEightChannelEntries> codes;
    for (std::size_t k = 0; k < codes.size(); ++k) {
        const std::string& word = words[k + 1];
        unsigned value = 0;
        const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
        if (!AllDigits(word) || word.size() > 3 || error != std::errc() ||
            end != word.data() + word.size() || value > 255) {
            Refuse("code " + Quoted(word) + " for channel " + std::to_string(k) +
                       " is not a whole number 0..255",
                   kEightForm);
        }
        codes[k] = word;
    }
    const auto frame = EightChannelFrame(codes);
    return {std::string(frame.begin(), frame.end()), true};
}

Frame Reset(const std::vector<std::string>& words) {
    RequireCount(words, 0, kResetForm);
    return TextFrame(ResetCommand());
}

} // namespace

Frame ParseFrameCommand(const std::vector<std::string>& words) {
    if (words.empty())
        throw Refusal("no command given; accepted: single, four, eight, reset or play");
    const std::string& command = words[0];
    if (command == kSingleWord)
        return Single(words);
    if (command == kFourWord)
        return Four(words);
    if (command == kEightWord)
        return Eight(words);
    if (command == kResetWord)
        return Reset(words);
    throw Refusal("unknown command " + Quoted(command) +
                  "; accepted: single, four, eight, reset, play (or wait in a sequence)");
}

Step ParseSequenceCommand(const std::vector<std::string>& words) {
    if (words.empty() || words[0] != "wait") {
        const bool frameCommand =
            !words.empty() && (words[0] == kSingleWord || words[0] == kFourWord ||
                               words[0] == kEightWord || words[0] == kResetWord);
        if (!frameCommand) {
            throw Refusal((words.empty() ? std::string("no command") : Quoted(words[0])) +
                          " is not a sequence command; accepted: single, four, eight, reset or "
                          "wait");
        }
        return ParseFrameCommand(words);
    }
    RequireCount(words, 1, kWaitForm.c_str());
    const std::string& text = words[1];
    std::uint64_t milliseconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), milliseconds);
    if (!AllDigits(text))
        Refuse("wait " + Quoted(text) + " is not a whole number of milliseconds", kWaitForm.c_str());
    // Digits too many to count are a pause too long all the same.
    if (error != std::errc() || end != text.data() + text.size() ||
        milliseconds > std::uint64_t(kLongestPause.count())) {
        Refuse("wait " + Quoted(text) + " is longer than " + kLongestPauseText, kWaitForm.c_str());
    }
    return Pause{std::chrono::milliseconds(milliseconds)};
}

std::string DisplayFrame(const Frame& frame) {
    if (!frame.binary)
        return frame.bytes;
    return HexBytes(frame.bytes);
}

std::optional<std::string> StepWords(const Step& step) {
    if (const Pause* pause = std::get_if<Pause>(&step))
        return "wait " + std::to_string(pause->length.count());
    return CommandWords(std::get<Frame>(step).bytes);
}

} // namespace quillon::sequence
