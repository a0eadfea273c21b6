#include "command_line.h"

#include <QCommandLineParser>

#include <optional>

namespace quillon {

namespace {

// "zh (Chinese) or en (English)".
QString LanguageChoices() {
    QStringList choices;
    for (const QLocale::Language language : AvailableLanguages(kPanelTexts))
        choices << QStringLiteral("%1 (%2)").arg(LanguageCode(language),
                                                 QLocale::languageToString(language));
    const QString last = choices.takeLast();
    return choices.isEmpty() ? last
                             : choices.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

} // namespace

CommandLine ParseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Control panel for an eight-channel 8-bit DAC board on a serial line (9600 8N1).\n"
        "Without --port it opens QUILLON_PORT1, else QUILLON_PORT2, else the system's first\n"
        "two serial ports; the port menu (串口) picks another device while it runs."));
    // Not addHelpOption(): its --help-all promises Qt's own options, which are not taken here.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays help on commandline options."));
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral("Open <device> only (e.g. /dev/ttyUSB0), ahead of QUILLON_PORT1 and "
                       "QUILLON_PORT2. A name without a leading / is a file in the current "
                       "folder when there is one, else the one in /dev/; tcp://HOST:PORT and "
                       "rfc2217://HOST:PORT reach a board over the network."),
        QStringLiteral("device"));
    parser.addOption(port);
    const QCommandLineOption log(
        QStringLiteral("log"),
        QStringLiteral(
            "Append what goes over the line to <file> from start-up, with times, as "
            "a sequence that plays back (the 记录 menu starts and stops it too); - writes it to "
            "standard output."),
        QStringLiteral("file"));
    parser.addOption(log);
    const QCommandLineOption language(
        QStringLiteral("language"),
        QStringLiteral("Show the panel in <language>: %1. Without it the system's locale "
                       "decides: Chinese for a Chinese locale and for C or POSIX, English for a "
                       "language the panel has no translation into.")
            .arg(LanguageChoices()),
        QStringLiteral("language"));
    parser.addOption(language);
    const QCommandLineOption scpi(
        QStringLiteral("scpi"),
        QStringLiteral("Serve SCPI clients (lab scripts, PyVISA) on TCP at <[addr]:port> from "
                       "start-up, e.g. 127.0.0.1:5025; SCPI has no authentication."),
        QStringLiteral("[addr]:port"));
    parser.addOption(scpi);

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
    QLocale::Language shown = QLocale::AnyLanguage;
    if (parser.isSet(language)) {
        const std::optional<QLocale::Language> named = LanguageNamed(parser.value(language));
        if (!named || !AvailableLanguages(kPanelTexts).contains(*named))
            return {CommandLine::Action::Refuse,
                    {},
                    {},
                    QStringLiteral("--language takes %1; got \"%2\".\n")
                            .arg(LanguageChoices(), parser.value(language)) +
                        parser.helpText()};
        shown = *named;
    }
    CommandLine run{CommandLine::Action::Run, parser.value(port), parser.value(log), {}, shown};
    if (parser.isSet(scpi)) {
        run.scpi = ParseListenAddress(parser.value(scpi));
        if (!run.scpi)
            return {CommandLine::Action::Refuse,
                    {},
                    {},
                    QStringLiteral("--scpi takes [addr]:port, e.g. 127.0.0.1:5025 or [::1]:5025; "
                                   "got \"%1\".\n")
                            .arg(parser.value(scpi)) +
                        parser.helpText()};
    }
    return run;
}

} // namespace quillon
