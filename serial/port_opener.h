#pragma once

// What opens the board's port: port 1 (else port 2), or a device the operator chose. A serial
// device opens at once, a server on another machine in the background; either way one attempt
// runs at a time and finished() tells its end, with the transport when one opened.

#include "link_transport.h"
#include "port_failure.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <utility>

namespace quillon {

// Which device stands behind port 1 and port 2. An empty port 2 means "port 1 only".
struct PortDevices {
    QString port1;
    QString port2;

    // QUILLON_PORT1 / QUILLON_PORT2 when set, else the platform's first two serial ports.
    static PortDevices fromEnvironment();
};

// What an opening is for: the port at start-up, the same again for a Send after a loss, or a
// device chosen.
enum class OpenPurpose { Startup, Reopen, Choice };

class PortOpener : public QObject {
    Q_OBJECT

public:
    enum class State { Idle, Connecting };

    explicit PortOpener(PortDevices devices, QObject* parent = nullptr);
    ~PortOpener() override;

    // The chosen device if a choice ever opened, else port 1, then port 2; the failures of this
    // sequence are kept in failures(). `purpose` is Startup or Reopen.
    void openStartup(OpenPurpose purpose);
    // `device` alone; a newer choice replaces an attempt still connecting.
    void openChoice(const QString& device);

    State state() const { return m_attempt ? State::Connecting : State::Idle; }
    const PortDevices& devices() const { return m_devices; }
    const QString& chosenDevice() const { return m_chosenDevice; }
    const QList<PortFailure>& failures() const { return m_failures; }
    const PortFailure& lastFailure() const { return m_lastFailure; }

signals:
    // An attempt ended. On success `transport` is open and the receiver takes ownership of it
    // (portNumber is 1 or 2 for a numbered port, else 0); on failure it is null.
    void finished(quillon::OpenPurpose purpose, quillon::LinkTransport* transport, int portNumber);

private:
    bool tryDevice(const QString& device, int portNumber);
    void tryNextStartupDevice();
    void attemptOpened();
    void attemptFailed(const PortFailure& failure);
    void succeed(std::unique_ptr<LinkTransport> transport, int portNumber);

    PortDevices m_devices;
    QString m_chosenDevice;
    // The transport still connecting, what it is for and its port number.
    std::unique_ptr<LinkTransport> m_attempt;
    OpenPurpose m_purpose = OpenPurpose::Startup;
    int m_attemptNumber = 0;
    QList<std::pair<QString, int>> m_devicesToTry;
    QList<PortFailure> m_failures;
    PortFailure m_lastFailure;
};

} // namespace quillon

Q_DECLARE_METATYPE(quillon::OpenPurpose)
