#pragma once

// The panel's behaviour: the window's Load event, its four buttons, its Help item and the
// data the board sends back, on top of the command builders and the serial link.

#include "line_recorder.h"
#include "play_schedule.h"
#include "port_menu.h"
#include "record_menu.h"
#include "sequence_player.h"
#include "serial_link.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

class QLineEdit;
class QProgressDialog;
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

// A port failure in the operator's words: the device, what went wrong, the system's detail.
QString FailureText(const PortFailure& failure);

class PanelController : public QObject {
    Q_OBJECT

public:
    // A default-constructed presenter means message boxes in front of `form`; empty port
    // sources mean the system's port list and a dialog for "其他设备…", empty record sources the
    // file dialogs of the 记录 menu.
    explicit PanelController(Form1& form, PortDevices devices = PortDevices::fromEnvironment(),
                             MessagePresenter present = {}, PortSources portSources = {},
                             RecordSources recordSources = {}, QObject* parent = nullptr);
    ~PanelController() override;

    const SerialLink& link() const { return m_link; }
    const LineRecorder& recorder() const { return m_recorder; }
    // For what else serves the board through the panel's own link (SCPI clients).
    SerialLink& serialLink() { return m_link; }
    LineRecorder& recorder() { return m_recorder; }
    bool isPlaying() const;
    // Starts the log once the window has loaded and the port is open.
    void logFromLoad(const QString& path);
    // Lets the frames already queued go out and have their time on the line, for at most
    // `limit`, before the program ends; the event loop runs meanwhile.
    void finishLine(std::chrono::milliseconds limit);

public slots:
    void load();
    void sendSingleChannel();
    void sendFourChannels();
    void sendEightChannels();
    void sendReset();
    void showReceived(const QString& text);
    void showHelp();
    void choosePort(const QString& device);
    bool startLog(const QString& path);
    void stopLog();
    void playSequence(const QString& path);
    void stopPlaying();

private:
    // The boxes whose values a frame builder converts, in the builder's input order.
    using ValueBoxes = std::span<QLineEdit* const>;

    template <typename Build>
    auto buildFrame(ValueBoxes boxes, Build build) -> std::optional<decltype(build())>;
    void reportBadValue(ValueBoxes boxes, const ConversionError& error);
    void sendTextFrame(const std::string& frame);
    bool refusedWhilePlaying();
    void write(const std::function<WriteOutcome()>& writeFrame);
    void reportWriteFailed(const PortFailure& failure);
    void reportPortLost(const PortFailure& failure);
    void reportLogFailed(const QString& path, const QString& reason);
    void finishOpening(OpenPurpose purpose, bool opened);
    void showProgress();
    void finishPlaying(SequencePlayer::Outcome outcome);
    void refuse(const QString& warning);
    void tell(const QString& warning);

    Form1& m_form;
    SerialLink m_link;
    LineRecorder m_recorder;
    MessagePresenter m_present;
    PortMenu* m_portMenu = nullptr;
    RecordMenu* m_recordMenu = nullptr;
    QString m_logFromLoad;
    QString m_sequenceName;
    std::unique_ptr<sequence::PlaySchedule> m_schedule;
    std::unique_ptr<SequencePlayer> m_player;
    QPointer<QProgressDialog> m_progress;
    QTimer m_progressTimer;
};

} // namespace quillon
