#pragma once

// The 记录 menu: starts and stops the log of the line, and plays a sequence (or a log) from a
// file. Its title names the log file while one is open.

#include <QMenu>
#include <QString>

#include <functional>

class QAction;

namespace quillon {

// Asks the operator for a file: where to append the log (proposing `proposed`), or which
// sequence to play. An empty text when they cancel.
using LogPathPrompt = std::function<QString(QWidget* parent, const QString& proposed)>;
using SequencePathPrompt = std::function<QString(QWidget* parent)>;

// Where the menu's file names come from; empty functions mean the real dialogs.
struct RecordSources {
    LogPathPrompt askForLogPath;
    SequencePathPrompt askForSequencePath;
};

// Dialogs with 确定 and 取消, like the panel's message boxes.
QString AskForLogPath(QWidget* parent, const QString& proposed);
QString AskForSequencePath(QWidget* parent);

// quillon-YYYYMMDD-HHMMSS.log in the home folder, for now.
QString ProposedLogPath();
// "记录" while nothing is logged, "记录：FILE" (the file's own name) while a log is open.
QString RecordMenuTitle(const QString& logPath);

class RecordMenu : public QMenu {
    Q_OBJECT

public:
    // The items' texts as written; the menu shows them translated.
    static constexpr char kStartText[] = QT_TR_NOOP("开始记录…");
    static constexpr char kStopText[] = QT_TR_NOOP("停止记录");
    static constexpr char kPlayText[] = QT_TR_NOOP("播放序列…");

    explicit RecordMenu(RecordSources sources = {}, QWidget* parent = nullptr);

public slots:
    // The log now open, empty while none is.
    void showLog(const QString& path);

signals:
    void logChosen(const QString& path);
    void stopChosen();
    void sequenceChosen(const QString& path);

private:
    LogPathPrompt m_askForLogPath;
    SequencePathPrompt m_askForSequencePath;
    QAction* m_start = nullptr;
    QAction* m_stop = nullptr;
};

} // namespace quillon
