#pragma once

// The board as a SCPI instrument on TCP: a listening socket, its clients (each with its own
// session), and the board's link that they share with whatever else sends on it. Frames from
// clients go out on the link in the order their commands arrive; the server keeps which client
// sent each frame until the link has taken it.

#include "listen_address.h"
#include "session.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpServer>

#include <deque>
#include <functional>

namespace quillon {

class ScpiClient;
class SerialLink;
struct PortFailure;

class ScpiServer : public QObject {
    Q_OBJECT

public:
    // A connection beyond this many clients is closed at once.
    static constexpr int kMostClients = 32;

    // Why clients may not send now (a sequence playing), empty when they may.
    using SendGate = std::function<QString()>;

    // `version` is the program's, as *IDN? tells it.
    ScpiServer(SerialLink& link, QString version, QObject* parent = nullptr);
    ~ScpiServer() override;

    void setSendGate(SendGate gate) { m_sendGate = std::move(gate); }

    // False with errorString() when the address cannot be listened on.
    bool listen(const ListenAddress& address);
    // Stops listening and ends every client's connection; frames already queued still go out.
    void close();
    bool isListening() const { return m_server.isListening(); }
    // The address listened on, its port as chosen when port 0 was asked for.
    ListenAddress address() const;
    QString errorString() const { return m_server.errorString(); }
    int clientCount() const { return int(m_clients.size()); }

    // The client that sent this frame, when it is the next of theirs the link is to take: for
    // the log's entry of a frame just written. Empty for frames not a client's.
    QString senderOf(const QByteArray& frame) const;

    // A client's frame for the board, handed to the link.
    scpi::SendOutcome send(ScpiClient& client, const sequence::Frame& frame);

signals:
    void clientCountChanged(int count);
    // A client's frame has been queued on the link; `text` for the frames that are text.
    void frameQueued(const QByteArray& frame, bool text);

private:
    struct ClientFrame {
        QPointer<ScpiClient> client;
        QString sender;
        QByteArray frame;
    };

    void acceptClients();
    void forgetClient(ScpiClient* client);
    void takeWrittenFrame(const QByteArray& frame);
    void dropClientFrames(const PortFailure& failure);

    SerialLink& m_link;
    QString m_version;
    QTcpServer m_server;
    SendGate m_sendGate;
    scpi::ChannelReadback m_readback;
    QList<ScpiClient*> m_clients;
    // Client frames the link has queued and not yet taken, oldest first.
    std::deque<ClientFrame> m_framesOnLink;
};

} // namespace quillon
