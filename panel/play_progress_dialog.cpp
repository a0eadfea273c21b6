#include "play_progress_dialog.h"

#include "operator_messenger.h"
#include "operator_wording.h"
#include "play_schedule.h"

#include <algorithm>
#include <chrono>
#include <climits>

namespace quillon {

namespace {

constexpr std::chrono::milliseconds kClockTick{200};

int ProgressValue(std::size_t frames) {
    return int(std::min<std::size_t>(frames, INT_MAX));
}

} // namespace

PlayProgressDialog::PlayProgressDialog(const sequence::PlayScheduler& scheduler,
                                       const QString& fileName, QWidget* window)
    : QProgressDialog(window), m_scheduler(scheduler), m_fileName(fileName) {
    setObjectName(QStringLiteral("PlayProgress"));
    setWindowTitle(kApplicationTitle);
    setWindowModality(Qt::WindowModal);
    setCancelButtonText(StopPlayingText());
    setMinimumDuration(0);
    setAutoClose(false);
    setAutoReset(false);
    setRange(0, ProgressValue(m_scheduler.total()));
    m_clock.setInterval(kClockTick);
    connect(&m_clock, &QTimer::timeout, this, &PlayProgressDialog::showProgress);
}

void PlayProgressDialog::follow() {
    m_clock.start();
    showProgress();
}

void PlayProgressDialog::showProgress() {
    setLabelText(PlayingText(m_fileName, m_scheduler));
    setValue(ProgressValue(m_scheduler.sent()));
}

void PlayProgressDialog::finish() {
    m_clock.stop();
    hide();
}

} // namespace quillon
