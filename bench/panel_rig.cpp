#include "panel_rig.h"

#include "pseudo_terminal.h"

#include <QDeadlineTimer>
#include <QTest>

#include <unistd.h>

namespace quillon::bench {

namespace {

constexpr int kOpenTimeoutMs = 5000;

} // namespace

PanelRig::PanelRig(Route route) {
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
    const QString device = deviceFor(route);
    if (device.isEmpty())
        return;
    if (!m_harness.open(device)) {
        m_failure = QStringLiteral("the window never became active");
        return;
    }
    const QDeadlineTimer deadline(kOpenTimeoutMs);
    while (!controller().link().isOpen() && !deadline.hasExpired())
        QTest::qWait(10);
    if (!controller().link().isOpen())
        m_failure = QStringLiteral("the panel did not open the pty");
}

QString PanelRig::deviceFor(Route route) {
    if (route == Route::Direct)
        return m_harness.boardPath();
    if (!testing::Ser2NetServer::isInstalled()) {
        m_failure = QStringLiteral("ser2net is not installed");
        return {};
    }
    m_server = std::make_unique<testing::Ser2NetServer>(m_harness.board().slavePath());
    if (!m_server->start()) {
        m_failure = m_server->errorString();
        return {};
    }
    return QStringLiteral("tcp://127.0.0.1:%1").arg(m_server->rawPort());
}

PanelRig::~PanelRig() {
    if (m_slaveFd >= 0)
        ::close(m_slaveFd);
}

} // namespace quillon::bench
