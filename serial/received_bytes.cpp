#include "received_bytes.h"

#include <utility>

namespace quillon {

ReceivedBytes::ReceivedBytes(QObject* parent) : QObject(parent) {}

void ReceivedBytes::setTransport(LinkTransport* transport) {
    if (m_transport)
        m_transport->disconnect(this);
    m_transport = transport;
    if (m_transport)
        connect(m_transport, &LinkTransport::readyRead, this, &ReceivedBytes::takeArriving);
}

// While enough is waiting unread, the rest stays with the transport and the system, which stop
// taking from the line when full; reading makes room again.
void ReceivedBytes::take() {
    if (!m_transport || m_waiting.size() >= kReceiveBufferSize)
        return;
    const QByteArray bytes = m_transport->readAll();
    if (bytes.isEmpty())
        return;
    m_waiting += bytes;
    emit arrived(bytes);
}

// New bytes are offered once a frame's worth waits; bytes taken while someone reads are theirs.
void ReceivedBytes::takeArriving() {
    const qsizetype before = m_waiting.size();
    take();
    if (m_waiting.size() > before)
        emit waitingGrew();
    if (m_waiting.size() >= kReceiveThreshold)
        emit thresholdReached();
}

QByteArray ReceivedBytes::takeAll() {
    take();
    QByteArray all = std::exchange(m_waiting, QByteArray());
    // Room again: what the transport kept back meanwhile comes in from the event loop.
    if (m_transport && m_transport->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &ReceivedBytes::takeArriving, Qt::QueuedConnection);
    return all;
}

} // namespace quillon
