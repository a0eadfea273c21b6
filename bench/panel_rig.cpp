#include "panel_rig.h"

#include "pseudo_terminal.h"

#include <QDeadlineTimer>
#include <QTest>

#include <unistd.h>

namespace quillon::bench {

namespace {

constexpr int kOpenTimeoutMs = 5000;

} // namespace

PanelRig::PanelRig() {
    if (!m_harness.isValid()) {
        m_failure = QStringLiteral("no pseudo-terminal");
        return;
    }
    // Opened before the panel's QSerialPort, which claims the device exclusively (TIOCEXCL).
    m_slaveFd = PseudoTerminal::openRaw(m_harness.boardPath());
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
