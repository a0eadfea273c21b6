#include "form1.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QtTest>

using quillon::ControlRole;
using quillon::Form1;

Q_DECLARE_METATYPE(ControlRole)

namespace {

QString CaptionOf(const QWidget* widget) {
    if (auto* group = qobject_cast<const QGroupBox*>(widget))
        return group->title();
    if (auto* label = qobject_cast<const QLabel*>(widget))
        return label->text();
    if (auto* box = qobject_cast<const QLineEdit*>(widget))
        return box->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(widget))
        return button->text();
    return {};
}

// Anti-aliased text seldom hits pure blue; any strongly blue pixel counts.
int BluePixels(const QImage& image, const QRect& area) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qBlue(pixel) >= 200 && qRed(pixel) <= 80 && qGreen(pixel) <= 80)
                ++count;
        }
    }
    return count;
}

// Counts the close events a window gets.
struct CloseEvents : QObject {
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        count += event->type() == QEvent::Close;
        return false;
    }
};

const QStringList kSongFaces{QStringLiteral("宋体"), QStringLiteral("SimSun"),
                             QStringLiteral("AR PL UMing CN")};

} // namespace

class tst_Form1 : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void controlMatchesLayout_data();
    void controlMatchesLayout();
    void everyControlLiesInsideItsContainer();
    void clientAreaOpensAtItsPlace();
    void titleAndMenu();
    void resetButtonIsDrawnOverGroupFour();
    void fonts_data();
    void fonts();
    void groupCaptionsAloneAreBlue();
    void labelAlignment_data();
    void labelAlignment();
    void focusStartsInChannelBoxAndTabFollowsTheTabIndexes();
    void clickingAGainBoxChangesNothing();
    void controlsByRole_data();
    void controlsByRole();
    void accessibleNames_data();
    void accessibleNames();
    void everyFocusableControlHasANameOfItsOwn();
    void ctrlQClosesTheWindow();

private:
    QWidget* control(const QString& name) const;

    Form1* m_form = nullptr;
};

void tst_Form1::init() {
    m_form = new Form1;
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form));
}

void tst_Form1::cleanup() {
    delete m_form;
    m_form = nullptr;
}

QWidget* tst_Form1::control(const QString& name) const {
    return m_form->findChild<QWidget*>(name);
}

void tst_Form1::controlMatchesLayout_data() {
    QTest::addColumn<QString>("container");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<bool>("enabled");

    struct Row {
        const char* name;
        const char* container;
        const char* caption;
        int left, top, width, height;
        bool enabled;
    };
    // clang-format off
    const Row rows[] = {
        {"Frame1(0)",   "client",    "单通道控制(设定值必须为4位数，单位为V)",              210,  390, 6165, 1395, true},
        {"Label1(0)",   "Frame1(0)", "通道号：",  120,  330, 1245, 315, true},
        {"Text1(0)",    "Frame1(0)", "0",         960,  270,  945, 345, true},
        {"Label1(3)",   "Frame1(0)", "设定值：",   90,  660,  915, 315, true},
        {"Text1(1)",    "Frame1(0)", "1.100",     960,  600,  945, 345, true},
        {"Label1(8)",   "Frame1(0)", "增益：",    150,  990,  915, 315, false},
        {"Check1(0)",   "Frame1(0)", "输出x2",    960,  960,  915, 315, false},
        {"Command1(0)", "Frame1(0)", "发   送",  4920,  420, 1155, 525, true},
        {"Frame2",      "client",    "4通道控制(设定值必须为3位数，单位为V)",               210, 2100, 6165, 1515, true},
        {"Label1(1)",   "Frame2",    "通道号：",   90,  390,  915, 315, true},
        {"Text1(2)",    "Frame2",    "0",         900,  330,  945, 345, true},
        {"Text1(3)",    "Frame2",    "1",        1890,  330,  945, 345, true},
        {"Text1(4)",    "Frame2",    "2",        2880,  330,  945, 345, true},
        {"Text1(5)",    "Frame2",    "3",        3870,  330,  945, 345, true},
        {"Label1(2)",   "Frame2",    "设定值：",   90,  720,  915, 315, true},
        {"Text1(6)",    "Frame2",    "1.00",      900,  690,  945, 345, true},
        {"Text1(7)",    "Frame2",    "2.02",     1890,  690,  945, 345, true},
        {"Text1(8)",    "Frame2",    "3.86",     2880,  690,  945, 345, true},
        {"Text1(9)",    "Frame2",    "4.00",     3870,  690,  945, 345, true},
        {"Label1(9)",   "Frame2",    "增益：",    150, 1080,  915, 315, false},
        {"Check1(1)",   "Frame2",    "输出x2",    900, 1050,  915, 315, false},
        {"Check1(2)",   "Frame2",    "输出x2",   1920, 1050,  915, 315, false},
        {"Check1(3)",   "Frame2",    "输出x2",   2910, 1050,  915, 315, false},
        {"Check1(4)",   "Frame2",    "输出x2",   3900, 1050,  915, 315, false},
        {"Command2",    "Frame2",    "发   送",  4920,  420, 1155, 525, true},
        {"Frame3",      "client",    "8通道控制(设定值为小于256的整数，输出电压=设定值/256*5)", 210, 3870, 6165, 2625, true},
        {"Label1(4)",   "Frame3",    "通道号：",   90,  330,  915, 315, true},
        {"Text1(10)",   "Frame3",    "0",         900,  270,  945, 345, true},
        {"Text1(11)",   "Frame3",    "1",        1890,  270,  945, 345, true},
        {"Text1(12)",   "Frame3",    "2",        2880,  270,  945, 345, true},
        {"Text1(13)",   "Frame3",    "3",        3870,  270,  945, 345, true},
        {"Label1(5)",   "Frame3",    "设定值：",   90,  660,  915, 315, true},
        {"Text1(14)",   "Frame3",    "20",        900,  630,  945, 345, true},
        {"Text1(15)",   "Frame3",    "40",       1890,  630,  945, 345, true},
        {"Text1(16)",   "Frame3",    "60",       2880,  630,  945, 345, true},
        {"Text1(17)",   "Frame3",    "80",       3870,  630,  945, 345, true},
        {"Label1(10)",  "Frame3",    "增益：",    150, 1020,  915, 315, false},
        {"Check1(5)",   "Frame3",    "输出x2",    900,  990,  915, 315, false},
        {"Check1(6)",   "Frame3",    "输出x2",   1920,  990,  915, 315, false},
        {"Check1(7)",   "Frame3",    "输出x2",   2910,  990,  915, 315, false},
        {"Check1(8)",   "Frame3",    "输出x2",   3900,  990,  915, 315, false},
        {"Label1(6)",   "Frame3",    "通道号：",  120, 1560,  915, 315, true},
        {"Text1(18)",   "Frame3",    "4",         930, 1500,  945, 345, true},
        {"Text1(19)",   "Frame3",    "5",        1920, 1500,  945, 345, true},
        {"Text1(20)",   "Frame3",    "6",        2910, 1500,  945, 345, true},
        {"Text1(21)",   "Frame3",    "7",        3900, 1500,  945, 345, true},
        {"Label1(7)",   "Frame3",    "设定值：",  120, 1920,  915, 315, true},
        {"Text1(22)",   "Frame3",    "100",       930, 1860,  945, 345, true},
        {"Text1(23)",   "Frame3",    "120",      1920, 1860,  945, 345, true},
        {"Text1(24)",   "Frame3",    "140",      2910, 1860,  945, 345, true},
        {"Text1(25)",   "Frame3",    "160",      3900, 1860,  945, 345, true},
        {"Label1(11)",  "Frame3",    "增益：",    180, 2250,  915, 315, false},
        {"Check1(9)",   "Frame3",    "输出x2",    930, 2220,  915, 315, false},
        {"Check1(10)",  "Frame3",    "输出x2",   1950, 2220,  915, 315, false},
        {"Check1(11)",  "Frame3",    "输出x2",   2940, 2220,  915, 315, false},
        {"Check1(12)",  "Frame3",    "输出x2",   3930, 2220,  915, 315, false},
        {"Command3",    "Frame3",    "发   送",  4920,  960, 1155, 525, true},
        {"Frame4",      "client",    "控制板软件复位", 210, 6690, 6135, 1125, true},
        {"Label1(12)",  "Frame4",    "发送码：",   90,  390, 1245, 315, true},
        {"Text1(26)",   "Frame4",    "",          900,  330, 3945, 345, true},
        {"Label1(13)",  "Frame4",    "返回码：",   90,  720, 1365, 315, true},
        {"Text1(27)",   "Frame4",    "",          900,  660, 3945, 345, true},
        {"Command4",    "client",    "复   位",  5100, 7020, 1155, 315, true},
    };
    // clang-format on
    for (const Row& row : rows) {
        QTest::newRow(row.name) << QString::fromUtf8(row.container)
                                << QString::fromUtf8(row.caption)
                                << QRect(row.left, row.top, row.width, row.height) << row.enabled;
    }
}

void tst_Form1::controlMatchesLayout() {
    QFETCH(QString, container);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    QFETCH(bool, enabled);

    QWidget* widget = control(QString::fromUtf8(QTest::currentDataTag()));
    QVERIFY(widget);
    QCOMPARE(widget->parentWidget()->objectName(), container);
    QCOMPARE(CaptionOf(widget), caption);
    QCOMPARE(widget->isEnabled(), enabled);
    const QRect pixels(twips.left() / 15, twips.top() / 15, twips.width() / 15,
                       twips.height() / 15);
    QCOMPARE(widget->geometry(), pixels);
    if (auto* check = qobject_cast<QCheckBox*>(widget))
        QVERIFY(!check->isChecked());
}

void tst_Form1::everyControlLiesInsideItsContainer() {
    QWidget* client = m_form->centralWidget();
    const QList<QWidget*> widgets = client->findChildren<QWidget*>();
    QCOMPARE(widgets.size(), 63);
    for (QWidget* widget : widgets) {
        const QRect container = widget->parentWidget()->rect();
        QVERIFY2(container.contains(widget->geometry()), qPrintable(widget->objectName()));
    }
}

void tst_Form1::clientAreaOpensAtItsPlace() {
    QWidget* client = m_form->centralWidget();
    QCOMPARE(client->size(), QSize(426, 549));
    QCOMPARE(client->mapToGlobal(QPoint(0, 0)), QPoint(221, 158));
    QVERIFY(m_form->menuBar()->geometry().bottom() < client->geometry().top());
    QVERIFY(m_form->minimumSize() != m_form->maximumSize());
}

void tst_Form1::titleAndMenu() {
    QCOMPARE(m_form->objectName(), QStringLiteral("Form1"));
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Form1"));
    const QList<QAction*> items = m_form->menuBar()->actions();
    QCOMPARE(items.size(), 1);
    QCOMPARE(items.first()->objectName(), QStringLiteral("HELP"));
    QCOMPARE(items.first()->text(), QStringLiteral("帮助"));
    QVERIFY(!items.first()->menu());
}

void tst_Form1::resetButtonIsDrawnOverGroupFour() {
    QWidget* client = m_form->centralWidget();
    QWidget* reset = control(QStringLiteral("Command4"));
    QWidget* group = control(QStringLiteral("Frame4"));
    QVERIFY(group->geometry().contains(reset->geometry()));
    QCOMPARE(client->childAt(reset->geometry().center()), reset);
}

void tst_Form1::fonts_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("song");

    QTest::newRow("label") << "Label1(0)" << true;
    QTest::newRow("disabled label") << "Label1(11)" << true;
    QTest::newRow("text box") << "Text1(27)" << true;
    QTest::newRow("group box") << "Frame3" << true;
    QTest::newRow("send button") << "Command2" << true;
    QTest::newRow("reset button") << "Command4" << true;
    QTest::newRow("check box keeps the default font") << "Check1(7)" << false;
}

void tst_Form1::fonts() {
    QFETCH(QString, name);
    QFETCH(bool, song);

    const QFont font = control(name)->font();
    const QFont defaultFont = QApplication::font();
    if (!song) {
        QCOMPARE(font.family(), defaultFont.family());
        QCOMPARE(font.pointSizeF(), defaultFont.pointSizeF());
        return;
    }
    QCOMPARE(font.families().mid(0, 3), kSongFaces);
    QCOMPARE(font.pointSizeF(), 10.5);
    QCOMPARE(font.weight(), QFont::Normal);
    const QStringList installed = QFontDatabase::families();
    const bool songInstalled =
        std::any_of(kSongFaces.begin(), kSongFaces.end(),
                    [&](const QString& face) { return installed.contains(face); });
    if (songInstalled)
        QVERIFY2(kSongFaces.contains(QFontInfo(font).family()),
                 qPrintable(QFontInfo(font).family()));
}

void tst_Form1::groupCaptionsAloneAreBlue() {
    QCOMPARE(m_form->font().family(), QApplication::font().family());
    QCOMPARE(m_form->menuBar()->font().family(), QApplication::font().family());
    for (const char* name : {"Frame1(0)", "Frame2", "Frame3", "Frame4"}) {
        auto* group = m_form->findChild<QGroupBox*>(QString::fromUtf8(name));
        const QImage image = group->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const int captionBand = QFontMetrics(group->font()).height() + 2;
        const QRect caption(0, 0, image.width(), captionBand);
        const QRect body(0, captionBand, image.width(), image.height() - captionBand);
        QVERIFY2(BluePixels(image, caption) > 0, name);
        QCOMPARE(BluePixels(image, body), 0);
        QVERIFY(group->palette().color(QPalette::WindowText) != QColor(0, 0, 255));
    }
}

void tst_Form1::labelAlignment_data() {
    QTest::addColumn<Qt::Alignment>("horizontal");

    for (int index = 0; index <= 13; ++index) {
        const bool centred = index >= 1 && index <= 7;
        QTest::addRow("Label1(%d)", index)
            << Qt::Alignment(centred ? Qt::AlignHCenter : Qt::AlignLeft);
    }
}

void tst_Form1::labelAlignment() {
    QFETCH(Qt::Alignment, horizontal);

    auto* label = qobject_cast<QLabel*>(control(QString::fromUtf8(QTest::currentDataTag())));
    QCOMPARE(label->alignment() & Qt::AlignHorizontal_Mask, horizontal);
}

void tst_Form1::focusStartsInChannelBoxAndTabFollowsTheTabIndexes() {
    QStringList expected{"Text1(0)", "Text1(1)", "Command1(0)"};
    for (int index = 2; index <= 9; ++index)
        expected << QStringLiteral("Text1(%1)").arg(index);
    expected << "Command2";
    for (int index = 10; index <= 25; ++index)
        expected << QStringLiteral("Text1(%1)").arg(index);
    expected << "Command3"
             << "Text1(26)"
             << "Command4"
             << "Text1(27)"
             << "Text1(0)";

    QStringList visited{QApplication::focusWidget()->objectName()};
    for (qsizetype step = 1; step < expected.size(); ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, expected);
}

void tst_Form1::clickingAGainBoxChangesNothing() {
    QList<QCheckBox*> gainBoxes{m_form->singleChannelGroup().gainBox};
    for (const quillon::ChannelColumn& column : m_form->fourChannelGroup().columns)
        gainBoxes << column.gainBox;
    for (const auto& channel : m_form->eightChannelGroup().channels)
        gainBoxes << channel.gainBox;
    QCOMPARE(gainBoxes.size(), 13);
    for (QCheckBox* box : gainBoxes) {
        QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
        QTest::keyClick(box, Qt::Key_Space);
        QVERIFY(!box->isChecked());
        QVERIFY(!box->isEnabled());
    }
    QCOMPARE(QApplication::focusWidget(), m_form->singleChannelGroup().channelBox);
}

// The boxes the Sends read, by the parts they play: column k of the four-channel group is
// Text1(2+k), Check1(1+k), Text1(6+k); channels 0 to 3 of the eight-channel group are the upper
// block, 4 to 7 the lower.
void tst_Form1::controlsByRole_data() {
    QTest::addColumn<ControlRole>("role");
    QTest::addColumn<int>("slot");
    QTest::addColumn<QString>("name"); // empty: no control plays that part

    QTest::newRow("single-channel channel box") << ControlRole::SingleChannelBox << 0 << "Text1(0)";
    QTest::newRow("single-channel value box") << ControlRole::SingleValueBox << 0 << "Text1(1)";
    QTest::newRow("single-channel gain box") << ControlRole::SingleGainBox << 0 << "Check1(0)";
    QTest::newRow("single-channel Send") << ControlRole::SingleSendButton << 0 << "Command1(0)";
    for (int k = 0; k < 4; ++k) {
        QTest::addRow("four-channel column %d channel box", k)
            << ControlRole::FourChannelBox << k << QStringLiteral("Text1(%1)").arg(2 + k);
        QTest::addRow("four-channel column %d gain box", k)
            << ControlRole::FourGainBox << k << QStringLiteral("Check1(%1)").arg(1 + k);
        QTest::addRow("four-channel column %d value box", k)
            << ControlRole::FourValueBox << k << QStringLiteral("Text1(%1)").arg(6 + k);
    }
    QTest::newRow("four-channel Send") << ControlRole::FourSendButton << 0 << "Command2";
    QTest::newRow("no fifth column") << ControlRole::FourValueBox << 4 << "";
    for (int channel = 0; channel < 8; ++channel) {
        const int block = channel < 4 ? 0 : 8;
        QTest::addRow("eight-channel channel %d box", channel)
            << ControlRole::EightChannelBox << channel
            << QStringLiteral("Text1(%1)").arg(10 + block + channel % 4);
        QTest::addRow("eight-channel channel %d code box", channel)
            << ControlRole::EightCodeBox << channel
            << QStringLiteral("Text1(%1)").arg(14 + block + channel % 4);
        QTest::addRow("eight-channel channel %d gain box", channel)
            << ControlRole::EightGainBox << channel
            << QStringLiteral("Check1(%1)").arg(5 + channel);
    }
    QTest::newRow("eight-channel Send") << ControlRole::EightSendButton << 0 << "Command3";
    QTest::newRow("no channel 8") << ControlRole::EightCodeBox << 8 << "";
    QTest::newRow("Send code box") << ControlRole::SendCodeBox << 0 << "Text1(26)";
    QTest::newRow("Return code box") << ControlRole::ReturnCodeBox << 0 << "Text1(27)";
    QTest::newRow("Reset") << ControlRole::ResetButton << 0 << "Command4";
    QTest::newRow("labels play no part") << ControlRole::None << 0 << "";
}

void tst_Form1::controlsByRole() {
    QFETCH(ControlRole, role);
    QFETCH(int, slot);
    QFETCH(QString, name);

    QWidget* control = m_form->control(role, slot);
    QCOMPARE(control ? control->objectName() : QString(), name);
    // The groups are the same controls, by the same parts.
    const auto& four = m_form->fourChannelGroup();
    const auto& eight = m_form->eightChannelGroup();
    QWidget* inGroup = nullptr;
    switch (role) {
    case ControlRole::SingleChannelBox:
        inGroup = m_form->singleChannelGroup().channelBox;
        break;
    case ControlRole::SingleValueBox:
        inGroup = m_form->singleChannelGroup().valueBox;
        break;
    case ControlRole::SingleGainBox:
        inGroup = m_form->singleChannelGroup().gainBox;
        break;
    case ControlRole::SingleSendButton:
        inGroup = m_form->singleChannelGroup().sendButton;
        break;
    case ControlRole::FourChannelBox:
        inGroup = slot < 4 ? four.columns[slot].channelBox : nullptr;
        break;
    case ControlRole::FourValueBox:
        inGroup = slot < 4 ? four.columns[slot].valueBox : nullptr;
        break;
    case ControlRole::FourGainBox:
        inGroup = slot < 4 ? four.columns[slot].gainBox : nullptr;
        break;
    case ControlRole::FourSendButton:
        inGroup = four.sendButton;
        break;
    case ControlRole::EightChannelBox:
        inGroup = slot < 8 ? eight.channels[slot].channelBox : nullptr;
        break;
    case ControlRole::EightCodeBox:
        inGroup = slot < 8 ? eight.channels[slot].codeBox : nullptr;
        break;
    case ControlRole::EightGainBox:
        inGroup = slot < 8 ? eight.channels[slot].gainBox : nullptr;
        break;
    case ControlRole::EightSendButton:
        inGroup = eight.sendButton;
        break;
    case ControlRole::SendCodeBox:
        inGroup = m_form->resetGroup().sendCodeBox;
        break;
    case ControlRole::ReturnCodeBox:
        inGroup = m_form->resetGroup().returnCodeBox;
        break;
    case ControlRole::ResetButton:
        inGroup = m_form->resetGroup().resetButton;
        break;
    case ControlRole::None:
        break;
    }
    QCOMPARE(inGroup, control);
}

// What a screen reader says for a control: its group, where in the group it lies, and what it is.
void tst_Form1::accessibleNames_data() {
    QTest::addColumn<ControlRole>("role");
    QTest::addColumn<int>("slot");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");

    QTest::newRow("single-channel channel box")
        << ControlRole::SingleChannelBox << 0 << "单通道控制 通道号"
        << "";
    QTest::newRow("single-channel value box: the form its value must take")
        << ControlRole::SingleValueBox << 0 << "单通道控制 设定值"
        << "设定值必须为4位数，单位为V";
    QTest::newRow("a Send without its letter spacing")
        << ControlRole::SingleSendButton << 0 << "单通道控制 发送"
        << "";
    QTest::newRow("four-channel columns count from 1")
        << ControlRole::FourChannelBox << 0 << "4通道控制 第1列 通道号"
        << "";
    QTest::newRow("four-channel value box of column 4")
        << ControlRole::FourValueBox << 3 << "4通道控制 第4列 设定值"
        << "设定值必须为3位数，单位为V";
    QTest::newRow("four-channel gain box is its own caption")
        << ControlRole::FourGainBox << 1 << "4通道控制 第2列 输出x2"
        << "";
    QTest::newRow("one Send a group is not placed")
        << ControlRole::FourSendButton << 0 << "4通道控制 发送"
        << "";
    QTest::newRow("eight-channel channels count from 0")
        << ControlRole::EightCodeBox << 0 << "8通道控制 通道0 设定值"
        << "设定值为小于256的整数，输出电压=设定值/256*5";
    QTest::newRow("eight-channel lower block")
        << ControlRole::EightChannelBox << 7 << "8通道控制 通道7 通道号"
        << "";
    QTest::newRow("Send code box") << ControlRole::SendCodeBox << 0 << "控制板软件复位 发送码"
                                   << "";
    QTest::newRow("Return code box") << ControlRole::ReturnCodeBox << 0 << "控制板软件复位 返回码"
                                     << "";
    QTest::newRow("Reset, on the window, named by the group it lies over")
        << ControlRole::ResetButton << 0 << "控制板软件复位 复位"
        << "";
}

void tst_Form1::accessibleNames() {
    QFETCH(ControlRole, role);
    QFETCH(int, slot);
    QFETCH(QString, name);
    QFETCH(QString, description);

    QAccessibleInterface* control =
        QAccessible::queryAccessibleInterface(m_form->control(role, slot));
    QVERIFY(control);
    QCOMPARE(control->text(QAccessible::Name), name);
    QCOMPARE(control->text(QAccessible::Description), description);
}

void tst_Form1::everyFocusableControlHasANameOfItsOwn() {
    QHash<QString, QString> controlNamed;
    for (QWidget* widget : m_form->findChildren<QWidget*>()) {
        if (widget->focusPolicy() == Qt::NoFocus || !widget->isVisibleTo(m_form))
            continue;
        const QString name = QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
        QVERIFY2(!name.isEmpty(), qPrintable(widget->objectName()));
        QVERIFY2(!controlNamed.contains(name),
                 qPrintable(name + " names " + controlNamed.value(name) + " and " +
                            widget->objectName()));
        controlNamed.insert(name, widget->objectName());
    }
    QCOMPARE(controlNamed.size(), 45);
}

// Ctrl+Q is the close button's way out: the window gets the same close event, and the program
// ends as when the last window closes (the end-to-end test follows it out of the program).
void tst_Form1::ctrlQClosesTheWindow() {
    CloseEvents closes;
    m_form->installEventFilter(&closes);
    QTest::keyClick(m_form->focusWidget(), Qt::Key_Q, Qt::ControlModifier);
    QCOMPARE(closes.count, 1);
    QVERIFY(!m_form->isVisible());
}

QTEST_MAIN(tst_Form1)
#include "tst_form1.moc"
