#include "command_line.h"

#include "frames.h"
#include "play_schedule.h"
#include "quoted_text.h"

#include <QCommandLineParser>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>
#include <utility>

namespace quillon::cli {

namespace {

constexpr const char* kOptionsForm = "--port DEVICE, --log FILE|-, --dry-run, --reply[=MS], "
                                     "--reply-format auto|text|hex, --verbose, --help, --version";
constexpr const char* kReplyFormatForm = "--reply-format auto|text|hex";

constexpr std::pair<std::string_view, ReplyFormat> kReplyFormats[] = {
    {"auto", ReplyFormat::Auto}, {"text", ReplyFormat::Text}, {"hex", ReplyFormat::Hex}};
constexpr const char* kPlayForm = "play [--rate HZ] FILE|-";
constexpr const char* kWaveForm = "wave [--rate HZ] [--duration S | --cycles N] [--hold CH=V]... "
                                  "[--print] CH:SHAPE[,KEY=VALUE]...";

std::string Quoted(const QString& text) {
    return QuotedText(text.toStdString());
}

std::vector<std::string> StdWords(const QStringList& words) {
    std::vector<std::string> converted;
    for (const QString& word : words)
        converted.push_back(word.toStdString());
    return converted;
}

// QCommandLineParser knows no option with an optional value: a bare --reply among the options is
// given its default. The values of the other options are stepped over, whatever they look like.
QStringList WithReplyDefault(QStringList arguments) {
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString& argument = arguments[i];
        if (argument == QLatin1String("--") || !argument.startsWith(u'-'))
            break;
        if (argument == QLatin1String("--reply")) {
            // "--reply 100" would otherwise be refused as an unknown command "100".
            const QString next = arguments.value(i + 1);
            const bool isWait = !next.isEmpty() && next.size() <= 9 &&
                                std::all_of(next.begin(), next.end(),
                                            [](QChar c) { return c >= u'0' && c <= u'9'; });
            if (isWait)
                throw Refusal("the wait is given as --reply=" + next.toStdString() +
                              ", not --reply " + next.toStdString() + "; a bare --reply waits " +
                              std::to_string(kDefaultReplyWait.count()) + " ms");
            argument = QStringLiteral("--reply=%1").arg(kDefaultReplyWait.count());
        } else if (argument == QLatin1String("--port") || argument == QLatin1String("--log") ||
                   argument == QLatin1String("--reply-format"))
            ++i;
    }
    return arguments;
}

// The argument the parser could not take, as the operator wrote it.
QString OffendingArgument(const QStringList& arguments, const QStringList& unknownNames) {
    for (const QString& argument : arguments) {
        QString name = argument.section(u'=', 0, 0);
        while (name.startsWith(u'-'))
            name.remove(0, 1);
        if (argument.startsWith(u'-') && unknownNames.contains(name))
            return argument.section(u'=', 0, 0);
    }
    return unknownNames.value(0);
}

// Qt words a bad command line in its own way; these are worded as the rest of the program's
// refusals, naming what was given and what is accepted.
[[noreturn]] void RefuseParse(const QCommandLineParser& parser, const QStringList& arguments,
                              const char* form) {
    const QString error = parser.errorText();
    if (!parser.unknownOptionNames().isEmpty()) {
        throw Refusal("unknown option " +
                      Quoted(OffendingArgument(arguments, parser.unknownOptionNames())) +
                      "; accepted: " + form);
    }
    const qsizetype quote = error.indexOf(u'\'');
    const QString option = quote < 0 ? error : error.mid(quote + 1).section(u'\'', 0, 0);
    if (error.startsWith(QLatin1String("Missing value")))
        throw Refusal(option.toStdString() + " needs a value; accepted: " + form);
    if (error.startsWith(QLatin1String("Unexpected value")))
        throw Refusal(option.toStdString() + " takes no value; accepted: " + form);
    throw Refusal(error.toStdString() + "; accepted: " + form);
}

std::chrono::milliseconds ReplyWait(const QString& value) {
    const std::string text = value.toStdString();
    int milliseconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), milliseconds);
    if (text.empty() || text[0] == '-' || text[0] == '+' || error != std::errc() ||
        end != text.data() + text.size()) {
        throw Refusal("--reply=" + QuotedText(text) +
                      " is not a whole number of milliseconds; accepted: --reply or --reply=MS, "
                      "e.g. --reply=500");
    }
    return std::chrono::milliseconds(milliseconds);
}

ReplyFormat ParseReplyFormat(const QString& value) {
    const std::string text = value.toStdString();
    for (const auto& [name, format] : kReplyFormats) {
        if (text == name)
            return format;
    }
    throw Refusal("--reply-format " + QuotedText(text) +
                  " is not auto, text or hex; accepted: " + kReplyFormatForm);
}

double Rate(const QString& value, const char* form = kPlayForm) {
    const std::string text = value.toStdString();
    double rate = 0;
    try {
        rate = CoerceNumber(text);
    } catch (const ConversionError&) {
    }
    if (!(rate > 0) || !std::isfinite(rate))
        throw Refusal("--rate " + QuotedText(text) +
                      " is not a positive number of frames a second; accepted: " + form +
                      ", e.g. --rate 40");
    if (rate < sequence::kSlowestRateHz)
        throw Refusal("--rate " + QuotedText(text) + " is slower than one frame a day; accepted: " +
                      form + " with HZ of at least 0.0000115741");
    return rate;
}

// play's own words: its --rate, then one FILE (or - for standard input).
void ParsePlay(const QStringList& words, Invocation& invocation) {
    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption rate(QStringLiteral("rate"), QString(), QStringLiteral("HZ"));
    parser.addOption(rate);
    if (!parser.parse(words))
        RefuseParse(parser, words, kPlayForm);
    if (parser.isSet(rate))
        invocation.rateHz = Rate(parser.value(rate));
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1) {
        throw Refusal("play takes one FILE (or - for standard input), given " +
                      std::to_string(files.size()) + "; accepted: " + kPlayForm);
    }
    invocation.sequenceFile = files.front().toStdString();
    invocation.action = Invocation::Action::Play;
}

// --duration and --cycles: a positive number.
double Positive(const QCommandLineParser& parser, const QCommandLineOption& option,
                const char* unit) {
    const std::string text = parser.value(option).toStdString();
    double number = 0;
    try {
        number = CoerceNumber(text);
    } catch (const ConversionError&) {
    }
    if (!(number > 0) || !std::isfinite(number))
        throw Refusal("--" + option.names().front().toStdString() + " " + QuotedText(text) +
                      " is not a positive number of " + unit + "; accepted: " + kWaveForm);
    return number;
}

// wave's own options and its waves, in any order.
void ParseWaveWords(const QStringList& words, Invocation& invocation) {
    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    const QCommandLineOption rate(QStringLiteral("rate"), QString(), QStringLiteral("HZ"));
    const QCommandLineOption duration(QStringLiteral("duration"), QString(), QStringLiteral("S"));
    const QCommandLineOption cycles(QStringLiteral("cycles"), QString(), QStringLiteral("N"));
    const QCommandLineOption hold(QStringLiteral("hold"), QString(), QStringLiteral("CH=V"));
    const QCommandLineOption print(QStringLiteral("print"), QString());
    parser.addOptions({rate, duration, cycles, hold, print});
    if (!parser.parse(words))
        RefuseParse(parser, words, kWaveForm);
    sequence::WavePlan& plan = invocation.wave;
    if (parser.isSet(rate))
        plan.rateHz = Rate(parser.value(rate), kWaveForm);
    if (parser.isSet(duration) && parser.isSet(cycles))
        throw Refusal(std::string("--duration and --cycles both say how long; accepted: ") +
                      kWaveForm);
    if (parser.isSet(duration))
        plan.durationSeconds = Positive(parser, duration, "seconds");
    if (parser.isSet(cycles))
        plan.cycles = Positive(parser, cycles, "periods");
    for (const QString& held : parser.values(hold))
        plan.holds.push_back(sequence::ParseHold(held.toStdString()));
    for (const QString& wave : parser.positionalArguments())
        plan.waves.push_back(sequence::ParseWave(wave.toStdString()));
    if (plan.waves.empty())
        throw Refusal(std::string("wave needs at least one CH:SHAPE; accepted: ") + kWaveForm);
    invocation.printWave = parser.isSet(print);
    invocation.action = Invocation::Action::Wave;
}

} // namespace

Invocation ParseCommandLine(const QStringList& givenArguments) {
    const QStringList arguments = WithReplyDefault(givenArguments);
    QCommandLineParser parser;
    // Options come before the command; after it every word is the command's, "-1" included.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption version(QStringLiteral("version"), QString());
    const QCommandLineOption dryRun(QStringLiteral("dry-run"), QString());
    const QCommandLineOption reply(QStringLiteral("reply"), QString(), QStringLiteral("MS"));
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("DEVICE"));
    const QCommandLineOption log(QStringLiteral("log"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption replyFormat(QStringLiteral("reply-format"), QString(),
                                         QStringLiteral("FORMAT"));
    const QCommandLineOption verbose(QStringLiteral("verbose"), QString());
    parser.addOptions({help, version, dryRun, reply, port, log, replyFormat, verbose});
    if (!parser.parse(QStringList{QStringLiteral("quillon-send")} + arguments))
        RefuseParse(parser, arguments, kOptionsForm);

    Invocation invocation;
    if (parser.isSet(help))
        return invocation;
    if (parser.isSet(version)) {
        invocation.action = Invocation::Action::Version;
        return invocation;
    }
    invocation.dryRun = parser.isSet(dryRun);
    invocation.verbose = parser.isSet(verbose);
    if (parser.isSet(reply))
        invocation.replyWait = ReplyWait(parser.value(reply));
    if (parser.isSet(replyFormat)) {
        invocation.replyFormat = ParseReplyFormat(parser.value(replyFormat));
        if (!invocation.replyWait)
            throw Refusal(std::string("--reply-format says how a reply is printed: give it with "
                                      "--reply; accepted: ") +
                          kReplyFormatForm + " --reply[=MS]");
    }
    if (parser.isSet(port)) {
        if (parser.value(port).isEmpty())
            throw Refusal(std::string("--port needs a device; accepted: ") + kOptionsForm);
        invocation.port = parser.value(port).toStdString();
    }
    if (parser.isSet(log)) {
        if (parser.value(log).isEmpty())
            throw Refusal(std::string("--log needs a file; accepted: ") + kOptionsForm);
        invocation.logFile = parser.value(log).toStdString();
    }

    const QStringList words = parser.positionalArguments();
    const QString command = words.value(0);
    if (command == QLatin1String("play") || command == QLatin1String("wave")) {
        // A reply belongs to one frame, not to a schedule of them.
        if (invocation.replyWait)
            throw Refusal("--reply cannot be used with " + command.toStdString() +
                          "; accepted: --reply with single, four, eight or reset");
        if (command == QLatin1String("play"))
            ParsePlay(words, invocation);
        else
            ParseWaveWords(words, invocation);
        return invocation;
    }
    invocation.frame = sequence::ParseFrameCommand(StdWords(words));
    invocation.action = Invocation::Action::Send;
    return invocation;
}

std::string HelpText() {
    return "usage: quillon-send [--port DEVICE] [--log FILE|-] [--dry-run] [--reply[=MS]\n"
           "                   [--reply-format auto|text|hex]] [--verbose] COMMAND ARGS...\n"
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
           "                             default as fast as the line carries each frame;\n"
           "                             a log written by --log plays back as it stands\n"
           "                             quillon-send play --rate 40 ramp.txt\n"
           "  wave [--rate HZ] [--duration S | --cycles N] [--hold CH=V]... [--print] WAVE...\n"
           "                             waves computed frame by frame, sent on play's\n"
           "                             clock; WAVE is CH:SHAPE[,freq=HZ][,low=V][,high=V]\n"
           "                             [,phase=DEG][,duty=PCT], SHAPE sine, square,\n"
           "                             triangle or sawtooth (defaults freq=1, low=0,\n"
           "                             high=5, phase=0, duty=50). One wave goes out as\n"
           "                             single frames (0 to 9.999 V), two or more as\n"
           "                             eight-channel frames (0 to 4.98 V) with every\n"
           "                             other channel set by --hold CH=V. A frequency\n"
           "                             above half the rate is refused. Without --duration\n"
           "                             or --cycles (periods of the slowest wave) it runs\n"
           "                             until interrupted (at most 30 days); --print\n"
           "                             writes it as a sequence that play sends the same\n"
           "                             quillon-send wave 0:sine,freq=0.5 --duration 4\n"
           "\n"
           "Options:\n"
           "  --port DEVICE   the serial device; else QUILLON_PORT1, else QUILLON_PORT2,\n"
           "                  else the platform's port 1, then port 2. A name without a\n"
           "                  leading / is a file in the current folder when there is one\n"
           "                  (a link named board beside you), else the one in /dev/\n"
           "  --log FILE      append what goes over the line to FILE, with times, in the\n"
           "                  words play reads back (not with --dry-run); --log - writes\n"
           "                  it to standard output, and a reply then goes to standard error\n"
           "  --dry-run       print the frame (the eight-channel frame as hex) and open nothing\n"
           "  --reply[=MS]    wait MS milliseconds (default 500) for the board's answer and\n"
           "                  print it on one line\n"
           "  --reply-format auto|text|hex\n"
           "                  how the reply is printed: auto (default) as text when every\n"
           "                  byte is printable ASCII, else as hex pairs (32 30 31 14);\n"
           "                  text with \\\\ for a backslash and \\xHH for any other byte\n"
           "                  that is not printable ASCII; hex always as hex pairs\n"
           "  --verbose       tell on standard error the device opened, its settings\n"
           "                  (9600 8N1) and each frame sent, in hex\n"
           "  --help          this text\n"
           "  --version       the program's version\n"
           "\n"
           "Numbers use a point as the decimal separator, whatever the locale. A sequence holds\n"
           "at most 16 MiB, 1000000 lines of at most 4096 bytes, pauses of at most 24 hours,\n"
           "and plays for at most 30 days.\n"
           "\n"
           "Exit status: 0 sent, 1 port trouble, 2 bad input (nothing was sent),\n"
           "3 no reply in time, 130 interrupted (Ctrl-C; the frame being written is finished;\n"
           "143 on SIGTERM, 129 on SIGHUP).\n";
}

} // namespace quillon::cli
