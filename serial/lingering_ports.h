#pragma once

// Ports the link has let go of, each kept open until what it was given has had its time on the
// line, then closed; whatever is still held closes with this object.

#include "link_transport.h"

#include <QObject>

#include <chrono>
#include <memory>
#include <vector>

namespace quillon {

class LingeringPorts : public QObject {
    Q_OBJECT

public:
    explicit LingeringPorts(QObject* parent = nullptr);
    ~LingeringPorts() override;

    // Closes `transport` now when `linger` is zero, else once it has passed.
    void retire(std::unique_ptr<LinkTransport> transport, std::chrono::nanoseconds linger);

    std::size_t count() const { return m_held.size(); }

private:
    void closeHeld(const LinkTransport* transport);

    std::vector<std::unique_ptr<LinkTransport>> m_held;
};

// Lets a transport go even from inside one of its own signals: it is deleted later.
void ReleaseTransport(std::unique_ptr<LinkTransport> transport);

} // namespace quillon
