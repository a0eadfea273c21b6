#include "reply_display.h"

#include "quoted_text.h"
#include "serial_link.h"

#include <QAction>
#include <QLineEdit>

#include <string_view>

namespace quillon {

ReplyDisplay::ReplyDisplay(QLineEdit& returnCodeBox, QObject* parent)
    : QObject(parent), m_box(returnCodeBox), m_hexItem(new QAction(tr(kHexItemText), this)) {
    m_hexItem->setObjectName(QStringLiteral("HEX"));
    m_hexItem->setCheckable(true);
    connect(m_hexItem, &QAction::toggled, this, &ReplyDisplay::render);
}

void ReplyDisplay::show(const QByteArray& reply) {
    m_lastReply = reply;
    render();
}

void ReplyDisplay::render() {
    if (!m_lastReply)
        return;
    const QByteArray& reply = *m_lastReply;
    m_box.setText(m_hexItem->isChecked() ? QString::fromStdString(HexBytes(
                                               std::string_view(reply.constData(), reply.size())))
                                         : WireBytesToDisplayText(reply));
}

} // namespace quillon
