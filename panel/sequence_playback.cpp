#include "sequence_playback.h"

#include "operator_messenger.h"
#include "operator_wording.h"
#include "play_progress_dialog.h"
#include "sequence_reader.h"
#include "serial_link.h"

#include <QFileInfo>

#include <optional>

namespace quillon {

SequencePlayback::SequencePlayback(SerialLink& link, const OperatorMessenger& messenger,
                                   QWidget* window, QObject* parent)
    : QObject(parent), m_link(link), m_messenger(messenger), m_window(window) {}

SequencePlayback::~SequencePlayback() {
    abandon();
}

bool SequencePlayback::isPlaying() const {
    return m_player && m_player->isPlaying();
}

void SequencePlayback::abandon() {
    m_player.reset();
    if (m_progress)
        delete m_progress;
}

void SequencePlayback::play(const QString& path) {
    if (isPlaying())
        return;
    try {
        const std::string text = sequence::ReadSequenceFile(path.toStdString());
        m_schedule =
            std::make_unique<sequence::PlaySchedule>(sequence::ParseSequence(text), std::nullopt);
    } catch (const sequence::Refusal& refusal) {
        m_messenger.tell(SequenceRefusedText(path, QString::fromStdString(refusal.what())));
        return;
    }
    m_player = std::make_unique<SequencePlayer>(m_link, *m_schedule);
    m_progress =
        new PlayProgressDialog(m_player->scheduler(), QFileInfo(path).fileName(), m_window);
    connect(m_progress, &PlayProgressDialog::canceled, this, &SequencePlayback::stop);
    connect(m_player.get(), &SequencePlayer::progressed, m_progress,
            &PlayProgressDialog::showProgress);
    connect(m_player.get(), &SequencePlayer::finished, this, &SequencePlayback::finish,
            Qt::QueuedConnection);
    m_progress->open();
    m_player->start();
    m_progress->follow();
}

void SequencePlayback::stop() {
    if (m_player)
        m_player->stop();
}

// Queued: a play abandoned meanwhile has no player left, and nothing to tell.
void SequencePlayback::finish(SequencePlayer::Outcome outcome) {
    if (!m_player)
        return;
    if (m_progress) {
        m_progress->finish();
        m_progress->deleteLater();
    }
    const std::unique_ptr<SequencePlayer> player = std::move(m_player);
    const std::size_t frames = player->scheduler().total();
    if (outcome == SequencePlayer::Outcome::PortFailed)
        m_messenger.tell(
            PlayFailedText(player->framesWritten(), frames, FailureText(player->portFailure())));
    else if (outcome == SequencePlayer::Outcome::TimerFailed)
        m_messenger.tell(
            PlayFailedText(player->framesWritten(), frames, TimerFailedText(player->timerError())));
}

} // namespace quillon
