#pragma once

// The panel's actions: the owner of the link, the log and the parts that do the window's jobs
// (sending each group's frame, choosing the port, switching the log, playing a sequence), and
// the one place where the window's events are wired to them.

#include "frame_sender.h"
#include "line_recorder.h"
#include "log_switch.h"
#include "operator_messenger.h"
#include "operator_wording.h"
#include "port_choice.h"
#include "record_menu.h"
#include "reply_display.h"
#include "sequence_playback.h"
#include "serial_link.h"

#include <QObject>
#include <QString>

#include <chrono>

namespace quillon {

class Form1;

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
    bool isPlaying() const { return m_playback.isPlaying(); }
    // Starts the log once the window has loaded and the port is open.
    void logFromLoad(const QString& path) { m_logFromLoad = path; }
    // Ends any sequence, then lets the frames already queued go out and have their time on the
    // line, for at most `limit`, before the program ends; the event loop runs meanwhile.
    void finishLine(std::chrono::milliseconds limit);

public slots:
    void load();
    void sendSingleChannel() { m_sender.sendSingleChannel(); }
    void sendFourChannels() { m_sender.sendFourChannels(); }
    void sendEightChannels() { m_sender.sendEightChannels(); }
    void sendReset() { m_sender.sendReset(); }
    void showReceived(const QByteArray& reply) { m_reply.show(reply); }
    void showHelp() { m_messenger.showHelp(); }
    void choosePort(const QString& device) { m_portChoice.choose(device); }
    bool startLog(const QString& path) { return m_logSwitch.start(path); }
    void stopLog() { m_logSwitch.stop(); }
    void playSequence(const QString& path) { m_playback.play(path); }
    void stopPlaying() { m_playback.stop(); }

private:
    void initActionsConnections();

    Form1& m_form;
    SerialLink m_link;
    LineRecorder m_recorder;
    OperatorMessenger m_messenger;
    RecordMenu* m_recordMenu;
    PortChoice m_portChoice;
    LogSwitch m_logSwitch;
    SequencePlayback m_playback;
    FrameSender m_sender;
    ReplyDisplay m_reply;
    QString m_logFromLoad;
};

} // namespace quillon
