#include "panel_rig.h"

#include <QDeadlineTimer>
#include <QTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace quillon::bench {

namespace {

constexpr int kOpenTimeoutMs = 5000;

// Opened before the panel's QSerialPort, which claims the device exclusively (TIOCEXCL).
int OpenRawSlave(const QString& path) {
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    termios settings{};
    tcgetattr(fd, &settings);
    cfmakeraw(&settings);
    tcsetattr(fd, TCSANOW, &settings);
    return fd;
}

} // namespace

PanelRig::PanelRig() {
    if (!m_harness.isValid()) {
        m_failure = QStringLiteral("no pseudo-terminal");
        return;
    }
    m_slaveFd = OpenRawSlave(m_harness.boardPath());
    if (m_slaveFd < 0) {
        m_failure = QStringLiteral("the pty's slave could not be opened for the reference");
        return;
    }
    if (!m_harness.open()) {
        m_failure = QStringLiteral("the window never became active");
        return;
    }
    const QDeadlineTimer deadline(kOpenTimeoutMs);
    while (!controller().link().isOpen() && !deadline.hasExpired())
        QTest::qWait(10);
    if (!controller().link().isOpen())
        m_failure = QStringLiteral("the panel did not open the pty");
}

PanelRig::~PanelRig() {
    if (m_slaveFd >= 0)
        ::close(m_slaveFd);
}

} // namespace quillon::bench
