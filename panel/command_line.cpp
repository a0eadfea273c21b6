#include "command_line.h"

#include <QCommandLineParser>

namespace quillon {

CommandLine ParseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Control panel for an eight-channel 8-bit DAC board on a serial line (9600 8N1).\n"
        "Without --port it opens QUILLON_PORT1, else QUILLON_PORT2, else the system's first\n"
        "two serial ports; the 串口 menu picks another device while it runs."));
    // Not addHelpOption(): its --help-all promises Qt's own options, which are not taken here.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays help on commandline options."));
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral("Open <device> only (e.g. /dev/ttyUSB0), ahead of QUILLON_PORT1 and "
                       "QUILLON_PORT2."),
        QStringLiteral("device"));
    parser.addOption(port);
    const QCommandLineOption log(
        QStringLiteral("log"),
        QStringLiteral("Append what goes over the line to <file> from start-up, with times, as "
                       "a sequence that plays back (the 记录 menu starts and stops it too)."),
        QStringLiteral("file"));
    parser.addOption(log);

    if (!parser.parse(arguments))
        return {
            CommandLine::Action::Refuse, {}, {}, parser.errorText() + u'\n' + parser.helpText()};
    if (!parser.positionalArguments().isEmpty()) {
        const QString error = QStringLiteral("Unexpected argument: %1 (a device is given as "
                                             "--port DEVICE).")
                                  .arg(parser.positionalArguments().join(u' '));
        return {CommandLine::Action::Refuse, {}, {}, error + u'\n' + parser.helpText()};
    }
    if (parser.isSet(help))
        return {CommandLine::Action::PrintHelp, {}, {}, parser.helpText()};
    if (parser.isSet(version))
        return {CommandLine::Action::PrintVersion,
                {},
                {},
                QStringLiteral("quillon %1\n").arg(QStringLiteral(QUILLON_VERSION))};
    if (parser.isSet(port) && parser.value(port).isEmpty())
        return {CommandLine::Action::Refuse,
                {},
                {},
                QStringLiteral("--port needs a device path.\n") + parser.helpText()};
    if (parser.isSet(log) && parser.value(log).isEmpty())
        return {CommandLine::Action::Refuse,
                {},
                {},
                QStringLiteral("--log needs a file.\n") + parser.helpText()};
    return {CommandLine::Action::Run, parser.value(port), parser.value(log), {}};
}

} // namespace quillon
