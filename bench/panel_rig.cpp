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
    if (!m_board.isValid()) {
        m_failure = QStringLiteral("no pseudo-terminal");
        return;
    }
    m_slaveFd = OpenRawSlave(m_board.slavePath());
    m_form = std::make_unique<Form1>();
    m_controller =
        std::make_unique<PanelController>(*m_form, PortDevices{m_board.slavePath(), QString()},
                                          [this](const OperatorMessage&) { ++m_messages; });
    m_form->show();
    if (!QTest::qWaitForWindowExposed(m_form.get())) {
        m_failure = QStringLiteral("the window was never exposed");
        return;
    }
    const QDeadlineTimer deadline(kOpenTimeoutMs);
    while (!m_controller->link().isOpen() && !deadline.hasExpired())
        QTest::qWait(10);
    if (!m_controller->link().isOpen())
        m_failure = QStringLiteral("the panel did not open the pty");
    else if (m_slaveFd < 0)
        m_failure = QStringLiteral("the pty's slave could not be opened for the reference");
}

PanelRig::~PanelRig() {
    m_controller.reset();
    m_form.reset();
    if (m_slaveFd >= 0)
        ::close(m_slaveFd);
}

} // namespace quillon::bench
