#include "command_line.h"
#include "form1.h"
#include "panel_actions.h"
#include "scpi_control.h"
#include "shutdown_signals.h"
#include "window_language.h"

#include <QApplication>
#include <QCoreApplication>

#include <chrono>
#include <cstdio>

namespace {

void Print(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
}

// Options are read before the window's application object exists, so --help, --version and a
// refused command line need no display.
quillon::CommandLine ReadCommandLine(int& argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    return quillon::ParseCommandLine(QCoreApplication::arguments());
}

} // namespace

int main(int argc, char* argv[]) {
    using Action = quillon::CommandLine::Action;
    const quillon::CommandLine commandLine = ReadCommandLine(argc, argv);
    switch (commandLine.action) {
    case Action::PrintHelp:
    case Action::PrintVersion:
        Print(stdout, commandLine.text);
        return 0;
    case Action::Refuse:
        Print(stderr, commandLine.text);
        return 2;
    case Action::Run:
        break;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(quillon::kApplicationTitle);
    const quillon::UiTranslation translation(quillon::kPanelTexts, commandLine.language);

    // --port opens that device only: an empty port 2 is never tried.
    const quillon::PortDevices devices = commandLine.port.isEmpty()
                                             ? quillon::PortDevices::fromEnvironment()
                                             : quillon::PortDevices{commandLine.port, QString()};
    // SIGTERM, SIGINT and SIGHUP end the program through its normal path, so the log is flushed.
    quillon::ShutdownSignals shutdownSignals;
    QObject::connect(&shutdownSignals, &quillon::ShutdownSignals::shutdownRequested, &app,
                     &QCoreApplication::quit);
    if (!shutdownSignals.isValid())
        Print(stderr, QStringLiteral("quillon: cannot watch for SIGTERM (%1); a log may lose "
                                     "its last entries to the disk cache\n")
                          .arg(shutdownSignals.errorString()));

    quillon::Form1 window;
    quillon::PanelController controller(window, devices);
    if (!commandLine.logFile.isEmpty())
        controller.logFromLoad(commandLine.logFile);
    quillon::ScpiControl scpi(window, controller);
    window.show();
    if (commandLine.scpi)
        scpi.start(*commandLine.scpi);
    const int status = app.exec();
    // A serial server drops what it has not yet written to the board when the connection closes.
    controller.finishLine(std::chrono::seconds(5));
    return status;
}
