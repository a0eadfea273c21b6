#pragma once

// Where a SCPI server listens, as its command lines take it: "[ADDR]:PORT", the address an IPv4
// one, an IPv6 one in brackets, or left out for the loopback; port 0 picks any free port.

#include <QHostAddress>
#include <QString>

#include <optional>

namespace quillon {

struct ListenAddress {
    QHostAddress address{QHostAddress::LocalHost};
    quint16 port = 5025; // SCPI's raw socket port

    // "127.0.0.1:5025", "[::]:5025"
    QString text() const;
};

// Nothing for a text that is not [ADDR]:PORT.
std::optional<ListenAddress> ParseListenAddress(const QString& text);

} // namespace quillon
