#include "interrupt_signal.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace quillon::cli {

namespace {

// The handler may only do async-signal-safe work: it writes one byte into a socket pair that
// the event loop watches.
int g_pipe[2] = {-1, -1};

void WriteToPipe(int) {
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[0], &byte, 1);
    errno = savedErrno;
}

} // namespace

InterruptSignal::InterruptSignal(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_pipe) != 0)
        return;
    m_notifier = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &InterruptSignal::readPipe);
    struct sigaction action {};
    action.sa_handler = WriteToPipe;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
}

InterruptSignal::~InterruptSignal() {
    if (!m_notifier)
        return;
    std::signal(SIGINT, SIG_DFL);
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void InterruptSignal::readPipe() {
    char byte = 0;
    bool any = false;
    while (::read(g_pipe[1], &byte, 1) == 1)
        any = true;
    if (any)
        emit interrupted();
}

} // namespace quillon::cli
