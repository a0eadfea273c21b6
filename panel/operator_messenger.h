#pragma once

// How the panel speaks to the operator: warnings and the help text go through one presenter,
// and a Send refused is kept in the log beside its warning.

#include <QString>

#include <functional>

class QWidget;

namespace quillon {

class LineRecorder;

// Something the panel tells the operator. Help is shown without an icon, warnings with one.
struct OperatorMessage {
    enum class Kind { Help, Warning };
    Kind kind;
    QString text;
};

// Shows a message and returns when the operator has dismissed it.
using MessagePresenter = std::function<void(const OperatorMessage&)>;

inline const QString kApplicationTitle = QStringLiteral("Quillon");

// The real presenter: a modal message box titled "Quillon" with one OK button.
MessagePresenter MessageBoxPresenter(QWidget* parent);

class OperatorMessenger {
public:
    OperatorMessenger(MessagePresenter present, LineRecorder& recorder);

    void tell(const QString& warning) const;
    // A Send refused before anything was queued: told, and noted in the log.
    void refuseSend(const QString& warning) const;
    void showHelp() const;

private:
    MessagePresenter m_present;
    LineRecorder& m_recorder;
};

} // namespace quillon
