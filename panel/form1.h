#pragma once

// The panel window: four group boxes of labels, text boxes, check boxes and buttons at fixed
// places, built from one table of controls that also gives each control its role, and a menu
// bar with the Help item.

#include <QHash>
#include <QMainWindow>
#include <QMap>
#include <QString>

#include <array>
#include <utility>

class QAction;
class QCheckBox;
class QLineEdit;
class QPushButton;

namespace quillon {

enum class ControlKind { GroupBox, Label, TextBox, CheckBox, Button };

// The part a control plays for the operator; labels and group boxes play none. Controls that
// share a part are told apart by their slot: the column in the four-channel group (from 0), the
// channel in the eight-channel group (0 to 7).
enum class ControlRole {
    None,
    SingleChannelBox,
    SingleValueBox,
    SingleGainBox,
    SingleSendButton,
    FourChannelBox,
    FourValueBox,
    FourGainBox,
    FourSendButton,
    EightChannelBox,
    EightCodeBox,
    EightGainBox,
    EightSendButton,
    SendCodeBox,
    ReturnCodeBox,
    ResetButton,
};

// One control of the window. Positions and sizes are in twips (1/1440 inch), relative to the
// container: the client area (empty container) or the outer top-left corner of a group box.
struct ControlRow {
    ControlKind kind;
    const char* name;
    const char* container;
    const char* text; // caption or default text
    int left;
    int top;
    int width;
    int height;
    int tabIndex; // -1 where the control has none
    bool enabled;
    Qt::Alignment alignment;
    ControlRole role;
    int slot;
};

// The controls of each group, by the part they play for the operator.
struct SingleChannelGroup {
    QLineEdit* channelBox = nullptr;
    QLineEdit* valueBox = nullptr;
    QCheckBox* gainBox = nullptr;
    QPushButton* sendButton = nullptr;
};

struct ChannelColumn {
    QLineEdit* channelBox = nullptr;
    QLineEdit* valueBox = nullptr;
    QCheckBox* gainBox = nullptr;
};

struct FourChannelGroup {
    std::array<ChannelColumn, 4> columns;
    QPushButton* sendButton = nullptr;
};

// channels[k] is channel k, by position: the frame carries codes only, not the channel boxes.
struct EightChannelGroup {
    struct Channel {
        QLineEdit* channelBox = nullptr;
        QLineEdit* codeBox = nullptr;
        QCheckBox* gainBox = nullptr;
    };
    std::array<Channel, 8> channels;
    QPushButton* sendButton = nullptr;
};

struct ResetGroup {
    QLineEdit* sendCodeBox = nullptr;
    QLineEdit* returnCodeBox = nullptr;
    QPushButton* resetButton = nullptr;
};

// How a warning names a box whose value a Send converts.
struct ValueBoxName {
    QString group;        // "4通道控制"
    QString box;          // "第3列的设定值"
    QString acceptedForm; // "设定值必须为3位数，单位为V"
};

class Form1 : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int kTwipsPerPixel = 15;
    static constexpr QPoint kClientTopLeft{221, 158};
    static constexpr QSize kClientSize{426, 549};

    explicit Form1(QWidget* parent = nullptr);

    const SingleChannelGroup& singleChannelGroup() const { return m_singleChannel; }
    const FourChannelGroup& fourChannelGroup() const { return m_fourChannels; }
    const EightChannelGroup& eightChannelGroup() const { return m_eightChannels; }
    const ResetGroup& resetGroup() const { return m_reset; }
    // Empty when `box` is not a value box.
    ValueBoxName valueBoxName(const QLineEdit* box) const;

    // The control that plays `role` in `slot`; null for a role the window has no control for.
    QWidget* control(ControlRole role, int slot = 0) const;
    template <typename Control> Control* control(ControlRole role, int slot = 0) const {
        return qobject_cast<Control*>(control(role, slot));
    }
    QAction* helpAction() const { return m_help; }
    // Ctrl+Q: closes the window, which ends the program.
    QAction* quitAction() const { return m_quit; }

signals:
    // The window's Load event: raised once, from the event loop after the window is first shown,
    // so that anything Load shows appears in front of it.
    void loaded();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    QWidget* createControl(const ControlRow& row);
    void collectGroups();
    void setTabOrderFromTable();
    void placeOnScreen();

    QHash<QString, QWidget*> m_controls;
    QMap<std::pair<ControlRole, int>, QWidget*> m_roles;
    SingleChannelGroup m_singleChannel;
    FourChannelGroup m_fourChannels;
    EightChannelGroup m_eightChannels;
    ResetGroup m_reset;
    QAction* m_help = nullptr;
    QAction* m_quit = nullptr;
    bool m_loaded = false;
};

} // namespace quillon
