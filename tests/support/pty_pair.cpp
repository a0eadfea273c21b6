#include "pty_pair.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <algorithm>

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace quillon::testing {

// The event loop of the thread that owns the application keeps running while the board waits,
// so that whatever the code under test queued meanwhile goes out.
bool PtyPair::waitReadable(int timeoutMs) const {
    const bool servesEvents = QCoreApplication::instance() &&
                              QThread::currentThread() == QCoreApplication::instance()->thread();
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (servesEvents)
            QCoreApplication::processEvents();
        pollfd fd{masterFd(), POLLIN, 0};
        const int sliceMs = servesEvents ? 2 : int(deadline.remainingTime());
        if (::poll(&fd, 1, std::max(sliceMs, 0)) > 0 && (fd.revents & POLLIN))
            return true;
        if (deadline.hasExpired())
            return false;
    }
}

QByteArray PtyPair::readAvailable() {
    QByteArray bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(masterFd(), buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return bytes;
    }
}

QByteArray PtyPair::readExactly(qsizetype count, int timeoutMs) {
    QByteArray bytes;
    QDeadlineTimer deadline(timeoutMs);
    while (bytes.size() < count && !deadline.hasExpired()) {
        if (waitReadable(int(deadline.remainingTime())))
            bytes += readAvailable();
    }
    return bytes;
}

QByteArray PtyPair::readUntilQuiet(int timeoutMs, int quietMs) {
    if (!waitReadable(timeoutMs))
        return {};
    QByteArray bytes = readAvailable();
    while (waitReadable(quietMs))
        bytes += readAvailable();
    return bytes;
}

bool PtyPair::write(const QByteArray& bytes) {
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(masterFd(), bytes.constData() + written, bytes.size() - written);
        if (n < 0 && errno == EAGAIN) {
            pollfd fd{masterFd(), POLLOUT, 0};
            ::poll(&fd, 1, 1000);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += n;
    }
    return true;
}

} // namespace quillon::testing
