#include "lingering_ports.h"

#include <QTimer>

#include <algorithm>

namespace quillon {

void ReleaseTransport(std::unique_ptr<LinkTransport> transport) {
    if (transport) {
        transport->disconnect();
        transport->setParent(nullptr);
        transport.release()->deleteLater();
    }
}

LingeringPorts::LingeringPorts(QObject* parent) : QObject(parent) {}

// A serial device's close drains what its driver holds, which is why it lingers first: the
// window's thread never waits for the line.
LingeringPorts::~LingeringPorts() {
    for (const auto& held : m_held)
        held->close(false);
}

void LingeringPorts::retire(std::unique_ptr<LinkTransport> transport,
                            std::chrono::nanoseconds linger) {
    if (!transport)
        return;
    transport->disconnect();
    transport->setParent(nullptr);
    if (linger <= std::chrono::nanoseconds(0)) {
        transport->close(false);
        ReleaseTransport(std::move(transport));
        return;
    }
    const LinkTransport* lingering = transport.get();
    m_held.push_back(std::move(transport));
    QTimer::singleShot(std::chrono::ceil<std::chrono::milliseconds>(linger), this,
                       [this, lingering] { closeHeld(lingering); });
}

void LingeringPorts::closeHeld(const LinkTransport* transport) {
    const auto it =
        std::ranges::find_if(m_held, [&](const auto& held) { return held.get() == transport; });
    if (it == m_held.end())
        return;
    (*it)->close(false);
    ReleaseTransport(std::move(*it));
    m_held.erase(it);
}

} // namespace quillon
