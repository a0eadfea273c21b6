#pragma once

// The panel's behaviour: the window's Load event, its four buttons, its Help item and the
// data the board sends back, on top of the command builders and the serial link.

#include "serial_link.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>
#include <span>
#include <string>

class QLineEdit;
class QWidget;

namespace quillon {

class ConversionError;
class Form1;

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

// The help text: the board's description, then notes on using this panel; one paragraph.
QString HelpText();

class PanelController : public QObject {
    Q_OBJECT

public:
    // A default-constructed presenter means message boxes in front of `form`.
    explicit PanelController(Form1& form, PortDevices devices = PortDevices::fromEnvironment(),
                             MessagePresenter present = {}, QObject* parent = nullptr);

    const SerialLink& link() const { return m_link; }

public slots:
    void load();
    void sendSingleChannel();
    void sendFourChannels();
    void sendEightChannels();
    void sendReset();
    void showReceived(const QString& text);
    void showHelp();

private:
    // The boxes whose values a frame builder converts, in the builder's input order.
    using ValueBoxes = std::span<QLineEdit* const>;

    template <typename Build>
    auto buildFrame(ValueBoxes boxes, Build build) -> std::optional<decltype(build())>;
    void reportBadValue(ValueBoxes boxes, const ConversionError& error);
    void sendTextFrame(const std::string& frame);
    void write(const std::function<WriteOutcome()>& writeFrame);
    void reportWriteFailed(const PortFailure& failure);
    void reportPortLost(const PortFailure& failure);
    void tell(const QString& warning);

    Form1& m_form;
    SerialLink m_link;
    MessagePresenter m_present;
};

} // namespace quillon
