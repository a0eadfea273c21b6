#include "serial_link.h"

#include <QDeadlineTimer>
#include <QMetaObject>
#include <QScopedValueRollback>

namespace quillon {

namespace {

constexpr qint32 kBaudRate = 9600;
// 9600 baud with a start bit, 8 data bits and a stop bit moves 960 bytes a second.
constexpr qint64 kLineBytesPerSecond = kBaudRate / 10;
constexpr qint64 kWriteSlackMs = 2000;

// A frame may be far longer than the driver's output buffer; it gets twice its line time.
int writeTimeoutMs(qint64 frameSize) {
    return int(kWriteSlackMs + 2 * frameSize * 1000 / kLineBytesPerSecond);
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

} // namespace

PortDevices PortDevices::fromEnvironment() {
    return {portFromEnvironment("QUILLON_PORT1", 1), portFromEnvironment("QUILLON_PORT2", 2)};
}

SerialLink::SerialLink(PortDevices devices, QObject* parent)
    : QObject(parent), m_devices(std::move(devices)), m_port(this) {
    connect(&m_port, &QSerialPort::readyRead, this, [this] {
        if (!m_writing)
            reportReceivedData();
    });
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialLink::handleError);
}

SerialLink::~SerialLink() = default;

bool SerialLink::OpenAtStartup() {
    if (isOpen())
        return true;
    m_openFailures.clear();
    if (openPort(1, m_devices.port1) || openPort(2, m_devices.port2))
        return true;
    m_lastFailure = m_openFailures.last();
    return false;
}

bool SerialLink::openPort(int portNumber, const QString& device) {
    m_port.setPortName(device);
    m_port.setBaudRate(kBaudRate);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_port.setReadBufferSize(kReceiveBufferSize);
    if (device.isEmpty() || !m_port.open(QIODevice::ReadWrite)) {
        m_openFailures.append({device,
                               device.isEmpty() ? QSerialPort::DeviceNotFoundError : m_port.error(),
                               device.isEmpty() ? tr("No device given") : m_port.errorString()});
        m_port.clearError();
        return false;
    }
    assertModemLines();
    // Qt 6.4 hands out bytes that were queued on the device before the open.
    m_port.clear(QSerialPort::Input);
    m_heldReceived.clear();
    m_port.clearError();
    m_portNumber = portNumber;
    return true;
}

// DTR and RTS are raised while the port is open, as the system does on open, whatever the last
// user left; devices without modem lines (pseudo-terminals) refuse, which does no harm.
void SerialLink::assertModemLines() {
    m_port.setDataTerminalReady(true);
    m_port.setRequestToSend(true);
}

bool SerialLink::ensureOpen() {
    return isOpen() || OpenAtStartup();
}

bool SerialLink::WriteText(const QString& text) {
    return writeFrame(TextToWireBytes(text));
}

bool SerialLink::WriteBytes(std::span<const std::uint8_t> bytes) {
    return writeFrame(QByteArray(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

bool SerialLink::writeFrame(const QByteArray& frame) {
    if (!ensureOpen())
        return false;
    bool written = false;
    {
        const QScopedValueRollback writing(m_writing, true);
        m_lossDuringWrite.reset();
        const qint64 handed = m_port.write(frame);
        if (handed == frame.size()) {
            m_port.flush();
            written = waitUntilWritten(frame.size());
        } else if (!m_lossDuringWrite) {
            m_lossDuringWrite =
                PortFailure{deviceName(), QSerialPort::WriteError,
                            tr("Only %1 of %2 bytes were accepted").arg(handed).arg(frame.size())};
        }
    }
    if (m_lossDuringWrite) {
        closeLostPort(*std::exchange(m_lossDuringWrite, std::nullopt));
        return false;
    }
    // Data that came in while the write waited is reported from the event loop, as usual.
    if (waitingBytes() >= kReceiveThreshold)
        QMetaObject::invokeMethod(this, &SerialLink::reportReceivedData, Qt::QueuedConnection);
    return written;
}

// Waits until the whole frame has gone to the driver; a frame left half-sent is discarded so
// that its tail never runs into the next frame.
bool SerialLink::waitUntilWritten(qint64 frameSize) {
    const int timeoutMs = writeTimeoutMs(frameSize);
    const QDeadlineTimer deadline(timeoutMs);
    while (m_port.bytesToWrite() > 0 && !m_lossDuringWrite && !deadline.hasExpired()) {
        m_port.waitForBytesWritten(int(deadline.remainingTime()));
        // The read buffer stops taking bytes once full, which would leave the wait spinning.
        m_heldReceived += m_port.readAll();
    }
    if (m_lossDuringWrite)
        return false;
    const qint64 unsent = m_port.bytesToWrite();
    if (unsent == 0)
        return true;
    m_port.clear(QSerialPort::Output);
    m_port.clearError();
    return fail({deviceName(), QSerialPort::TimeoutError,
                 tr("Only %1 of %2 bytes were written within %3 ms")
                     .arg(frameSize - unsent)
                     .arg(frameSize)
                     .arg(timeoutMs)});
}

qint64 SerialLink::waitingBytes() const {
    return m_heldReceived.size() + m_port.bytesAvailable();
}

QByteArray SerialLink::takeWaitingBytes() {
    QByteArray bytes = std::exchange(m_heldReceived, {});
    if (m_port.isOpen())
        bytes += m_port.readAll();
    return bytes;
}

QString SerialLink::ReadAll() {
    return WireBytesToDisplayText(takeWaitingBytes());
}

// QSerialPort signals readyRead for every chunk the driver hands over; the board's reply counts
// only once a whole frame's worth is waiting.
void SerialLink::reportReceivedData() {
    if (waitingBytes() >= kReceiveThreshold)
        emit dataReceived(ReadAll());
}

// Qt 6.4 on Linux reports a vanished device as an endless stream of ReadErrors, so the first
// real error closes the port. NoError (sent on clearError) and errors while opening or closing
// are not losses; a timeout only comes from a write's own wait, which reports it.
void SerialLink::handleError(QSerialPort::SerialPortError error) {
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError || !isOpen())
        return;
    // Qt 6.4 words a failed read from whatever errno an earlier call left behind ("Inappropriate
    // ioctl for device"), so a lost device is described by the kind of error alone.
    const bool textIsStale = error == QSerialPort::ReadError || error == QSerialPort::ResourceError;
    const PortFailure failure{deviceName(), error, textIsStale ? QString() : m_port.errorString()};
    if (m_writing) {
        if (!m_lossDuringWrite)
            m_lossDuringWrite = failure;
        return;
    }
    closeLostPort(failure);
}

void SerialLink::closeLostPort(const PortFailure& failure) {
    m_portNumber = 0;
    m_lastFailure = failure;
    m_port.close();
    m_port.clearError();
    emit portLost(failure);
}

bool SerialLink::fail(const PortFailure& failure) {
    m_lastFailure = failure;
    return false;
}

bool SerialLink::isOpen() const {
    return m_portNumber != 0;
}

int SerialLink::portNumber() const {
    return m_portNumber;
}

QString SerialLink::deviceName() const {
    switch (m_portNumber) {
    case 1:
        return m_devices.port1;
    case 2:
        return m_devices.port2;
    default:
        return {};
    }
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
