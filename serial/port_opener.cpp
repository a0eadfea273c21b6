#include "port_opener.h"

namespace quillon {

namespace {

QString PlatformPort(int number) {
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(number);
#else
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
#endif
}

QString PortFromEnvironment(const char* variable, int number) {
    const QString device = qEnvironmentVariable(variable);
    return device.isEmpty() ? PlatformPort(number) : device;
}

} // namespace

PortDevices PortDevices::fromEnvironment() {
    return {PortFromEnvironment("QUILLON_PORT1", 1), PortFromEnvironment("QUILLON_PORT2", 2)};
}

PortOpener::PortOpener(PortDevices devices, QObject* parent)
    : QObject(parent), m_devices(std::move(devices)) {
    qRegisterMetaType<PortFailure>();
    qRegisterMetaType<OpenPurpose>();
}

PortOpener::~PortOpener() = default;

void PortOpener::openStartup(OpenPurpose purpose) {
    if (state() == State::Connecting)
        return;
    m_purpose = purpose;
    m_failures.clear();
    m_devicesToTry.clear();
    if (!m_chosenDevice.isEmpty()) {
        m_devicesToTry.append({m_chosenDevice, 0});
    } else {
        m_devicesToTry.append({m_devices.port1, 1});
        if (!m_devices.port2.isEmpty())
            m_devicesToTry.append({m_devices.port2, 2});
    }
    tryNextStartupDevice();
}

// Tries the devices in turn; one that connects in the background holds the sequence until it
// answers.
void PortOpener::tryNextStartupDevice() {
    while (!m_devicesToTry.isEmpty()) {
        const auto [device, number] = m_devicesToTry.takeFirst();
        if (tryDevice(device, number))
            return;
    }
    emit finished(m_purpose, nullptr, 0);
}

void PortOpener::openChoice(const QString& device) {
    // The transport may be in the middle of its own signal: it is deleted later.
    if (m_attempt) {
        m_attempt->disconnect(this);
        m_attempt.release()->deleteLater();
    }
    m_devicesToTry.clear();
    m_purpose = OpenPurpose::Choice;
    if (!tryDevice(device, 0))
        emit finished(OpenPurpose::Choice, nullptr, 0);
}

// True when the device opened (and was handed over) or is connecting.
bool PortOpener::tryDevice(const QString& device, int portNumber) {
    std::unique_ptr<LinkTransport> transport = LinkTransport::forDevice(device);
    transport->open();
    switch (transport->state()) {
    case LinkTransport::State::Open:
        succeed(std::move(transport), portNumber);
        return true;
    case LinkTransport::State::Opening:
        m_attempt = std::move(transport);
        m_attemptNumber = portNumber;
        connect(m_attempt.get(), &LinkTransport::opened, this, &PortOpener::attemptOpened);
        connect(m_attempt.get(), &LinkTransport::openFailed, this, &PortOpener::attemptFailed);
        return true;
    case LinkTransport::State::Closed:
        break;
    }
    m_lastFailure = transport->failure();
    if (m_purpose != OpenPurpose::Choice)
        m_failures.append(m_lastFailure);
    return false;
}

void PortOpener::attemptOpened() {
    std::unique_ptr<LinkTransport> transport = std::move(m_attempt);
    transport->disconnect(this);
    succeed(std::move(transport), m_attemptNumber);
}

void PortOpener::attemptFailed(const PortFailure& failure) {
    m_attempt->disconnect(this);
    m_attempt.release()->deleteLater();
    m_lastFailure = failure;
    if (m_purpose == OpenPurpose::Choice) {
        emit finished(OpenPurpose::Choice, nullptr, 0);
        return;
    }
    m_failures.append(failure);
    tryNextStartupDevice();
}

void PortOpener::succeed(std::unique_ptr<LinkTransport> transport, int portNumber) {
    if (m_purpose == OpenPurpose::Choice)
        m_chosenDevice = transport->device();
    m_devicesToTry.clear();
    emit finished(m_purpose, transport.release(), portNumber);
}

} // namespace quillon
