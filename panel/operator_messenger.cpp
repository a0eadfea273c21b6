#include "operator_messenger.h"

#include "line_recorder.h"
#include "operator_wording.h"

#include <QMessageBox>
#include <QPushButton>

#include <utility>

namespace quillon {

MessagePresenter MessageBoxPresenter(QWidget* parent) {
    return [parent](const OperatorMessage& message) {
        QMessageBox box(parent);
        box.setWindowTitle(kApplicationTitle);
        box.setIcon(message.kind == OperatorMessage::Kind::Help ? QMessageBox::NoIcon
                                                                : QMessageBox::Warning);
        box.setTextFormat(Qt::PlainText);
        box.setText(message.text);
        box.setStandardButtons(QMessageBox::Ok);
        box.button(QMessageBox::Ok)->setText(OkText());
        box.exec();
    };
}

OperatorMessenger::OperatorMessenger(MessagePresenter present, LineRecorder& recorder)
    : m_present(std::move(present)), m_recorder(recorder) {}

void OperatorMessenger::tell(const QString& warning) const {
    m_present({OperatorMessage::Kind::Warning, warning});
}

void OperatorMessenger::refuseSend(const QString& warning) const {
    m_recorder.notSent(warning);
    tell(warning);
}

void OperatorMessenger::showHelp() const {
    m_present({OperatorMessage::Kind::Help, HelpText()});
}

} // namespace quillon
