// quillon-send: sets the DAC board's outputs from the command line, or plays a sequence of
// commands on a steady clock, with the panel's own frames and stricter checks.

#include "command_line.h"
#include "play_schedule.h"
#include "sender.h"
#include "serial_link.h"
#include "shutdown_signals.h"

#include <QCoreApplication>
#include <QFile>
#include <QMetaObject>
#include <QStringList>

#include <cstdio>
#include <string>
#include <vector>

using namespace quillon::cli;

namespace {

void Say(const std::string& message) {
    std::fputs(("quillon-send: " + message + '\n').c_str(), stderr);
}

// The whole sequence, from the file or (for "-") standard input; nothing is opened before it
// has been read and checked.
std::optional<std::vector<Step>> ReadSequence(const std::string& path) {
    QFile file;
    const bool opened = path == "-" ? file.open(stdin, QIODevice::ReadOnly)
                                    : (file.setFileName(QString::fromLocal8Bit(path)),
                                       file.open(QIODevice::ReadOnly));
    const QByteArray text = opened ? file.readAll() : QByteArray();
    if (!opened || file.error() != QFileDevice::NoError) {
        Say("cannot read " + path + ": " + file.errorString().toStdString());
        return std::nullopt;
    }
    try {
        return ParseSequence(std::string_view(text.constData(), std::size_t(text.size())));
    } catch (const Refusal& refusal) {
        Say((path == "-" ? std::string("standard input") : path) + ": " + refusal.what());
        return std::nullopt;
    }
}

QString FailureText(const quillon::PortFailure& failure) {
    return failure.device + ": " + failure.detail;
}

bool OpenLink(quillon::SerialLink& link, const std::optional<std::string>& port) {
    const bool opened =
        port ? link.openDevice(QString::fromLocal8Bit(*port)) : link.OpenAtStartup();
    if (opened)
        return true;
    QStringList reasons;
    if (port) {
        reasons << FailureText(link.lastFailure());
    } else {
        for (const quillon::PortFailure& failure : link.openFailures())
            reasons << FailureText(failure);
        if (reasons.isEmpty())
            reasons << QStringLiteral("no serial port is configured or present");
    }
    Say("cannot open " + reasons.join(QStringLiteral("; ")).toStdString());
    return false;
}

int Run(int argc, char* argv[], const Invocation& invocation,
        const std::optional<PlaySchedule>& schedule) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillon-send"));
    quillon::ShutdownSignals shutdownSignals;
    if (!shutdownSignals.isValid())
        Say("cannot watch for Ctrl-C (" + shutdownSignals.errorString().toStdString() +
            "); an interrupt ends the program at once");

    const quillon::PortDevices devices =
        invocation.port ? quillon::PortDevices{QString::fromLocal8Bit(*invocation.port), QString()}
                        : quillon::PortDevices::fromEnvironment();
    quillon::SerialLink link(devices);
    if (!OpenLink(link, invocation.port))
        return kPortTrouble;

    Sender sender(link);
    QObject::connect(&sender, &Sender::finished, &app, &QCoreApplication::exit);
    QObject::connect(&shutdownSignals, &quillon::ShutdownSignals::shutdownRequested, &sender,
                     &Sender::interrupt);
    // From inside the event loop, so that the first frame goes out as soon as it is queued.
    QMetaObject::invokeMethod(
        &sender,
        [&] {
            if (schedule)
                sender.play(*schedule);
            else
                sender.send(invocation.frame, invocation.replyWait);
        },
        Qt::QueuedConnection);
    return app.exec();
}

} // namespace

int main(int argc, char* argv[]) {
    Invocation invocation;
    try {
        invocation = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const Refusal& refusal) {
        Say(refusal.what());
        return kBadInput;
    }

    switch (invocation.action) {
    case Invocation::Action::Help:
        std::fputs(HelpText().c_str(), stdout);
        return kSent;
    case Invocation::Action::Version:
        std::fputs("quillon-send " QUILLON_VERSION "\n", stdout);
        return kSent;
    case Invocation::Action::Send:
        if (invocation.dryRun) {
            std::puts(DisplayFrame(invocation.frame).c_str());
            return kSent;
        }
        return Run(argc, argv, invocation, std::nullopt);
    case Invocation::Action::Play:
        break;
    }

    const std::optional<std::vector<Step>> steps = ReadSequence(invocation.sequenceFile);
    if (!steps)
        return kBadInput;
    const PlaySchedule schedule(*steps, invocation.rateHz);
    if (schedule.heldToLine()) {
        Say("--rate " + QString::number(*invocation.rateHz).toStdString() +
            " is faster than 9600 baud carries " + std::to_string(schedule.longestFrame()) +
            "-byte frames; playing at " +
            QString::number(schedule.effectiveRateHz(), 'f', 2).toStdString() + " frames a second");
    }
    if (invocation.dryRun) {
        for (const Step& step : *steps) {
            if (const Frame* frame = std::get_if<Frame>(&step))
                std::puts(DisplayFrame(*frame).c_str());
            else
                std::puts(("wait " + std::to_string(std::get<Pause>(step).length.count())).c_str());
        }
        return kSent;
    }
    return Run(argc, argv, invocation, schedule);
}
