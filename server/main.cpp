// quillon-scpi: the DAC board as a SCPI instrument on TCP, for lab scripts and racks, with no
// window: owns the board's port and serves SCPI clients on it until a signal stops it.

#include "line_recorder.h"
#include "listen_address.h"
#include "quoted_text.h"
#include "scpi_server.h"
#include "sender.h"
#include "serial_link.h"
#include "shutdown_signals.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <optional>

namespace {

constexpr int kBadInput = 2;
constexpr int kCannotListen = 1;
const QString kProgram = QStringLiteral("quillon-scpi " QUILLON_VERSION);

const char kHelp[] =
    "Usage: quillon-scpi [--port DEVICE] [--listen [ADDR]:PORT] [--log FILE|-]\n"
    "Serves the DAC board as a SCPI instrument on TCP (lines ended by LF).\n"
    "\n"
    "  --port DEVICE       the board's device (a path, tcp://HOST:PORT or rfc2217://HOST:PORT);\n"
    "                      by default port 1, else port 2 (QUILLON_PORT1, QUILLON_PORT2); a\n"
    "                      name without a leading / is a file in the current folder when\n"
    "                      there is one, else the one in /dev/\n"
    "  --listen [ADDR]:PORT  where to listen, 127.0.0.1:5025 by default; 0.0.0.0:5025 or\n"
    "                      [::]:5025 reach other machines: SCPI has no authentication\n"
    "  --log FILE          append a log of the line that quillon-send play replays; --log -\n"
    "                      writes it to standard output, and \"listening on\" then goes to\n"
    "                      standard error\n"
    "  --help, --version   print and exit\n";

struct Options {
    std::optional<QString> port;
    quillon::ListenAddress listen;
    std::optional<QString> logFile;
};

void Say(const QString& message) {
    std::fputs(("quillon-scpi: " + message + '\n').toLocal8Bit().constData(), stderr);
}

// Nothing when the program has already answered (help, version) or refused; `status` says which.
std::optional<Options> ParseOptions(const QStringList& arguments, int* status) {
    Options options;
    *status = 0;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        QString name = arguments[i];
        QString value;
        const qsizetype equals = name.indexOf(u'=');
        const bool inline_ = name.startsWith(QStringLiteral("--")) && equals > 0;
        if (inline_) {
            value = name.mid(equals + 1);
            name = name.left(equals);
        }
        if (name == QStringLiteral("--help") || name == QStringLiteral("--version")) {
            std::fputs(name == QStringLiteral("--help") ? kHelp
                                                        : "quillon-scpi " QUILLON_VERSION "\n",
                       stdout);
            return std::nullopt;
        }
        const bool takesValue = name == QStringLiteral("--port") ||
                                name == QStringLiteral("--listen") ||
                                name == QStringLiteral("--log");
        if (!takesValue) {
            Say(QStringLiteral("unknown option %1; see quillon-scpi --help")
                    .arg(QString::fromStdString(quillon::QuotedText(name.toStdString()))));
            *status = kBadInput;
            return std::nullopt;
        }
        if (!inline_) {
            if (++i >= arguments.size()) {
                Say(QStringLiteral("%1 needs a value; see quillon-scpi --help").arg(name));
                *status = kBadInput;
                return std::nullopt;
            }
            value = arguments[i];
        }
        if (name == QStringLiteral("--port")) {
            options.port = value;
        } else if (name == QStringLiteral("--log")) {
            options.logFile = value;
        } else {
            const std::optional<quillon::ListenAddress> listen = quillon::ParseListenAddress(value);
            if (!listen) {
                Say(QStringLiteral("--listen %1 is not [ADDR]:PORT (127.0.0.1:5025, [::1]:5025)")
                        .arg(QString::fromStdString(quillon::QuotedText(value.toStdString()))));
                *status = kBadInput;
                return std::nullopt;
            }
            options.listen = *listen;
        }
    }
    return options;
}

// Stops listening, lets the frames already accepted out and their time on the line pass, then
// ends the event loop.
void FinishAndQuit(quillon::SerialLink& link, quillon::ScpiServer& server) {
    server.close();
    auto quitOnceIdle = [&link] {
        QTimer::singleShot(std::chrono::ceil<std::chrono::milliseconds>(link.lineBusyFor()), qApp,
                           &QCoreApplication::quit);
    };
    if (link.bytesToWrite() == 0) {
        quitOnceIdle();
        return;
    }
    QObject::connect(&link, &quillon::SerialLink::allWritten, qApp, quitOnceIdle);
    QObject::connect(&link, &quillon::SerialLink::writeFailed, qApp, quitOnceIdle);
}

} // namespace

int main(int argc, char* argv[]) {
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillon-scpi"));
    int status = 0;
    const std::optional<Options> options = ParseOptions(QCoreApplication::arguments(), &status);
    if (!options)
        return status;

    // The log is opened before anything else: a log that cannot be written refuses the run.
    quillon::sequence::LogFile logFile;
    if (options->logFile) {
        std::string reason;
        if (!logFile.open(options->logFile->toLocal8Bit().toStdString(), &reason)) {
            Say(QStringLiteral("cannot open the log %1: %2")
                    .arg(QString::fromStdString(
                             quillon::QuotedPath(options->logFile->toLocal8Bit().toStdString())),
                         QString::fromLocal8Bit(reason.c_str())));
            return kBadInput;
        }
    }

    quillon::ShutdownSignals shutdownSignals;
    if (!shutdownSignals.isValid())
        Say(QStringLiteral("cannot watch for SIGTERM (%1); a signal ends the program at once")
                .arg(shutdownSignals.errorString()));

    const quillon::PortDevices devices = options->port
                                             ? quillon::PortDevices{*options->port, QString()}
                                             : quillon::PortDevices::fromEnvironment();
    quillon::SerialLink link(devices);
    // The recorder hears of each written frame before the server forgets who sent it.
    quillon::LineRecorder recorder(link, kProgram, quillon::cli::FailureText);
    quillon::ScpiServer server(link, QStringLiteral(QUILLON_VERSION));
    recorder.setFrameSender([&server](const QByteArray& frame) { return server.senderOf(frame); });
    QObject::connect(
        &recorder, &quillon::LineRecorder::failed, [](const QString& path, const QString& reason) {
            Say(QStringLiteral("cannot write the log %1 any more (%2); going on "
                               "without it")
                    .arg(QString::fromStdString(quillon::QuotedPath(path.toStdString())), reason));
        });
    QObject::connect(
        &link, &quillon::SerialLink::portLost, [](const quillon::PortFailure& failure) {
            Say(QStringLiteral("port lost: %1").arg(quillon::cli::FailureText(failure)));
        });
    QObject::connect(
        &link, &quillon::SerialLink::writeFailed, [](const quillon::PortFailure& failure) {
            Say(QStringLiteral("frames not sent: %1").arg(quillon::cli::FailureText(failure)));
        });

    // A port that is not there yet is opened again by the first command that sends.
    const bool opened = options->port ? link.openDevice(*options->port) : link.OpenAtStartup();
    if (logFile.isOpen())
        recorder.start(std::move(logFile));
    if (!opened && !link.isOpening())
        Say(QStringLiteral("no port open yet (%1); commands get -241 until one opens")
                .arg(quillon::cli::FailureText(link.lastFailure())));

    if (!server.listen(options->listen)) {
        Say(QStringLiteral("cannot listen on %1: %2")
                .arg(options->listen.text(), server.errorString()));
        return kCannotListen;
    }
    // Standard output that carries the log carries nothing else, so that it plays back.
    const bool logOnStandardOutput = options->logFile && options->logFile->toStdString() ==
                                                             quillon::sequence::kStandardOutputLog;
    std::FILE* said = logOnStandardOutput ? stderr : stdout;
    std::fprintf(said, "listening on %s\n", server.address().text().toLocal8Bit().constData());
    std::fflush(said);

    QObject::connect(&shutdownSignals, &quillon::ShutdownSignals::shutdownRequested, &app,
                     [&] { FinishAndQuit(link, server); });
    app.exec();
    recorder.stop();
    return 0;
}
