#include "scpi_control.h"

#include "form1.h"
#include "frames.h"
#include "port_menu.h"
#include "quoted_text.h"
#include "scpi_server.h"

#include <QAction>
#include <QInputDialog>
#include <QLineEdit>

namespace quillon {

QString AskForListenAddress(QWidget* parent, const QString& proposed) {
    QInputDialog dialog(parent);
    dialog.setWindowTitle(ScpiControl::tr("远程控制 (SCPI)"));
    dialog.setLabelText(ScpiControl::tr("监听地址（例如 127.0.0.1:5025；SCPI 没有身份验证）："));
    dialog.setTextValue(proposed);
    dialog.setOkButtonText(ScpiControl::tr("确定"));
    dialog.setCancelButtonText(ScpiControl::tr("取消"));
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.textValue().trimmed();
}

ScpiControl::ScpiControl(Form1& form, PanelController& controller, MessagePresenter present,
                         ListenAddressPrompt askForAddress, QObject* parent)
    : QObject(parent), m_form(form), m_controller(controller),
      m_present(present ? std::move(present) : MessageBoxPresenter(&form)),
      m_askForAddress(askForAddress ? std::move(askForAddress) : AskForListenAddress),
      m_portMenu(form.findChild<PortMenu*>()), m_item(new QAction(tr(kItemText), this)) {
    m_item->setObjectName(QStringLiteral("SCPI"));
    m_item->setCheckable(true);
    connect(m_item, &QAction::triggered, this, &ScpiControl::toggle);
    if (m_portMenu)
        m_portMenu->addFeatureItem(m_item);
}

ScpiControl::~ScpiControl() {
    stop();
}

bool ScpiControl::start(const ListenAddress& address) {
    stop();
    auto server =
        std::make_unique<ScpiServer>(m_controller.serialLink(), QStringLiteral(QUILLON_VERSION));
    if (!server->listen(address)) {
        //: %1 the address, %2 the system's reason
        m_present({OperatorMessage::Kind::Warning,
                   tr("远程控制无法在 %1 上监听：%2").arg(address.text(), server->errorString())});
        m_item->setChecked(false);
        return false;
    }
    m_server = std::move(server);
    // A client's frame is refused while a sequence plays, as the operator's Sends wait then.
    m_server->setSendGate([this] {
        return m_controller.isPlaying() ? QStringLiteral("a sequence is playing") : QString();
    });
    m_controller.recorder().setFrameSender(
        [this](const QByteArray& frame) { return m_server->senderOf(frame); });
    connect(m_server.get(), &ScpiServer::clientCountChanged, this, &ScpiControl::showClients);
    connect(m_server.get(), &ScpiServer::frameQueued, this, &ScpiControl::showFrame);
    m_item->setChecked(true);
    showClients(0);
    return true;
}

void ScpiControl::stop() {
    if (!m_server)
        return;
    m_controller.recorder().setFrameSender({});
    m_server.reset();
    m_item->setChecked(false);
    if (m_portMenu)
        m_portMenu->showTitleNote({});
}

ListenAddress ScpiControl::address() const {
    return m_server ? m_server->address() : ListenAddress{};
}

int ScpiControl::clientCount() const {
    return m_server ? m_server->clientCount() : 0;
}

void ScpiControl::toggle(bool checked) {
    if (!checked) {
        stop();
        return;
    }
    // The check mark follows the server, not the click.
    m_item->setChecked(false);
    const QString text = m_askForAddress(&m_form, ListenAddress{}.text());
    if (text.isEmpty())
        return;
    const std::optional<ListenAddress> address = ParseListenAddress(text);
    if (!address) {
        //: %1 what the operator typed
        m_present({OperatorMessage::Kind::Warning,
                   tr("%1 不是监听地址，应为 地址:端口，例如 127.0.0.1:5025。")
                       .arg(QString::fromStdString(QuotedText(text.toStdString())))});
        return;
    }
    start(*address);
}

void ScpiControl::showClients(int count) {
    if (m_portMenu)
        //: %1 how many SCPI clients are connected
        m_portMenu->showTitleNote(tr("SCPI %1").arg(count));
}

// As for the operator's Sends: the text frames show, the reset byte and the eight-channel frame
// leave the box as it was.
void ScpiControl::showFrame(const QByteArray& frame, bool text) {
    if (text && frame != QByteArray::fromStdString(ResetCommand()))
        m_form.resetGroup().sendCodeBox->setText(QString::fromLatin1(frame));
}

} // namespace quillon
