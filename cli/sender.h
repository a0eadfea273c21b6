#pragma once

// Puts frames on the serial link: one frame (and perhaps waits for the board's reply), or a
// whole schedule played on the steady clock. Ends with finished(exit status).

#include "command_line.h"
#include "play_schedule.h"
#include "sequence_player.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>

namespace quillon {
class LineRecorder;
class SerialLink;
struct PortFailure;
} // namespace quillon

namespace quillon::cli {

// A port failure in English: the device, what went wrong, and the system's detail if any.
QString FailureText(const PortFailure& failure);

class Sender : public QObject {
    Q_OBJECT

public:
    // `recorder`, if given, is told of what the link cannot see (a reply that did not come).
    explicit Sender(SerialLink& link, LineRecorder* recorder = nullptr, QObject* parent = nullptr);

    void send(const Frame& frame, std::optional<std::chrono::milliseconds> replyWait);
    // Where and how a reply is printed: standard output and ReplyFormat::Auto unless told.
    void setReplyOutput(ReplyFormat format, std::FILE* out);
    void play(const sequence::Schedule& schedule);
    // Ctrl-C, SIGTERM or SIGHUP: nothing more is queued; once the frames queued are out,
    // finished(128 + signal), 130 for Ctrl-C.
    void interrupt(int signalNumber);

signals:
    void finished(int status);

private:
    bool write(const Frame& frame);
    void handleAllWritten();
    void handleWriteFailed(const PortFailure& failure);
    void handlePlayFinished(SequencePlayer::Outcome outcome);
    void handleLostWhileFinishing(const PortFailure& failure);
    void collectReply();
    void printReply();
    void keepReply(const QByteArray& more);
    void sayStopped();
    void showProgress(bool last);
    void finish(int status);

    SerialLink& m_link;
    LineRecorder* m_recorder;
    QTimer m_replyTimer;
    QTimer m_quietTimer;
    std::unique_ptr<SequencePlayer> m_player;
    std::optional<std::chrono::milliseconds> m_replyWait;
    enum class State {
        Idle,
        Sending,       // one frame queued, until the driver has taken it
        AwaitingReply, // the frame is out; the board's reply is collected
        Playing,       // a schedule plays
        Done,          // finished, or finishing once the last frame has had its line time
    };

    QByteArray m_reply;
    bool m_replyCut = false;
    ReplyFormat m_replyFormat = ReplyFormat::Auto;
    std::FILE* m_replyOut = stdout;
    State m_state = State::Idle;
    // The status a signal asked to end with (130 for Ctrl-C); nothing more is queued after it.
    std::optional<int> m_interruptStatus;
    int m_status = kSent; // what the program exits with, once the line is idle
    bool m_showProgress = false;
    std::chrono::nanoseconds m_lastProgress{0};
};

} // namespace quillon::cli
