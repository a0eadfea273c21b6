#include "scpi_server.h"

#include "commands.h"
#include "scpi_client.h"
#include "serial_link.h"

#include <QTcpSocket>

#include <algorithm>
#include <chrono>
#include <span>

namespace quillon {

namespace {

// Why the link dropped queued frames, in the few words of a SCPI error's reason.
QString DropReason(const PortFailure& failure) {
    switch (failure.error) {
    case PortError::Gone:
    case PortError::Read:
        return QStringLiteral("port lost");
    case PortError::Timeout:
        return QStringLiteral("line stalled");
    case PortError::Write:
        return QStringLiteral("write failed");
    case PortError::NotOpen:
        return QStringLiteral("port changed");
    default:
        return QStringLiteral("port failed");
    }
}

} // namespace

ScpiServer::ScpiServer(SerialLink& link, QString version, QObject* parent)
    : QObject(parent), m_link(link), m_version(std::move(version)) {
    m_server.setMaxPendingConnections(kMostClients);
    connect(&m_server, &QTcpServer::newConnection, this, &ScpiServer::acceptClients);
    connect(&m_link, &SerialLink::frameWritten, this, &ScpiServer::takeWrittenFrame);
    connect(&m_link, &SerialLink::writeFailed, this, &ScpiServer::dropClientFrames);
}

ScpiServer::~ScpiServer() {
    close();
}

bool ScpiServer::listen(const ListenAddress& address) {
    return m_server.listen(address.address, address.port);
}

void ScpiServer::close() {
    m_server.close();
    for (ScpiClient* client : QList<ScpiClient*>(m_clients))
        client->disconnectFromHost();
}

ListenAddress ScpiServer::address() const {
    return {m_server.serverAddress(), m_server.serverPort()};
}

QString ScpiServer::senderOf(const QByteArray& frame) const {
    if (!m_framesOnLink.empty() && m_framesOnLink.front().frame == frame)
        return m_framesOnLink.front().sender;
    return {};
}

scpi::SendOutcome ScpiServer::send(ScpiClient& client, const sequence::Frame& frame) {
    using Kind = scpi::SendOutcome::Kind;
    if (m_sendGate) {
        const QString reason = m_sendGate();
        if (!reason.isEmpty())
            return {Kind::Refused, reason.toStdString()};
    }
    const QByteArray bytes = QByteArray::fromStdString(frame.bytes);
    const WriteOutcome outcome =
        frame.binary
            ? m_link.WriteBytes(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                          std::size_t(bytes.size())))
            : m_link.WriteText(QString::fromLatin1(bytes));
    switch (outcome) {
    case WriteOutcome::Queued:
        m_framesOnLink.push_back({&client, client.name(), bytes});
        emit frameQueued(bytes, !frame.binary);
        return {Kind::Queued, {}};
    case WriteOutcome::LineBusy:
        return {Kind::Refused, "line busy"};
    case WriteOutcome::NoPort:
        return {Kind::NoPort, "no port open"};
    }
    return {Kind::Refused, "port failed"};
}

void ScpiServer::acceptClients() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        if (m_clients.size() >= kMostClients) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto* client = new ScpiClient(socket, *this, m_readback, m_version);
        m_clients.append(client);
        connect(client, &ScpiClient::disconnected, this, [this, client] { forgetClient(client); });
        emit clientCountChanged(clientCount());
    }
}

void ScpiServer::forgetClient(ScpiClient* client) {
    if (!m_clients.removeOne(client))
        return;
    client->deleteLater();
    emit clientCountChanged(clientCount());
}

// Frames of others (the panel's own) pass by; a client's frame is the next one of the queue.
void ScpiServer::takeWrittenFrame(const QByteArray& frame) {
    if (m_framesOnLink.empty() || m_framesOnLink.front().frame != frame)
        return;
    const QPointer<ScpiClient> client = m_framesOnLink.front().client;
    m_framesOnLink.pop_front();
    // The link's margin is for serial servers that drop unsent bytes on closing; a client
    // waits only for the frame's own time on the line.
    if (client)
        client->frameWritten(
            std::max(m_link.lineBusyFor() - SerialLink::kLineMargin, std::chrono::nanoseconds(0)));
}

// The link dropped everything it still had queued: every client frame not yet taken.
void ScpiServer::dropClientFrames(const PortFailure& failure) {
    const QString reason = DropReason(failure);
    std::deque<ClientFrame> dropped;
    dropped.swap(m_framesOnLink);
    for (const ClientFrame& frame : dropped) {
        if (frame.client)
            frame.client->frameDropped(reason);
    }
}

} // namespace quillon
