#pragma once

// Starts and stops the log of the line from the 记录 menu (or the command line), keeps the
// menu's title naming the log file, and tells the operator when a log cannot be opened or
// written any more.

#include <QObject>
#include <QString>

namespace quillon {

class LineRecorder;
class OperatorMessenger;
class RecordMenu;

class LogSwitch : public QObject {
    Q_OBJECT

public:
    LogSwitch(LineRecorder& recorder, RecordMenu& menu, const OperatorMessenger& messenger,
              QObject* parent = nullptr);

public slots:
    // Appends to `path` from now on; false (and the operator told why) when it cannot be opened.
    bool start(const QString& path);
    void stop();

private:
    void reportFailure(const QString& path, const QString& reason);

    LineRecorder& m_recorder;
    RecordMenu& m_menu;
    const OperatorMessenger& m_messenger;
};

} // namespace quillon
