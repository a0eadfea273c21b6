#pragma once

// The panel window: four group boxes of labels, text boxes, check boxes and buttons at fixed
// places, built from one table of controls, and a menu bar with the Help item.

#include <QHash>
#include <QMainWindow>
#include <QString>

class QAction;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace quillon {

enum class ControlKind { GroupBox, Label, TextBox, CheckBox, Button };

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
};

class Form1 : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int kTwipsPerPixel = 15;
    static constexpr QPoint kClientTopLeft{221, 158};
    static constexpr QSize kClientSize{426, 549};

    explicit Form1(QWidget* parent = nullptr);

    QLineEdit* text1(int index) const;
    QCheckBox* check1(int index) const;
    QGroupBox* group(const QString& name) const;
    QPushButton* button(const QString& name) const;
    QAction* helpAction() const { return m_help; }

signals:
    // The window's Load event: raised once, after the window is first shown.
    void loaded();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    QWidget* createControl(const ControlRow& row);
    void setTabOrderFromTable();
    void placeOnScreen();

    QHash<QString, QWidget*> m_controls;
    QAction* m_help = nullptr;
    bool m_loaded = false;
};

} // namespace quillon
