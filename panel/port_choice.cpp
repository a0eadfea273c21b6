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
    connect(&m_link, &SerialLink::openFinished, this, &PortChoice::finishOpening,
            Qt::QueuedConnection);
    connect(&m_link, &SerialLink::portLost, this, &PortChoice::reportPortLost,
            Qt::QueuedConnection);
}

// A port on another machine connects in the background: its failure is told when it comes.
// One that fails now is told from the event loop too, so that the Load finishes first.
void PortChoice::openAtStartup() {
    if (!m_link.OpenAtStartup() && !m_link.isOpening())
        QMetaObject::invokeMethod(this, &PortChoice::tellNoPort, Qt::QueuedConnection);
}

void PortChoice::choose(const QString& device) {
    if (m_link.isOpen() && SameDevice(device, m_link.deviceName()))
        return;
    if (!m_link.openDevice(device) && !m_link.isOpening())
        tellChoiceFailed();
}

// An opening still connecting when a newer choice came never ends, so it is never told; a
// reopening for a Send that fails is told with that Send's own warning.
void PortChoice::finishOpening(OpenPurpose purpose, bool opened) {
    if (opened)
        return;
    switch (purpose) {
    case OpenPurpose::Startup:
        tellNoPort();
        return;
    case OpenPurpose::Choice:
        tellChoiceFailed();
        return;
    case OpenPurpose::Reopen:
        return;
    }
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
