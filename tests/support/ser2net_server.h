#pragma once

// A private ser2net in front of one serial device (a pty slave, in tests), with a raw TCP
// accepter and an RFC 2217 (Telnet COM-PORT-OPTION) one on 127.0.0.1, each on a port it picks.

#include <QDeadlineTimer>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace quillon::testing {

class Ser2NetServer {
public:
    // The line ser2net opens the device with until a client asks for another: anything but
    // 9600 8N1, so that a test sees whether the RFC 2217 settings took.
    static constexpr const char* kDefaultLine = "19200n81";

    explicit Ser2NetServer(const QString& device);
    ~Ser2NetServer();
    Ser2NetServer(const Ser2NetServer&) = delete;
    Ser2NetServer& operator=(const Ser2NetServer&) = delete;

    static bool isInstalled();

    // Starts ser2net and waits until both accepters listen; false (with errorString()) when
    // they do not within timeoutMs.
    bool start(int timeoutMs = 10000);
    void stop();
    // Starts it again on the same ports, as when the server comes back after a drop.
    bool restart(int timeoutMs = 10000);
    bool isRunning() const { return m_process.state() == QProcess::Running; }

    quint16 rawPort() const { return m_rawPort; }
    quint16 rfc2217Port() const { return m_rfc2217Port; }
    QString errorString() const { return m_error; }

private:
    bool writeConfig();
    bool launch(const QDeadlineTimer& deadline);
    bool listensOnBothPorts();

    QString m_device;
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_rawPort = 0;
    quint16 m_rfc2217Port = 0;
    QString m_error;
};

} // namespace quillon::testing
