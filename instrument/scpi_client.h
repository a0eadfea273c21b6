#pragma once

// One SCPI client on its socket: its bytes go to its session as they come, its replies go back,
// its frames go to the board through the server. Input and output are bounded: while its
// replies wait unread, or *WAI holds it, nothing more is read from it, and TCP holds it back.

#include "session.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>

class QTcpSocket;

namespace quillon {

class ScpiServer;

class ScpiClient : public QObject, private scpi::FrameSink {
    Q_OBJECT

public:
    // What the socket may hold of the client's input, and of its replies, before reading stops.
    static constexpr qint64 kReadBufferSize = 64 * 1024;
    static constexpr qint64 kMostRepliesWaiting = 64 * 1024;
    // Input is handed to the session in pieces of this size.
    static constexpr qint64 kPieceSize = 4096;

    // Takes the socket over.
    ScpiClient(QTcpSocket* socket, ScpiServer& server, scpi::ChannelReadback& readback,
               const QString& version);

    // "127.0.0.1:53122", as the log names it.
    const QString& name() const { return m_name; }

    // The link has taken one of this client's frames; the line needs `lineBusy` more for it.
    void frameWritten(std::chrono::nanoseconds lineBusy);
    // One of this client's frames was dropped, never sent.
    void frameDropped(const QString& reason);
    // Ends the connection, as the server stops.
    void disconnectFromHost();

signals:
    void disconnected();

private:
    scpi::SendOutcome send(const sequence::Frame& frame) override;
    bool framesPending() const override;

    void readInput();
    void reply(const std::string& lines);
    void lineIdle();

    QTcpSocket* m_socket;
    ScpiServer& m_server;
    QString m_name;
    scpi::Session m_session;
    int m_framesOnLink = 0;
    // Runs while the line still carries this client's last frame.
    QTimer m_lineTimer;
};

} // namespace quillon
