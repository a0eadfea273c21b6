#pragma once

// The real panel window and its controller on a pseudo-terminal board, with the messages meant
// for the operator recorded instead of shown.

#include "form1.h"
#include "panel_actions.h"
#include "pty_pair.h"

#include <QLineEdit>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace quillon::testing {

// A text box of the window by the part it plays, for table rows that name the box they type into.
struct BoxRole {
    ControlRole role = ControlRole::None;
    int slot = 0;

    QLineEdit* operator()(const Form1& form) const { return form.control<QLineEdit>(role, slot); }
};

inline constexpr BoxRole kSingleChannelBox{ControlRole::SingleChannelBox};
inline constexpr BoxRole kSingleValueBox{ControlRole::SingleValueBox};
template <int Column> inline constexpr BoxRole kFourChannelBox{ControlRole::FourChannelBox, Column};
template <int Column> inline constexpr BoxRole kFourValueBox{ControlRole::FourValueBox, Column};
template <int Channel>
inline constexpr BoxRole kEightChannelBox{ControlRole::EightChannelBox, Channel};
template <int Channel> inline constexpr BoxRole kEightCodeBox{ControlRole::EightCodeBox, Channel};

class PanelHarness {
public:
    enum class Messages { Recorded, ShownInMessageBoxes };

    // A fresh board, linked at boardPath(); the panel is not open yet.
    PanelHarness();
    ~PanelHarness();

    bool isValid() const;
    QString boardPath() const;
    // A path in the harness's own temporary folder; "no-such-port" is the panel's port 2.
    QString filePath(const QString& name) const;
    PtyPair& board() { return *m_board; }

    // A panel whose port 1 is `device` and port 2 a device that does not exist; true once the
    // window is active.
    bool open(Messages messages = Messages::Recorded);
    bool open(const QString& device, Messages messages = Messages::Recorded);

    // Plugs a new board in at boardPath(), as when the adapter comes back under its old name.
    bool replugBoard();

    Form1& form() { return *m_form; }
    const PanelController& controller() const { return *m_controller; }
    PanelController& controller() { return *m_controller; }
    const QList<OperatorMessage>& messages() const { return m_messages; }

    // A left click in the middle of the named button; false when there is no such button.
    bool click(const QString& button);

    // What the 串口 menu lists, and what the "其他设备…" prompt answers (recorded in prompts()).
    void setListedPorts(const QList<PortListing>& ports) { m_listedPorts = ports; }
    void setDeviceAnswer(const QString& device) { m_deviceAnswer = device; }
    int prompts() const { return m_prompts; }

    // What the 记录 menu's dialogs answer: where to log, which sequence to play (empty: cancel).
    void setLogAnswer(const QString& path) { m_logAnswer = path; }
    void setSequenceAnswer(const QString& path) { m_sequenceAnswer = path; }
    RecordMenu* recordMenu() const;
    // Triggers the 记录 menu's item with this text; false when there is none or it is disabled.
    bool chooseRecordItem(const QString& item);

    PortMenu* portMenu() const;
    // Opens the 串口 menu as a click on its title does and returns its item texts; a checked
    // item is marked "[x] ".
    QStringList openPortMenu();
    // Opens the menu and triggers the item with this text; false when there is none.
    bool choosePort(const QString& item);

private:
    QTemporaryDir m_dir;
    std::unique_ptr<PtyPair> m_board;
    std::unique_ptr<Form1> m_form;
    std::unique_ptr<PanelController> m_controller;
    QList<OperatorMessage> m_messages;
    QList<PortListing> m_listedPorts;
    QString m_deviceAnswer;
    QString m_logAnswer;
    QString m_sequenceAnswer;
    int m_prompts = 0;
};

} // namespace quillon::testing

Q_DECLARE_METATYPE(quillon::testing::BoxRole)
