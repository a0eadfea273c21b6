#include "command_line.h"

#include "frames.h"

#include <charconv>
#include <cmath>

namespace quillon::cli {

namespace {

constexpr const char* kOptionsForm = "--port DEVICE, --dry-run, --reply[=MS], --help, --version";
constexpr const char* kPlayForm = "play [--rate HZ] FILE|-";

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

bool StartsWith(const std::string& text, std::string_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// "--name VALUE" or "--name=VALUE"; advances `i` past what it used.
std::optional<std::string> OptionValue(const std::vector<std::string>& arguments, std::size_t& i,
                                       const std::string& name, const char* form) {
    const std::string& word = arguments[i];
    if (word == name) {
        if (i + 1 == arguments.size())
            throw Refusal(name + " needs a value; accepted: " + form);
        return arguments[++i];
    }
    if (StartsWith(word, name + "="))
        return word.substr(name.size() + 1);
    return std::nullopt;
}

std::chrono::milliseconds ReplyWait(const std::string& text) {
    int milliseconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), milliseconds);
    if (text.empty() || text[0] == '-' || text[0] == '+' || error != std::errc() ||
        end != text.data() + text.size()) {
        throw Refusal("--reply=" + text +
                      " is not a whole number of milliseconds; accepted: --reply or --reply=MS, "
                      "e.g. --reply=500");
    }
    return std::chrono::milliseconds(milliseconds);
}

double Rate(const std::string& text) {
    double rate = 0;
    try {
        rate = CoerceNumber(text);
    } catch (const ConversionError&) {
    }
    if (!(rate > 0) || !std::isfinite(rate))
        throw Refusal("--rate " + Quoted(text) +
                      " is not a positive number of frames a second; "
                      "accepted: " +
                      kPlayForm + ", e.g. play --rate 40 ramp.txt");
    return rate;
}

void ParsePlay(const std::vector<std::string>& words, Invocation& invocation) {
    std::size_t i = 1;
    for (; i < words.size() && StartsWith(words[i], "--"); ++i) {
        const std::optional<std::string> value = OptionValue(words, i, "--rate", kPlayForm);
        if (!value)
            throw Refusal("unknown play option " + Quoted(words[i]) + "; accepted: " + kPlayForm);
        invocation.rateHz = Rate(*value);
    }
    if (words.size() - i != 1) {
        throw Refusal(std::string("play takes one FILE (or - for standard input), given ") +
                      std::to_string(words.size() - i) + "; accepted: " + kPlayForm);
    }
    invocation.sequenceFile = words[i];
    invocation.action = Invocation::Action::Play;
}

} // namespace

Invocation ParseCommandLine(const std::vector<std::string>& arguments) {
    Invocation invocation;
    std::size_t i = 0;
    for (; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        if (word == "--") {
            ++i;
            break;
        }
        if (word == "--help" || word == "-h") {
            invocation.action = Invocation::Action::Help;
            return invocation;
        }
        if (word == "--version") {
            invocation.action = Invocation::Action::Version;
            return invocation;
        }
        if (word == "--dry-run") {
            invocation.dryRun = true;
        } else if (word == "--reply") {
            invocation.replyWait = kDefaultReplyWait;
        } else if (StartsWith(word, "--reply=")) {
            invocation.replyWait = ReplyWait(word.substr(8));
        } else if (auto port = OptionValue(arguments, i, "--port", kOptionsForm)) {
            if (port->empty())
                throw Refusal(std::string("--port needs a device; accepted: ") + kOptionsForm);
            invocation.port = *port;
        } else if (StartsWith(word, "-") && word.size() > 1) {
            throw Refusal("unknown option " + Quoted(word) + "; accepted: " + kOptionsForm);
        } else {
            break;
        }
    }
    const std::vector<std::string> words(arguments.begin() + std::ptrdiff_t(i), arguments.end());
    if (!words.empty() && words[0] == "play") {
        ParsePlay(words, invocation);
        if (invocation.replyWait)
            throw Refusal("--reply cannot be used with play; accepted: --reply with single, four, "
                          "eight or reset");
        return invocation;
    }
    invocation.frame = ParseFrameCommand(words);
    invocation.action = Invocation::Action::Send;
    return invocation;
}

std::string HelpText() {
    return "usage: quillon-send [--port DEVICE] [--dry-run] [--reply[=MS]] COMMAND ARGS...\n"
           "\n"
           "Sends one command to the DAC board (9600 baud, 8N1), or plays a sequence of them.\n"
           "\n"
           "Commands:\n"
           "  single CHANNEL VOLTS       one channel (0..7), 0 to 9.999 V in 1 mV steps\n"
           "                             quillon-send single 0 1.100\n"
           "  four CH:VOLTS x 4          four channels, 0 to 9.99 V in 10 mV steps\n"
           "                             quillon-send four 0:1.00 1:2.02 2:3.86 3:4.00\n"
           "  eight CODE x 8             raw codes 0..255 for channels 0..7 (code / 256 x 5 V)\n"
           "                             quillon-send eight 0 32 64 96 128 160 192 255\n"
           "  reset                      all channels to 0 V (the one byte U)\n"
           "                             quillon-send reset\n"
           "  play [--rate HZ] FILE|-    the commands above, one a line ('wait MS' pauses,\n"
           "                             '#' starts a comment); read and checked before\n"
           "                             anything is sent, then sent on a fixed clock, by\n"
           "                             default as fast as the line carries each frame\n"
           "                             quillon-send play --rate 40 ramp.txt\n"
           "\n"
           "Options:\n"
           "  --port DEVICE   the serial device; else QUILLON_PORT1, else QUILLON_PORT2,\n"
           "                  else the platform's port 1, then port 2\n"
           "  --dry-run       print the frame (the eight-channel frame as hex) and open nothing\n"
           "  --reply[=MS]    wait MS milliseconds (default 500) for the board's answer and\n"
           "                  print it, one character a byte\n"
           "  --help          this text\n"
           "  --version       the program's version\n"
           "\n"
           "Numbers use a point as the decimal separator, whatever the locale.\n"
           "\n"
           "Exit status: 0 sent, 1 port trouble, 2 bad input (nothing was sent),\n"
           "3 no reply in time, 130 interrupted (Ctrl-C; the frame being written is finished).\n";
}

} // namespace quillon::cli
