#include "sender.h"

#include "line_recorder.h"
#include "line_time.h"
#include "port_error_words.h"
#include "quoted_text.h"
#include "say.h"
#include "serial_link.h"

#include <QString>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <span>
#include <unistd.h>

namespace quillon::cli {

namespace {

// The board's reply is taken as complete once the line has been quiet this long (the virtual
// board, like the real one, answers a command in one burst).
constexpr std::chrono::milliseconds kReplyQuiet{50};
constexpr std::chrono::milliseconds kProgressEvery{100};
// A board that floods the line cannot make the reply grow without bound.
constexpr qsizetype kLongestReply = 64 * 1024;

// What stopped a play, in the words the operator used to stop it.
constexpr std::pair<int, const char*> kStoppedBy[] = {
    {SIGINT, "Ctrl-C"}, {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}};

QString StoppedBy(int signalNumber) {
    for (const auto& [number, name] : kStoppedBy) {
        if (number == signalNumber)
            return QString::fromLatin1(name);
    }
    return QStringLiteral("signal %1").arg(signalNumber);
}

std::string FormatReply(const QByteArray& reply, ReplyFormat format) {
    const std::string_view bytes(reply.constData(), std::size_t(reply.size()));
    switch (format) {
    case ReplyFormat::Auto:
        return IsPrintableAscii(bytes) ? std::string(bytes) : HexBytes(bytes);
    case ReplyFormat::Text:
        return EscapedBytes(bytes);
    case ReplyFormat::Hex:
        break;
    }
    return HexBytes(bytes);
}

QString Seconds(std::chrono::nanoseconds duration) {
    return QString::number(std::chrono::duration<double>(duration).count(), 'f', 1);
}

// The English reason from the table of failure kinds; the one that names the line settings
// takes them as %1.
QString ErrorReason(PortError error) {
    const QString words = QString::fromLatin1(WordsFor(error).english);
    return words.contains(QLatin1String("%1")) ? words.arg(QLatin1String(kLineSettingsText))
                                               : words;
}

} // namespace

QString FailureText(const PortFailure& failure) {
    // A device name comes from the command line or the environment: quoted safely.
    const QString device = failure.device.isEmpty()
                               ? QStringLiteral("(no device)")
                               : QString::fromStdString(QuotedPath(failure.device.toStdString()));
    QString text = QStringLiteral("%1: %2").arg(device, ErrorReason(failure.error));
    if (!failure.detail.isEmpty())
        text += QStringLiteral(" (%1)").arg(failure.detail);
    return text;
}

Sender::Sender(SerialLink& link, LineRecorder* recorder, QObject* parent)
    : QObject(parent), m_link(link), m_recorder(recorder) {
    m_replyTimer.setSingleShot(true);
    m_quietTimer.setSingleShot(true);
    m_quietTimer.setInterval(kReplyQuiet);
    // Each byte comes once by received(), as it came; bytesArrived() follows it.
    connect(&m_link, &SerialLink::received, this, [this](const QByteArray& bytes) {
        if (m_replyWait)
            keepReply(bytes);
    });
    connect(&m_link, &SerialLink::bytesArrived, this, &Sender::collectReply);
    connect(&m_replyTimer, &QTimer::timeout, this, &Sender::printReply);
    connect(&m_quietTimer, &QTimer::timeout, this, &Sender::printReply);
    connect(&m_link, &SerialLink::portLost, this, &Sender::handleLostWhileFinishing);
}

void Sender::send(const Frame& frame, std::optional<std::chrono::milliseconds> replyWait) {
    m_replyWait = replyWait;
    m_state = State::Sending;
    connect(&m_link, &SerialLink::allWritten, this, &Sender::handleAllWritten);
    connect(&m_link, &SerialLink::writeFailed, this, &Sender::handleWriteFailed);
    connect(&m_link, &SerialLink::portLost, this, &Sender::handleWriteFailed);
    if (write(frame) && m_link.bytesToWrite() == 0)
        handleAllWritten();
}

void Sender::setReplyOutput(ReplyFormat format, std::FILE* out) {
    m_replyFormat = format;
    m_replyOut = out;
}

void Sender::play(const sequence::Schedule& schedule) {
    m_showProgress = ::isatty(STDERR_FILENO) == 1;
    m_state = State::Playing;
    m_player = std::make_unique<SequencePlayer>(m_link, schedule);
    connect(m_player.get(), &SequencePlayer::progressed, this, [this] { showProgress(false); });
    connect(m_player.get(), &SequencePlayer::finished, this, &Sender::handlePlayFinished);
    m_player->start();
}

void Sender::interrupt(int signalNumber) {
    if (m_state == State::Done || m_interruptStatus)
        return;
    m_interruptStatus = 128 + signalNumber;
    if (m_state == State::Playing) {
        m_player->stop();
        return;
    }
    // The frame is queued whole; it goes out before the program ends.
    if (m_link.bytesToWrite() == 0 || m_state == State::AwaitingReply)
        finish(*m_interruptStatus);
}

bool Sender::write(const Frame& frame) {
    const auto bytes =
        std::span(reinterpret_cast<const std::uint8_t*>(frame.bytes.data()), frame.bytes.size());
    const WriteOutcome outcome = m_link.WriteBytes(bytes);
    if (m_state == State::Done)
        return false; // the write failed at once and was told
    if (outcome == WriteOutcome::Queued)
        return true;
    if (outcome == WriteOutcome::NoPort)
        Say(QStringLiteral("cannot write to %1").arg(FailureText(m_link.lastFailure())));
    else
        Say(QStringLiteral("the line to %1 does not keep up; stopped").arg(m_link.deviceName()));
    finish(kPortTrouble);
    return false;
}

void Sender::handleAllWritten() {
    if (m_state != State::Sending)
        return;
    if (m_interruptStatus) {
        finish(*m_interruptStatus);
        return;
    }
    if (!m_replyWait) {
        finish(kSent);
        return;
    }
    m_state = State::AwaitingReply;
    m_replyTimer.start(*m_replyWait);
    if (!m_reply.isEmpty())
        m_quietTimer.start();
}

void Sender::handleWriteFailed(const PortFailure& failure) {
    if (m_state == State::Done)
        return;
    Say(QStringLiteral("writing failed: %1").arg(FailureText(failure)));
    finish(kPortTrouble);
}

void Sender::handlePlayFinished(SequencePlayer::Outcome outcome) {
    const QString count = QStringLiteral("%1 of %2 frames went out")
                              .arg(m_player->framesWritten())
                              .arg(m_player->scheduler().total());
    switch (outcome) {
    case SequencePlayer::Outcome::Played:
        showProgress(true);
        finish(kSent);
        return;
    case SequencePlayer::Outcome::Stopped:
        finish(m_interruptStatus.value_or(kInterrupted));
        sayStopped();
        return;
    case SequencePlayer::Outcome::PortFailed:
        Say(QStringLiteral("the line failed, %1: %2")
                .arg(count, FailureText(m_player->portFailure())));
        finish(kPortTrouble);
        return;
    case SequencePlayer::Outcome::TimerFailed:
        Say(QStringLiteral("cannot keep time (%1), %2").arg(m_player->timerError(), count));
        finish(kPortTrouble);
        return;
    }
}

// A port that closes while the last frames are still on their way (ser2net turning a client
// away because the device is busy, an adapter pulled) may have dropped them.
void Sender::handleLostWhileFinishing(const PortFailure& failure) {
    if (m_state != State::Done || m_status != kSent)
        return;
    Say(QStringLiteral("the port closed before the last frame had its time on the line; "
                       "the board may not have it: %1")
            .arg(FailureText(failure)));
    m_status = kPortTrouble;
}

void Sender::collectReply() {
    if (!m_replyWait)
        return;
    m_link.ReadAll(); // taken by received() already; reading makes room for more
    if (m_state == State::AwaitingReply && !m_reply.isEmpty())
        m_quietTimer.start();
}

void Sender::printReply() {
    if (m_state == State::Done)
        return;
    m_link.ReadAll();
    if (m_reply.isEmpty()) {
        const QString noReply = QStringLiteral("no reply from %1 within %2 ms")
                                    .arg(m_link.deviceName())
                                    .arg(m_replyWait->count());
        if (m_recorder)
            m_recorder->noReply(*m_replyWait);
        Say(noReply);
        finish(kNoReply);
        return;
    }
    // A reply that cannot be written (a closed pipe, a full disk) is a reply lost.
    const std::string out = FormatReply(m_reply, m_replyFormat) + '\n';
    if (std::fwrite(out.data(), 1, out.size(), m_replyOut) != out.size() ||
        std::fflush(m_replyOut) != 0) {
        Say(QStringLiteral("cannot write the reply to standard %1: %2")
                .arg(m_replyOut == stdout ? QStringLiteral("output") : QStringLiteral("error"),
                     QString::fromLocal8Bit(std::strerror(errno))));
        finish(kPortTrouble);
        return;
    }
    finish(kSent);
}

void Sender::keepReply(const QByteArray& more) {
    const qsizetype room = kLongestReply - m_reply.size();
    if (more.size() > room && !m_replyCut) {
        m_replyCut = true;
        Say(QStringLiteral("the reply is longer than %1 bytes; only the first %1 are printed")
                .arg(kLongestReply));
    }
    m_reply += more.left(std::max<qsizetype>(room, 0));
}

// Counted as the driver took the frames, so that the count is what the board gets.
void Sender::sayStopped() {
    const sequence::PlayScheduler& scheduler = m_player->scheduler();
    const QString count = scheduler.endless()
                              ? QStringLiteral("%1 frames sent").arg(m_player->framesWritten())
                              : QStringLiteral("%1 of %2 frames sent")
                                    .arg(m_player->framesWritten())
                                    .arg(scheduler.total());
    Say(QStringLiteral("%1, stopped by %2 after %3 s")
            .arg(count, StoppedBy(m_interruptStatus.value_or(kInterrupted) - 128),
                 Seconds(scheduler.elapsed())));
}

void Sender::showProgress(bool last) {
    if (!m_showProgress || !m_player)
        return;
    const std::chrono::nanoseconds now = SteadyNow();
    if (!last && now - m_lastProgress < kProgressEvery)
        return;
    m_lastProgress = now;
    const sequence::PlayScheduler& scheduler = m_player->scheduler();
    const QString line =
        scheduler.endless()
            ? QStringLiteral("\r%1 frames sent, %2 s elapsed ")
                  .arg(m_player->framesWritten())
                  .arg(Seconds(scheduler.elapsed()))
            : QStringLiteral("\r%1 of %2 frames sent, %3 s elapsed, %4 s remaining ")
                  .arg(m_player->framesWritten())
                  .arg(scheduler.total())
                  .arg(Seconds(scheduler.elapsed()), Seconds(scheduler.remaining()));
    std::fputs((line + (last ? "\n" : "")).toLocal8Bit().constData(), stderr);
}

void Sender::finish(int status) {
    if (m_state == State::Done)
        return;
    m_state = State::Done;
    m_replyTimer.stop();
    m_quietTimer.stop();
    if (m_showProgress && status != kSent)
        std::fputs("\n", stderr);
    // A network port stays open until the last frame has had its time on the line: a serial
    // server drops what it has not yet written to the board when the connection closes. A
    // serial device drains as it closes, so the program ends at once.
    m_status = status;
    const auto linger = std::chrono::ceil<std::chrono::milliseconds>(m_link.lingerFor());
    QTimer::singleShot(linger, this, [this] { emit finished(m_status); });
}

} // namespace quillon::cli
