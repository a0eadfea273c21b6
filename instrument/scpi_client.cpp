#include "scpi_client.h"

#include "scpi_server.h"

#include <QTcpSocket>

namespace quillon {

namespace {

QString PeerName(const QTcpSocket& socket) {
    QHostAddress address = socket.peerAddress();
    // A client reaching an IPv6 socket by IPv4 is named by its IPv4 address.
    bool isIpv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIpv4);
    if (isIpv4)
        address = QHostAddress(ipv4);
    return ListenAddress{address, socket.peerPort()}.text();
}

} // namespace

ScpiClient::ScpiClient(QTcpSocket* socket, ScpiServer& server, scpi::ChannelReadback& readback,
                       const QString& version)
    : QObject(&server), m_socket(socket), m_server(server), m_name(PeerName(*socket)),
      m_session(*this, readback, version.toStdString()) {
    m_socket->setParent(this);
    m_socket->setReadBufferSize(kReadBufferSize);
    m_lineTimer.setSingleShot(true);
    m_lineTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_lineTimer, &QTimer::timeout, this, &ScpiClient::lineIdle);
    connect(m_socket, &QTcpSocket::readyRead, this, &ScpiClient::readInput);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &ScpiClient::readInput);
    connect(m_socket, &QTcpSocket::disconnected, this, &ScpiClient::disconnected);
}

void ScpiClient::frameWritten(std::chrono::nanoseconds lineBusy) {
    if (--m_framesOnLink > 0)
        return;
    m_lineTimer.start(std::chrono::ceil<std::chrono::milliseconds>(lineBusy));
}

void ScpiClient::frameDropped(const QString& reason) {
    m_session.reportDroppedFrame(reason.toStdString());
    if (--m_framesOnLink == 0)
        m_lineTimer.start(0);
}

void ScpiClient::disconnectFromHost() {
    m_socket->disconnectFromHost();
}

scpi::SendOutcome ScpiClient::send(const sequence::Frame& frame) {
    const scpi::SendOutcome outcome = m_server.send(*this, frame);
    if (outcome.kind == scpi::SendOutcome::Kind::Queued) {
        ++m_framesOnLink;
        m_lineTimer.stop();
    }
    return outcome;
}

bool ScpiClient::framesPending() const {
    return m_framesOnLink > 0 || m_lineTimer.isActive();
}

// Reads only while the client is not held and its replies are being read, so that neither its
// input nor its output grows past the socket's bounds.
void ScpiClient::readInput() {
    while (!m_session.isHeld() && m_socket->bytesToWrite() < kMostRepliesWaiting &&
           m_socket->bytesAvailable() > 0) {
        const QByteArray piece = m_socket->read(kPieceSize);
        reply(m_session.receive(std::string_view(piece.constData(), std::size_t(piece.size()))));
    }
}

void ScpiClient::reply(const std::string& lines) {
    if (!lines.empty() && m_socket->state() == QAbstractSocket::ConnectedState)
        m_socket->write(lines.data(), qint64(lines.size()));
}

void ScpiClient::lineIdle() {
    reply(m_session.framesDone());
    readInput();
}

} // namespace quillon
