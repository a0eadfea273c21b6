#include "ser2net_server.h"
#include "xvfb_session.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>
#include <QTcpServer>

#include <tuple>
#include <utility>

namespace quillon::testing {

namespace {

// Two ports that were free a moment ago; ser2net may still lose one to another program, which
// its log then says and start() tries again.
std::pair<quint16, quint16> FreePorts() {
    QTcpServer first;
    QTcpServer second;
    first.listen(QHostAddress::LocalHost);
    second.listen(QHostAddress::LocalHost);
    return {first.serverPort(), second.serverPort()};
}

// ser2net lives in sbin, which a normal user's PATH may lack.
QString Ser2NetProgram() {
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("ser2net"));
    return onPath.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("ser2net"),
                                                             {"/usr/sbin", "/usr/local/sbin"})
                            : onPath;
}

} // namespace

Ser2NetServer::Ser2NetServer(const QString& device) : m_device(device) {
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

Ser2NetServer::~Ser2NetServer() {
    stop();
}

bool Ser2NetServer::isInstalled() {
    return !Ser2NetProgram().isEmpty();
}

bool Ser2NetServer::writeConfig() {
    // "local" ignores the modem lines a pty does not have. "telnet(rfc2217)" is all RFC 2217
    // needs (the old config format's "remctl"): a plain "telnet" accepter refuses the option.
    const QString connector = QStringLiteral("serialdev,%1,%2,local,xonxoff=false,rtscts=false")
                                  .arg(m_device, QString::fromLatin1(kDefaultLine));
    const QString config = QStringLiteral("%YAML 1.1\n---\n"
                                          "connection: &raw\n"
                                          "  accepter: tcp,127.0.0.1,%1\n"
                                          "  connector: %3\n"
                                          "connection: &rfc2217\n"
                                          "  accepter: telnet(rfc2217),tcp,127.0.0.1,%2\n"
                                          "  connector: %3\n")
                               .arg(m_rawPort)
                               .arg(m_rfc2217Port)
                               .arg(connector);
    QFile file(m_dir.filePath(QStringLiteral("ser2net.yaml")));
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) != config.toUtf8().size()) {
        m_error = QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString());
        return false;
    }
    return true;
}

bool Ser2NetServer::start(int timeoutMs) {
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder: ") + m_dir.errorString();
        return false;
    }
    const QDeadlineTimer deadline(timeoutMs);
    for (int attempt = 0; attempt < 3 && !deadline.hasExpired(); ++attempt) {
        std::tie(m_rawPort, m_rfc2217Port) = FreePorts();
        if (launch(deadline))
            return true;
        if (m_process.error() == QProcess::FailedToStart)
            return false;
        const QString log = QString::fromLocal8Bit(m_process.readAll()).trimmed();
        m_error = QStringLiteral("ser2net did not listen on ports %1 and %2: %3")
                      .arg(m_rawPort)
                      .arg(m_rfc2217Port)
                      .arg(log.isEmpty() ? QStringLiteral("(no output)") : log);
        stop();
        if (!log.contains(QStringLiteral("Address already in use")))
            return false;
    }
    return false;
}

bool Ser2NetServer::launch(const QDeadlineTimer& deadline) {
    if (!writeConfig())
        return false;
    // -d: stay in the foreground and log to standard output (there is no stderr option);
    // -u: no UUCP lock file under /var/lock. No pid file is written unless -P asks for one.
    m_process.start(Ser2NetProgram(),
                    {"-d", "-u", "-c", m_dir.filePath(QStringLiteral("ser2net.yaml"))});
    if (!m_process.waitForStarted()) {
        m_error = QStringLiteral("ser2net did not start: ") + m_process.errorString();
        return false;
    }
    while (isRunning() && !deadline.hasExpired() && !listensOnBothPorts())
        m_process.waitForFinished(50);
    return isRunning() && listensOnBothPorts();
}

bool Ser2NetServer::restart(int timeoutMs) {
    stop();
    return launch(QDeadlineTimer(timeoutMs));
}

void Ser2NetServer::stop() {
    StopProcess(m_process);
}

// A test connection would open the device and could keep the next client out for a moment, so
// readiness is read from the kernel's table of listening sockets, matched to ser2net's own.
bool Ser2NetServer::listensOnBothPorts() {
    QSet<QByteArray> ownSockets;
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(m_process.processId()));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = fd.symLinkTarget();
        if (target.contains(QStringLiteral("socket:[")))
            ownSockets.insert(target.section('[', 1).chopped(1).toLatin1());
    }
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return false;
    bool raw = false;
    bool rfc2217 = false;
    constexpr char kListen[] = "0A";
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 10 || fields[3] != kListen || !ownSockets.contains(fields[9]))
            continue;
        const quint16 port = QString::fromLatin1(fields[1]).section(':', 1).toUShort(nullptr, 16);
        raw = raw || port == m_rawPort;
        rfc2217 = rfc2217 || port == m_rfc2217Port;
    }
    return raw && rfc2217;
}

} // namespace quillon::testing
