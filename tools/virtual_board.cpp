#include "virtual_board.h"

#include "command_text.h"

#include <QSocketNotifier>

#include <cerrno>
#include <unistd.h>

namespace quillon::board {

namespace {

std::string_view View(const QByteArray& bytes) {
    return {bytes.constData(), std::size_t(bytes.size())};
}

QString LogLine(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

VirtualBoard::VirtualBoard(ReplyMode replyMode, QObject* parent)
    : QObject(parent), m_replyMode(replyMode) {
    m_quietTimer.setSingleShot(true);
    m_quietTimer.setInterval(kQuietGap);
    connect(&m_quietTimer, &QTimer::timeout, this, &VirtualBoard::endBurst);
}

bool VirtualBoard::open(const QString& linkPath, QString* error) {
    if (!m_terminal.open(error))
        return false;
    if (!linkPath.isEmpty() && !m_terminal.linkAs(linkPath, error))
        return false;
    m_readNotifier = new QSocketNotifier(m_terminal.masterFd(), QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &VirtualBoard::readMaster);
    return true;
}

void VirtualBoard::readMaster() {
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(m_terminal.masterFd(), buffer, sizeof buffer);
        if (count > 0) {
            m_burst.append(buffer, count);
            m_quietTimer.start();
            cutOverlongBurst();
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            pauseReading();
        return;
    }
}

// A burst is taken whole or rejected whole: a frame made longer than 22 bytes by an over-wide
// value is one rejected command, never a decoded first 22 bytes followed by stray bytes.
void VirtualBoard::endBurst() {
    const std::string_view burst = View(m_burst);
    const BurstSplit split = SplitCommands(burst);
    if (split.consumed == burst.size())
        accept(split);
    else
        reject(burst);
    m_burst.clear();
}

// Bytes that keep coming with no pause are taken command by command; a tail shorter than a
// frame waits for the rest, anything else that does not decode is rejected.
void VirtualBoard::cutOverlongBurst() {
    if (m_burst.size() < kMaxBurst)
        return;
    const std::string_view burst = View(m_burst);
    const BurstSplit split = SplitCommands(burst);
    accept(split);
    const std::string_view rest = burst.substr(split.consumed);
    if (rest.size() >= kFrameLength) {
        reject(rest);
        m_burst.clear();
    } else {
        m_burst.remove(0, qsizetype(split.consumed));
    }
}

void VirtualBoard::accept(const BurstSplit& split) {
    for (const SplitCommand& command : split.commands) {
        apply(command.command);
        // The echo goes out before the line is logged: whoever sees the line can read the echo.
        reply(command.bytes);
        emit commandLogged(LogLine(DescribeCommand(command.command)));
    }
    if (!split.commands.empty())
        emit outputsChanged();
}

void VirtualBoard::reject(std::string_view bytes) {
    emit commandLogged(LogLine(DescribeRejected(bytes, DecodeCommand(bytes).reason)));
}

void VirtualBoard::apply(const DecodedCommand& command) {
    if (command.kind == DecodedCommand::Kind::Reset)
        m_outputs.fill(ChannelState{});
    for (const ChannelOutput& output : command.outputs) {
        if (output.channel >= 0 && output.channel < int(m_outputs.size()))
            m_outputs[std::size_t(output.channel)] = {output.volts, output.gain};
    }
}

void VirtualBoard::reply(std::string_view bytes) {
    if (m_replyMode != ReplyMode::Echo)
        return;
    const ssize_t written = ::write(m_terminal.masterFd(), bytes.data(), bytes.size());
    // The slave's queue fills only when nobody has read it for kilobytes; the reply is dropped.
    if (written != ssize_t(bytes.size()))
        qWarning("quillon-board: the reply did not fit into the line's queue; dropped");
}

// The master reads an error only when no slave is open, which the held slave fd prevents;
// should it happen anyway, retry a little later instead of spinning on the notifier.
void VirtualBoard::pauseReading() {
    m_readNotifier->setEnabled(false);
    QTimer::singleShot(std::chrono::milliseconds(200), this,
                       [this] { m_readNotifier->setEnabled(true); });
}

} // namespace quillon::board
