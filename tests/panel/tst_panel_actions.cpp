#include "command_line.h"
#include "panel_harness.h"
#include "play_progress_dialog.h"
#include "send_program.h"
#include "sequence_reader.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace quillon;
using namespace quillon::testing;

namespace {

// Texts typed into boxes before a click.
using TypedTexts = QList<std::pair<BoxRole, QString>>;
using Action = CommandLine::Action;

// What the Send code box holds before a click, to tell "left as it was" from "replaced".
const QString kEarlierSendCode = QStringLiteral("上一次的发送码");

// Long enough for a byte the panel wrongly wrote to reach the pty master, where no later write
// can show that nothing came (the port is no longer the panel's).
constexpr int kQuietMs = 300;

// Whether the next byte on the line is a Reset clicked now. The link keeps order, so anything
// the panel wrongly wrote before would come first.
bool ResetComesNext(PanelHarness& panel) {
    return panel.click(QStringLiteral("Command4")) &&
           panel.board().readExactly(1) == QByteArray("U");
}

const QString kBoardDescription = QStringLiteral(
    "本控制板带有8路8位D/A转换专用芯片和精密电压基准，控制输出电压精度误差不大于0.01V。"
    "通过电脑串口（或其他具有串口的单片机、PLC、DSP）发个简单的指令，便可以方便地控制8个数模转换通"
    "道输出设定的电压值。输出电压范围：0-5V（指令控制）。波特率9600，也可按用户要求定制。"
    "广泛用于通过电压控制的各个工控领域，如电机调速、压控振荡、伺服控制等。工作方式有3种:1、 "
    "单通道控制模式：通过串口发送一条指令，一次控制一个数模转换通道输出设定的电压值。2、 "
    "4通道控制模式：串口发送一条指令，一次可以控制四个数模转换通道分别输出各自设定的电压值。"
    "同于同步设定4路输出电压。3、 "
    "8通道控制模式：串口发送一条指令，一次可以控制八个数模转换通道分别输出各自设定的电压值。"
    "同于同步设定8路输出电压。  所有模数转换输出通道均带有射极跟随缓冲。"
    "其中有2路带有可调运算放大器，输出电压可以按要求进行放大（比如放大倍数调为2倍的话，则输出电压可"
    "以在1-10V之间进行变化）。");

QStringList LogLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

// The comment lines of a log without their times, e.g. "sent 22 bytes".
QStringList LoggedEvents(const QStringList& lines) {
    static const QRegularExpression stamp("^# \\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d ");
    QStringList events;
    for (const QString& line : lines) {
        if (stamp.match(line).hasMatch())
            events << line.mid(15);
    }
    return events;
}

} // namespace

class tst_PanelActions : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void sendWritesTheFrame_data();
    void sendWritesTheFrame();
    void badValueStopsTheSend_data();
    void badValueStopsTheSend();
    void receivedDataReplacesTheReturnCode_data();
    void receivedDataReplacesTheReturnCode();
    void hexDisplayShowsTheReply_data();
    void hexDisplayShowsTheReply();
    void noPortAtStartUp();
    void hangUpIsReportedOnceAndTheNextSendReopens();
    void helpShowsTheBoardDescription();
    void portMenuListsThePortsAfresh();
    void choosingADevice_data();
    void choosingADevice();
    void chosenDeviceIsReopenedAfterALoss();
    void commandLine_data();
    void commandLine();
    void loggingFromTheMenu_data();
    void loggingFromTheMenu();
    void sessionLogReplaysToTheSameBytes();
    void playingASequence_data();
    void playingASequence();
    void stoppingAPlayEndsOnAWholeFrame();
    void progressDialogFollowsThePlay_data();
    void progressDialogFollowsThePlay();
    void portChoiceTellsAFailedLoadOnceTheLoadIsOver();

private:
    std::unique_ptr<PanelHarness> m_panel;
};

void tst_PanelActions::init() {
    m_panel = std::make_unique<PanelHarness>();
    QVERIFY(m_panel->isValid());
}

void tst_PanelActions::cleanup() {
    m_panel.reset();
}

void tst_PanelActions::sendWritesTheFrame_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<TypedTexts>("typed");
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<bool>("showsFrame");
    // What the warning told once the frame is out says; empty for no warning.
    QTest::addColumn<QStringList>("warned");

    const QByteArray nines(14, '9');
    QTest::newRow("single-channel defaults")
        << "Command1(0)" << TypedTexts{} << QByteArray("0000110099999999999999") << true
        << QStringList{};
    QTest::newRow("single-channel channel trimmed")
        << "Command1(0)" << TypedTexts{{kSingleChannelBox, " 3 "}, {kSingleValueBox, "5"}}
        << "00305000" + nines << true << QStringList{};
    QTest::newRow("single-channel long value sent in full, and named")
        << "Command1(0)" << TypedTexts{{kSingleValueBox, "12.5"}} << "000012500" + nines << true
        << QStringList{"单通道控制：命令已照所填内容发出",
                       "设定值“12.5”：超过这条指令的满量程9.999V"};
    QTest::newRow("single-channel empty channel makes 21 characters, and is named")
        << "Command1(0)" << TypedTexts{{kSingleChannelBox, ""}} << "0001100" + nines << true
        << QStringList{"通道号“”：控制板只有通道0到7"};
    QTest::newRow("single-channel channel 9 sent as typed, and named")
        << "Command1(0)" << TypedTexts{{kSingleChannelBox, "9"}} << "00901100" + nines << true
        << QStringList{"通道号“9”：控制板只有通道0到7"};
    QTest::newRow("single-channel negative value sent as typed, and named")
        << "Command1(0)" << TypedTexts{{kSingleValueBox, "-0.005"}} << "000000-5" + nines << true
        << QStringList{"设定值“-0.005”：控制板不接受负电压"};
    QTest::newRow("four-channel defaults")
        << "Command2" << TypedTexts{} << QByteArray("1000100102022038630400") << true
        << QStringList{};
    QTest::newRow("four-channel channel with a leading space trimmed")
        << "Command2" << TypedTexts{{kFourChannelBox<0>, " 0"}}
        << QByteArray("1000100102022038630400") << true << QStringList{};
    QTest::newRow("four-channel channel with a trailing space trimmed")
        << "Command2" << TypedTexts{{kFourChannelBox<3>, "3 "}}
        << QByteArray("1000100102022038630400") << true << QStringList{};
    QTest::newRow("four-channel misfits named by their columns")
        << "Command2" << TypedTexts{{kFourChannelBox<1>, "9"}, {kFourValueBox<3>, "4.005"}}
        << QByteArray("1000100902022038630400.5") << true
        << QStringList{"4通道控制：命令已照所填内容发出", "第2列的通道号“9”：控制板只有通道0到7",
                       "第4列的设定值“4.005”：比这条指令的最小步长0.01V更细"};
    QTest::newRow("four-channel small value padded")
        << "Command2" << TypedTexts{{kFourValueBox<0>, "0.07"}}
        << QByteArray("1000007102022038630400") << true << QStringList{};
    QTest::newRow("eight-channel defaults")
        << "Command3" << TypedTexts{}
        << QByteArray::fromHex("323031143128313C315031643178318C31A039393939") << false
        << QStringList{};
    QTest::newRow("eight-channel codes by position, channel boxes ignored")
        << "Command3"
        << TypedTexts{{kEightChannelBox<0>, "7"},
                      {kEightCodeBox<2>, "255"},
                      {kEightCodeBox<4>, "2.5"}}
        << QByteArray::fromHex("32303114312831FF315031023178318C31A039393939") << false
        << QStringList{};
    QTest::newRow("reset") << "Command4" << TypedTexts{} << QByteArray("U") << false
                           << QStringList{};
}

void tst_PanelActions::sendWritesTheFrame() {
    QFETCH(QString, button);
    QFETCH(TypedTexts, typed);
    QFETCH(QByteArray, written);
    QFETCH(bool, showsFrame);
    QFETCH(QStringList, warned);

    QVERIFY(m_panel->open());
    QTRY_VERIFY(m_panel->controller().link().isOpen());
    for (const auto& [box, text] : typed)
        box(m_panel->form())->setText(text);
    QLineEdit* sendCode = m_panel->form().resetGroup().sendCodeBox;
    sendCode->setText(kEarlierSendCode);
    QSignalSpy framesOut(&m_panel->controller().link(), &SerialLink::frameWritten);

    QVERIFY(m_panel->click(button));

    QCOMPARE(m_panel->board().readExactly(written.size()), written);
    QCOMPARE(sendCode->text(), showsFrame ? QString::fromLatin1(written) : kEarlierSendCode);
    QVERIFY(ResetComesNext(*m_panel));
    // The frame and the Reset are out, and what their going out brings has been handled.
    QTRY_COMPARE(framesOut.size(), 2);
    QCoreApplication::processEvents();
    QCOMPARE(m_panel->messages().size(), warned.isEmpty() ? 0 : 1);
    for (const QString& words : warned) {
        const OperatorMessage& warning = m_panel->messages().first();
        QCOMPARE(warning.kind, OperatorMessage::Kind::Warning);
        QVERIFY2(warning.text.contains(words), qPrintable(warning.text));
    }
}

void tst_PanelActions::badValueStopsTheSend_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<BoxRole>("box");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("boxName");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("acceptedForm");

    QTest::newRow("single-channel value not a number") << "Command1(0)" << kSingleValueBox << "abc"
                                                       << "单通道控制：设定值"
                                                       << "不是数字"
                                                       << "设定值必须为4位数，单位为V";
    QTest::newRow("single-channel value beyond the double range")
        << "Command1(0)" << kSingleValueBox << "1e308"
        << "单通道控制：设定值"
        << "超出范围"
        << "设定值必须为4位数，单位为V";
    QTest::newRow("four-channel third value not a number") << "Command2" << kFourValueBox<2> << "x"
                                                           << "4通道控制：第3列的设定值"
                                                           << "不是数字"
                                                           << "设定值必须为3位数，单位为V";
    QTest::newRow("eight-channel code above 255") << "Command3" << kEightCodeBox<2> << "300"
                                                  << "8通道控制：通道2的设定值"
                                                  << "超出范围"
                                                  << "设定值为小于256的整数";
    QTest::newRow("eight-channel negative code in the lower block")
        << "Command3" << kEightCodeBox<7> << "-1"
        << "8通道控制：通道7的设定值"
        << "超出范围"
        << "设定值为小于256的整数";
}

void tst_PanelActions::badValueStopsTheSend() {
    QFETCH(QString, button);
    QFETCH(BoxRole, box);
    QFETCH(QString, text);
    QFETCH(QString, boxName);
    QFETCH(QString, reason);
    QFETCH(QString, acceptedForm);

    QVERIFY(m_panel->open());
    QTRY_VERIFY(m_panel->controller().link().isOpen());
    QLineEdit* valueBox = box(m_panel->form());
    QLineEdit* sendCode = m_panel->form().resetGroup().sendCodeBox;
    valueBox->setText(text);
    sendCode->setText(kEarlierSendCode);

    QVERIFY(m_panel->click(button));

    QCOMPARE(sendCode->text(), kEarlierSendCode);
    QCOMPARE(m_panel->messages().size(), 1);
    const OperatorMessage& warning = m_panel->messages().first();
    QCOMPARE(warning.kind, OperatorMessage::Kind::Warning);
    QVERIFY2(warning.text.contains(boxName), qPrintable(warning.text));
    QVERIFY2(warning.text.contains(reason), qPrintable(warning.text));
    QVERIFY2(warning.text.contains(acceptedForm), qPrintable(warning.text));
    QCOMPARE(QApplication::focusWidget(), valueBox);
    QCOMPARE(valueBox->selectedText(), text);
    QVERIFY(ResetComesNext(*m_panel));
}

void tst_PanelActions::receivedDataReplacesTheReturnCode_data() {
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<QStringList>("shownAfterEach");

    const QByteArray first = "ABCDEFGHIJKLMNOPQRSTUV";
    const QByteArray second = "0123456789012345678901";
    QTest::newRow("21 bytes wait until the 22nd arrives")
        << QByteArrayList{first.left(21), first.right(1)} << QStringList{"", first};
    QTest::newRow("a second reception replaces the first")
        << QByteArrayList{first, second} << QStringList{first, second};
    QTest::newRow("more than 22 bytes are shown whole")
        << QByteArrayList{first + "WXYZ"} << QStringList{first + "WXYZ"};
}

void tst_PanelActions::receivedDataReplacesTheReturnCode() {
    QFETCH(QByteArrayList, chunks);
    QFETCH(QStringList, shownAfterEach);

    QVERIFY(m_panel->open());
    QTRY_VERIFY(m_panel->controller().link().isOpen());
    QLineEdit* returnCode = m_panel->form().resetGroup().returnCodeBox;
    QSignalSpy arrived(&m_panel->controller().link(), &SerialLink::bytesArrived);
    for (qsizetype i = 0; i < chunks.size(); ++i) {
        const QString before = returnCode->text();
        arrived.clear();
        QVERIFY(m_panel->board().write(chunks[i]));
        // The text stays as it was only once the link has had the bytes and kept them back.
        if (shownAfterEach[i] == before)
            QVERIFY(arrived.wait());
        QTRY_COMPARE(returnCode->text(), shownAfterEach[i]);
    }
    QVERIFY(m_panel->messages().isEmpty());
}

void tst_PanelActions::hexDisplayShowsTheReply_data() {
    QTest::addColumn<QStringList>("steps"); // "reply" from the board, "toggle" of the menu item
    QTest::addColumn<QString>("shown");     // "text", "hex", or "typed": as the operator left it

    QTest::newRow("a reply shows as text by default") << QStringList{"reply"} << "text";
    QTest::newRow("a reply while hex is checked shows as hex pairs")
        << QStringList{"toggle", "reply"} << "hex";
    QTest::newRow("checking shows the last reply again as hex")
        << QStringList{"reply", "toggle"} << "hex";
    QTest::newRow("unchecking shows the last reply as text again")
        << QStringList{"toggle", "reply", "toggle"} << "text";
    QTest::newRow("checking before any reply leaves the box as it is")
        << QStringList{"toggle"} << "typed";
}

void tst_PanelActions::hexDisplayShowsTheReply() {
    QFETCH(QStringList, steps);
    QFETCH(QString, shown);
    const QByteArray reply = QByteArray::fromHex("323031143128313C315031643178318C31A039393939");
    const QString hexItem = ReplyDisplay::kHexItemText;

    QVERIFY(m_panel->open());
    QTRY_VERIFY(m_panel->controller().link().isOpen());
    QLineEdit* returnCode = m_panel->form().resetGroup().returnCodeBox;
    returnCode->setText(kEarlierSendCode);
    QCOMPARE(m_panel->openPortMenu().filter(hexItem), QStringList{hexItem});
    QSignalSpy received(&m_panel->controller().link(), &SerialLink::dataReceived);
    for (const QString& step : steps) {
        if (step == "toggle") {
            QVERIFY(m_panel->choosePort(hexItem));
            continue;
        }
        QVERIFY(m_panel->board().write(reply));
        QVERIFY(received.wait());
    }

    const QMap<QString, QString> forms{
        {"text", WireBytesToDisplayText(reply)},
        {"hex", "32 30 31 14 31 28 31 3C 31 50 31 64 31 78 31 8C 31 A0 39 39 39 39"},
        {"typed", kEarlierSendCode}};
    QCOMPARE(returnCode->text(), forms.value(shown));
    const bool checked = steps.count("toggle") % 2 == 1;
    QCOMPARE(m_panel->openPortMenu().filter(hexItem),
             QStringList{(checked ? "[x] " : "") + hexItem});
    QVERIFY(m_panel->messages().isEmpty());
}

void tst_PanelActions::noPortAtStartUp() {
    const QString missing = m_panel->filePath("unplugged");
    QVERIFY(m_panel->open(missing));

    QTRY_COMPARE(m_panel->messages().size(), 1);
    QVERIFY(m_panel->form().isVisible());
    QVERIFY(!m_panel->controller().link().isOpen());
    const QString text = m_panel->messages().first().text;
    QCOMPARE(m_panel->messages().first().kind, OperatorMessage::Kind::Warning);
    QVERIFY2(text.contains(missing), qPrintable(text));
    QVERIFY2(text.contains(m_panel->filePath("no-such-port")), qPrintable(text));
    QVERIFY2(text.contains("QUILLON_PORT1"), qPrintable(text));
    QVERIFY2(text.contains("“串口”菜单"), qPrintable(text));
    QCOMPARE(m_panel->portMenu()->title(), QStringLiteral("串口：未打开"));
    QVERIFY2(text.contains("系统"), qPrintable(text));

    QVERIFY(m_panel->click("Command1(0)"));
    QCOMPARE(m_panel->messages().size(), 2);
    const QString writeFailure = m_panel->messages().last().text;
    QVERIFY2(writeFailure.contains("命令未发出"), qPrintable(writeFailure));
    QVERIFY2(writeFailure.contains(missing), qPrintable(writeFailure));
    QCOMPARE(m_panel->form().resetGroup().sendCodeBox->text(),
             QStringLiteral("0000110099999999999999"));
}

void tst_PanelActions::hangUpIsReportedOnceAndTheNextSendReopens() {
    const QString device = m_panel->boardPath();
    QVERIFY(m_panel->open(device));
    QTRY_VERIFY(m_panel->controller().link().isOpen());

    m_panel->board().hangUp();
    QTRY_COMPARE(m_panel->messages().size(), 1);
    QTest::qWait(kQuietMs);
    QCOMPARE(m_panel->messages().size(), 1);
    QCOMPARE(m_panel->portMenu()->title(), QStringLiteral("串口：未打开"));
    QVERIFY2(m_panel->messages().first().text.contains(device),
             qPrintable(m_panel->messages().first().text));

    QVERIFY(m_panel->click("Command4"));
    QCOMPARE(m_panel->messages().size(), 2);
    QVERIFY2(m_panel->messages().last().text.contains("命令未发出"),
             qPrintable(m_panel->messages().last().text));

    QVERIFY(m_panel->replugBoard());
    QVERIFY(m_panel->click("Command4"));
    QCOMPARE(m_panel->board().readExactly(1), QByteArray("U"));
    QCOMPARE(m_panel->messages().size(), 2);
    QCOMPARE(m_panel->portMenu()->title(), QStringLiteral("串口：board"));
}

void tst_PanelActions::helpShowsTheBoardDescription() {
    QVERIFY(m_panel->open(PanelHarness::Messages::ShownInMessageBoxes));
    QTRY_VERIFY(m_panel->controller().link().isOpen());

    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::Critical;
    QStringList buttons;
    bool modal = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll.stop();
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        for (const QAbstractButton* button : box->buttons())
            buttons << button->text();
        modal = box->isModal();
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    poll.start(20);

    QMenuBar* menu = m_panel->form().menuBar();
    QTest::mouseClick(menu, Qt::LeftButton, {},
                      menu->actionGeometry(m_panel->form().helpAction()).center());

    QTRY_VERIFY(!title.isEmpty());
    QCOMPARE(title, QStringLiteral("Quillon"));
    QCOMPARE(icon, QMessageBox::NoIcon);
    QCOMPARE(buttons, QStringList{QStringLiteral("确定")});
    QVERIFY(modal);
    QCOMPARE(text.left(433), kBoardDescription);
    QCOMPARE(kBoardDescription.size(), 433);
    QVERIFY(text.size() > 433 + 100 && text.size() < 433 + 150);
    QVERIFY(!text.contains(QLatin1Char('\n')));
    QCOMPARE(text, HelpText());
}

void tst_PanelActions::portMenuListsThePortsAfresh() {
    const PortListing adapter{"ttyUSB0", "/dev/ttyUSB0", "USB2.0-Serial", "QinHeng Electronics",
                              0x1a86,    0x7523};
    const PortListing board{"board", m_panel->boardPath(), "", "", {}, {}};
    m_panel->setListedPorts({{"ttyS0", "/dev/ttyS0", "", "", {}, {}}, board});
    QVERIFY(m_panel->open());
    QTRY_VERIFY(m_panel->controller().link().isOpen());

    const QList<QAction*> bar = m_panel->form().menuBar()->actions();
    QCOMPARE(bar.size(), 3);
    QCOMPARE(bar[0], m_panel->form().helpAction());
    QVERIFY(!bar[0]->menu());
    QCOMPARE(bar[1]->menu(), m_panel->portMenu());
    QCOMPARE(bar[1]->text(), QStringLiteral("串口：board"));
    QCOMPARE(bar[2]->menu(), m_panel->recordMenu());
    QCOMPARE(bar[2]->text(), QStringLiteral("记录"));
    const QStringList below{"", "其他设备…", "", "十六进制显示"};
    QCOMPARE(m_panel->openPortMenu(), QStringList({"ttyS0", "[x] board"}) + below);

    m_panel->setListedPorts({{"ttyS0", "/dev/ttyS0", "", "", {}, {}}, adapter, board});
    QCOMPARE(m_panel->openPortMenu(),
             QStringList({"ttyS0", "ttyUSB0（USB2.0-Serial，QinHeng Electronics，1a86:7523）",
                          "[x] board"}) +
                 below);

    // A serial server is never a port the system reports: it heads the list, checked.
    m_panel->portMenu()->showDevice("tcp://rig.local:7001");
    QCOMPARE(m_panel->openPortMenu(),
             QStringList({"[x] tcp://rig.local:7001", "ttyS0",
                          "ttyUSB0（USB2.0-Serial，QinHeng Electronics，1a86:7523）", "board"}) +
                 below);
    m_panel->portMenu()->showDevice("rfc2217://[::1]:7000");
    QCOMPARE(m_panel->openPortMenu().first(), QStringLiteral("[x] rfc2217://[::1]:7000"));
}

void tst_PanelActions::choosingADevice_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("switched");
    QTest::addColumn<QString>("reason");
    // How the system lists each port: "link" by the path given, "tty" by the tty its link
    // names, "none" not at all (a pseudo-terminal is no serial port to it).
    QTest::addColumn<QString>("listedAs");

    const QString other = PortMenu::kOtherDeviceText;
    QTest::newRow("a listed device that opens becomes the port") << "other"
                                                                 << "" << true << ""
                                                                 << "link";
    QTest::newRow("a device typed in becomes the port") << other << "other" << true << ""
                                                        << "link";
    QTest::newRow("a missing device is refused and the old port stays")
        << other << "missing" << false << "设备不存在"
        << "link";
    QTest::newRow("a cancelled prompt changes nothing") << other << "" << false << ""
                                                        << "link";
    QTest::newRow("the open port chosen from the list is left as it is") << "board"
                                                                         << "" << false << ""
                                                                         << "link";
    QTest::newRow("the open port typed in is left as it is") << other << "board" << false << ""
                                                             << "link";
    QTest::newRow("a device typed in by its link is checked where the system lists its tty")
        << other << "other" << true << ""
        << "tty";
    QTest::newRow("the open port chosen by the tty the system lists it as is left as it is")
        << "board"
        << "" << false << ""
        << "tty";
    QTest::newRow("a device the system does not list heads the list, checked")
        << other << "other" << true << ""
        << "none";
    QTest::newRow("the open device the system does not list, chosen again, is left as it is")
        << "board"
        << "" << false << ""
        << "none";
}

void tst_PanelActions::choosingADevice() {
    QFETCH(QString, item);
    QFETCH(QString, answer);
    QFETCH(bool, switched);
    QFETCH(QString, reason);
    QFETCH(QString, listedAs);

    testing::PtyPair other;
    QVERIFY(other.linkAs(m_panel->filePath("other")));
    const auto listed = [&](const testing::PtyPair& pty) {
        return listedAs == "tty" ? pty.slavePath() : pty.linkPath();
    };
    if (listedAs != "none") {
        m_panel->setListedPorts({{"other", listed(other), "", "", {}, {}},
                                 {"board", listed(m_panel->board()), "", "", {}, {}}});
    }
    // An unlisted device shows as the path it was opened by.
    const auto itemText = [&](const QString& name) {
        return listedAs == "none" ? m_panel->filePath(name) : name;
    };
    m_panel->setDeviceAnswer(answer.isEmpty() ? QString() : m_panel->filePath(answer));
    QVERIFY(m_panel->open());
    const SerialLink& link = m_panel->controller().link();
    QTRY_VERIFY(link.isOpen());
    const QSerialPort* portBefore = link.findChild<QSerialPort*>();
    QSignalSpy portChanges(&link, &SerialLink::portChanged);

    QVERIFY(m_panel->choosePort(item == PortMenu::kOtherDeviceText ? item : itemText(item)));

    QCOMPARE(portChanges.size(), switched ? 1 : 0);
    QCOMPARE(link.findChild<QSerialPort*>() == portBefore, !switched);
    QCOMPARE(m_panel->prompts(), item == PortMenu::kOtherDeviceText ? 1 : 0);
    QCOMPARE(m_panel->portMenu()->title(), switched ? "串口：other" : "串口：board");
    const QString checked = "[x] " + itemText(switched ? "other" : "board");
    QCOMPARE(m_panel->openPortMenu().filter("[x]"), QStringList{checked});
    if (listedAs == "none")
        QCOMPARE(m_panel->openPortMenu().first(), checked);
    QCOMPARE(m_panel->messages().size(), reason.isEmpty() ? 0 : 1);
    if (!reason.isEmpty()) {
        const QString text = m_panel->messages().first().text;
        QVERIFY2(text.contains(m_panel->filePath(answer)), qPrintable(text));
        QVERIFY2(text.contains(reason), qPrintable(text));
        QVERIFY2(text.contains(m_panel->boardPath()), qPrintable(text));
    }
    QVERIFY(m_panel->click("Command4"));
    testing::PtyPair& sentTo = switched ? other : m_panel->board();
    testing::PtyPair& notSentTo = switched ? m_panel->board() : other;
    QCOMPARE(sentTo.readExactly(1), QByteArray("U"));
    QCOMPARE(notSentTo.readUntilQuiet(kQuietMs), QByteArray());
}

void tst_PanelActions::chosenDeviceIsReopenedAfterALoss() {
    const QString otherPath = m_panel->filePath("other");
    auto other = std::make_unique<testing::PtyPair>();
    QVERIFY(other->linkAs(otherPath));
    m_panel->setDeviceAnswer(otherPath);
    QVERIFY(m_panel->open());
    QTRY_VERIFY(m_panel->controller().link().isOpen());
    QVERIFY(m_panel->choosePort(PortMenu::kOtherDeviceText));
    QCOMPARE(m_panel->portMenu()->title(), QStringLiteral("串口：other"));

    other->hangUp();
    QTRY_COMPARE(m_panel->messages().size(), 1);
    QCOMPARE(m_panel->portMenu()->title(), QStringLiteral("串口：未打开"));
    other = std::make_unique<testing::PtyPair>();
    QVERIFY(other->linkAs(otherPath));

    QVERIFY(m_panel->click("Command4"));
    QCOMPARE(other->readExactly(1), QByteArray("U"));
    QCOMPARE(m_panel->board().readUntilQuiet(kQuietMs), QByteArray());
    QTRY_COMPARE(m_panel->portMenu()->title(), QStringLiteral("串口：other"));
    QCOMPARE(m_panel->messages().size(), 1);
}

void tst_PanelActions::commandLine_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<Action>("action");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("textStart");

    const QString usage = "Usage: ";
    QTest::newRow("no arguments run on the configured ports") << QStringList{} << Action::Run << ""
                                                              << "";
    QTest::newRow("--port names the device")
        << QStringList{"--port", "/dev/ttyUSB0"} << Action::Run << "/dev/ttyUSB0"
        << "";
    QTest::newRow("--port=DEVICE names the device too")
        << QStringList{"--port=/tmp/x/board"} << Action::Run << "/tmp/x/board"
        << "";
    QTest::newRow("--help prints the usage")
        << QStringList{"--help"} << Action::PrintHelp << "" << usage;
    QTest::newRow("-h prints the usage") << QStringList{"-h"} << Action::PrintHelp << "" << usage;
    QTest::newRow("--version prints the version")
        << QStringList{"--version"} << Action::PrintVersion << ""
        << "quillon ";
    QTest::newRow("an unknown option is refused with the usage")
        << QStringList{"--baud", "9600"} << Action::Refuse << ""
        << "Unknown option 'baud'.";
    QTest::newRow("a stray argument is refused with the usage")
        << QStringList{"/dev/ttyUSB0"} << Action::Refuse << ""
        << "Unexpected argument: /dev/ttyUSB0";
    QTest::newRow("--port without a device is refused")
        << QStringList{"--port"} << Action::Refuse << ""
        << "Missing value after '--port'.";
    QTest::newRow("an empty --port is refused") << QStringList{"--port", ""} << Action::Refuse << ""
                                                << "--port needs a device path.";
    QTest::newRow("--language en is taken") << QStringList{"--language", "en"} << Action::Run << ""
                                            << "";
    QTest::newRow("a --language with no translation is refused")
        << QStringList{"--language", "fr"} << Action::Refuse << ""
        << "--language takes zh (Chinese) or en (English); got \"fr\".";
    QTest::newRow("a --language that names no language is refused")
        << QStringList{"--language", "english"} << Action::Refuse << ""
        << "--language takes zh (Chinese) or en (English)";
}

void tst_PanelActions::commandLine() {
    QFETCH(QStringList, arguments);
    QFETCH(Action, action);
    QFETCH(QString, port);
    QFETCH(QString, textStart);

    const CommandLine parsed = ParseCommandLine(QStringList{"quillon"} + arguments);

    QCOMPARE(parsed.action, action);
    QCOMPARE(parsed.port, port);
    QCOMPARE(parsed.text.left(textStart.size()), textStart);
    if (action == Action::Refuse || action == Action::PrintHelp)
        QVERIFY2(parsed.text.contains("--port <device>") &&
                     parsed.text.contains("--language <language>"),
                 qPrintable(parsed.text));
    if (action == Action::PrintVersion)
        QVERIFY2(QRegularExpression("^quillon \\d+\\.\\d+\\.\\d+\n$").match(parsed.text).hasMatch(),
                 qPrintable(parsed.text));
}

void tst_PanelActions::loggingFromTheMenu_data() {
    QTest::addColumn<QString>("answer"); // a file in the harness's folder, an absolute path, or ""
    QTest::addColumn<QString>("title");  // the menu's title once the log has started
    QTest::addColumn<QString>("warning");

    QTest::newRow("a chosen file is logged to and named in the title") << "session.log"
                                                                       << "记录：session.log"
                                                                       << "";
    QTest::newRow("a cancelled dialog starts nothing") << ""
                                                       << "记录"
                                                       << "";
    QTest::newRow("a file in a missing folder is refused, named, and logging stays off")
        << "missing/session.log"
        << "记录"
        << "未能开始记录";
    QTest::newRow("a log on a full device warns once and the panel goes on sending")
        << "/dev/full"
        << "记录"
        << "记录已停止";
}

void tst_PanelActions::loggingFromTheMenu() {
    QFETCH(QString, answer);
    QFETCH(QString, title);
    QFETCH(QString, warning);

    const QString path =
        answer.startsWith(u'/') || answer.isEmpty() ? answer : m_panel->filePath(answer);
    m_panel->setLogAnswer(path);
    QVERIFY(m_panel->open());
    QTRY_VERIFY(m_panel->controller().link().isOpen());
    QVERIFY(m_panel->chooseRecordItem(RecordMenu::kStartText));
    QTRY_COMPARE(m_panel->recordMenu()->title(), title);

    for (int i = 0; i < 2; ++i) {
        QVERIFY(m_panel->click("Command4"));
        QCOMPARE(m_panel->board().readExactly(1), QByteArray("U"));
    }
    QTRY_COMPARE(m_panel->messages().size(), warning.isEmpty() ? 0 : 1);
    if (!warning.isEmpty()) {
        const QString text = m_panel->messages().first().text;
        QVERIFY2(text.contains(warning) && text.contains(answer), qPrintable(text));
    }
    const bool logging = title != QStringLiteral("记录");
    QCOMPARE(m_panel->controller().recorder().isRecording(), logging);
    if (!logging)
        return;
    QVERIFY(!m_panel->chooseRecordItem(RecordMenu::kStartText));
    QVERIFY(m_panel->chooseRecordItem(RecordMenu::kStopText));
    QCOMPARE(m_panel->recordMenu()->title(), QStringLiteral("记录"));
    const QStringList lines = LogLines(path);
    QVERIFY2(lines.value(0).startsWith("# quillon log started ") &&
                 lines.value(0).endsWith(", port " + m_panel->boardPath() + ", 9600 8N1"),
             qPrintable(lines.value(0)));
    QCOMPARE(LoggedEvents(lines), QStringList({"sent 1 bytes", "sent 1 bytes"}));
    // However far apart a loaded machine lets the clicks fall, the commands are the same; only
    // a wait between them may come and go.
    QCOMPARE(lines.filter(QRegularExpression("^(?!wait \\d+$)[a-z]")),
             QStringList({"reset", "reset"}));
}

// Everything a session at the panel sends, in its log, plays back to the same bytes.
void tst_PanelActions::sessionLogReplaysToTheSameBytes() {
    const QString log = m_panel->filePath("session.log");
    m_panel->setLogAnswer(log);
    QVERIFY(m_panel->open());
    QTRY_VERIFY(m_panel->controller().link().isOpen());
    QVERIFY(m_panel->chooseRecordItem(RecordMenu::kStartText));

    QByteArray sent;
    for (const char* button : {"Command1(0)", "Command2", "Command3", "Command4"}) {
        QVERIFY(m_panel->click(button));
        sent += m_panel->board().readExactly(button == QLatin1String("Command4") ? 1 : 22);
    }
    m_panel->form().singleChannelGroup().valueBox->setText("abc");
    QVERIFY(m_panel->click("Command1(0)"));
    QCOMPARE(m_panel->messages().size(), 1);
    QVERIFY(m_panel->board().write("0000110099999999999999"));
    QTRY_COMPARE(m_panel->form().resetGroup().returnCodeBox->text(),
                 QStringLiteral("0000110099999999999999"));
    QVERIFY(m_panel->board().write("OK"));
    // Bytes below a frame's worth are logged as they come, though the window does not show them.
    QTRY_VERIFY(LoggedEvents(LogLines(log)).contains("received 2 bytes: OK"));
    QVERIFY(m_panel->chooseRecordItem(RecordMenu::kStopText));
    QCOMPARE(sent.size(), 3 * 22 + 1);

    const QStringList lines = LogLines(log);
    QCOMPARE(lines.filter(QRegularExpression("^[a-z]")).filter(QRegularExpression("^(?!wait )")),
             QStringList({"single 0 1.100", "four 0:1.00 1:2.02 2:3.86 3:4.00",
                          "eight 20 40 60 80 100 120 140 160", "reset"}));
    const QStringList events = LoggedEvents(lines);
    QCOMPARE(events.filter("sent ").size(), 4);
    QVERIFY2(events.filter(QRegularExpression("^not sent: .*“abc”")).size() == 1,
             qPrintable(events.join('\n')));
    QVERIFY(events.contains("received 22 bytes: 0000110099999999999999"));
    QVERIFY(events.contains("received 2 bytes: OK"));

    testing::PtyPair replay;
    QVERIFY(replay.isValid());
    QCOMPARE(RunQuillonSend({"--port", replay.slavePath(), "play", log}), 0);
    QCOMPARE(replay.readExactly(sent.size()), sent);
    // The player has ended: whatever it wrote is on the line already.
    QCOMPARE(replay.readAvailable(), QByteArray());
}

void tst_PanelActions::playingASequence_data() {
    QTest::addColumn<QByteArray>("text"); // the file's contents; a null array makes a folder
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QString>("warning");

    const QByteArray single = "0000100099999999999999";
    QTest::newRow("the frames go out in order, pauses kept")
        << QByteArray("single 0 1\nwait 30\nreset\neight 0 0 0 0 0 0 0 255\n")
        << single + "U" + EightChannelWire({0, 0, 0, 0, 0, 0, 0, 255}) << "";
    QTest::newRow("a log plays back as it stands, its unplayable frames skipped")
        << QByteArray("# quillon log started 2026-12-08T21:03:00.123+01:00 by quillon 0.1.0\n"
                      "# 21:03:04.512 sent 22 bytes\nsingle 0 1.000\n"
                      "# 21:03:05.000 sent 23 bytes that play does not take: 30 30 31\n"
                      "# 21:03:05.940 received 22 bytes: 0000110099999999999999\n")
        << single << "";
    QTest::newRow("a bad line refuses the whole sequence and is named")
        << QByteArray("reset\nsingle 9 1\n") << QByteArray() << "line 2: ";
    QTest::newRow("a NUL byte refuses the sequence")
        << QByteArray("reset\nre\0set\n", 13) << QByteArray() << "line 2: ";
    QTest::newRow("text that is not UTF-8 refuses the sequence")
        << QByteArray("reset\n# caf\xe9\n") << QByteArray() << "line 2: ";
    QTest::newRow("a folder is not a sequence")
        << QByteArray() << QByteArray() << "not a plain file";
}

void tst_PanelActions::playingASequence() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, wire);
    QFETCH(QString, warning);

    const QString path = m_panel->filePath("sequence.txt");
    if (text.isNull()) {
        QVERIFY(QDir().mkdir(path));
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    m_panel->setSequenceAnswer(path);
    QVERIFY(m_panel->open());
    QTRY_VERIFY(m_panel->controller().link().isOpen());
    QVERIFY(m_panel->chooseRecordItem(RecordMenu::kPlayText));
    QTRY_VERIFY(!m_panel->controller().isPlaying());
    QTRY_VERIFY(!m_panel->form().findChild<QProgressDialog*>());

    if (!wire.isEmpty())
        QCOMPARE(m_panel->board().readExactly(wire.size()), wire);
    QCOMPARE(m_panel->messages().size(), warning.isEmpty() ? 0 : 1);
    if (!warning.isEmpty()) {
        const QString message = m_panel->messages().first().text;
        QVERIFY2(message.contains(warning) && message.contains("sequence.txt"),
                 qPrintable(message));
    }
    QVERIFY(ResetComesNext(*m_panel));
}

void tst_PanelActions::stoppingAPlayEndsOnAWholeFrame() {
    const QString path = m_panel->filePath("ramp.txt");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    for (int code = 0; code < 400; ++code)
        file.write("eight " + QByteArray::number(code % 256) + " 0 0 0 0 0 0 0\n");
    file.close();
    m_panel->setSequenceAnswer(path);
    QVERIFY(m_panel->open());
    QTRY_VERIFY(m_panel->controller().link().isOpen());
    QVERIFY(m_panel->chooseRecordItem(RecordMenu::kPlayText));

    QByteArray received = m_panel->board().readExactly(3 * 22);
    QCOMPARE(received.size(), 3 * 22);
    auto* progress = m_panel->form().findChild<QProgressDialog*>();
    QVERIFY(progress);
    QVERIFY(progress->isModal());
    QVERIFY2(progress->labelText().contains("ramp.txt") && progress->labelText().contains("/400"),
             qPrintable(progress->labelText()));
    auto* stop = progress->findChild<QPushButton*>();
    QVERIFY(stop);
    QCOMPARE(stop->text(), QStringLiteral("停止"));
    stop->click();
    QTRY_VERIFY(!m_panel->controller().isPlaying());
    received += m_panel->board().readUntilQuiet(kQuietMs);
    QVERIFY(received.size() < 400 * 22);
    QCOMPARE(received.size() % 22, 0);
    for (qsizetype i = 0; i < received.size() / 22; ++i)
        QCOMPARE(received.mid(i * 22, 22), EightChannelWire({int(i % 256), 0, 0, 0, 0, 0, 0, 0}));
    QCOMPARE(m_panel->messages().size(), 0);
}

void tst_PanelActions::progressDialogFollowsThePlay_data() {
    QTest::addColumn<int>("clockMs"); // on the schedule's clock, from its start
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("value");

    // A one-byte reset takes 1.04 ms on the line, so the whole play lasts 1002.1 ms.
    QTest::newRow("at the start the first frame is due and the whole play lies ahead")
        << 0 << "正在播放 “ramp.txt”\n已发送 1/2 条命令，已用 0.0 秒，剩余 1.0 秒" << 1;
    QTest::newRow("half-way through the pause")
        << 500 << "正在播放 “ramp.txt”\n已发送 1/2 条命令，已用 0.5 秒，剩余 0.5 秒" << 1;
    QTest::newRow("at the end every frame is sent and nothing remains")
        << 1100 << "正在播放 “ramp.txt”\n已发送 2/2 条命令，已用 1.1 秒，剩余 0.0 秒" << 2;
}

// The dialog shows the scheduler's counts and times whenever it is asked to, and its bar
// counts the frames sent of all.
void tst_PanelActions::progressDialogFollowsThePlay() {
    QFETCH(int, clockMs);
    QFETCH(QString, label);
    QFETCH(int, value);

    const sequence::PlaySchedule schedule(sequence::ParseSequence("reset\nwait 1000\nreset\n"),
                                          std::nullopt);
    std::chrono::nanoseconds now{0};
    sequence::PlayScheduler scheduler(schedule, [&] { return now; });
    scheduler.start();
    now = std::chrono::milliseconds(clockMs);
    while (scheduler.takeDue()) {
    }
    QWidget window;
    PlayProgressDialog progress(scheduler, "ramp.txt", &window);
    progress.showProgress();

    QCOMPARE(progress.labelText(), label);
    QCOMPARE(progress.maximum(), 2);
    QCOMPARE(progress.value(), value);
    QCOMPARE(progress.windowModality(), Qt::WindowModal);
}

// The Load finishes (a log given on the command line starts) before a port that failed is told;
// a device chosen later opens and the menu names it, with nothing more told.
void tst_PanelActions::portChoiceTellsAFailedLoadOnceTheLoadIsOver() {
    const QString missing = m_panel->filePath("unplugged");
    SerialLink link({missing, QString()});
    LineRecorder recorder(link, "quillon test", FailureText);
    QList<OperatorMessage> told;
    const OperatorMessenger messenger([&](const OperatorMessage& message) { told << message; },
                                      recorder);
    QWidget window;
    PortChoice choice(link, {[] { return QList<PortListing>(); }, {}}, messenger, &window);

    choice.openAtStartup();
    QVERIFY(told.isEmpty());
    QTRY_COMPARE(told.size(), 1);
    QVERIFY2(told.first().text.contains(missing), qPrintable(told.first().text));
    QVERIFY2(told.first().text.contains("系统未报告任何串口"), qPrintable(told.first().text));
    QCOMPARE(choice.menu()->title(), QStringLiteral("串口：未打开"));

    choice.choose(m_panel->boardPath());
    QVERIFY(link.isOpen());
    QTRY_COMPARE(choice.menu()->title(), QStringLiteral("串口：board"));
    QCOMPARE(told.size(), 1);
}

QTEST_MAIN(tst_PanelActions)
#include "tst_panel_actions.moc"
