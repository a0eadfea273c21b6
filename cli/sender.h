#pragma once

// Puts frames on the serial link: one frame (and perhaps waits for the board's reply), or a
// whole schedule on the steady clock. Ends with finished(exit status).

#include "command_line.h"
#include "deadline_timer.h"
#include "play_schedule.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <memory>
#include <optional>

namespace quillon {
class SerialLink;
struct PortFailure;
} // namespace quillon

namespace quillon::cli {

class Sender : public QObject {
    Q_OBJECT

public:
    explicit Sender(SerialLink& link, QObject* parent = nullptr);

    void send(const Frame& frame, std::optional<std::chrono::milliseconds> replyWait);
    void play(const PlaySchedule& schedule);
    // Ctrl-C, SIGTERM or SIGHUP: nothing more is queued; once the frame being written is out,
    // finished(128 + signal), 130 for Ctrl-C.
    void interrupt(int signalNumber);

signals:
    void finished(int status);

private:
    bool write(const Frame& frame);
    void sendDueFrames();
    void handleAllWritten();
    void handleWriteFailed(const PortFailure& failure);
    void collectReply();
    void printReply();
    void showProgress(bool last);
    void finish(int status);

    SerialLink& m_link;
    DeadlineTimer m_deadline;
    QTimer m_replyTimer;
    QTimer m_quietTimer;
    std::unique_ptr<PlayScheduler> m_scheduler;
    std::optional<std::chrono::milliseconds> m_replyWait;
    QString m_reply;
    bool m_interrupted = false;
    int m_interruptStatus = kInterrupted;
    bool m_allQueued = false;
    bool m_waitingForReply = false;
    bool m_done = false;
    bool m_showProgress = false;
    std::chrono::nanoseconds m_lastProgress{0};
};

} // namespace quillon::cli
