#include "serial_link.h"

#include "line_time.h"

#include <algorithm>

namespace quillon {

namespace {

constexpr qint64 kStallSlackMs = 2000;

// How long a frame may go without progress: twice its line time, plus slack for a busy system.
int stallLimitMs(qint64 frameSize) {
    return int(kStallSlackMs + 2 * frameSize * 1000 / kLineBytesPerSecond);
}

std::chrono::nanoseconds SteadyClock() {
    return std::chrono::steady_clock::now().time_since_epoch();
}

QString platformPort(int number) {
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(number);
#else
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
#endif
}

QString portFromEnvironment(const char* variable, int number) {
    const QString device = qEnvironmentVariable(variable);
    return device.isEmpty() ? platformPort(number) : device;
}

// A transport may be let go from inside one of its own signals.
void Release(std::unique_ptr<LinkTransport> transport) {
    if (transport) {
        transport->disconnect();
        transport->setParent(nullptr);
        transport.release()->deleteLater();
    }
}

} // namespace

PortDevices PortDevices::fromEnvironment() {
    return {portFromEnvironment("QUILLON_PORT1", 1), portFromEnvironment("QUILLON_PORT2", 2)};
}

SerialLink::SerialLink(PortDevices devices, QObject* parent)
    : QObject(parent), m_devices(std::move(devices)) {
    qRegisterMetaType<PortFailure>();
    m_stallTimer.setSingleShot(true);
    connect(&m_stallTimer, &QTimer::timeout, this, &SerialLink::failStalledFrame);
}

// A serial device's close lets its output drain; a connection's does not, so whoever must not
// lose the last frames waits lingerFor() before letting the link go.
SerialLink::~SerialLink() {
    m_attempt.reset();
    if (m_transport)
        m_transport->close(false);
    for (const auto& retired : m_retired)
        retired->close(false);
}

bool SerialLink::OpenAtStartup() {
    if (isOpen())
        return true;
    if (isOpening())
        return false;
    m_openFailures.clear();
    m_devicesToTry.clear();
    if (!m_chosenDevice.isEmpty()) {
        m_devicesToTry.append({m_chosenDevice, 0});
    } else {
        m_devicesToTry.append({m_devices.port1, 1});
        if (!m_devices.port2.isEmpty())
            m_devicesToTry.append({m_devices.port2, 2});
    }
    runStartup();
    return isOpen();
}

// Tries the devices in turn; one that connects in the background holds the sequence until it
// answers.
void SerialLink::runStartup() {
    while (!m_devicesToTry.isEmpty()) {
        const auto [device, number] = m_devicesToTry.takeFirst();
        if (tryDevice(device, number, Purpose::Startup))
            return;
    }
    dropFramesWaitingForStartup();
}

bool SerialLink::tryDevice(const QString& device, int portNumber, Purpose purpose) {
    std::unique_ptr<LinkTransport> transport = LinkTransport::forDevice(device);
    transport->open();
    switch (transport->state()) {
    case LinkTransport::State::Open:
        usePort(std::move(transport), portNumber, purpose);
        return true;
    case LinkTransport::State::Opening:
        m_attempt = std::move(transport);
        m_attemptPurpose = purpose;
        m_attemptNumber = portNumber;
        connect(m_attempt.get(), &LinkTransport::opened, this, &SerialLink::attemptOpened);
        connect(m_attempt.get(), &LinkTransport::openFailed, this, &SerialLink::attemptFailed);
        return true;
    case LinkTransport::State::Closed:
        break;
    }
    m_lastFailure = transport->failure();
    if (purpose == Purpose::Startup)
        m_openFailures.append(m_lastFailure);
    return false;
}

void SerialLink::attemptOpened() {
    std::unique_ptr<LinkTransport> transport = std::move(m_attempt);
    transport->disconnect(this);
    const Purpose purpose = m_attemptPurpose;
    const QString device = transport->device();
    usePort(std::move(transport), m_attemptNumber, purpose);
    if (purpose == Purpose::Startup)
        emit openFinished(true);
    else
        emit deviceOpenFinished(device, true);
}

void SerialLink::attemptFailed(const PortFailure& failure) {
    const QString device = m_attempt->device();
    Release(std::move(m_attempt));
    m_lastFailure = failure;
    if (m_attemptPurpose == Purpose::Choice) {
        emit deviceOpenFinished(device, false);
        return;
    }
    m_openFailures.append(failure);
    runStartup();
    if (!isOpening())
        emit openFinished(isOpen());
}

// Frames that waited for a port that never came are told as failed, never sent later.
void SerialLink::dropFramesWaitingForStartup() {
    if (!m_queuedFrames.empty() && !m_openFailures.isEmpty())
        dropQueue(m_openFailures.last());
}

bool SerialLink::openDevice(const QString& device) {
    // A newer choice replaces whatever was still connecting.
    Release(std::move(m_attempt));
    m_devicesToTry.clear();
    return tryDevice(device, 0, Purpose::Choice) && isOpen() && deviceName() == device;
}

void SerialLink::usePort(std::unique_ptr<LinkTransport> transport, int portNumber,
                         Purpose purpose) {
    if (purpose == Purpose::Choice) {
        m_chosenDevice = transport->device();
        if (!m_queuedFrames.empty())
            dropQueue(
                {deviceName(), PortError::NotOpen,
                 tr("The port was changed to %1 before this went out").arg(transport->device())});
    }
    retire(std::move(m_transport));
    m_transport = std::move(transport);
    m_transport->setParent(this);
    m_portNumber = portNumber;
    connect(m_transport.get(), &LinkTransport::readyRead, this, &SerialLink::reportReceivedData);
    connect(m_transport.get(), &LinkTransport::bytesWritten, this, &SerialLink::takeProgress);
    connect(m_transport.get(), &LinkTransport::lost, this, &SerialLink::closeLostPort);
    emit portChanged(m_transport->device());
    handOverWaitingFrames();
}

// An old port stays open until what it was given has had its time on the line (and the
// margin, for a network port), so that its close neither loses a frame nor waits on the window's
// thread for a serial device to drain.
void SerialLink::retire(std::unique_ptr<LinkTransport> transport) {
    if (!transport)
        return;
    transport->disconnect(this);
    std::chrono::nanoseconds busy = lineBusyFor();
    if (busy > std::chrono::nanoseconds(0) && transport->closeDropsOutput())
        busy += kLineMargin;
    transport->setParent(nullptr); // no longer the link's port, only held until it is idle
    m_lineIdleAt = std::chrono::nanoseconds(0);
    if (busy <= std::chrono::nanoseconds(0)) {
        transport->close(false);
        Release(std::move(transport));
        return;
    }
    LinkTransport* lingering = transport.get();
    m_retired.push_back(std::move(transport));
    QTimer::singleShot(std::chrono::ceil<std::chrono::milliseconds>(busy), this, [this, lingering] {
        const auto it = std::ranges::find_if(
            m_retired, [&](const auto& held) { return held.get() == lingering; });
        if (it == m_retired.end())
            return;
        (*it)->close(false);
        Release(std::move(*it));
        m_retired.erase(it);
    });
}

// Open, or connecting: a frame then waits for the connection.
bool SerialLink::ensureOpen() {
    return OpenAtStartup() || isOpening();
}

WriteOutcome SerialLink::WriteText(const QString& text) {
    return queueFrame(TextToWireBytes(text));
}

WriteOutcome SerialLink::WriteBytes(std::span<const std::uint8_t> bytes) {
    return queueFrame(QByteArray(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// The transport keeps what the driver has no room for and writes it from the event loop
// whenever the driver takes more; nothing here waits for the line.
WriteOutcome SerialLink::queueFrame(const QByteArray& frame) {
    if (!ensureOpen())
        return WriteOutcome::NoPort;
    if (bytesToWrite() + frame.size() > kMaxQueuedBytes)
        return WriteOutcome::LineBusy;
    if (frame.isEmpty())
        return WriteOutcome::Queued;
    m_queuedFrames.push_back({frame, 0});
    if (!isOpen())
        return WriteOutcome::Queued; // it goes out once the port has connected
    if (!handOver(m_queuedFrames.back()))
        return WriteOutcome::Queued; // refused at once, and told by writeFailed
    if (!m_stallTimer.isActive())
        restartStallTimer();
    // A short frame is then on its way before the window repaints.
    m_transport->startWriting();
    return WriteOutcome::Queued;
}

// A refused write is told as a failure at once, rather than left to look like a stalled line.
bool SerialLink::handOver(QueuedFrame& queued) {
    const qint64 wireSize = m_transport->write(queued.frame);
    if (wireSize < 0) {
        dropQueue(m_transport->failure());
        return false;
    }
    queued.wireSize = wireSize;
    return true;
}

void SerialLink::handOverWaitingFrames() {
    bool any = false;
    for (QueuedFrame& queued : m_queuedFrames) {
        if (queued.wireSize > 0)
            continue;
        if (!handOver(queued))
            return;
        any = true;
    }
    if (any) {
        restartStallTimer();
        m_transport->startWriting();
    }
}

void SerialLink::takeProgress(qint64 wireBytes) {
    m_lineIdleAt = std::max(m_lineIdleAt, SteadyClock()) + LineTime(std::size_t(wireBytes));
    m_frontWritten += wireBytes;
    while (!m_queuedFrames.empty() && m_queuedFrames.front().wireSize > 0 &&
           m_frontWritten >= m_queuedFrames.front().wireSize) {
        m_frontWritten -= m_queuedFrames.front().wireSize;
        const QByteArray frame = m_queuedFrames.front().frame;
        m_queuedFrames.pop_front();
        emit frameWritten(frame);
    }
    if (m_queuedFrames.empty()) {
        m_frontWritten = 0;
        m_stallTimer.stop();
        emit allWritten();
        return;
    }
    restartStallTimer();
}

// The frame at the front of the queue may go without progress for twice its own line time,
// plus slack for a busy system, before it counts as stuck.
void SerialLink::restartStallTimer() {
    if (!m_queuedFrames.empty() && m_queuedFrames.front().wireSize > 0)
        m_stallTimer.start(stallLimitMs(m_queuedFrames.front().wireSize));
}

void SerialLink::failStalledFrame() {
    if (m_queuedFrames.empty())
        return;
    const qint64 frameSize = m_queuedFrames.front().wireSize;
    dropQueue({deviceName(), PortError::Timeout,
               tr("Only %1 of %2 bytes were written; nothing more went out for %3 ms")
                   .arg(m_frontWritten)
                   .arg(frameSize)
                   .arg(stallLimitMs(frameSize))});
}

// What was queued is dropped whole, so no tail of it ever runs into a later frame. A network
// port that still holds some of it is closed for that, and the next Send connects again.
void SerialLink::dropQueue(PortFailure failure) {
    m_stallTimer.stop();
    failure.droppedFrames = int(m_queuedFrames.size());
    m_queuedFrames.clear();
    m_frontWritten = 0;
    if (isOpen()) {
        m_transport->discardOutput();
        if (!m_transport->isOpen()) {
            Release(std::move(m_transport));
            m_portNumber = 0;
            m_lineIdleAt = std::chrono::nanoseconds(0);
            emit portChanged(QString());
        }
    }
    m_lastFailure = failure;
    emit writeFailed(failure);
}

qint64 SerialLink::bytesToWrite() const {
    qint64 total = -m_frontWritten;
    for (const QueuedFrame& queued : m_queuedFrames)
        total += queued.wireSize > 0 ? queued.wireSize : queued.frame.size();
    return total;
}

std::chrono::nanoseconds SerialLink::lineBusyFor() const {
    if (m_lineIdleAt == std::chrono::nanoseconds(0))
        return std::chrono::nanoseconds(0);
    return std::max(std::chrono::nanoseconds(0), m_lineIdleAt - SteadyClock());
}

std::chrono::nanoseconds SerialLink::lingerFor() const {
    if (!isOpen() || !m_transport->closeDropsOutput() ||
        m_lineIdleAt == std::chrono::nanoseconds(0))
        return std::chrono::nanoseconds(0);
    return std::max(std::chrono::nanoseconds(0), m_lineIdleAt + kLineMargin - SteadyClock());
}

QString SerialLink::ReadAll() {
    if (!isOpen())
        return {};
    const QByteArray bytes = m_transport->readAll();
    if (!bytes.isEmpty())
        emit received(bytes);
    return WireBytesToDisplayText(bytes);
}

QByteArray SerialLink::peekReceived() const {
    return isOpen() ? m_transport->peek() : QByteArray();
}

// The transport signals for every chunk the driver hands over; the board's reply counts only
// once a whole frame's worth is waiting.
void SerialLink::reportReceivedData() {
    emit bytesArrived();
    if (isOpen() && m_transport->bytesAvailable() >= kReceiveThreshold)
        emit dataReceived(ReadAll());
}

// A loss with frames still queued is told as their failure; with nothing queued, as a loss.
void SerialLink::closeLostPort(const PortFailure& failure) {
    const bool wasWriting = !m_queuedFrames.empty();
    Release(std::move(m_transport));
    m_portNumber = 0;
    m_lineIdleAt = std::chrono::nanoseconds(0);
    emit portChanged(QString());
    if (wasWriting) {
        dropQueue(failure);
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

QString SerialLink::chosenDevice() const {
    return m_chosenDevice;
}

const PortDevices& SerialLink::devices() const {
    return m_devices;
}

const QList<PortFailure>& SerialLink::openFailures() const {
    return m_openFailures;
}

const PortFailure& SerialLink::lastFailure() const {
    return m_lastFailure;
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
