#pragma once

// The real window and its controller with the board on a pty, as the panel tests set it up:
// port 1 is the pty's slave, messages are counted instead of shown.

#include "form1.h"
#include "panel_actions.h"
#include "pty_pair.h"

#include <QString>

#include <memory>

namespace quillon::bench {

class PanelRig {
public:
    // Needs a QApplication; shows the window and waits until its Load has opened the port.
    PanelRig();
    ~PanelRig();
    PanelRig(const PanelRig&) = delete;
    PanelRig& operator=(const PanelRig&) = delete;

    // Empty when the window is up with its port open, else what went wrong.
    QString failure() const { return m_failure; }

    Form1& form() { return *m_form; }
    const PanelController& controller() const { return *m_controller; }
    testing::PtyPair& board() { return m_board; }
    // A descriptor of the pty's slave of our own, opened raw before the panel opened it.
    int slaveFd() const { return m_slaveFd; }
    int messageCount() const { return m_messages; }

private:
    testing::PtyPair m_board;
    int m_slaveFd = -1;
    std::unique_ptr<Form1> m_form;
    std::unique_ptr<PanelController> m_controller;
    int m_messages = 0;
    QString m_failure;
};

} // namespace quillon::bench
