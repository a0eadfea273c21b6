#pragma once

// What the board sends back: taken from the transport as it arrives and reported at once (for a
// log), kept until read (at most about kReceiveBufferSize, so a board that floods the line fills
// the system's buffers, not this one), and offered whole once a frame's worth is waiting.

#include "frame_layout.h"
#include "link_transport.h"

#include <QByteArray>
#include <QObject>

namespace quillon {

class ReceivedBytes : public QObject {
    Q_OBJECT

public:
    static constexpr qint64 kReceiveThreshold = kFrameLength;
    static constexpr qint64 kReceiveBufferSize = LinkTransport::kReceiveBufferSize;

    explicit ReceivedBytes(QObject* parent = nullptr);

    // Where bytes come from from now on; null while no port is open. Bytes still waiting from
    // an earlier transport stay until read.
    void setTransport(LinkTransport* transport);

    // Every byte waiting, taken.
    QByteArray takeAll();
    // The bytes waiting, left there.
    const QByteArray& waiting() const { return m_waiting; }

signals:
    // Bytes were taken from the transport, as they came: each byte once, before anyone reads it.
    void arrived(const QByteArray& bytes);
    // New bytes are waiting to be read (any number).
    void waitingGrew();
    // At least kReceiveThreshold bytes are waiting.
    void thresholdReached();

private:
    void take();
    void takeArriving();

    LinkTransport* m_transport = nullptr;
    QByteArray m_waiting;
};

} // namespace quillon
