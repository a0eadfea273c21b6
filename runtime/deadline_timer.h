#pragma once

// A one-shot timer on an absolute time of the steady clock, to the nanosecond (QTimer counts
// whole milliseconds). Linux timerfd, watched by the event loop.

#include <QObject>
#include <QString>

#include <chrono>

class QSocketNotifier;

namespace quillon {

class DeadlineTimer : public QObject {
    Q_OBJECT

public:
    explicit DeadlineTimer(QObject* parent = nullptr);
    ~DeadlineTimer() override;

    // False when the system would not make the timer; errorString() says why.
    bool isValid() const { return m_fd >= 0; }
    QString errorString() const { return m_error; }
    // Fires once at `steadyTime` (std::chrono::steady_clock's time since its epoch); a time
    // already past fires at once. Replaces any earlier deadline. False, with errorString(), when
    // the timer could not be set: it will then never fire.
    bool fireAt(std::chrono::nanoseconds steadyTime);
    void stop();

signals:
    void fired();

private:
    void readExpiry();

    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    QString m_error;
};

// The steady clock as a duration since its epoch, the form DeadlineTimer takes.
std::chrono::nanoseconds SteadyNow();

} // namespace quillon
