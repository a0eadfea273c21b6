#include "port_choice.h"

#include "operator_messenger.h"
#include "operator_wording.h"
#include "serial_link.h"

#include <utility>

namespace quillon {

PortChoice::PortChoice(SerialLink& link, PortSources sources, const OperatorMessenger& messenger,
                       QWidget* window, QObject* parent)
    : QObject(parent), m_link(link), m_messenger(messenger),
      m_listPorts(sources.listPorts ? sources.listPorts : SystemPorts),
      m_menu(new PortMenu({m_listPorts, std::move(sources.askForDevice)}, window)) {
    connect(m_menu, &PortMenu::deviceChosen, this, &PortChoice::choose);
    connect(&m_link, &SerialLink::portChanged, m_menu, &PortMenu::showDevice);
    // Queued, so that a message box never opens inside the port's own signal.
    connect(
        &m_link, &SerialLink::openFinished, this,
        [this](bool opened) { finishOpening(Opening::Startup, opened); }, Qt::QueuedConnection);
    connect(
        &m_link, &SerialLink::deviceOpenFinished, this,
        [this](const QString&, bool opened) { finishOpening(Opening::Choice, opened); },
        Qt::QueuedConnection);
    connect(&m_link, &SerialLink::portLost, this, &PortChoice::reportPortLost,
            Qt::QueuedConnection);
}

// A port on another machine connects in the background: its failure is told when it comes.
// One that fails now is told from the event loop too, so that the Load finishes first.
void PortChoice::openAtStartup() {
    const bool opened = m_link.OpenAtStartup();
    m_opening = m_link.isOpening() ? Opening::Startup : Opening::None;
    if (!opened && m_opening == Opening::None)
        QMetaObject::invokeMethod(this, &PortChoice::tellNoPort, Qt::QueuedConnection);
}

void PortChoice::choose(const QString& device) {
    if (m_link.isOpen() && SameDevice(device, m_link.deviceName()))
        return;
    const bool opened = m_link.openDevice(device);
    m_opening = m_link.isOpening() ? Opening::Choice : Opening::None;
    if (!opened && m_opening == Opening::None)
        tellChoiceFailed();
}

// An opening the panel no longer waits for (the operator chose another device meanwhile) is
// not told.
void PortChoice::finishOpening(Opening opening, bool opened) {
    if (m_opening != opening)
        return;
    m_opening = Opening::None;
    if (opened)
        return;
    if (opening == Opening::Startup)
        tellNoPort();
    else
        tellChoiceFailed();
}

void PortChoice::tellNoPort() {
    QStringList ports;
    for (const PortListing& port : m_listPorts())
        ports << port.location;
    m_messenger.tell(NoPortText(m_link.openFailures(), ports));
}

void PortChoice::tellChoiceFailed() {
    m_messenger.tell(ChoiceFailedText(m_link.lastFailure(), m_link.deviceName()));
}

void PortChoice::reportPortLost(const PortFailure& failure) {
    m_messenger.tell(PortLostText(failure));
}

} // namespace quillon
