#include "form1.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QShowEvent>
#include <QStyleOptionGroupBox>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <string_view>
#include <vector>

namespace quillon {

namespace {

constexpr auto Group = ControlKind::GroupBox;
constexpr auto Label = ControlKind::Label;
constexpr auto Text = ControlKind::TextBox;
constexpr auto Check = ControlKind::CheckBox;
constexpr auto Button = ControlKind::Button;
constexpr bool On = true;
constexpr bool Off = false;
// Labels draw their text from the top, as the text boxes beside them expect.
constexpr Qt::Alignment Left = Qt::AlignLeft | Qt::AlignTop;
constexpr Qt::Alignment Centre = Qt::AlignHCenter | Qt::AlignTop;
constexpr Qt::Alignment Middle = Qt::AlignCenter;
constexpr int NoTab = -1;
using Role = ControlRole;
constexpr Role NoRole = ControlRole::None;

// A value group's caption is its name here, then its accepted form from kValueGroups in brackets.
// Captions are the panel's own Chinese, translated as each control is made; values are not.
// clang-format off
const ControlRow kControls[] = {
// kind    name           container    caption or default text                                         left   top  width height  tab enabled align  role                      slot
{Group,  "Frame1(0)",   "",          QT_TRANSLATE_NOOP("quillon::Form1", "单通道控制"),                 210,  390, 6165, 1395, NoTab, On,  Left,   NoRole,                   0},
{Label,  "Label1(0)",   "Frame1(0)", QT_TRANSLATE_NOOP("quillon::Form1", "通道号："),                   120,  330, 1245,  315,     3, On,  Left,   NoRole,                   0},
{Text,   "Text1(0)",    "Frame1(0)", "0",                                                               960,  270,  945,  345,     1, On,  Left,   Role::SingleChannelBox,   0},
{Label,  "Label1(3)",   "Frame1(0)", QT_TRANSLATE_NOOP("quillon::Form1", "设定值："),                    90,  660,  915,  315,     4, On,  Centre, NoRole,                   0},
{Text,   "Text1(1)",    "Frame1(0)", "1.100",                                                           960,  600,  945,  345,     2, On,  Left,   Role::SingleValueBox,     0},
{Label,  "Label1(8)",   "Frame1(0)", QT_TRANSLATE_NOOP("quillon::Form1", "增益："),                     150,  990,  915,  315,     5, Off, Left,   NoRole,                   0},
{Check,  "Check1(0)",   "Frame1(0)", QT_TRANSLATE_NOOP("quillon::Form1", "输出x2"),                     960,  960,  915,  315,     6, Off, Left,   Role::SingleGainBox,      0},
{Button, "Command1(0)", "Frame1(0)", QT_TRANSLATE_NOOP("quillon::Form1", "发   送"),                   4920,  420, 1155,  525,     7, On,  Middle, Role::SingleSendButton,   0},

{Group,  "Frame2",      "",          QT_TRANSLATE_NOOP("quillon::Form1", "4通道控制"),                  210, 2100, 6165, 1515, NoTab, On,  Left,   NoRole,                   0},
{Label,  "Label1(1)",   "Frame2",    QT_TRANSLATE_NOOP("quillon::Form1", "通道号："),                    90,  390,  915,  315,    18, On,  Centre, NoRole,                   0},
{Text,   "Text1(2)",    "Frame2",    "0",                                                               900,  330,  945,  345,    10, On,  Left,   Role::FourChannelBox,     0},
{Text,   "Text1(3)",    "Frame2",    "1",                                                              1890,  330,  945,  345,    11, On,  Left,   Role::FourChannelBox,     1},
{Text,   "Text1(4)",    "Frame2",    "2",                                                              2880,  330,  945,  345,    12, On,  Left,   Role::FourChannelBox,     2},
{Text,   "Text1(5)",    "Frame2",    "3",                                                              3870,  330,  945,  345,    13, On,  Left,   Role::FourChannelBox,     3},
{Label,  "Label1(2)",   "Frame2",    QT_TRANSLATE_NOOP("quillon::Form1", "设定值："),                    90,  720,  915,  315,    19, On,  Centre, NoRole,                   0},
{Text,   "Text1(6)",    "Frame2",    "1.00",                                                            900,  690,  945,  345,    14, On,  Left,   Role::FourValueBox,       0},
{Text,   "Text1(7)",    "Frame2",    "2.02",                                                           1890,  690,  945,  345,    15, On,  Left,   Role::FourValueBox,       1},
{Text,   "Text1(8)",    "Frame2",    "3.86",                                                           2880,  690,  945,  345,    16, On,  Left,   Role::FourValueBox,       2},
{Text,   "Text1(9)",    "Frame2",    "4.00",                                                           3870,  690,  945,  345,    17, On,  Left,   Role::FourValueBox,       3},
{Label,  "Label1(9)",   "Frame2",    QT_TRANSLATE_NOOP("quillon::Form1", "增益："),                     150, 1080,  915,  315,    20, Off, Left,   NoRole,                   0},
{Check,  "Check1(1)",   "Frame2",    QT_TRANSLATE_NOOP("quillon::Form1", "输出x2"),                     900, 1050,  915,  315,    21, Off, Left,   Role::FourGainBox,        0},
{Check,  "Check1(2)",   "Frame2",    QT_TRANSLATE_NOOP("quillon::Form1", "输出x2"),                    1920, 1050,  915,  315,    22, Off, Left,   Role::FourGainBox,        1},
{Check,  "Check1(3)",   "Frame2",    QT_TRANSLATE_NOOP("quillon::Form1", "输出x2"),                    2910, 1050,  915,  315,    23, Off, Left,   Role::FourGainBox,        2},
{Check,  "Check1(4)",   "Frame2",    QT_TRANSLATE_NOOP("quillon::Form1", "输出x2"),                    3900, 1050,  915,  315,    24, Off, Left,   Role::FourGainBox,        3},
{Button, "Command2",    "Frame2",    QT_TRANSLATE_NOOP("quillon::Form1", "发   送"),                   4920,  420, 1155,  525,    25, On,  Middle, Role::FourSendButton,     0},

{Group,  "Frame3",      "",          QT_TRANSLATE_NOOP("quillon::Form1", "8通道控制"),                  210, 3870, 6165, 2625, NoTab, On,  Left,   NoRole,                   0},
{Label,  "Label1(4)",   "Frame3",    QT_TRANSLATE_NOOP("quillon::Form1", "通道号："),                    90,  330,  915,  315,    34, On,  Centre, NoRole,                   0},
{Text,   "Text1(10)",   "Frame3",    "0",                                                               900,  270,  945,  345,    26, On,  Left,   Role::EightChannelBox,    0},
{Text,   "Text1(11)",   "Frame3",    "1",                                                              1890,  270,  945,  345,    27, On,  Left,   Role::EightChannelBox,    1},
{Text,   "Text1(12)",   "Frame3",    "2",                                                              2880,  270,  945,  345,    28, On,  Left,   Role::EightChannelBox,    2},
{Text,   "Text1(13)",   "Frame3",    "3",                                                              3870,  270,  945,  345,    29, On,  Left,   Role::EightChannelBox,    3},
{Label,  "Label1(5)",   "Frame3",    QT_TRANSLATE_NOOP("quillon::Form1", "设定值："),                    90,  660,  915,  315,    35, On,  Centre, NoRole,                   0},
{Text,   "Text1(14)",   "Frame3",    "20",                                                              900,  630,  945,  345,    30, On,  Left,   Role::EightCodeBox,       0},
{Text,   "Text1(15)",   "Frame3",    "40",                                                             1890,  630,  945,  345,    31, On,  Left,   Role::EightCodeBox,       1},
{Text,   "Text1(16)",   "Frame3",    "60",                                                             2880,  630,  945,  345,    32, On,  Left,   Role::EightCodeBox,       2},
{Text,   "Text1(17)",   "Frame3",    "80",                                                             3870,  630,  945,  345,    33, On,  Left,   Role::EightCodeBox,       3},
{Label,  "Label1(10)",  "Frame3",    QT_TRANSLATE_NOOP("quillon::Form1", "增益："),                     150, 1020,  915,  315,    46, Off, Left,   NoRole,                   0},
{Check,  "Check1(5)",   "Frame3",    QT_TRANSLATE_NOOP("quillon::Form1", "输出x2"),                     900,  990,  915,  315,    47, Off, Left,   Role::EightGainBox,       0},
{Check,  "Check1(6)",   "Frame3",    QT_TRANSLATE_NOOP("quillon::Form1", "输出x2"),                    1920,  990,  915,  315,    48, Off, Left,   Role::EightGainBox,       1},
{Check,  "Check1(7)",   "Frame3",    QT_TRANSLATE_NOOP("quillon::Form1", "输出x2"),                    2910,  990,  915,  315,    49, Off, Left,   Role::EightGainBox,       2},
{Check,  "Check1(8)",   "Frame3",    QT_TRANSLATE_NOOP("quillon::Form1", "输出x2"),                    3900,  990,  915,  315,    50, Off, Left,   Role::EightGainBox,       3},
{Label,  "Label1(6)",   "Frame3",    QT_TRANSLATE_NOOP("quillon::Form1", "通道号："),                   120, 1560,  915,  315,    44, On,  Centre, NoRole,                   0},
{Text,   "Text1(18)",   "Frame3",    "4",                                                               930, 1500,  945,  345,    36, On,  Left,   Role::EightChannelBox,    4},
{Text,   "Text1(19)",   "Frame3",    "5",                                                              1920, 1500,  945,  345,    37, On,  Left,   Role::EightChannelBox,    5},
{Text,   "Text1(20)",   "Frame3",    "6",                                                              2910, 1500,  945,  345,    38, On,  Left,   Role::EightChannelBox,    6},
{Text,   "Text1(21)",   "Frame3",    "7",                                                              3900, 1500,  945,  345,    39, On,  Left,   Role::EightChannelBox,    7},
{Label,  "Label1(7)",   "Frame3",    QT_TRANSLATE_NOOP("quillon::Form1", "设定值："),                   120, 1920,  915,  315,    45, On,  Centre, NoRole,                   0},
{Text,   "Text1(22)",   "Frame3",    "100",                                                             930, 1860,  945,  345,    40, On,  Left,   Role::EightCodeBox,       4},
{Text,   "Text1(23)",   "Frame3",    "120",                                                            1920, 1860,  945,  345,    41, On,  Left,   Role::EightCodeBox,       5},
{Text,   "Text1(24)",   "Frame3",    "140",                                                            2910, 1860,  945,  345,    42, On,  Left,   Role::EightCodeBox,       6},
{Text,   "Text1(25)",   "Frame3",    "160",                                                            3900, 1860,  945,  345,    43, On,  Left,   Role::EightCodeBox,       7},
{Label,  "Label1(11)",  "Frame3",    QT_TRANSLATE_NOOP("quillon::Form1", "增益："),                     180, 2250,  915,  315,    51, Off, Left,   NoRole,                   0},
{Check,  "Check1(9)",   "Frame3",    QT_TRANSLATE_NOOP("quillon::Form1", "输出x2"),                     930, 2220,  915,  315,    52, Off, Left,   Role::EightGainBox,       4},
{Check,  "Check1(10)",  "Frame3",    QT_TRANSLATE_NOOP("quillon::Form1", "输出x2"),                    1950, 2220,  915,  315,    53, Off, Left,   Role::EightGainBox,       5},
{Check,  "Check1(11)",  "Frame3",    QT_TRANSLATE_NOOP("quillon::Form1", "输出x2"),                    2940, 2220,  915,  315,    54, Off, Left,   Role::EightGainBox,       6},
{Check,  "Check1(12)",  "Frame3",    QT_TRANSLATE_NOOP("quillon::Form1", "输出x2"),                    3930, 2220,  915,  315,    55, Off, Left,   Role::EightGainBox,       7},
{Button, "Command3",    "Frame3",    QT_TRANSLATE_NOOP("quillon::Form1", "发   送"),                   4920,  960, 1155,  525,    56, On,  Middle, Role::EightSendButton,    0},

{Group,  "Frame4",      "",          QT_TRANSLATE_NOOP("quillon::Form1", "控制板软件复位"),             210, 6690, 6135, 1125, NoTab, On,  Left,   NoRole,                   0},
{Label,  "Label1(12)",  "Frame4",    QT_TRANSLATE_NOOP("quillon::Form1", "发送码："),                    90,  390, 1245,  315,    59, On,  Left,   NoRole,                   0},
{Text,   "Text1(26)",   "Frame4",    "",                                                                900,  330, 3945,  345,    58, On,  Left,   Role::SendCodeBox,        0},
{Label,  "Label1(13)",  "Frame4",    QT_TRANSLATE_NOOP("quillon::Form1", "返回码："),                    90,  720, 1365,  315,    60, On,  Left,   NoRole,                   0},
{Text,   "Text1(27)",   "Frame4",    "",                                                                900,  660, 3945,  345,    62, On,  Left,   Role::ReturnCodeBox,      0},
// Created after Frame4, so it is stacked in front of the group's right-hand part.
{Button, "Command4",    "",          QT_TRANSLATE_NOOP("quillon::Form1", "复   位"),                   5100, 7020, 1155,  315,    61, On,  Middle, Role::ResetButton,        0},
};
// clang-format on

// The groups whose values a Send converts: the form those values must take, the words that
// name one of its value boxes in a warning, and the words that place any of its controls for a
// screen reader, where %1 is the slot plus firstNumber (the operator counts columns from 1 and
// channels from 0). The single-channel group has one control of each kind, so none is placed.
struct ValueGroupRow {
    const char* groupBox;
    ControlRole valueBoxes;
    const char* acceptedForm;
    const char* boxWords;
    const char* placeWords;
    int firstNumber;
};

// clang-format off
const ValueGroupRow kValueGroups[] = {
{"Frame1(0)", Role::SingleValueBox, QT_TRANSLATE_NOOP("quillon::Form1", "设定值必须为4位数，单位为V"),                    QT_TRANSLATE_NOOP("quillon::Form1", "设定值"),         nullptr,                                     0},
{"Frame2",    Role::FourValueBox,   QT_TRANSLATE_NOOP("quillon::Form1", "设定值必须为3位数，单位为V"),                    QT_TRANSLATE_NOOP("quillon::Form1", "第%1列的设定值"), QT_TRANSLATE_NOOP("quillon::Form1", "第%1列"), 1},
{"Frame3",    Role::EightCodeBox,   QT_TRANSLATE_NOOP("quillon::Form1", "设定值为小于256的整数，输出电压=设定值/256*5"), QT_TRANSLATE_NOOP("quillon::Form1", "通道%1的设定值"), QT_TRANSLATE_NOOP("quillon::Form1", "通道%1"),  0},
};
// clang-format on

const ControlRow& RowNamed(std::string_view name) {
    return *std::ranges::find(kControls, name,
                              [](const ControlRow& row) { return std::string_view(row.name); });
}

// The group's name, then what its values must look like, e.g.
// "4通道控制(设定值必须为3位数，单位为V)".
QString Caption(const ControlRow& groupRow) {
    const QString name = Form1::tr(groupRow.text);
    for (const ValueGroupRow& group : kValueGroups) {
        if (std::string_view(group.groupBox) == groupRow.name)
            return Form1::tr("%1(%2)",
                             "group caption: the group's name, then what its values must be")
                .arg(name, Form1::tr(group.acceptedForm));
    }
    return name;
}

const ValueGroupRow* ValueGroupNamed(std::string_view groupBox) {
    const auto* found = std::ranges::find(kValueGroups, groupBox, [](const ValueGroupRow& group) {
        return std::string_view(group.groupBox);
    });
    return found == std::end(kValueGroups) ? nullptr : found;
}

QRect WindowRect(const ControlRow& row) {
    const QRect rect(row.left, row.top, row.width, row.height);
    if (*row.container == '\0')
        return rect;
    return rect.translated(WindowRect(RowNamed(row.container)).topLeft());
}

// A control's group is its container, or for one on the window itself (the Reset button) the
// group it is drawn over.
const ControlRow* GroupOf(const ControlRow& row) {
    if (*row.container != '\0')
        return &RowNamed(row.container);
    const auto* found = std::ranges::find_if(kControls, [&row](const ControlRow& group) {
        return group.kind == ControlKind::GroupBox && WindowRect(group).contains(WindowRect(row));
    });
    return found == std::end(kControls) ? nullptr : found;
}

// A text box is what the label on its line, to its left, says; a check box or a button is its
// own caption.
const ControlRow& CaptionRowOf(const ControlRow& row) {
    if (row.kind != ControlKind::TextBox)
        return row;
    const int middle = row.top + row.height / 2;
    const auto* label = std::ranges::find_if(kControls, [&row, middle](const ControlRow& label) {
        return label.kind == ControlKind::Label &&
               std::string_view(label.container) == row.container && label.left < row.left &&
               std::abs(label.top + label.height / 2 - middle) <= label.height / 2;
    });
    return label == std::end(kControls) ? row : *label;
}

// Captions the window abbreviates to fit its controls, as a screen reader says them in full.
struct SpokenWords {
    const char* caption;
    struct {
        const char* source;
        const char* comment;
    } spoken;
};

const SpokenWords kSpokenWords[] = {
    {"通道号：", QT_TRANSLATE_NOOP3("quillon::Form1", "通道号",
                                    "a channel box as a screen reader names it, in full words")},
};

// A caption as it is said: without a label's colon, and without the spaces that spread a Chinese
// caption over a button ("发   送").
QString SpokenCaption(const QString& caption) {
    QString spoken = caption.trimmed();
    if (spoken.endsWith(u'：') || spoken.endsWith(u':'))
        spoken.chop(1);
    static const QRegularExpression spreadOut(QStringLiteral("(?<=\\p{Han})\\s+(?=\\p{Han})"));
    return spoken.remove(spreadOut).trimmed();
}

// The group's name, where in it the control lies, and what it is: "4通道控制 第2列 设定值".
QString AccessibleName(const ControlRow& row) {
    const ControlRow* groupRow = GroupOf(row);
    const char* caption = CaptionRowOf(row).text;
    const auto* words =
        std::ranges::find(kSpokenWords, std::string_view(caption),
                          [](const SpokenWords& w) { return std::string_view(w.caption); });
    const QString what = words == std::end(kSpokenWords)
                             ? SpokenCaption(Form1::tr(caption))
                             : Form1::tr(words->spoken.source, words->spoken.comment);
    if (!groupRow)
        return what;
    const QString group = Form1::tr(groupRow->text);
    const ValueGroupRow* valueGroup = ValueGroupNamed(groupRow->name);
    const bool oneOfSeveral = std::ranges::count(kControls, row.role, &ControlRow::role) > 1;
    if (!valueGroup || !valueGroup->placeWords || !oneOfSeveral)
        return Form1::tr("%1 %2", "accessible name: the group, then what the control is")
            .arg(group, what);
    const QString place = Form1::tr(valueGroup->placeWords).arg(row.slot + valueGroup->firstNumber);
    return Form1::tr("%1 %2 %3",
                     "accessible name: the group, the column or channel, what the control is")
        .arg(group, place, what);
}

// What a value box must hold, as its group's caption says.
QString AccessibleDescription(const ControlRow& row) {
    for (const ValueGroupRow& group : kValueGroups) {
        if (group.valueBoxes == row.role)
            return Form1::tr(group.acceptedForm);
    }
    return {};
}

int Pixels(int twips) {
    return (twips + Form1::kTwipsPerPixel / 2) / Form1::kTwipsPerPixel;
}

QRect PixelRect(const ControlRow& row) {
    return {Pixels(row.left), Pixels(row.top), Pixels(row.width), Pixels(row.height)};
}

const QStringList kSongFaces{QStringLiteral("宋体"), QStringLiteral("SimSun"),
                             QStringLiteral("AR PL UMing CN")};

// "宋体" 10.5 pt, falling back to an installed Song-style face, then to what the system has. A
// translation names its own first face (the Song faces draw Latin letters poorly: "l" reads as
// "1"), and the Song faces stay behind it for any Han text in a caption.
QFont CaptionFont() {
    //: The typeface of the window's captions: one that draws this language's letters clearly
    //: and is installed with the program (Debian's fonts-dejavu-core has "DejaVu Sans").
    const QString face = Form1::tr("宋体", "caption typeface");
    QStringList faces = kSongFaces;
    if (!faces.contains(face))
        faces.prepend(face);
    QFont font;
    font.setFamilies(faces);
    font.setPointSizeF(10.5);
    font.setWeight(QFont::Normal);
    return font;
}

// The default font set explicitly, so that a check box does not inherit its group's face.
QFont DefaultFont() {
    const QFont system = QApplication::font();
    QFont font(system.family(), system.pointSize(), system.weight(), system.italic());
    if (system.pointSizeF() > 0)
        font.setPointSizeF(system.pointSizeF());
    return font;
}

// Only the caption turns blue. A blue palette would also colour the children, and a style sheet
// would put every control of the group through the style sheet machinery (about 1 MiB more).
class BlueCaptionGroupBox : public QGroupBox {
public:
    using QGroupBox::QGroupBox;

protected:
    void initStyleOption(QStyleOptionGroupBox* option) const override {
        QGroupBox::initStyleOption(option);
        // Some styles draw the title in textColor, Fusion in the option's window text.
        const QColor blue(0, 0, 255);
        option->textColor = blue;
        option->palette.setColor(QPalette::WindowText, blue);
    }
};

QWidget* MakeWidget(const ControlRow& row, QWidget* container) {
    const QString text =
        row.kind == ControlKind::TextBox ? QString::fromUtf8(row.text) : Form1::tr(row.text);
    switch (row.kind) {
    case ControlKind::GroupBox: {
        return new BlueCaptionGroupBox(Caption(row), container);
    }
    case ControlKind::Label: {
        auto* label = new QLabel(text, container);
        label->setAlignment(row.alignment);
        return label;
    }
    case ControlKind::TextBox: {
        auto* box = new QLineEdit(text, container);
        // QLineEdit keeps only 32767 characters by default: a longer paste would lose its tail
        // unseen, and the Send code box would cut the end off a long frame before it is sent.
        box->setMaxLength(std::numeric_limits<int>::max());
        box->setAlignment((row.alignment & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter);
        return box;
    }
    case ControlKind::CheckBox:
        return new QCheckBox(text, container);
    case ControlKind::Button: {
        auto* button = new QPushButton(text, container);
        // Opaque, as command buttons on Windows are: a click repaints the button at once (on
        // press and on release), and so need not repaint the group box behind it as well.
        button->setBackgroundRole(QPalette::Window);
        button->setAutoFillBackground(true);
        return button;
    }
    }
    return nullptr;
}

} // namespace

Form1::Form1(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Form1"));

    m_help = menuBar()->addAction(tr("帮助"));
    m_help->setObjectName(QStringLiteral("HELP"));
    // Ctrl+Q closes the window as its close button does, so quitting takes the same way out.
    m_quit = new QAction(this);
    m_quit->setObjectName(QStringLiteral("QUIT"));
    m_quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(m_quit, &QAction::triggered, this, &QWidget::close);
    addAction(m_quit);

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    buildControls();
    collectGroups();
    setTabOrderFromTable();
    placeOnScreen();
    m_singleChannel.channelBox->setFocus();
}

ValueBoxName Form1::valueBoxName(const QLineEdit* box) const {
    for (const ValueGroupRow& group : kValueGroups) {
        for (const ControlRow& row : kControls) {
            if (row.role != group.valueBoxes || control(row.role, row.slot) != box)
                continue;
            QString words = tr(group.boxWords);
            if (words.contains(QLatin1String("%1")))
                words = words.arg(row.slot + group.firstNumber);
            return {tr(RowNamed(group.groupBox).text), words, tr(group.acceptedForm)};
        }
    }
    return {};
}

QWidget* Form1::control(ControlRole role, int slot) const {
    return m_roles.value({role, slot});
}

void Form1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_loaded || event->spontaneous())
        return;
    m_loaded = true;
    // Queued, so that anything Load shows appears in front of a window already on screen.
    QTimer::singleShot(0, this, &Form1::loaded);
}

void Form1::buildControls() {
    for (const ControlRow& row : kControls) {
        QWidget* control = createControl(row);
        m_controls.insert(QString::fromUtf8(row.name), control);
        if (row.role != ControlRole::None)
            m_roles.insert({row.role, row.slot}, control);
    }
}

QWidget* Form1::createControl(const ControlRow& row) {
    const QString containerName = QString::fromUtf8(row.container);
    QWidget* container =
        containerName.isEmpty() ? centralWidget() : m_controls.value(containerName);
    QWidget* widget = MakeWidget(row, container);
    widget->setObjectName(QString::fromUtf8(row.name));
    widget->setGeometry(PixelRect(row));
    widget->setEnabled(row.enabled);
    widget->setFont(row.kind == ControlKind::CheckBox ? DefaultFont() : CaptionFont());
    if (row.role != ControlRole::None)
        widget->setAccessibleName(AccessibleName(row));
    widget->setAccessibleDescription(AccessibleDescription(row));
    return widget;
}

// Each group's view of its controls, taken from the roles of the table's rows.
void Form1::collectGroups() {
    m_singleChannel = {
        control<QLineEdit>(Role::SingleChannelBox), control<QLineEdit>(Role::SingleValueBox),
        control<QCheckBox>(Role::SingleGainBox), control<QPushButton>(Role::SingleSendButton)};
    for (int column = 0; column < int(m_fourChannels.columns.size()); ++column) {
        m_fourChannels.columns[std::size_t(column)] = {
            control<QLineEdit>(Role::FourChannelBox, column),
            control<QLineEdit>(Role::FourValueBox, column),
            control<QCheckBox>(Role::FourGainBox, column)};
    }
    m_fourChannels.sendButton = control<QPushButton>(Role::FourSendButton);
    for (int channel = 0; channel < int(m_eightChannels.channels.size()); ++channel) {
        m_eightChannels.channels[std::size_t(channel)] = {
            control<QLineEdit>(Role::EightChannelBox, channel),
            control<QLineEdit>(Role::EightCodeBox, channel),
            control<QCheckBox>(Role::EightGainBox, channel)};
    }
    m_eightChannels.sendButton = control<QPushButton>(Role::EightSendButton);
    m_reset = {control<QLineEdit>(Role::SendCodeBox), control<QLineEdit>(Role::ReturnCodeBox),
               control<QPushButton>(Role::ResetButton)};
}

void Form1::setTabOrderFromTable() {
    std::vector<const ControlRow*> stops;
    for (const ControlRow& row : kControls) {
        if (row.tabIndex != NoTab)
            stops.push_back(&row);
    }
    std::ranges::sort(stops, {}, &ControlRow::tabIndex);
    QWidget* previous = nullptr;
    for (const ControlRow* row : stops) {
        QWidget* widget = m_controls.value(QString::fromUtf8(row->name));
        if (widget->focusPolicy() == Qt::NoFocus)
            continue;
        if (previous)
            setTabOrder(previous, widget);
        previous = widget;
    }
}

// setGeometry places the client side of the frame; the menu bar sits above the central widget.
void Form1::placeOnScreen() {
    const int menuHeight = menuBar()->sizeHint().height();
    setGeometry(kClientTopLeft.x(), kClientTopLeft.y() - menuHeight, kClientSize.width(),
                kClientSize.height() + menuHeight);
}

} // namespace quillon
