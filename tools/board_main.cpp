// quillon-board: plays the DAC board on a pseudo-terminal for the panel, scripts and tests.

#include "board_window.h"
#include "shutdown_signals.h"
#include "window_language.h"
#include "virtual_board.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QPoint>
#include <QStringList>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

using quillon::ShutdownSignals;
using quillon::board::BoardWindow;
using quillon::board::ReplyMode;
using quillon::board::VirtualBoard;

namespace {

// One line on standard output, flushed at once: scripts and tests read it as it comes.
void PrintLine(const QString& line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void PrintNote(const QString& message) {
    const QByteArray bytes = "quillon-board: " + message.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stderr);
}

// The application object has to exist before the options are parsed, and a window needs the
// widget kind of it.
bool WantsWindow(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--window") == 0)
            return true;
    }
    return false;
}

std::optional<ReplyMode> ParseReplyMode(const QString& text) {
    if (text == QLatin1String("silent"))
        return ReplyMode::Silent;
    if (text == QLatin1String("echo"))
        return ReplyMode::Echo;
    return std::nullopt;
}

// A positive whole number of bits a second; 0 (no --baud) reads as fast as bytes come.
std::optional<int> ParseBaud(const QString& text) {
    bool isNumber = false;
    const int baud = text.toInt(&isNumber);
    if (!isNumber || baud <= 0 || text.trimmed() != text || text.startsWith(QLatin1Char('+')))
        return std::nullopt;
    return baud;
}

// "X,Y" in screen pixels.
std::optional<QPoint> ParsePosition(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(','));
    bool xOk = false;
    bool yOk = false;
    const QPoint position =
        parts.size() == 2 ? QPoint(parts[0].trimmed().toInt(&xOk), parts[1].trimmed().toInt(&yOk))
                          : QPoint();
    if (!xOk || !yOk)
        return std::nullopt;
    return position;
}

} // namespace

int main(int argc, char* argv[]) {
    std::unique_ptr<QCoreApplication> app = WantsWindow(argc, argv)
                                                ? std::make_unique<QApplication>(argc, argv)
                                                : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillon-board"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLON_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral(
            "A virtual DAC board on a pseudo-terminal. Prints the terminal's device path as its\n"
            "first line, then one line per command received: single-channel, four-channel,\n"
            "eight-channel, reset, or rejected with its bytes in hex. The bytes that arrive\n"
            "between two pauses of at least %1 ms are taken as whole commands or rejected\n"
            "together. Stops on Ctrl+C, SIGTERM or SIGHUP.")
            .arg(VirtualBoard::kQuietGap.count()));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption linkOption(
        QStringLiteral("link"),
        QStringLiteral("Also make <path> a symbolic link to the device (replacing a symbolic "
                       "link already there; its folder must exist) and remove it on exit."),
        QStringLiteral("path"));
    const QCommandLineOption replyOption(
        QStringLiteral("reply"),
        QStringLiteral("What to send back for each command: silent (default) or echo (the "
                       "command, unchanged)."),
        QStringLiteral("mode"), QStringLiteral("silent"));
    const QCommandLineOption windowOption(
        QStringLiteral("window"),
        QStringLiteral("Also show the eight outputs and the log in a window."));
    const QCommandLineOption baudOption(
        QStringLiteral("baud"),
        QStringLiteral("Take the bytes no faster than a serial line of <rate> baud, 8N1, carries "
                       "them (rate / 10 bytes a second); the writer waits for the line as it "
                       "would for a real one. Without it the board takes bytes as fast as they "
                       "come."),
        QStringLiteral("rate"));
    const QCommandLineOption positionOption(
        QStringLiteral("window-position"),
        QStringLiteral("Open the window with its top-left corner at <x,y> on the screen."),
        QStringLiteral("x,y"));
    parser.addOptions({linkOption, replyOption, baudOption, windowOption, positionOption});
    parser.process(*app);

    const std::optional<ReplyMode> replyMode = ParseReplyMode(parser.value(replyOption));
    const std::optional<int> baud =
        parser.isSet(baudOption) ? ParseBaud(parser.value(baudOption)) : std::optional<int>(0);
    const std::optional<QPoint> position =
        parser.isSet(positionOption) ? ParsePosition(parser.value(positionOption)) : QPoint();
    if (!position) {
        PrintNote(QStringLiteral("--window-position takes x,y, e.g. 656,24"));
        return 2;
    }
    if (!replyMode || !baud || !parser.positionalArguments().isEmpty()) {
        PrintNote(!replyMode ? QStringLiteral("--reply takes silent or echo")
                  : !baud    ? QStringLiteral("--baud takes a positive whole number of bits a "
                                                 "second, such as 9600; got \"%1\"")
                                .arg(parser.value(baudOption))
                          : QStringLiteral("unexpected argument: ") +
                                parser.positionalArguments().join(QLatin1Char(' ')));
        return 2;
    }

    // A closed standard output must not kill the board before it removes its link.
    std::signal(SIGPIPE, SIG_IGN);
    ShutdownSignals shutdownSignals;
    QObject::connect(&shutdownSignals, &ShutdownSignals::shutdownRequested, app.get(),
                     &QCoreApplication::quit);
    if (!shutdownSignals.isValid())
        PrintNote(QStringLiteral("cannot watch for Ctrl+C (%1); the link may outlive the board")
                      .arg(shutdownSignals.errorString()));

    VirtualBoard board(*replyMode, *baud);
    QString error;
    if (!board.open(parser.value(linkOption), &error)) {
        PrintNote(error);
        return 1;
    }
    PrintLine(board.devicePath());
    if (!board.linkPath().isEmpty())
        PrintNote(board.linkPath() + QStringLiteral(" -> ") + board.devicePath());
    QObject::connect(&board, &VirtualBoard::commandLogged, &PrintLine);

    // Only the window speaks the operator's language; what the board prints stays English.
    std::unique_ptr<quillon::UiTranslation> translation;
    std::unique_ptr<BoardWindow> window;
    if (parser.isSet(windowOption)) {
        translation = std::make_unique<quillon::UiTranslation>(quillon::board::kBoardTexts,
                                                               QLocale::AnyLanguage);
        window = std::make_unique<BoardWindow>(board);
        if (parser.isSet(positionOption))
            window->move(*position);
        window->show();
    }
    return app->exec();
}
