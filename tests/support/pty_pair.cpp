#include "pty_pair.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <algorithm>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace quillon::testing {

PtyPair::PtyPair() {
    char name[256] = {};
    if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    // Raw mode on both ends, so bytes pass unchanged even before the code under test opens
    // the slave and sets its own line settings.
    termios settings{};
    tcgetattr(m_slave, &settings);
    cfmakeraw(&settings);
    tcsetattr(m_slave, TCSANOW, &settings);
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() {
    hangUp();
    if (m_slave >= 0)
        ::close(m_slave);
}

bool PtyPair::linkAs(const QString& path) const {
    QFile::remove(path);
    return QFile::link(m_slavePath, path);
}

// The event loop of the thread that owns the application keeps running while the board waits,
// so that whatever the code under test queued meanwhile goes out.
bool PtyPair::waitReadable(int timeoutMs) const {
    const bool servesEvents = QCoreApplication::instance() &&
                              QThread::currentThread() == QCoreApplication::instance()->thread();
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (servesEvents)
            QCoreApplication::processEvents();
        pollfd fd{m_master, POLLIN, 0};
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
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
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
        const ssize_t n = ::write(m_master, bytes.constData() + written, bytes.size() - written);
        if (n < 0 && errno == EAGAIN) {
            pollfd fd{m_master, POLLOUT, 0};
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

void PtyPair::hangUp() {
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}

} // namespace quillon::testing
