// quillon-send: sets the DAC board's outputs from the command line, or plays a sequence of
// commands on a steady clock, with the panel's own frames and stricter checks.

#include "command_line.h"
#include "line_log.h"
#include "line_recorder.h"
#include "line_time.h"
#include "play_schedule.h"
#include "quoted_text.h"
#include "say.h"
#include "schedule_output.h"
#include "sender.h"
#include "sequence_reader.h"
#include "serial_link.h"
#include "shutdown_signals.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

using namespace quillon::cli;
namespace sequence = quillon::sequence;

namespace {

const QString kProgram = QStringLiteral("quillon-send " QUILLON_VERSION);

// The whole sequence, from the file or (for "-") standard input, read within the sequence's
// bounds and checked before anything is opened.
std::optional<std::vector<sequence::Step>> ReadSequence(const std::string& path) {
    const bool standardInput = path == "-";
    const std::string name = standardInput ? "standard input" : quillon::QuotedPath(path);
    const int fd = standardInput ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        Say("cannot read " + name + ": " + std::strerror(errno));
        return std::nullopt;
    }
    try {
        const std::string text = sequence::ReadSequenceText(fd, name);
        if (!standardInput)
            ::close(fd);
        return sequence::ParseSequence(text);
    } catch (const sequence::Refusal& refusal) {
        if (!standardInput)
            ::close(fd);
        const std::string what = refusal.what();
        Say(what.rfind(name + ": ", 0) == 0 ? what : name + ": " + what);
        return std::nullopt;
    }
}

// The log is opened before anything is sent: a log that cannot be written refuses the run.
std::optional<sequence::LogFile> OpenLog(const std::optional<std::string>& path) {
    sequence::LogFile file;
    if (!path)
        return file;
    std::string reason;
    if (!file.open(*path, &reason)) {
        Say("cannot open the log " + quillon::QuotedPath(*path) + ": " + reason);
        return std::nullopt;
    }
    return file;
}

QString OpenFailureText(const quillon::SerialLink& link, bool chosenPort) {
    QStringList reasons;
    if (chosenPort) {
        reasons << FailureText(link.lastFailure());
    } else {
        for (const quillon::PortFailure& failure : link.openFailures())
            reasons << FailureText(failure);
        if (reasons.isEmpty())
            reasons << QStringLiteral("no serial port is configured or present");
    }
    return QStringLiteral("cannot open %1").arg(reasons.join(QStringLiteral("; ")));
}

// --verbose: the ports tried, the one opened with its settings, then each frame as the driver
// takes it, so that a run on the platform's default port says where it went.
void TellVerbosely(const quillon::SerialLink& link) {
    for (const quillon::PortFailure& failure : link.openFailures())
        Say(QStringLiteral("tried %1").arg(FailureText(failure)));
    const int number = link.portNumber();
    Say(QStringLiteral("opened %1%2, %3")
            .arg(QString::fromStdString(quillon::QuotedPath(link.deviceName().toStdString())),
                 number > 0 ? QStringLiteral(" (port %1)").arg(number) : QString(),
                 QLatin1String(quillon::kLineSettingsText)));
    QObject::connect(&link, &quillon::SerialLink::frameWritten, [](const QByteArray& frame) {
        Say("sent " + std::to_string(frame.size()) + " bytes: " +
            quillon::HexBytes(std::string_view(frame.constData(), std::size_t(frame.size()))));
    });
}

int Run(int argc, char* argv[], const Invocation& invocation, const sequence::Schedule* schedule,
        sequence::LogFile logFile) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillon-send"));
    quillon::ShutdownSignals shutdownSignals;
    if (!shutdownSignals.isValid())
        Say(QStringLiteral("cannot watch for Ctrl-C (%1); an interrupt ends the program at once")
                .arg(shutdownSignals.errorString()));

    const quillon::PortDevices devices =
        invocation.port ? quillon::PortDevices{QString::fromLocal8Bit(*invocation.port), QString()}
                        : quillon::PortDevices::fromEnvironment();
    quillon::SerialLink link(devices);
    quillon::LineRecorder recorder(link, kProgram, FailureText);
    QObject::connect(
        &recorder, &quillon::LineRecorder::failed, [&](const QString& path, const QString& reason) {
            Say(QStringLiteral("cannot write the log %1 any more (%2); going on "
                               "without it")
                    .arg(QString::fromStdString(quillon::QuotedPath(path.toStdString())), reason));
        });
    bool opened = invocation.port ? link.openDevice(QString::fromLocal8Bit(*invocation.port))
                                  : link.OpenAtStartup();
    // A port on another machine answers later; nothing is sent before it has.
    if (!opened && link.isOpening()) {
        QEventLoop connecting;
        QObject::connect(&link, &quillon::SerialLink::openFinished, &connecting, &QEventLoop::quit);
        connecting.exec();
        opened = link.isOpen();
    }
    if (logFile.isOpen())
        recorder.start(std::move(logFile));
    if (!opened) {
        const QString failure = OpenFailureText(link, invocation.port.has_value());
        recorder.note(failure);
        Say(failure);
        return kPortTrouble;
    }
    if (invocation.verbose)
        TellVerbosely(link);

    Sender sender(link, &recorder);
    // Standard output that carries the log carries nothing else, so that it plays back.
    sender.setReplyOutput(invocation.replyFormat,
                          invocation.logFile == sequence::kStandardOutputLog ? stderr : stdout);
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
    const int status = app.exec();
    recorder.stop();
    return status;
}

void PrintDryRun(const std::vector<sequence::Step>& steps) {
    for (const sequence::Step& step : steps) {
        if (const sequence::Frame* frame = std::get_if<sequence::Frame>(&step))
            std::puts(sequence::DisplayFrame(*frame).c_str());
        else
            std::puts(
                ("wait " + std::to_string(std::get<sequence::Pause>(step).length.count())).c_str());
    }
}

// A rate the line cannot carry is played at the line's rate, and said so.
void SayHeldToLine(double asked, std::size_t frameBytes, double played) {
    Say("--rate " + QString::number(asked).toStdString() + " is faster than 9600 baud carries " +
        std::to_string(frameBytes) + "-byte frames; playing at " +
        QString::number(played, 'f', 2).toStdString() + " frames a second");
}

std::optional<sequence::WaveSchedule> MakeWave(const sequence::WavePlan& plan) {
    try {
        sequence::WaveSchedule wave(plan);
        if (wave.heldToLine())
            SayHeldToLine(*plan.rateHz, quillon::kFrameLength, wave.effectiveRateHz());
        for (const std::string& notice : wave.notices())
            Say(notice);
        return wave;
    } catch (const Refusal& refusal) {
        Say(std::string(refusal.what()));
        return std::nullopt;
    }
}

} // namespace

int main(int argc, char* argv[]) {
    // A closed standard output is told as a failed write, not by a silent death.
    std::signal(SIGPIPE, SIG_IGN);
    Invocation invocation;
    try {
        QStringList arguments;
        for (int i = 1; i < argc; ++i)
            arguments << QString::fromLocal8Bit(argv[i]);
        invocation = ParseCommandLine(arguments);
    } catch (const Refusal& refusal) {
        Say(std::string(refusal.what()));
        return kBadInput;
    }

    std::optional<std::vector<sequence::Step>> steps;
    std::optional<sequence::PlaySchedule> schedule;
    std::optional<sequence::WaveSchedule> wave;
    switch (invocation.action) {
    case Invocation::Action::Help:
        std::fputs(HelpText().c_str(), stdout);
        return kSent;
    case Invocation::Action::Version:
        std::fputs("quillon-send " QUILLON_VERSION "\n", stdout);
        return kSent;
    case Invocation::Action::Send:
        if (invocation.dryRun) {
            std::puts(sequence::DisplayFrame(invocation.frame).c_str());
            return kSent;
        }
        break;
    case Invocation::Action::Play:
        steps = ReadSequence(invocation.sequenceFile);
        if (!steps)
            return kBadInput;
        try {
            schedule.emplace(*steps, invocation.rateHz);
        } catch (const Refusal& refusal) {
            Say(std::string(refusal.what()));
            return kBadInput;
        }
        if (schedule->heldToLine())
            SayHeldToLine(*invocation.rateHz, schedule->longestFrame(),
                          schedule->effectiveRateHz());
        if (invocation.dryRun) {
            PrintDryRun(*steps);
            return kSent;
        }
        break;
    case Invocation::Action::Wave:
        wave = MakeWave(invocation.wave);
        if (!wave)
            return kBadInput;
        if (invocation.printWave || invocation.dryRun)
            return WriteSchedule(
                *wave, invocation.printWave ? ScheduleForm::Sequence : ScheduleForm::DryRun,
                stdout);
        break;
    }

    std::optional<sequence::LogFile> logFile = OpenLog(invocation.logFile);
    if (!logFile)
        return kBadInput;
    const sequence::Schedule* played = nullptr;
    if (schedule)
        played = &*schedule;
    else if (wave)
        played = &*wave;
    return Run(argc, argv, invocation, played, std::move(*logFile));
}
