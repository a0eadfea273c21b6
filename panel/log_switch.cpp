#include "log_switch.h"

#include "line_recorder.h"
#include "operator_messenger.h"
#include "operator_wording.h"
#include "record_menu.h"

namespace quillon {

LogSwitch::LogSwitch(LineRecorder& recorder, RecordMenu& menu, const OperatorMessenger& messenger,
                     QObject* parent)
    : QObject(parent), m_recorder(recorder), m_menu(menu), m_messenger(messenger) {
    connect(&m_menu, &RecordMenu::logChosen, this, &LogSwitch::start);
    connect(&m_menu, &RecordMenu::stopChosen, this, &LogSwitch::stop);
    // Queued: the recorder fails inside whatever was being logged, such as the port's signal.
    connect(&m_recorder, &LineRecorder::failed, this, &LogSwitch::reportFailure,
            Qt::QueuedConnection);
}

bool LogSwitch::start(const QString& path) {
    QString reason;
    if (!m_recorder.start(path, &reason)) {
        m_messenger.tell(LogNotStartedText(path, reason));
        return false;
    }
    m_menu.showLog(path);
    return true;
}

void LogSwitch::stop() {
    m_recorder.stop();
    m_menu.showLog({});
}

// The log that failed may already have been replaced by a new one by the time this is told.
void LogSwitch::reportFailure(const QString& path, const QString& reason) {
    m_menu.showLog(m_recorder.isRecording() ? m_recorder.path() : QString());
    m_messenger.tell(LogFailedText(path, reason));
}

} // namespace quillon
