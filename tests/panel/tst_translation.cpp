#include "board_window.h"
#include "command_line.h"
#include "panel_harness.h"
#include "virtual_board.h"
#include "window_language.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStyleOptionGroupBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QXmlStreamReader>
#include <QtTest>

#include <memory>

using namespace quillon;
using quillon::testing::PanelHarness;

namespace {

enum class Situation {
    Help,
    BadSingleValue,
    BadFourValue,
    BadEightCode,
    NoPortAtStartUp,
    SendWithNoPort,
    PortLost,
    FrameTooLong,
    LineBusy,
    ChoiceFailed,
    ChoiceFailedWithNoPort,
    MessageBox,
    OtherDeviceDialog,
};

// Han characters, and the full-width punctuation and CJK symbols written with them.
QString ChineseIn(const QString& text) {
    QString found;
    for (const QChar c : text) {
        if (c.script() == QChar::Script_Han || (c >= u'\u3000' && c <= u'\u303f') ||
            (c >= u'\uff00' && c <= u'\uffef'))
            found += c;
    }
    return found;
}

// Every text the widget and what it holds show or announce: captions, contents, titles, tips.
QStringList ShownTexts(QWidget* root) {
    QStringList texts;
    for (QWidget* widget : QList<QWidget*>{root} + root->findChildren<QWidget*>()) {
        texts << widget->windowTitle() << widget->toolTip() << widget->statusTip()
              << widget->whatsThis() << widget->accessibleName();
        if (auto* label = qobject_cast<QLabel*>(widget))
            texts << label->text();
        if (auto* button = qobject_cast<QAbstractButton*>(widget))
            texts << button->text();
        if (auto* group = qobject_cast<QGroupBox*>(widget))
            texts << group->title();
        if (auto* box = qobject_cast<QLineEdit*>(widget))
            texts << box->text() << box->placeholderText();
        if (auto* menu = qobject_cast<QMenu*>(widget))
            texts << menu->title();
        for (const QAction* action : widget->actions())
            texts << action->text() << action->toolTip() << action->statusTip();
    }
    return texts;
}

// The texts of the next modal dialog, which is then closed.
QStringList TextsOfNextDialog(const std::function<void()>& open) {
    QStringList texts;
    QTimer::singleShot(0, [&] {
        QTRY_VERIFY(QApplication::activeModalWidget());
        QWidget* dialog = QApplication::activeModalWidget();
        texts = ShownTexts(dialog);
        dialog->close();
    });
    open();
    return texts;
}

// Where the caption's ink lies in the control, as the control's style lays the caption out.
QRect CaptionInk(QWidget* control, QString* caption) {
    const QFontMetrics metrics(control->font());
    QStyle* style = control->style();
    QRect box;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    if (auto* label = qobject_cast<QLabel*>(control)) {
        *caption = label->text();
        box = label->contentsRect();
        alignment = label->alignment();
    } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
        QStyleOptionGroupBox option;
        option.initFrom(group);
        option.text = *caption = group->title();
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        box = style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
        // The caption may not run past the frame's right-hand edge.
        box.setRight(std::min(
            box.right(),
            style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxFrame, group)
                .right()));
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = *caption = button->text();
        const bool check = qobject_cast<QCheckBox*>(control);
        box = style->subElementRect(
            check ? QStyle::SE_CheckBoxContents : QStyle::SE_PushButtonContents, &option, button);
        alignment = check ? alignment : Qt::AlignCenter;
    }
    const QRect laidOut = style->itemTextRect(metrics, box, alignment, true, *caption);
    const QRect ink =
        metrics.boundingRect(*caption).translated(laidOut.left(), laidOut.top() + metrics.ascent());
    return box.contains(ink) ? ink : QRect();
}

QList<QWidget*> CaptionedControls(const Form1& form) {
    QList<QWidget*> controls;
    for (QWidget* control : form.centralWidget()->findChildren<QWidget*>()) {
        if (!qobject_cast<QLineEdit*>(control))
            controls << control;
    }
    return controls;
}

QMap<QString, QString> Captions(const Form1& form) {
    QMap<QString, QString> captions;
    for (QWidget* control : CaptionedControls(form))
        CaptionInk(control, &captions[control->objectName()]);
    captions[QStringLiteral("menu bar")] = ShownTexts(form.menuBar()).join(u'|');
    return captions;
}

// The warning names the system's words for a missing device, which Qt's own translation would
// change.
QString NoPortWarning() {
    PanelHarness panel;
    return panel.open(panel.filePath("unplugged")) &&
                   QTest::qWaitFor([&] { return !panel.messages().isEmpty(); })
               ? QString(panel.messages().first().text).replace(panel.filePath(""), "…/")
               : QString();
}

} // namespace

Q_DECLARE_METATYPE(Situation)

class tst_Translation : public QObject {
    Q_OBJECT

private slots:
    void languageChoice_data();
    void languageChoice();
    void languageOption_data();
    void languageOption();
    void englishShowsNoChinese_data();
    void englishShowsNoChinese();
    void underCTheCaptionsAreTheOriginals();
    void englishCaptionsFitTheirControls_data();
    void englishCaptionsFitTheirControls();
    void englishLayoutIsTheSame();
    void boardWindow_data();
    void boardWindow();
    void translationsAreFinished_data();
    void translationsAreFinished();
};

void tst_Translation::languageChoice_data() {
    QTest::addColumn<QStringList>("uiLanguages");
    QTest::addColumn<QLocale::Language>("panel");
    QTest::addColumn<QLocale::Language>("board");

    const auto zh = QLocale::Chinese;
    const auto en = QLocale::English;
    QTest::newRow("C chooses Chinese") << QStringList{"C"} << zh << zh;
    QTest::newRow("POSIX chooses Chinese") << QStringList{"POSIX"} << zh << zh;
    QTest::newRow("en_US chooses English") << QStringList{"en-US", "en-Latn-US", "en"} << en << en;
    QTest::newRow("en_GB, with no bare en, chooses English")
        << QStringList{"en-GB", "en-Latn-GB"} << en << en;
    QTest::newRow("zh_CN chooses Chinese") << QStringList{"zh-CN", "zh-Hans-CN", "zh"} << zh << zh;
    QTest::newRow("zh_TW chooses Chinese too") << QStringList{"zh-TW", "zh-Hant-TW"} << zh << zh;
    QTest::newRow("a language with no translation falls back to English")
        << QStringList{"de-DE", "de-Latn-DE", "de"} << en << en;
    QTest::newRow("the first language of the list that has a translation wins")
        << QStringList{"de-DE", "de", "zh-CN", "zh", "en"} << zh << zh;
}

void tst_Translation::languageChoice() {
    QFETCH(QStringList, uiLanguages);
    QFETCH(QLocale::Language, panel);
    QFETCH(QLocale::Language, board);

    QCOMPARE(ChooseLanguage(kPanelTexts, uiLanguages), panel);
    QCOMPARE(ChooseLanguage(board::kBoardTexts, uiLanguages), board);
}

void tst_Translation::languageOption_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<CommandLine::Action>("action");
    QTest::addColumn<QLocale::Language>("language");

    const auto refuse = CommandLine::Action::Refuse;
    const auto run = CommandLine::Action::Run;
    QTest::newRow("without --language the system chooses")
        << QStringList{} << run << QLocale::AnyLanguage;
    QTest::newRow("--language en") << QStringList{"--language", "en"} << run << QLocale::English;
    QTest::newRow("--language zh") << QStringList{"--language", "zh"} << run << QLocale::Chinese;
    QTest::newRow("--language=en_GB names English")
        << QStringList{"--language=en_GB"} << run << QLocale::English;
    QTest::newRow("a language with no translation is refused")
        << QStringList{"--language", "fr"} << refuse << QLocale::AnyLanguage;
    QTest::newRow("a code that names no language is refused")
        << QStringList{"--language", "english"} << refuse << QLocale::AnyLanguage;
    QTest::newRow("an empty --language is refused")
        << QStringList{"--language", ""} << refuse << QLocale::AnyLanguage;
}

void tst_Translation::languageOption() {
    QFETCH(QStringList, arguments);
    QFETCH(CommandLine::Action, action);
    QFETCH(QLocale::Language, language);

    const CommandLine parsed = ParseCommandLine(QStringList{"quillon"} + arguments);
    QCOMPARE(parsed.action, action);
    QCOMPARE(parsed.language, language);
    if (action == CommandLine::Action::Refuse)
        QVERIFY2(parsed.text.startsWith("--language takes zh (Chinese) or en (English); got"),
                 qPrintable(parsed.text));
    QVERIFY(ParseCommandLine({"quillon", "--help"}).text.contains("--language <language>"));
}

void tst_Translation::englishShowsNoChinese_data() {
    QTest::addColumn<Situation>("situation");

    QTest::newRow("help") << Situation::Help;
    QTest::newRow("a single-channel value that is not a number") << Situation::BadSingleValue;
    QTest::newRow("a four-channel value that is not a number") << Situation::BadFourValue;
    QTest::newRow("an eight-channel code out of range") << Situation::BadEightCode;
    QTest::newRow("no port at start-up") << Situation::NoPortAtStartUp;
    QTest::newRow("a Send with no port") << Situation::SendWithNoPort;
    QTest::newRow("the port lost") << Situation::PortLost;
    QTest::newRow("a frame longer than the line's queue") << Situation::FrameTooLong;
    QTest::newRow("the line still busy with an earlier frame") << Situation::LineBusy;
    QTest::newRow("a chosen port that fails") << Situation::ChoiceFailed;
    QTest::newRow("a chosen port that fails with none open") << Situation::ChoiceFailedWithNoPort;
    QTest::newRow("a message box") << Situation::MessageBox;
    QTest::newRow("the other-device dialog") << Situation::OtherDeviceDialog;
}

void tst_Translation::englishShowsNoChinese() {
    QFETCH(Situation, situation);
    const UiTranslation english(kPanelTexts, QLocale::English);
    QVERIFY(english.hasTexts());
    PanelHarness panel;
    QVERIFY(panel.isValid());
    panel.setListedPorts({{"ttyUSB0", "/dev/ttyUSB0", "USB Serial", "QinHeng", 0x1a86, 0x7523}});
    panel.setDeviceAnswer(panel.filePath("missing"));
    const bool noPort = situation == Situation::NoPortAtStartUp ||
                        situation == Situation::SendWithNoPort ||
                        situation == Situation::ChoiceFailedWithNoPort;
    QVERIFY(panel.open(noPort ? panel.filePath("unplugged") : panel.boardPath()));
    QTRY_VERIFY(noPort ? !panel.messages().isEmpty() : panel.controller().link().isOpen());

    const QString megabyte(1 << 20, u'7');
    QStringList texts;
    switch (situation) {
    case Situation::Help:
        panel.form().helpAction()->trigger();
        break;
    case Situation::BadSingleValue:
    case Situation::BadFourValue:
    case Situation::BadEightCode: {
        const int box = situation == Situation::BadSingleValue ? 1
                        : situation == Situation::BadFourValue ? 8
                                                               : 16;
        panel.form().text1(box)->setText(box == 16 ? "300" : "abc");
        QVERIFY(panel.click(box == 1 ? "Command1(0)" : box == 8 ? "Command2" : "Command3"));
        break;
    }
    case Situation::NoPortAtStartUp:
        break;
    case Situation::SendWithNoPort:
        QVERIFY(panel.click("Command4"));
        break;
    case Situation::PortLost:
        panel.board().hangUp();
        QTRY_VERIFY(!panel.messages().isEmpty());
        break;
    case Situation::FrameTooLong:
    case Situation::LineBusy:
        // The board reads nothing, so a long frame stays queued behind what the pty holds.
        panel.form().text1(0)->setText(situation == Situation::LineBusy ? megabyte.chopped(100)
                                                                        : megabyte);
        QVERIFY(panel.click("Command1(0)"));
        if (situation == Situation::LineBusy)
            QVERIFY(panel.click("Command1(0)"));
        break;
    case Situation::ChoiceFailed:
    case Situation::ChoiceFailedWithNoPort:
        QVERIFY(panel.choosePort(PortMenu::tr(PortMenu::kOtherDeviceText)));
        break;
    case Situation::MessageBox:
        texts = TextsOfNextDialog([&] {
            MessageBoxPresenter (&panel.form())({OperatorMessage::Kind::Warning, "Port lost."});
        });
        break;
    case Situation::OtherDeviceDialog:
        texts = TextsOfNextDialog([&] { AskForDevicePath(&panel.form()); });
        break;
    }

    for (const OperatorMessage& message : panel.messages())
        texts << message.text;
    QVERIFY(!texts.isEmpty());
    texts << ShownTexts(&panel.form()) << panel.openPortMenu();
    for (const QString& text : texts)
        QVERIFY2(ChineseIn(text).isEmpty(), qPrintable(text.left(400)));
}

void tst_Translation::underCTheCaptionsAreTheOriginals() {
    const Form1 original;
    const QString originalWarning = NoPortWarning();
    const UiTranslation underC(kPanelTexts, ChooseLanguage(kPanelTexts, {"C"}));
    const Form1 translated;
    QCOMPARE(Captions(translated), Captions(original));
    QCOMPARE(Captions(original).value("Frame4"), QStringLiteral("控制板软件复位"));
    QVERIFY(originalWarning.contains("未能打开串口"));
    QCOMPARE(NoPortWarning(), originalWarning);
}

void tst_Translation::englishCaptionsFitTheirControls_data() {
    QTest::addColumn<QString>("name");

    const UiTranslation english(kPanelTexts, QLocale::English);
    const Form1 form;
    for (QWidget* control : CaptionedControls(form)) {
        QString caption;
        CaptionInk(control, &caption);
        QTest::addRow("%s \"%s\"", qPrintable(control->objectName()), qPrintable(caption))
            << control->objectName();
    }
}

void tst_Translation::englishCaptionsFitTheirControls() {
    QFETCH(QString, name);
    const UiTranslation english(kPanelTexts, QLocale::English);
    Form1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QWidget* control = form.findChild<QWidget*>(name);

    QString caption;
    const QRect ink = CaptionInk(control, &caption);
    QVERIFY2(!ink.isNull(), "the caption runs past the room its style gives it");
    // No control stacked in front covers any of it.
    QWidget* client = form.centralWidget();
    const QRect inClient = ink.translated(control->mapTo(client, QPoint(0, 0)));
    for (int y = inClient.top(); y <= inClient.bottom(); ++y) {
        for (int x = inClient.left(); x <= inClient.right(); ++x)
            QVERIFY2(client->childAt(x, y) == control,
                     qPrintable(QStringLiteral("covered at %1,%2").arg(x).arg(y)));
    }
}

void tst_Translation::englishLayoutIsTheSame() {
    const Form1 original;
    const UiTranslation english(kPanelTexts, QLocale::English);
    Form1 translated;
    translated.show();
    QVERIFY(QTest::qWaitForWindowExposed(&translated));
    QCOMPARE(translated.centralWidget()->size(), QSize(426, 549));
    const QList<QWidget*> controls = CaptionedControls(original);
    QCOMPARE(CaptionedControls(translated).size(), controls.size());
    for (QWidget* control : original.centralWidget()->findChildren<QWidget*>()) {
        const QWidget* twin = translated.findChild<QWidget*>(control->objectName());
        QCOMPARE(twin->geometry(), control->geometry());
        QCOMPARE(twin->font(), control->font());
    }
    QVERIFY(Captions(translated) != Captions(original));
}

void tst_Translation::boardWindow_data() {
    QTest::addColumn<QStringList>("uiLanguages");
    QTest::addColumn<QStringList>("titles");

    QTest::newRow("C shows the board in Chinese")
        << QStringList{"C"}
        << QStringList{"Quillon 虚拟控制板", "输出电压（0-5 V）", "最近30秒（每条0-5 V）",
                       "收到的指令"};
    QTest::newRow("en_US shows the board as written")
        << QStringList{"en-US", "en"}
        << QStringList{"Quillon virtual board", "Outputs (0 to 5 V)",
                       "Last 30 s (0 to 5 V a strip)", "Commands received"};
}

void tst_Translation::boardWindow() {
    QFETCH(QStringList, uiLanguages);
    QFETCH(QStringList, titles);

    const UiTranslation translation(board::kBoardTexts,
                                    ChooseLanguage(board::kBoardTexts, uiLanguages));
    const board::VirtualBoard virtualBoard(board::ReplyMode::Silent);
    const board::BoardWindow window(virtualBoard);
    QStringList shown{window.windowTitle()};
    for (const QGroupBox* group : window.findChildren<QGroupBox*>())
        shown << group->title();
    QCOMPARE(shown, titles);
}

void tst_Translation::translationsAreFinished_data() {
    QTest::addColumn<QString>("sources");
    QTest::addColumn<bool>("chinese");

    // Every file there: the panel's translate panel/, the board's tools/.
    const QDir translations(QStringLiteral(QUILLON_SOURCE_DIR "/translations"));
    for (const QString& file : translations.entryList({"*.ts"}, QDir::Files)) {
        const QString folder = file.startsWith("quillon-board_") ? "tools" : "panel";
        QTest::addRow("%s", qPrintable(file)) << folder + u'/' + file << file.contains("_zh");
    }
    QVERIFY(translations.exists("quillon_en.ts") && translations.exists("quillon-board_zh_CN.ts"));
}

// lupdate, run on the code into a copy of the file, marks what is new or changed as unfinished
// and what the code no longer says as vanished.
void tst_Translation::translationsAreFinished() {
    QFETCH(QString, sources);
    QFETCH(bool, chinese);
    const QString folder = QStringLiteral(QUILLON_SOURCE_DIR "/") + sources.section(u'/', 0, 0);
    const QString file = sources.section(u'/', 1);
    QTemporaryDir dir;
    const QString copy = dir.filePath(file);
    QVERIFY(QFile::copy(QStringLiteral(QUILLON_SOURCE_DIR "/translations/") + file, copy));
    QProcess lupdate;
    lupdate.start(QStringLiteral(QUILLON_LUPDATE), {"-locations", "none", folder, "-ts", copy});
    QVERIFY(lupdate.waitForFinished(60000));
    QCOMPARE(lupdate.exitCode(), 0);

    QFile ts(copy);
    QVERIFY(ts.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&ts);
    QString source;
    int messages = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"source") {
            source = xml.readElementText();
        } else if (xml.name() == u"translation") {
            ++messages;
            const QString type = xml.attributes().value("type").toString();
            const QString translation = xml.readElementText();
            QVERIFY2(type.isEmpty(), qPrintable(type + ": " + source));
            QVERIFY2(ChineseIn(translation).isEmpty() != chinese, qPrintable(translation));
        }
    }
    QVERIFY(!xml.hasError());
    QVERIFY(messages > 0);
}

QTEST_MAIN(tst_Translation)
#include "tst_translation.moc"
