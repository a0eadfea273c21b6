#include "panel_harness.h"

#include <QAction>
#include <QPushButton>
#include <QTest>

namespace quillon::testing {

PanelHarness::PanelHarness() : m_board(std::make_unique<PtyPair>()) {
    if (m_board->isValid())
        m_board->linkAs(boardPath());
}

PanelHarness::~PanelHarness() {
    m_controller.reset();
    m_form.reset();
}

bool PanelHarness::isValid() const {
    return m_dir.isValid() && m_board->isValid() && QFile::exists(boardPath());
}

QString PanelHarness::boardPath() const {
    return filePath(QStringLiteral("board"));
}

QString PanelHarness::filePath(const QString& name) const {
    return m_dir.filePath(name);
}

bool PanelHarness::open(Messages messages) {
    return open(boardPath(), messages);
}

bool PanelHarness::open(const QString& device, Messages messages) {
    m_form = std::make_unique<Form1>();
    const PortDevices devices{device, filePath(QStringLiteral("no-such-port"))};
    MessagePresenter present;
    if (messages == Messages::Recorded)
        present = [this](const OperatorMessage& message) { m_messages << message; };
    const PortSources ports{[this] { return m_listedPorts; },
                            [this](QWidget*) {
                                ++m_prompts;
                                return m_deviceAnswer;
                            }};
    const RecordSources files{[this](QWidget*, const QString&) { return m_logAnswer; },
                              [this](QWidget*) { return m_sequenceAnswer; }};
    m_controller = std::make_unique<PanelController>(*m_form, devices, present, ports, files);
    m_form->show();
    return QTest::qWaitForWindowActive(m_form.get());
}

bool PanelHarness::replugBoard() {
    m_board = std::make_unique<PtyPair>();
    return m_board->isValid() && m_board->linkAs(boardPath());
}

bool PanelHarness::click(const QString& button) {
    QPushButton* target = m_form->findChild<QPushButton*>(button);
    if (!target)
        return false;
    QTest::mouseClick(target, Qt::LeftButton, {}, target->rect().center());
    return true;
}

RecordMenu* PanelHarness::recordMenu() const {
    return m_form->findChild<RecordMenu*>();
}

bool PanelHarness::chooseRecordItem(const QString& item) {
    for (QAction* action : recordMenu()->actions()) {
        if (action->text() == item && action->isEnabled()) {
            action->trigger();
            return true;
        }
    }
    return false;
}

PortMenu* PanelHarness::portMenu() const {
    return m_form->findChild<PortMenu*>();
}

QStringList PanelHarness::openPortMenu() {
    PortMenu* menu = portMenu();
    menu->popup(m_form->mapToGlobal(QPoint(0, 0)));
    QStringList items;
    for (const QAction* item : menu->actions())
        items << (item->isChecked() ? QStringLiteral("[x] ") : QString()) + item->text();
    menu->hide();
    return items;
}

bool PanelHarness::choosePort(const QString& item) {
    openPortMenu();
    for (QAction* action : portMenu()->actions()) {
        if (action->text() == item) {
            action->trigger();
            return true;
        }
    }
    return false;
}

} // namespace quillon::testing
