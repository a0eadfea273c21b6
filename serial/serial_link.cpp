#include "serial_link.h"

#include "line_time.h"

#include <QSignalBlocker>

#ifdef Q_OS_UNIX
#include <poll.h>
#endif

namespace quillon {

namespace {

constexpr qint64 kStallSlackMs = 2000;

// How long a frame may go without progress: twice its line time, plus slack for a busy system.
int stallLimitMs(qint64 frameSize) {
    return int(kStallSlackMs + 2 * frameSize * 1000 / kLineBytesPerSecond);
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

// Flushed first, as closing a serial device otherwise waits until its output has drained; the
// errors a dying device raises on the way are of no interest any more.
void closeQuietly(QSerialPort& port) {
    const QSignalBlocker quiet(&port);
    port.clear(QSerialPort::Output);
    port.close();
    port.clearError();
}

} // namespace

PortDevices PortDevices::fromEnvironment() {
    return {portFromEnvironment("QUILLON_PORT1", 1), portFromEnvironment("QUILLON_PORT2", 2)};
}

SerialLink::SerialLink(PortDevices devices, QObject* parent)
    : QObject(parent), m_devices(std::move(devices)) {
    m_stallTimer.setSingleShot(true);
    connect(&m_stallTimer, &QTimer::timeout, this, &SerialLink::failStalledFrame);
}

SerialLink::~SerialLink() = default;

bool SerialLink::OpenAtStartup() {
    if (isOpen())
        return true;
    m_openFailures.clear();
    const bool opened = !m_chosenDevice.isEmpty()
                            ? openNumbered(0, m_chosenDevice)
                            : openNumbered(1, m_devices.port1) ||
                                  (!m_devices.port2.isEmpty() && openNumbered(2, m_devices.port2));
    if (!opened)
        m_lastFailure = m_openFailures.last();
    return opened;
}

bool SerialLink::openDevice(const QString& device) {
    std::unique_ptr<QSerialPort> port = openOn(device);
    if (!port) {
        m_lastFailure = m_openFailures.takeLast();
        return false;
    }
    m_chosenDevice = device;
    if (bytesToWrite() > 0)
        dropQueue({deviceName(), QSerialPort::NotOpenError,
                   tr("The port was changed to %1 before this went out").arg(device)});
    usePort(std::move(port), device, 0);
    return true;
}

// A fresh port object per attempt: a device being tried never disturbs the one in use.
std::unique_ptr<QSerialPort> SerialLink::openOn(const QString& device) {
    auto port = std::make_unique<QSerialPort>(device);
    port->setBaudRate(qint32(kLineBaud));
    port->setDataBits(QSerialPort::Data8);
    port->setParity(QSerialPort::NoParity);
    port->setStopBits(QSerialPort::OneStop);
    port->setFlowControl(QSerialPort::NoFlowControl);
    port->setReadBufferSize(kReceiveBufferSize);
    if (device.isEmpty() || !port->open(QIODevice::ReadWrite)) {
        m_openFailures.append({device,
                               device.isEmpty() ? QSerialPort::DeviceNotFoundError : port->error(),
                               device.isEmpty() ? tr("No device given") : port->errorString()});
        return nullptr;
    }
    // DTR and RTS are raised while the port is open, as the system does on open, whatever the
    // last user left; devices without modem lines (pseudo-terminals) refuse, which does no harm.
    port->setDataTerminalReady(true);
    port->setRequestToSend(true);
    // Qt 6.4 hands out bytes that were queued on the device before the open.
    port->clear(QSerialPort::Input);
    port->clearError();
    return port;
}

bool SerialLink::openNumbered(int portNumber, const QString& device) {
    std::unique_ptr<QSerialPort> port = openOn(device);
    if (!port)
        return false;
    usePort(std::move(port), device, portNumber);
    return true;
}

void SerialLink::usePort(std::unique_ptr<QSerialPort> port, const QString& device, int portNumber) {
    if (m_port)
        closeQuietly(*m_port);
    m_port = std::move(port);
    m_port->setParent(this);
    m_portNumber = portNumber;
    m_openDevice = device;
    connect(m_port.get(), &QSerialPort::readyRead, this, &SerialLink::reportReceivedData);
    connect(m_port.get(), &QSerialPort::bytesWritten, this, &SerialLink::takeProgress);
    connect(m_port.get(), &QSerialPort::errorOccurred, this, &SerialLink::handleError);
    emit portChanged(device);
}

bool SerialLink::ensureOpen() {
    return isOpen() || OpenAtStartup();
}

WriteOutcome SerialLink::WriteText(const QString& text) {
    return queueFrame(TextToWireBytes(text));
}

WriteOutcome SerialLink::WriteBytes(std::span<const std::uint8_t> bytes) {
    return queueFrame(QByteArray(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// QSerialPort keeps what the driver has no room for and writes it from the event loop whenever
// the driver takes more; nothing here waits for the line.
WriteOutcome SerialLink::queueFrame(const QByteArray& frame) {
    if (!ensureOpen())
        return WriteOutcome::NoPort;
    if (bytesToWrite() + frame.size() > kMaxQueuedBytes)
        return WriteOutcome::LineBusy;
    if (frame.isEmpty())
        return WriteOutcome::Queued;
    m_queuedFrames.push_back(frame);
    // Qt refuses a write only when the port cannot take one at all; that is told as a failure at
    // once, rather than left to look like a stalled line.
    if (m_port->write(frame) != frame.size()) {
        const QSerialPort::SerialPortError error = m_port->error();
        dropQueue({deviceName(), error == QSerialPort::NoError ? QSerialPort::WriteError : error,
                   m_port->errorString()});
        return WriteOutcome::Queued;
    }
    if (!m_stallTimer.isActive())
        restartStallTimer();
    startWritingIfRoom();
    return WriteOutcome::Queued;
}

// Does at once what the event loop's write notifier would do a moment later, when the driver
// has room now: a short frame is then on its way before the window repaints. Only then, since
// Qt 6.4 takes a write that finds no room at all for a write error.
void SerialLink::startWritingIfRoom() {
#ifdef Q_OS_UNIX
    pollfd writable{int(m_port->handle()), POLLOUT, 0};
    if (::poll(&writable, 1, 0) == 1 && writable.revents == POLLOUT)
        m_port->flush();
#endif
}

void SerialLink::takeProgress(qint64 bytes) {
    m_frontWritten += bytes;
    while (!m_queuedFrames.empty() && m_frontWritten >= m_queuedFrames.front().size()) {
        m_frontWritten -= m_queuedFrames.front().size();
        const QByteArray frame = m_queuedFrames.front();
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
    if (!m_queuedFrames.empty())
        m_stallTimer.start(stallLimitMs(m_queuedFrames.front().size()));
}

void SerialLink::failStalledFrame() {
    if (m_queuedFrames.empty())
        return;
    const qint64 frameSize = m_queuedFrames.front().size();
    dropQueue({deviceName(), QSerialPort::TimeoutError,
               tr("Only %1 of %2 bytes were written; nothing more went out for %3 ms")
                   .arg(m_frontWritten)
                   .arg(frameSize)
                   .arg(stallLimitMs(frameSize))});
}

// What was queued is dropped whole, so no tail of it ever runs into a later frame.
void SerialLink::dropQueue(PortFailure failure) {
    m_stallTimer.stop();
    failure.droppedFrames = int(m_queuedFrames.size());
    m_queuedFrames.clear();
    m_frontWritten = 0;
    if (isOpen()) {
        // A port that fails to flush is told of by the next read or write; not from in here.
        const QSignalBlocker quiet(m_port.get());
        m_port->clear(QSerialPort::Output);
        m_port->clearError();
    }
    m_lastFailure = failure;
    emit writeFailed(failure);
}

qint64 SerialLink::bytesToWrite() const {
    qint64 total = -m_frontWritten;
    for (const QByteArray& frame : m_queuedFrames)
        total += frame.size();
    return total;
}

QString SerialLink::ReadAll() {
    if (!isOpen())
        return {};
    const QByteArray bytes = m_port->readAll();
    if (!bytes.isEmpty())
        emit received(bytes);
    return WireBytesToDisplayText(bytes);
}

QByteArray SerialLink::peekReceived() const {
    return isOpen() ? m_port->peek(m_port->bytesAvailable()) : QByteArray();
}

// QSerialPort signals readyRead for every chunk the driver hands over; the board's reply counts
// only once a whole frame's worth is waiting.
void SerialLink::reportReceivedData() {
    emit bytesArrived();
    if (isOpen() && m_port->bytesAvailable() >= kReceiveThreshold)
        emit dataReceived(ReadAll());
}

// Qt 6.4 on Linux reports a vanished device as an endless stream of ReadErrors, so the first
// real error closes the port. NoError (sent on clearError) and errors while opening or closing
// are not losses.
void SerialLink::handleError(QSerialPort::SerialPortError error) {
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError || !isOpen())
        return;
    // Qt 6.4 words a failed read from whatever errno an earlier call left behind ("Inappropriate
    // ioctl for device"), so a lost device is described by the kind of error alone.
    const bool textIsStale = error == QSerialPort::ReadError || error == QSerialPort::ResourceError;
    closeLostPort({deviceName(), error, textIsStale ? QString() : m_port->errorString()});
}

// A loss with frames still queued is told as their failure; with nothing queued, as a loss.
void SerialLink::closeLostPort(const PortFailure& failure) {
    const bool wasWriting = !m_queuedFrames.empty();
    m_portNumber = 0;
    closeQuietly(*m_port);
    emit portChanged(QString());
    if (wasWriting) {
        dropQueue(failure);
        return;
    }
    m_lastFailure = failure;
    emit portLost(failure);
}

bool SerialLink::isOpen() const {
    return m_port && m_port->isOpen();
}

int SerialLink::portNumber() const {
    return isOpen() ? m_portNumber : 0;
}

QString SerialLink::deviceName() const {
    return isOpen() ? m_openDevice : QString();
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
