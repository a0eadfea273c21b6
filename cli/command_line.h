#pragma once

// quillon-send's command line: options, then a command and its arguments.

#include "commands.h"
#include "wave.h"

#include <QStringList>

#include <chrono>
#include <optional>
#include <string>

namespace quillon::cli {

using sequence::Frame;
using sequence::Refusal;

// Exit statuses, as --help lists them. A signal other than Ctrl-C ends with 128 + its number.
enum ExitStatus {
    kSent = 0,
    kPortTrouble = 1,
    kBadInput = 2,
    kNoReply = 3,
    kInterrupted = 130,
};

inline constexpr std::chrono::milliseconds kDefaultReplyWait{500};

// How a reply is printed: Auto is text when every byte is printable ASCII, else hex pairs.
enum class ReplyFormat { Auto, Text, Hex };

struct Invocation {
    enum class Action { Send, Play, Wave, Help, Version };
    Action action = Action::Help;
    std::optional<std::string> port;
    std::optional<std::string> logFile;
    bool dryRun = false;
    bool verbose = false; // the device, its settings and each frame, on standard error
    std::optional<std::chrono::milliseconds> replyWait;
    ReplyFormat replyFormat = ReplyFormat::Auto;
    Frame frame;                  // Send
    std::string sequenceFile;     // Play: a path, or "-" for standard input
    std::optional<double> rateHz; // Play
    sequence::WavePlan wave;      // Wave
    bool printWave = false;       // Wave: write the wave as a sequence instead of sending it
};

// `arguments` without the program name. Throws Refusal for an unknown option, a bad value or a
// command the board should not get; nothing after the command word is taken as an option (so
// "-1" is a value), except play's own --rate and wave's options.
Invocation ParseCommandLine(const QStringList& arguments);

std::string HelpText();

} // namespace quillon::cli
