#pragma once

// SCPI remote control served by the open panel: the checkable 远程控制 (SCPI)… item of the 串口
// menu and `quillon --scpi`. Client frames go out on the panel's own link, in order with the
// operator's Sends, are logged with the client's name, and text frames show in 发送码.

#include "listen_address.h"
#include "panel_actions.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QAction;
class QWidget;

namespace quillon {

class Form1;
class PortMenu;
class ScpiServer;

// Asks the operator where to listen, proposing `proposed`; an empty text when they cancel.
using ListenAddressPrompt = std::function<QString(QWidget* parent, const QString& proposed)>;

// A dialog with one line for [ADDR]:PORT.
QString AskForListenAddress(QWidget* parent, const QString& proposed);

class ScpiControl : public QObject {
    Q_OBJECT

public:
    // The item's text as written; the menu shows it translated.
    static constexpr char kItemText[] = QT_TR_NOOP("远程控制 (SCPI)…");

    // Empty functions mean message boxes in front of `form` and the real dialog.
    ScpiControl(Form1& form, PanelController& controller, MessagePresenter present = {},
                ListenAddressPrompt askForAddress = {}, QObject* parent = nullptr);
    ~ScpiControl() override;

    // Starts serving at `address`; false, told in a warning, when it cannot be listened on.
    bool start(const ListenAddress& address);
    void stop();
    bool isServing() const { return m_server != nullptr; }
    // The address listened on, its port as chosen when port 0 was asked for.
    ListenAddress address() const;
    int clientCount() const;

private:
    void toggle(bool checked);
    void showClients(int count);
    void showFrame(const QByteArray& frame, bool text);

    Form1& m_form;
    PanelController& m_controller;
    MessagePresenter m_present;
    ListenAddressPrompt m_askForAddress;
    PortMenu* m_portMenu = nullptr;
    QAction* m_item = nullptr;
    std::unique_ptr<ScpiServer> m_server;
};

} // namespace quillon
