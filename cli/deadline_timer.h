#pragma once

// A one-shot timer on an absolute time of the steady clock, to the nanosecond (QTimer counts
// whole milliseconds). Linux timerfd, watched by the event loop.

#include <QObject>

#include <chrono>

class QSocketNotifier;

namespace quillon::cli {

class DeadlineTimer : public QObject {
    Q_OBJECT

public:
    explicit DeadlineTimer(QObject* parent = nullptr);
    ~DeadlineTimer() override;

    bool isValid() const { return m_fd >= 0; }
    // Fires once at `steadyTime` (std::chrono::steady_clock's time since its epoch); a time
    // already past fires at once. Replaces any earlier deadline.
    void fireAt(std::chrono::nanoseconds steadyTime);
    void stop();

signals:
    void fired();

private:
    void readExpiry();

    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
};

// The steady clock as a duration since its epoch, the form DeadlineTimer takes.
std::chrono::nanoseconds SteadyNow();

} // namespace quillon::cli
