#include "record_menu.h"

#include "menu_text.h"
#include "operator_wording.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace quillon {

namespace {

// Qt's own file dialog, so that its buttons can be worded like the panel's other dialogs.
QString AskForFile(QWidget* parent, const QString& title, QFileDialog::AcceptMode mode,
                   const QString& proposed) {
    QFileDialog dialog(parent, title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile
                                                       : QFileDialog::ExistingFile);
    // A log is appended to, never replaced, so choosing a file that exists asks nothing.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setLabelText(QFileDialog::Accept, OkText());
    dialog.setLabelText(QFileDialog::Reject, CancelText());
    dialog.setDirectory(proposed.isEmpty() ? QDir::homePath() : QFileInfo(proposed).absolutePath());
    if (!proposed.isEmpty())
        dialog.selectFile(QFileInfo(proposed).fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace

QString AskForLogPath(QWidget* parent, const QString& proposed) {
    return AskForFile(parent,
                      RecordMenu::tr("开始记录", "title of the dialog that asks where to log"),
                      QFileDialog::AcceptSave, proposed);
}

QString AskForSequencePath(QWidget* parent) {
    return AskForFile(parent,
                      RecordMenu::tr("播放序列", "title of the dialog that asks what to play"),
                      QFileDialog::AcceptOpen, QString());
}

QString ProposedLogPath() {
    const QString name =
        QDateTime::currentDateTime().toString(QStringLiteral("'quillon-'yyyyMMdd-HHmmss'.log'"));
    return QDir::home().filePath(name);
}

QString RecordMenuTitle(const QString& logPath) {
    if (logPath.isEmpty())
        return RecordMenu::tr("记录", "title of the log menu while nothing is logged");
    //: %1 the name of the log file
    return RecordMenu::tr("记录：%1", "title of the log menu").arg(QFileInfo(logPath).fileName());
}

RecordMenu::RecordMenu(RecordSources sources, QWidget* parent)
    : QMenu(parent),
      m_askForLogPath(sources.askForLogPath ? std::move(sources.askForLogPath) : AskForLogPath),
      m_askForSequencePath(sources.askForSequencePath ? std::move(sources.askForSequencePath)
                                                      : AskForSequencePath) {
    setObjectName(QStringLiteral("RecordMenu"));
    menuAction()->setObjectName(QStringLiteral("RECORD"));
    m_start = addAction(tr(kStartText));
    m_stop = addAction(tr(kStopText));
    addSeparator();
    QAction* play = addAction(tr(kPlayText));
    connect(m_start, &QAction::triggered, this, [this] {
        const QString path = m_askForLogPath(parentWidget(), ProposedLogPath());
        if (!path.isEmpty())
            emit logChosen(path);
    });
    connect(m_stop, &QAction::triggered, this, &RecordMenu::stopChosen);
    connect(play, &QAction::triggered, this, [this] {
        const QString path = m_askForSequencePath(parentWidget());
        if (!path.isEmpty())
            emit sequenceChosen(path);
    });
    showLog({});
}

void RecordMenu::showLog(const QString& path) {
    setTitle(MenuText(RecordMenuTitle(path)));
    m_start->setEnabled(path.isEmpty());
    m_stop->setEnabled(!path.isEmpty());
}

} // namespace quillon
