#include "virtual_board.h"

#include "byte_view.h"
#include "command_text.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>
#include <poll.h>
#include <unistd.h>

namespace quillon::board {

namespace {

QString LogLine(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

VirtualBoard::VirtualBoard(ReplyMode replyMode, int baud, QObject* parent)
    : QObject(parent), m_bytesPerSecond(baud / 10.0), m_replyMode(replyMode) {
    m_quietTimer.setSingleShot(true);
    m_quietTimer.setInterval(kQuietGap);
    connect(&m_quietTimer, &QTimer::timeout, this, &VirtualBoard::endBurst);
    m_sliceTimer.setTimerType(Qt::PreciseTimer);
    m_sliceTimer.setInterval(kSliceInterval);
    connect(&m_sliceTimer, &QTimer::timeout, this, &VirtualBoard::takeSlice);
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
    if (m_bytesPerSecond <= 0) {
        if (take(std::numeric_limits<qint64>::max()).failed)
            pauseReading();
        return;
    }
    // Bytes have come to a line of limited speed: from now on the slice timer takes them as the
    // line carries them, and the notifier waits until the line has gone idle again.
    m_readNotifier->setEnabled(false);
    m_lineCredit = 0;
    m_lineClock.start();
    m_sliceTimer.start();
}

// Bytes the kernel keeps meanwhile hold the writer back, as a slow line would. Credit left from
// a late slice carries over, but never more than a quiet gap's worth.
void VirtualBoard::takeSlice() {
    const double carried = double(m_lineClock.nsecsElapsed()) / 1e9 * m_bytesPerSecond;
    m_lineClock.start();
    const double ceiling = std::max(1.0, m_bytesPerSecond * kQuietGap.count() / 1000.0);
    m_lineCredit = std::min(m_lineCredit + carried, ceiling);
    const auto allowed = qint64(std::floor(m_lineCredit));
    if (allowed == 0)
        return;
    const Taken taken = take(allowed);
    m_lineCredit -= double(taken.count);
    if (!taken.lineEmpty)
        return;
    m_sliceTimer.stop();
    if (taken.failed)
        pauseReading();
    else
        m_readNotifier->setEnabled(true);
}

VirtualBoard::Taken VirtualBoard::take(qint64 limit) {
    Taken taken;
    char buffer[4096];
    while (taken.count < limit) {
        const auto wanted =
            std::size_t(std::min<qint64>(qint64(sizeof buffer), limit - taken.count));
        const ssize_t count = ::read(m_terminal.masterFd(), buffer, wanted);
        if (count > 0) {
            m_burst.append(buffer, count);
            taken.count += count;
            m_quietTimer.start();
            acceptSettledCommands();
            cutOverlongBurst();
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        taken.lineEmpty = true;
        taken.failed = count < 0 && errno != EAGAIN && errno != EWOULDBLOCK;
        break;
    }
    return taken;
}

bool VirtualBoard::bytesWaiting() const {
    pollfd master{m_terminal.masterFd(), POLLIN, 0};
    return ::poll(&master, 1, 0) > 0 && (master.revents & POLLIN);
}

// A burst is taken whole or rejected whole: a frame made longer than 22 bytes by an over-wide
// value is one rejected command, never a decoded first 22 bytes followed by stray bytes.
void VirtualBoard::endBurst() {
    // On a slow line the bytes still waiting for it are on their way: the line is not quiet
    // however long a byte takes, so a frame stays one burst at any rate.
    if (m_sliceTimer.isActive() && bytesWaiting()) {
        m_quietTimer.start();
        return;
    }
    const std::string_view burst = ByteView(m_burst);
    const BurstSplit split = SplitCommands(burst);
    if (split.consumed == burst.size())
        accept(split);
    else
        reject(burst);
    m_burst.clear();
}

// While bytes keep coming, a command followed by another whole command is applied at once, so
// a sequence played at the line's rate shows as it goes. The last one waits for the pause,
// which still tells a whole frame from one made longer by an over-wide value.
void VirtualBoard::acceptSettledCommands() {
    BurstSplit split = SplitCommands(ByteView(m_burst));
    if (split.commands.size() < 2)
        return;
    split.consumed -= split.commands.back().bytes.size();
    split.commands.pop_back();
    accept(split);
    m_burst.remove(0, qsizetype(split.consumed));
}

// Bytes that keep coming with no pause are taken command by command; a tail shorter than a
// frame waits for the rest, anything else that does not decode is rejected.
void VirtualBoard::cutOverlongBurst() {
    if (m_burst.size() < kMaxBurst)
        return;
    const std::string_view burst = ByteView(m_burst);
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
