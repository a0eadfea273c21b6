#include "xvfb_session.h"

#include <QDeadlineTimer>
#include <QStandardPaths>

#include <xcb/xcb.h>

namespace quillon::testing {

void StopProcess(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

XvfbSession::~XvfbSession() {
    stopServer();
}

void XvfbSession::stopServer() {
    if (m_keeper) {
        xcb_disconnect(m_keeper);
        m_keeper = nullptr;
    }
    StopProcess(m_server);
}

QString XvfbSession::missingTool() {
    for (const char* tool : {"Xvfb", "xdotool"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return QString::fromLatin1(tool);
    }
    return {};
}

// A server that has told its display number may still not be reachable there (one was seen to
// refuse every client on a loaded machine), so the session counts as started only once a client
// has connected, and a server that never lets one in is replaced.
bool XvfbSession::start(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    for (int attempt = 0; attempt < 3 && !deadline.hasExpired(); ++attempt) {
        if (startServer(deadline) && connectKeeper(deadline))
            return true;
        stopServer();
    }
    return false;
}

bool XvfbSession::startServer(const QDeadlineTimer& deadline) {
    // -displayfd lets the server pick a free display and tell us its number, so that tests
    // running side by side never share one. Without -noreset the server resets whenever its last
    // client leaves, and refuses a client that connects meanwhile.
    m_server.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-noreset", "-screen", "0",
                                            "1024x768x24", "-nolisten", "tcp"});
    if (!m_server.waitForStarted()) {
        m_error = m_server.errorString();
        return false;
    }
    while (!m_server.canReadLine() && m_server.state() == QProcess::Running &&
           !deadline.hasExpired())
        m_server.waitForReadyRead(int(deadline.remainingTime()));
    const QByteArray number = m_server.readLine().trimmed();
    if (number.isEmpty()) {
        m_error = QStringLiteral("Xvfb gave no display number: ") +
                  QString::fromLocal8Bit(m_server.readAllStandardError());
        return false;
    }
    m_environment.insert(QStringLiteral("DISPLAY"), ":" + QString::fromLatin1(number));
    m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    m_environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return true;
}

// The connection stays open for the whole session: a server with a client never resets, even
// one that ignored -noreset.
bool XvfbSession::connectKeeper(const QDeadlineTimer& deadline) {
    const QByteArray display = m_environment.value(QStringLiteral("DISPLAY")).toLocal8Bit();
    while (m_server.state() == QProcess::Running && !deadline.hasExpired()) {
        m_keeper = xcb_connect(display.constData(), nullptr);
        if (!xcb_connection_has_error(m_keeper))
            return true;
        xcb_disconnect(m_keeper);
        m_keeper = nullptr;
        m_server.waitForFinished(100);
    }
    m_error = QStringLiteral("Xvfb on %1 let no client in: %2")
                  .arg(m_environment.value(QStringLiteral("DISPLAY")),
                       QString::fromLocal8Bit(m_server.readAllStandardError()));
    return false;
}

bool XvfbSession::xdotool(const QStringList& arguments, QByteArray* output) {
    QProcess tool;
    tool.setProcessEnvironment(m_environment);
    tool.start(QStringLiteral("xdotool"), arguments);
    if (!tool.waitForFinished(10000)) {
        StopProcess(tool);
        return false;
    }
    if (output)
        *output = tool.readAllStandardOutput();
    return tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

bool XvfbSession::clickAt(QPoint screenPoint) {
    return xdotool({"mousemove", QString::number(screenPoint.x()), QString::number(screenPoint.y()),
                    "click", "1"});
}

} // namespace quillon::testing
