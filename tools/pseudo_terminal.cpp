#include "pseudo_terminal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace quillon::board {

namespace {

QString SystemError(const QString& what) {
    return what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

void SetFlag(int fd, int getCommand, int setCommand, int flag) {
    ::fcntl(fd, setCommand, ::fcntl(fd, getCommand) | flag);
}

// Raw 8N1 at 9600 baud, so that even a shell redirect, which sets nothing, passes the bytes
// of a frame unchanged.
bool MakeRaw(int fd) {
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0)
        return false;
    ::cfmakeraw(&settings);
    ::cfsetspeed(&settings, B9600);
    settings.c_cflag |= CLOCAL | CREAD;
    return ::tcsetattr(fd, TCSANOW, &settings) == 0;
}

QString LinkTarget(const QByteArray& path) {
    char target[4096];
    const ssize_t length = ::readlink(path.constData(), target, sizeof target - 1);
    return length < 0 ? QString() : QString::fromLocal8Bit(target, length);
}

} // namespace

PseudoTerminal::~PseudoTerminal() {
    removeLink();
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
}

bool PseudoTerminal::open(QString* error) {
    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        m_master = m_slave = -1;
        *error = SystemError(QStringLiteral("cannot open a pseudo-terminal"));
        return false;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    if (!MakeRaw(m_slave)) {
        *error = SystemError(QStringLiteral("cannot set raw mode on ") + m_slavePath);
        return false;
    }
    SetFlag(m_master, F_GETFL, F_SETFL, O_NONBLOCK);
    SetFlag(m_master, F_GETFD, F_SETFD, FD_CLOEXEC);
    SetFlag(m_slave, F_GETFD, F_SETFD, FD_CLOEXEC);
    return true;
}

bool PseudoTerminal::linkAs(const QString& path, QString* error) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const QByteArray encoded = QFile::encodeName(absolute);
    struct stat existing {};
    if (::lstat(encoded.constData(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
        *error = absolute + QStringLiteral(" exists and is not a symbolic link; not replacing it");
        return false;
    }
    if (!QDir().mkpath(QFileInfo(absolute).absolutePath())) {
        *error = QStringLiteral("cannot create the folder of ") + absolute;
        return false;
    }
    // A new link under a temporary name renamed over the old one: the path never goes missing.
    const QByteArray temporary = encoded + ".new-" + QByteArray::number(::getpid());
    ::unlink(temporary.constData());
    if (::symlink(QFile::encodeName(m_slavePath).constData(), temporary.constData()) != 0 ||
        ::rename(temporary.constData(), encoded.constData()) != 0) {
        *error = SystemError(QStringLiteral("cannot link ") + absolute);
        ::unlink(temporary.constData());
        return false;
    }
    m_linkPath = absolute;
    return true;
}

void PseudoTerminal::removeLink() {
    if (m_linkPath.isEmpty())
        return;
    const QByteArray encoded = QFile::encodeName(m_linkPath);
    // Another board may have taken the path over since; its link is not ours to remove.
    if (LinkTarget(encoded) == m_slavePath)
        ::unlink(encoded.constData());
    m_linkPath.clear();
}

} // namespace quillon::board
