#pragma once

// The real window and its controller with the board on a pty, as the panel tests set it up
// (port 1 is the pty's slave, messages are recorded instead of shown), plus a descriptor of the
// slave of the benchmark's own. The panel may reach the pty through a private ser2net instead.

#include "panel_harness.h"
#include "ser2net_server.h"

#include <QString>

#include <memory>

namespace quillon::bench {

class PanelRig {
public:
    enum class Route { Direct, RawTcpThroughSer2Net };

    // Needs a QApplication; shows the window and waits until its Load has opened the port.
    explicit PanelRig(Route route = Route::Direct);
    ~PanelRig();
    PanelRig(const PanelRig&) = delete;
    PanelRig& operator=(const PanelRig&) = delete;

    // Empty when the window is up with its port open, else what went wrong.
    QString failure() const { return m_failure; }

    Form1& form() { return m_harness.form(); }
    PanelController& controller() { return m_harness.controller(); }
    testing::PtyPair& board() { return m_harness.board(); }
    // Opened raw before the panel opened the device, for bare writes and FIONREAD.
    int slaveFd() const { return m_slaveFd; }
    qsizetype messageCount() const { return m_harness.messages().size(); }

private:
    QString deviceFor(Route route);

    testing::PanelHarness m_harness;
    std::unique_ptr<testing::Ser2NetServer> m_server;
    int m_slaveFd = -1;
    QString m_failure;
};

} // namespace quillon::bench
