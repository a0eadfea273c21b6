#include "link_transport.h"

#include "byte_view.h"
#include "line_time.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalBlocker>
#include <QUrl>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <termios.h>
#endif
#ifdef Q_OS_LINUX
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace quillon {

namespace {

PortError ErrorOf(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::NoError:
        return PortError::None;
    case QSerialPort::DeviceNotFoundError:
        return PortError::NotFound;
    case QSerialPort::PermissionError:
        return PortError::Permission;
    case QSerialPort::OpenError:
        return PortError::AlreadyOpen;
    case QSerialPort::NotOpenError:
        return PortError::NotOpen;
    case QSerialPort::WriteError:
        return PortError::Write;
    case QSerialPort::ReadError:
        return PortError::Read;
    case QSerialPort::ResourceError:
        return PortError::Gone;
    case QSerialPort::UnsupportedOperationError:
        return PortError::Unsupported;
    case QSerialPort::TimeoutError:
        return PortError::Timeout;
    case QSerialPort::UnknownError:
        break;
    }
    return PortError::Unknown;
}

PortError ErrorOf(QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return PortError::ConnectionRefused;
    case QAbstractSocket::HostNotFoundError:
        return PortError::HostNotFound;
    case QAbstractSocket::RemoteHostClosedError:
    case QAbstractSocket::NetworkError:
        return PortError::Gone;
    case QAbstractSocket::SocketAccessError:
        return PortError::Permission;
    case QAbstractSocket::SocketTimeoutError:
        return PortError::Timeout;
    default:
        return PortError::Unknown;
    }
}

// ser2net sends its Telnet answers in small segments, each held back (Nagle) until the one
// before is acknowledged; a delayed acknowledgement then costs the connection 40 ms. Linux
// acknowledges at once when asked, for the segments that come next.
void AcknowledgeAtOnce([[maybe_unused]] const QTcpSocket& socket) {
#ifdef Q_OS_LINUX
    const int on = 1;
    ::setsockopt(int(socket.socketDescriptor()), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
#endif
}

} // namespace

bool IsNetworkDevice(const QString& device) {
    return device.startsWith(QLatin1String("tcp://")) ||
           device.startsWith(QLatin1String("rfc2217://"));
}

std::optional<NetworkAddress> ParseNetworkDevice(const QString& device) {
    if (!IsNetworkDevice(device))
        return std::nullopt;
    const QUrl url(device, QUrl::StrictMode);
    const int port = url.port();
    if (!url.isValid() || url.host().isEmpty() || port < 1 || port > 65535 ||
        !url.userInfo().isEmpty() || !(url.path().isEmpty() || url.path() == QLatin1String("/")) ||
        url.hasQuery() || url.hasFragment())
        return std::nullopt;
    return NetworkAddress{url.scheme() == QLatin1String("tcp") ? NetworkAddress::Kind::RawTcp
                                                               : NetworkAddress::Kind::Rfc2217,
                          url.host(), quint16(port)};
}

QString ResolveDeviceName(const QString& device) {
#ifdef Q_OS_UNIX
    if (device.isEmpty() || IsNetworkDevice(device) || device.startsWith(u'/'))
        return device;
    const QFileInfo here(device);
    const bool relativeByForm =
        device.startsWith(QLatin1String("./")) || device.startsWith(QLatin1String("../"));
    if (relativeByForm || here.exists() || here.isSymLink())
        return QDir::cleanPath(here.absoluteFilePath());
    return QStringLiteral("/dev/") + device;
#else
    return device; // COM1 and \\.\COM10 are the system's own names
#endif
}

QString ShortDeviceName(const QString& device) {
    if (IsNetworkDevice(device))
        return device.section(QLatin1String("://"), 1).section(u'/', 0, 0);
    const QString name = QFileInfo(device).fileName();
    return name.isEmpty() ? device : name;
}

std::unique_ptr<LinkTransport> LinkTransport::forDevice(const QString& device) {
    if (!IsNetworkDevice(device))
        return std::make_unique<SerialTransport>(ResolveDeviceName(device));
    const std::optional<NetworkAddress> address = ParseNetworkDevice(device);
    return std::make_unique<SocketTransport>(device, address.value_or(NetworkAddress{}));
}

LinkTransport::LinkTransport(QString device) : m_device(std::move(device)) {}

LinkTransport::~LinkTransport() = default;

void LinkTransport::setFailure(PortError error, const QString& detail) {
    m_failure = {m_device, error, detail, 0};
}

void LinkTransport::failOpening(PortError error, const QString& detail) {
    setFailure(error, detail);
    m_state = State::Closed;
    emit openFailed(m_failure);
}

void LinkTransport::loseDevice(PortError error, const QString& detail) {
    setFailure(error, detail);
    m_state = State::Closed;
    emit lost(m_failure);
}

SerialTransport::SerialTransport(const QString& device) : LinkTransport(device) {}

void SerialTransport::open() {
    if (device().isEmpty()) {
        setFailure(PortError::NotFound, tr("No device given"));
        return;
    }
    m_port = std::make_unique<QSerialPort>(device());
    m_port->setParent(this);
    m_port->setBaudRate(qint32(kLineBaud));
    m_port->setDataBits(QSerialPort::Data8);
    m_port->setParity(QSerialPort::NoParity);
    m_port->setStopBits(QSerialPort::OneStop);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    m_port->setReadBufferSize(kReceiveBufferSize);
    if (!m_port->open(QIODevice::ReadWrite)) {
        setFailure(ErrorOf(m_port->error()), m_port->errorString());
        m_port.reset();
        return;
    }
    // DTR and RTS are raised while the port is open, as the system does on open, whatever the
    // last user left; devices without modem lines (pseudo-terminals) refuse, which does no harm.
    m_port->setDataTerminalReady(true);
    m_port->setRequestToSend(true);
    // Qt 6.4 hands out bytes that were queued on the device before the open.
    m_port->clear(QSerialPort::Input);
    m_port->clearError();
    connect(m_port.get(), &QSerialPort::readyRead, this, &LinkTransport::readyRead);
    connect(m_port.get(), &QSerialPort::bytesWritten, this, &LinkTransport::bytesWritten);
    connect(m_port.get(), &QSerialPort::errorOccurred, this, &SerialTransport::handleError);
    setState(State::Open);
}

qint64 SerialTransport::write(const QByteArray& frame) {
    // Qt refuses a write only when the port cannot take one at all.
    if (m_port->write(frame) == frame.size())
        return frame.size();
    const QSerialPort::SerialPortError error = m_port->error();
    setFailure(error == QSerialPort::NoError ? PortError::Write : ErrorOf(error),
               m_port->errorString());
    return -1;
}

// Only when the driver has room: Qt 6.4 takes a write that finds no room at all for a write
// error.
void SerialTransport::startWriting() {
#ifdef Q_OS_UNIX
    pollfd writable{int(m_port->handle()), POLLOUT, 0};
    if (::poll(&writable, 1, 0) == 1 && writable.revents == POLLOUT)
        m_port->flush();
#endif
}

qint64 SerialTransport::bytesAvailable() const {
    return m_port ? m_port->bytesAvailable() : 0;
}

QByteArray SerialTransport::readAll() {
    return m_port ? m_port->readAll() : QByteArray();
}

QByteArray SerialTransport::peek() const {
    return m_port ? m_port->peek(m_port->bytesAvailable()) : QByteArray();
}

void SerialTransport::discardOutput() {
    // A port that fails to flush is told of by the next read or write; not from in here.
    const QSignalBlocker quiet(m_port.get());
    m_port->clear(QSerialPort::Output);
    m_port->clearError();
}

void SerialTransport::close(bool discard) {
    if (!m_port)
        return;
    const QSignalBlocker quiet(m_port.get());
    if (discard)
        m_port->clear(QSerialPort::Output);
#ifdef Q_OS_UNIX
    // The close puts the saved line settings back at once; the bytes the driver still holds
    // must leave at 9600 first. tcdrain returns as soon as the UART has sent them.
    else
        ::tcdrain(int(m_port->handle()));
#endif
    m_port->close();
    m_port->clearError();
    setState(State::Closed);
}

// Qt 6.4 on Linux reports a vanished device as an endless stream of ReadErrors, so the first
// real error closes the port. NoError (sent on clearError) and errors while opening or closing
// are not losses.
void SerialTransport::handleError(QSerialPort::SerialPortError error) {
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError || !isOpen())
        return;
    // Qt 6.4 words a failed read from whatever errno an earlier call left behind ("Inappropriate
    // ioctl for device"), so a lost device is described by the kind of error alone.
    const bool textIsStale = error == QSerialPort::ReadError || error == QSerialPort::ResourceError;
    const QString detail = textIsStale ? QString() : m_port->errorString();
    close(true);
    loseDevice(ErrorOf(error), detail);
}

SocketTransport::SocketTransport(const QString& device, NetworkAddress address)
    : LinkTransport(device), m_address(std::move(address)) {
    // What the server sends waits in the system, not here, until the link reads it.
    m_socket.setReadBufferSize(kReceiveBufferSize);
    m_openTimer.setSingleShot(true);
    connect(&m_openTimer, &QTimer::timeout, this, &SocketTransport::handleTimeout);
    connect(&m_socket, &QTcpSocket::connected, this, &SocketTransport::handleConnected);
    connect(&m_socket, &QTcpSocket::readyRead, this, &SocketTransport::handleReadyRead);
    connect(&m_socket, &QTcpSocket::bytesWritten, this, &SocketTransport::handleBytesWritten);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &SocketTransport::handleError);
}

// Quillon only ever connects, and only where it is told; connecting happens in the background.
void SocketTransport::open() {
    if (m_address.host.isEmpty()) {
        setFailure(PortError::NotFound,
                   tr("Not a server address: give tcp://HOST:PORT or rfc2217://HOST:PORT"));
        return;
    }
    if (m_address.kind == NetworkAddress::Kind::Rfc2217)
        m_telnet = std::make_unique<Rfc2217Client>();
    setState(State::Opening);
    m_openTimer.start(kOpenTimeout);
    m_socket.connectToHost(m_address.host, m_address.port);
}

void SocketTransport::handleConnected() {
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (!m_telnet) {
        becomeOpen();
        return;
    }
    sendControl(m_telnet->opening());
    takeIncoming();
}

void SocketTransport::becomeOpen() {
    m_openTimer.stop();
    setState(State::Open);
    emit opened();
}

qint64 SocketTransport::write(const QByteArray& frame) {
    const QByteArray wire =
        m_telnet ? QByteArray::fromStdString(Rfc2217Client::escape(ByteView(frame))) : frame;
    if (m_socket.write(wire) != wire.size()) {
        setFailure(PortError::Write, m_socket.errorString());
        return -1;
    }
    m_segments.push_back({wire.size(), true});
    return wire.size();
}

void SocketTransport::startWriting() {
    m_socket.flush();
}

void SocketTransport::sendControl(const std::string& bytes) {
    if (bytes.empty())
        return;
    m_socket.write(bytes.data(), qint64(bytes.size()));
    m_segments.push_back({qint64(bytes.size()), false});
    m_socket.flush();
}

// Only the frames' bytes count as written: Telnet's own replies go out among them unseen.
void SocketTransport::handleBytesWritten(qint64 bytes) {
    qint64 frameBytes = 0;
    while (bytes > 0 && !m_segments.empty()) {
        Segment& front = m_segments.front();
        const qint64 taken = std::min(bytes, front.size);
        if (front.frame)
            frameBytes += taken;
        front.size -= taken;
        bytes -= taken;
        if (front.size == 0)
            m_segments.pop_front();
    }
    if (frameBytes > 0)
        emit bytesWritten(frameBytes);
}

void SocketTransport::handleReadyRead() {
    if (!m_telnet) {
        if (isOpen())
            emit readyRead();
        return;
    }
    takeIncoming();
}

// The Telnet stream is taken apart as it comes, but no faster than the link reads the data,
// so a server that floods the line fills the system's buffers, not this one.
void SocketTransport::takeIncoming() {
    AcknowledgeAtOnce(m_socket);
    bool anyData = false;
    while (m_socket.bytesAvailable() > 0 && m_received.size() < kReceiveBufferSize) {
        const QByteArray bytes = m_socket.read(kReceiveBufferSize - m_received.size());
        const Rfc2217Client::Received taken = m_telnet->take(ByteView(bytes));
        sendControl(taken.reply);
        m_received.append(taken.data.data(), qsizetype(taken.data.size()));
        anyData = anyData || !taken.data.empty();
        if (state() == State::Opening) {
            if (m_telnet->state() == Rfc2217Client::State::Refused) {
                const QString reason = QString::fromStdString(m_telnet->refusalText());
                m_openTimer.stop();
                m_socket.abort();
                failOpening(PortError::Unsupported, reason);
                return;
            }
            if (m_telnet->state() == Rfc2217Client::State::Ready)
                becomeOpen();
        }
    }
    if (anyData && isOpen())
        emit readyRead();
}

qint64 SocketTransport::bytesAvailable() const {
    return m_telnet ? m_received.size() : m_socket.bytesAvailable();
}

QByteArray SocketTransport::readAll() {
    if (!m_telnet)
        return m_socket.readAll();
    const QByteArray bytes = std::exchange(m_received, QByteArray());
    // Room again: take what the server sent meanwhile.
    if (m_socket.bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &SocketTransport::takeIncoming, Qt::QueuedConnection);
    return bytes;
}

QByteArray SocketTransport::peek() const {
    return m_telnet ? m_received : m_socket.peek(m_socket.bytesAvailable());
}

// A socket's output cannot be called back once written: a connection that still holds some is
// closed instead, so that no tail of a dropped frame reaches the board later.
void SocketTransport::discardOutput() {
    m_segments.clear();
    if (m_socket.bytesToWrite() == 0)
        return;
    close(true);
}

void SocketTransport::close(bool discard) {
    m_openTimer.stop();
    const QSignalBlocker quiet(&m_socket);
    if (discard)
        m_socket.abort();
    else
        m_socket.disconnectFromHost();
    setState(State::Closed);
}

void SocketTransport::handleError(QAbstractSocket::SocketError error) {
    const QString detail = m_socket.errorString();
    if (state() == State::Opening) {
        m_openTimer.stop();
        m_socket.abort();
        failOpening(ErrorOf(error), detail);
        return;
    }
    if (state() == State::Open) {
        m_socket.abort();
        loseDevice(ErrorOf(error), detail);
    }
}

void SocketTransport::handleTimeout() {
    if (state() != State::Opening)
        return;
    const bool connected = m_socket.state() == QAbstractSocket::ConnectedState;
    m_socket.abort();
    failOpening(
        PortError::Timeout,
        connected ? tr("The server did not agree to %1 within %2 s")
                        .arg(QLatin1String(kLineSettingsText))
                        .arg(kOpenTimeout.count())
                  : tr("No connection within %1 s").arg(kOpenTimeout.count()));
}

} // namespace quillon
