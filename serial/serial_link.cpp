#include "serial_link.h"

#include <algorithm>

namespace quillon {

SerialLink::SerialLink(PortDevices devices, QObject* parent)
    : QObject(parent), m_opener(std::move(devices)) {
    connect(&m_opener, &PortOpener::finished, this, &SerialLink::takeOpened);
    connect(&m_queue, &FrameQueue::frameWritten, this, &SerialLink::frameWritten);
    connect(&m_queue, &FrameQueue::allWritten, this, &SerialLink::allWritten);
    connect(&m_queue, &FrameQueue::dropped, this, &SerialLink::discardDropped);
    connect(&m_received, &ReceivedBytes::arrived, this, &SerialLink::received);
    connect(&m_received, &ReceivedBytes::waitingGrew, this, &SerialLink::bytesArrived);
    connect(&m_received, &ReceivedBytes::thresholdReached, this, [this] {
        const QByteArray bytes = m_received.takeAll();
        emit dataReceived(WireBytesToDisplayText(bytes), bytes);
    });
}

// A serial device's close lets its output drain; a connection's does not, so whoever must not
// lose the last frames waits lingerFor() before letting the link go.
SerialLink::~SerialLink() {
    m_queue.setTransport(nullptr);
    m_received.setTransport(nullptr);
    if (m_transport)
        m_transport->close(false);
}

bool SerialLink::OpenAtStartup() {
    if (!isOpen() && !isOpening())
        openPort(OpenPurpose::Startup);
    return isOpen();
}

void SerialLink::openPort(OpenPurpose purpose) {
    m_askingToOpen = true;
    m_opener.openStartup(purpose);
    m_askingToOpen = false;
}

bool SerialLink::openDevice(const QString& device) {
    m_askingToOpen = true;
    m_opener.openChoice(device);
    m_askingToOpen = false;
    return isOpen() && deviceName() == ResolveDeviceName(device);
}

bool SerialLink::openForSend() {
    if (!isOpen() && !isOpening())
        openPort(OpenPurpose::Reopen);
    return isOpen() || isOpening();
}

void SerialLink::takeOpened(OpenPurpose purpose, LinkTransport* transport, int portNumber) {
    if (transport) {
        usePort(std::unique_ptr<LinkTransport>(transport), portNumber, purpose);
    } else {
        m_lastFailure = m_opener.lastFailure();
        // Frames that waited for a port that never came are told as failed, never sent later.
        if (purpose != OpenPurpose::Choice && !m_queue.isEmpty() && !openFailures().isEmpty())
            m_queue.drop(openFailures().last());
    }
    if (!m_askingToOpen)
        emit openFinished(purpose, transport != nullptr);
}

void SerialLink::usePort(std::unique_ptr<LinkTransport> transport, int portNumber,
                         OpenPurpose purpose) {
    if (purpose == OpenPurpose::Choice && !m_queue.isEmpty())
        m_queue.drop(
            {deviceName(), PortError::NotOpen,
             tr("The port was changed to %1 before this went out").arg(transport->device())});
    // The old port stays open until what it was given has had its time on the line (and the
    // margin, for a network port), so that its close neither loses a frame nor waits on the
    // window's thread for a serial device to drain.
    if (m_transport) {
        const std::chrono::nanoseconds linger =
            std::max(m_queue.lineBusyFor(), m_queue.lingerFor(*m_transport));
        m_queue.setTransport(nullptr);
        m_received.setTransport(nullptr);
        m_lingering.retire(std::move(m_transport), linger);
    }
    m_transport = std::move(transport);
    m_transport->setParent(this);
    m_portNumber = portNumber;
    connect(m_transport.get(), &LinkTransport::lost, this, &SerialLink::closeLostPort);
    m_received.setTransport(m_transport.get());
    emit portChanged(m_transport->device());
    m_queue.setTransport(m_transport.get());
}

void SerialLink::forgetPort() {
    m_queue.setTransport(nullptr);
    m_received.setTransport(nullptr);
    ReleaseTransport(std::move(m_transport));
    m_portNumber = 0;
    emit portChanged(QString());
}

WriteOutcome SerialLink::WriteText(const QString& text) {
    return queueFrame(TextToWireBytes(text));
}

WriteOutcome SerialLink::WriteBytes(std::span<const std::uint8_t> bytes) {
    return queueFrame(QByteArray(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

WriteOutcome SerialLink::queueFrame(const QByteArray& frame) {
    if (!openForSend())
        return WriteOutcome::NoPort;
    if (!m_queue.hasRoomFor(frame.size()))
        return WriteOutcome::LineBusy;
    if (!frame.isEmpty())
        m_queue.push(frame); // while the port connects, it waits for it
    return WriteOutcome::Queued;
}

// A dropped queue may still be partly in the driver: that is discarded, and a network port that
// still holds some of it is closed for that, so the next Send connects again.
void SerialLink::discardDropped(const PortFailure& failure) {
    if (isOpen()) {
        m_transport->discardOutput();
        if (!m_transport->isOpen())
            forgetPort();
    }
    m_lastFailure = failure;
    emit writeFailed(failure);
}

std::chrono::nanoseconds SerialLink::lingerFor() const {
    return isOpen() ? m_queue.lingerFor(*m_transport) : std::chrono::nanoseconds(0);
}

QString SerialLink::ReadAll() {
    return WireBytesToDisplayText(m_received.takeAll());
}

// A loss with frames still queued is told as their failure; with nothing queued, as a loss.
void SerialLink::closeLostPort(const PortFailure& failure) {
    const bool wasWriting = !m_queue.isEmpty();
    forgetPort();
    if (wasWriting) {
        m_queue.drop(failure);
        return;
    }
    m_lastFailure = failure;
    emit portLost(failure);
}

bool SerialLink::isOpen() const {
    return m_transport && m_transport->isOpen();
}

int SerialLink::portNumber() const {
    return isOpen() ? m_portNumber : 0;
}

QString SerialLink::deviceName() const {
    return isOpen() ? m_transport->device() : QString();
}

QByteArray TextToWireBytes(const QString& text) {
    QByteArray bytes;
    for (const char32_t codePoint : text.toUcs4())
        bytes.append(codePoint < 0x80 ? char(codePoint) : '?');
    return bytes;
}

// One character per byte, so a reply never loses or merges bytes on screen:
//   0x20..0x7E  printable ASCII, as itself;
//   0x00..0x1F  Unicode control pictures U+2400..U+241F (NUL shows as U+2400, LF as U+240A);
//   0x7F        U+2421, the control picture for DEL;
//   0x80..0xFF  Braille patterns U+2880..U+28FF: the dots draw the byte's bits (bit n is dot
//               n+1), and the eighth dot marks every such byte as non-ASCII.
QString WireBytesToDisplayText(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto value = char16_t(std::uint8_t(byte));
        if (value < 0x20)
            text.append(QChar(char16_t(0x2400 + value)));
        else if (value == 0x7F)
            text.append(QChar(char16_t(0x2421)));
        else if (value >= 0x80)
            text.append(QChar(char16_t(0x2800 + value)));
        else
            text.append(QChar(value));
    }
    return text;
}

} // namespace quillon
