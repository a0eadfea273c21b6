#include "listen_address.h"

#include <QAbstractSocket>

#include <algorithm>

namespace quillon {

QString ListenAddress::text() const {
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(address.toString())
                             : address.toString();
    return QStringLiteral("%1:%2").arg(host).arg(port);
}

std::optional<ListenAddress> ParseListenAddress(const QString& text) {
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon < 0)
        return std::nullopt;
    QString host = text.left(colon);
    const QString portText = text.mid(colon + 1);
    bool isNumber = false;
    const uint port = portText.toUInt(&isNumber);
    const bool digitsOnly = !portText.isEmpty() && std::all_of(portText.begin(), portText.end(),
                                                               [](QChar c) { return c.isDigit(); });
    if (!isNumber || !digitsOnly || port > 65535)
        return std::nullopt;
    ListenAddress listen;
    listen.port = quint16(port);
    if (host.isEmpty())
        return listen;
    const bool bracketed = host.startsWith(u'[') && host.endsWith(u']');
    if (bracketed)
        host = host.mid(1, host.size() - 2);
    QHostAddress address;
    if (!address.setAddress(host))
        return std::nullopt;
    // An IPv6 address is written in brackets, so that its colons are not taken for the port's.
    if ((address.protocol() == QAbstractSocket::IPv6Protocol) != bracketed)
        return std::nullopt;
    listen.address = address;
    return listen;
}

} // namespace quillon
