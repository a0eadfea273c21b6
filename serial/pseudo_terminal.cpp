#include "pseudo_terminal.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace quillon {

namespace {

bool Fail(QString* error, const QString& message) {
    if (error)
        *error = message;
    return false;
}

bool FailWithErrno(QString* error, const QString& what) {
    return Fail(error, what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno)));
}

void SetFlag(int fd, int getCommand, int setCommand, int flag) {
    ::fcntl(fd, setCommand, ::fcntl(fd, getCommand) | flag);
}

QString LinkTarget(const QByteArray& path) {
    char target[4096];
    const ssize_t length = ::readlink(path.constData(), target, sizeof target - 1);
    return length < 0 ? QString() : QString::fromLocal8Bit(target, length);
}

} // namespace

PseudoTerminal::~PseudoTerminal() {
    removeLink();
    hangUp();
    if (m_slave >= 0)
        ::close(m_slave);
}

bool PseudoTerminal::open(QString* error) {
    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        m_master = m_slave = -1;
        return FailWithErrno(error, QStringLiteral("cannot open a pseudo-terminal"));
    }
    m_slavePath = QString::fromLocal8Bit(name);
    // Raw from the start, so that even a shell redirect, which sets nothing, passes the bytes
    // of a frame unchanged.
    if (!makeRaw(m_slave))
        return FailWithErrno(error, QStringLiteral("cannot set raw mode on ") + m_slavePath);
    SetFlag(m_master, F_GETFL, F_SETFL, O_NONBLOCK);
    SetFlag(m_master, F_GETFD, F_SETFD, FD_CLOEXEC);
    SetFlag(m_slave, F_GETFD, F_SETFD, FD_CLOEXEC);
    return true;
}

bool PseudoTerminal::linkAs(const QString& path, QString* error) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const QByteArray encoded = QFile::encodeName(absolute);
    struct stat existing {};
    if (::lstat(encoded.constData(), &existing) == 0 && !S_ISLNK(existing.st_mode))
        return Fail(error, absolute + QStringLiteral(" exists and is not a symbolic link; not "
                                                     "replacing it"));
    // Folders made here would outlive the link; where the link goes is the caller's to prepare.
    const QString folder = QFileInfo(absolute).absolutePath();
    if (!QFileInfo(folder).isDir())
        return Fail(
            error,
            QStringLiteral("cannot link %1: the folder %2 does not exist").arg(absolute, folder));
    // A new link under a temporary name renamed over the old one: the path never goes missing.
    const QByteArray temporary = encoded + ".new-" + QByteArray::number(::getpid());
    ::unlink(temporary.constData());
    if (::symlink(QFile::encodeName(m_slavePath).constData(), temporary.constData()) != 0 ||
        ::rename(temporary.constData(), encoded.constData()) != 0) {
        FailWithErrno(error, QStringLiteral("cannot link ") + absolute);
        ::unlink(temporary.constData());
        return false;
    }
    if (m_linkPath != absolute)
        removeLink();
    m_linkPath = absolute;
    return true;
}

void PseudoTerminal::hangUp() {
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

bool PseudoTerminal::makeRaw(int fd) {
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0)
        return false;
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    return ::tcsetattr(fd, TCSANOW, &settings) == 0;
}

int PseudoTerminal::openRaw(const QString& device, int flags) {
    const int fd =
        ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC | flags);
    if (fd >= 0 && !makeRaw(fd)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void PseudoTerminal::removeLink() {
    if (m_linkPath.isEmpty())
        return;
    const QByteArray encoded = QFile::encodeName(m_linkPath);
    // Another terminal may have taken the path over since; its link is not ours to remove.
    if (LinkTarget(encoded) == m_slavePath)
        ::unlink(encoded.constData());
    m_linkPath.clear();
}

} // namespace quillon
