#pragma once

// A private X server (Xvfb on a display it picks itself) for tests that run the real programs
// and click them through the X server with xdotool.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QPoint>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

struct xcb_connection_t;

namespace quillon::testing {

// Where the panel's single-channel Send sits on the screen: the client area opens at
// (221, 158); group 1 lies at (14, 26) in it and the button, 77 x 35, at (328, 28) in the group.
inline constexpr QPoint kSingleChannelSendOnScreen{221 + 14 + 328 + 77 / 2, 158 + 26 + 28 + 35 / 2};

// Terminates a process, and kills it when it does not stop within a few seconds.
void StopProcess(QProcess& process);

class XvfbSession {
public:
    XvfbSession() = default;
    ~XvfbSession();
    XvfbSession(const XvfbSession&) = delete;
    XvfbSession& operator=(const XvfbSession&) = delete;

    // The first of Xvfb and xdotool that is not installed, or an empty text.
    static QString missingTool();

    // Starts the server and holds a client connection to it until the session ends; false (with
    // errorString()) when no client got in within timeoutMs.
    bool start(int timeoutMs);
    QString errorString() const { return m_error; }

    // The system environment with DISPLAY set to this server and Qt told to use it.
    QProcessEnvironment environment() const { return m_environment; }

    // Runs xdotool on this server; true when it exited with 0.
    bool xdotool(const QStringList& arguments, QByteArray* output = nullptr);
    bool clickAt(QPoint screenPoint);

private:
    bool startServer(const QDeadlineTimer& deadline);
    bool connectKeeper(const QDeadlineTimer& deadline);
    void stopServer();

    QProcess m_server;
    xcb_connection_t* m_keeper = nullptr;
    QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();
    QString m_error;
};

} // namespace quillon::testing
