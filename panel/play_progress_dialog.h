#pragma once

// The dialog in front of the window while a sequence plays: the file, the frames sent of all,
// the time elapsed and remaining, and 停止. Modal to the window, so the Send buttons wait.

#include <QProgressDialog>
#include <QString>
#include <QTimer>

namespace quillon {

namespace sequence {
class PlayScheduler;
}

class PlayProgressDialog : public QProgressDialog {
    Q_OBJECT

public:
    // `scheduler` must outlive the dialog's showing; `fileName` names the sequence.
    PlayProgressDialog(const sequence::PlayScheduler& scheduler, const QString& fileName,
                       QWidget* window);

    // Shows where the play is from now on, on a clock so that the times move between frames.
    void follow();

public slots:
    // Shows where the play is now.
    void showProgress();
    // Stops the updates and hides the dialog for good.
    void finish();

private:
    const sequence::PlayScheduler& m_scheduler;
    QString m_fileName;
    QTimer m_clock;
};

} // namespace quillon
