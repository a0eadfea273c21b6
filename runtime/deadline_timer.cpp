#include "deadline_timer.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <sys/timerfd.h>
#include <unistd.h>

namespace quillon {

namespace {

QString SystemError(const char* call) {
    return QStringLiteral("%1: %2").arg(QLatin1String(call),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

// std::chrono::steady_clock is CLOCK_MONOTONIC on Linux, the clock the timer runs on.
std::chrono::nanoseconds SteadyNow() {
    return std::chrono::steady_clock::now().time_since_epoch();
}

DeadlineTimer::DeadlineTimer(QObject* parent) : QObject(parent) {
    m_fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_fd < 0) {
        m_error = SystemError("timerfd_create");
        return;
    }
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &DeadlineTimer::readExpiry);
}

DeadlineTimer::~DeadlineTimer() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool DeadlineTimer::fireAt(std::chrono::nanoseconds steadyTime) {
    using namespace std::chrono;
    if (m_fd < 0)
        return false;
    // A zero it_value would disarm the timer; the earliest time still fires at once.
    const nanoseconds when = std::max(steadyTime, nanoseconds(1));
    itimerspec expiry{};
    expiry.it_value.tv_sec = duration_cast<seconds>(when).count();
    expiry.it_value.tv_nsec = (when - duration_cast<seconds>(when)).count();
    if (::timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &expiry, nullptr) == 0)
        return true;
    m_error = SystemError("timerfd_settime");
    return false;
}

void DeadlineTimer::stop() {
    const itimerspec disarmed{};
    if (m_fd >= 0)
        ::timerfd_settime(m_fd, 0, &disarmed, nullptr);
}

void DeadlineTimer::readExpiry() {
    std::uint64_t expirations = 0;
    if (::read(m_fd, &expirations, sizeof expirations) == sizeof expirations)
        emit fired();
}

} // namespace quillon
