#pragma once

// The Return code box (返回码): the board's last reply, shown as text or, while the 串口 menu's
// "十六进制显示" is checked, as hex pairs ("32 30 31 14"). Switching shows the last reply again
// in the new form; before any reply the box is left as it is.

#include <QByteArray>
#include <QObject>
#include <QString>

#include <optional>

class QAction;
class QLineEdit;

namespace quillon {

class ReplyDisplay : public QObject {
    Q_OBJECT

public:
    // The menu item's text as written; the menu shows it translated.
    static constexpr char kHexItemText[] = QT_TR_NOOP("十六进制显示");

    explicit ReplyDisplay(QLineEdit& returnCodeBox, QObject* parent = nullptr);

    // Checkable, off at first: the box shows replies as text until it is checked.
    QAction* hexItem() const { return m_hexItem; }

public slots:
    void show(const QByteArray& reply);

private:
    void render();

    QLineEdit& m_box;
    QAction* m_hexItem;
    std::optional<QByteArray> m_lastReply;
};

} // namespace quillon
