#include "board_window.h"
#include "command_line.h"
#include "panel_harness.h"
#include "window_language.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyleOptionGroupBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

using namespace quillon;
using quillon::testing::PanelHarness;

namespace {

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

// What brings the panel to a situation; returns the texts of a dialog it showed, if any.
using Drive = std::function<QStringList(PanelHarness&)>;

// Types `text` into the box and clicks `button` (none when empty) `clicks` times.
Drive Typing(testing::BoxRole box, const QString& text, const QString& button, int clicks = 1) {
    return [=](PanelHarness& panel) {
        box(panel.form())->setText(text);
        for (int click = 0; click < clicks && !button.isEmpty(); ++click)
            panel.click(button);
        return QStringList();
    };
}

// Starts logging to `file` (in the harness's folder unless absolute) from the log menu.
Drive Logging(const QString& file) {
    return [=](PanelHarness& panel) {
        panel.setLogAnswer(file.startsWith(u'/') ? file : panel.filePath(file));
        panel.chooseRecordItem(RecordMenu::tr(RecordMenu::kStartText));
        return QStringList();
    };
}

// Plays `text` from the log menu; while it plays, the progress dialog's texts are taken and a
// Send is tried, then the play is stopped.
Drive Playing(const QByteArray& text, bool whilePlaying) {
    return [=](PanelHarness& panel) {
        QFile file(panel.filePath("sequence.txt"));
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            return QStringList();
        file.close();
        panel.setSequenceAnswer(file.fileName());
        panel.chooseRecordItem(RecordMenu::tr(RecordMenu::kPlayText));
        QStringList texts;
        if (!whilePlaying)
            return texts;
        auto* progress = panel.form().findChild<QProgressDialog*>();
        if (!progress)
            return QStringList();
        texts = ShownTexts(progress);
        panel.controller().sendReset();
        panel.controller().stopPlaying();
        return texts;
    };
}

} // namespace

Q_DECLARE_METATYPE(Drive)

class tst_Translation : public QObject {
    Q_OBJECT

private slots:
    void languageChoice_data();
    void languageChoice();
    void englishShowsNoChinese_data();
    void englishShowsNoChinese();
    void underCTheCaptionsAreTheOriginals();
    void englishCaptionsFitTheirControls_data();
    void englishCaptionsFitTheirControls();
    void englishLayoutIsTheSame();
    void captionFaces_data();
    void captionFaces();
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

void tst_Translation::englishShowsNoChinese_data() {
    QTest::addColumn<bool>("portOpens");
    QTest::addColumn<Drive>("drive");
    QTest::addColumn<int>("messages");

    const QString megabyte(1 << 20, u'7');
    const Drive choose = [](PanelHarness& panel) {
        panel.choosePort(PortMenu::tr(PortMenu::kOtherDeviceText));
        return QStringList();
    };
    QTest::newRow("help") << true << Drive([](PanelHarness& panel) {
        panel.form().helpAction()->trigger();
        return QStringList();
    }) << 1;
    QTest::newRow("a single-channel value that is not a number")
        << true << Typing(testing::kSingleValueBox, "abc", "Command1(0)") << 1;
    QTest::newRow("a four-channel value that is not a number")
        << true << Typing(testing::kFourValueBox<2>, "x", "Command2") << 1;
    QTest::newRow("an eight-channel code out of range")
        << true << Typing(testing::kEightCodeBox<2>, "300", "Command3") << 1;
    QTest::newRow("no port at start-up")
        << false << Typing(testing::kSingleChannelBox, "0", "") << 1;
    QTest::newRow("a Send with no port")
        << false << Typing(testing::kSingleChannelBox, "0", "Command4") << 2;
    QTest::newRow("the port lost") << true << Drive([](PanelHarness& panel) {
        panel.board().hangUp();
        return QStringList();
    }) << 1;
    // The board reads nothing, so a long frame stays queued behind what the pty holds.
    QTest::newRow("a frame longer than the line's queue")
        << true << Typing(testing::kSingleChannelBox, megabyte, "Command1(0)") << 1;
    QTest::newRow("the line still busy with an earlier frame")
        << true << Typing(testing::kSingleChannelBox, megabyte.chopped(100), "Command1(0)", 2) << 1;
    QTest::newRow("a chosen port that fails") << true << choose << 1;
    QTest::newRow("a chosen port that fails with none open") << false << choose << 2;
    QTest::newRow("a chosen server that refuses the connection")
        << true << Drive([](PanelHarness& panel) {
               panel.setDeviceAnswer(QStringLiteral("tcp://127.0.0.1:1"));
               panel.choosePort(PortMenu::tr(PortMenu::kOtherDeviceText));
               return QStringList();
           })
        << 1;
    QTest::newRow("a message box") << true << Drive([](PanelHarness& panel) {
        const MessagePresenter present = MessageBoxPresenter(&panel.form());
        return TextsOfNextDialog([&] { present({OperatorMessage::Kind::Warning, "Port lost."}); });
    }) << 0;
    QTest::newRow("the other-device dialog") << true << Drive([](PanelHarness& panel) {
        return TextsOfNextDialog([&] { AskForDevicePath(&panel.form()); });
    }) << 0;
    QTest::newRow("the dialogs of the log menu") << true << Drive([](PanelHarness& panel) {
        return TextsOfNextDialog([&] { AskForLogPath(&panel.form(), ProposedLogPath()); }) +
               TextsOfNextDialog([&] { AskForSequencePath(&panel.form()); });
    }) << 0;
    QTest::newRow("a log that cannot be opened") << true << Logging("missing/session.log") << 1;
    QTest::newRow("a log that cannot be written any more") << true << Logging("/dev/full") << 1;
    QTest::newRow("a sequence with a bad line") << true << Playing("reset\nblink\n", false) << 1;
    QTest::newRow("a sequence playing, and a Send meanwhile")
        << true << Playing(QByteArray(400, '\n') + QByteArray("reset\n").repeated(400), true) << 1;
}

void tst_Translation::englishShowsNoChinese() {
    QFETCH(bool, portOpens);
    QFETCH(Drive, drive);
    QFETCH(int, messages);
    const UiTranslation english(kPanelTexts, QLocale::English);
    QVERIFY(english.hasTexts());
    PanelHarness panel;
    QVERIFY(panel.isValid());
    panel.setListedPorts({{"ttyUSB0", "/dev/ttyUSB0", "USB Serial", "QinHeng", 0x1a86, 0x7523}});
    panel.setDeviceAnswer(panel.filePath("missing"));
    QVERIFY(panel.open(portOpens ? panel.boardPath() : panel.filePath("unplugged")));
    QTRY_VERIFY(portOpens ? panel.controller().link().isOpen() : !panel.messages().isEmpty());

    QStringList texts = drive(panel);
    QTRY_COMPARE(panel.messages().size(), messages);
    QVERIFY(!texts.isEmpty() || messages > 0);
    for (const OperatorMessage& message : panel.messages())
        texts << message.text;
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
        QCOMPARE(twin->font().pointSizeF(), control->font().pointSizeF());
        QCOMPARE(twin->font().weight(), control->font().weight());
    }
    QVERIFY(Captions(translated) != Captions(original));
}

// The Song faces draw Latin letters poorly ("Value" reads "Va1ue"): the English captions take a
// clear Latin face, with the Song faces behind it for any Han text.
void tst_Translation::captionFaces_data() {
    QTest::addColumn<QLocale::Language>("language");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("faces"); // the face drawn is one of these

    const QStringList song{"宋体", "SimSun", "AR PL UMing CN"};
    for (const char* name : {"Label1(3)", "Text1(1)", "Frame3", "Command1(0)", "Command4"}) {
        QTest::addRow("the English %s in DejaVu Sans", name)
            << QLocale::English << name << QStringList{"DejaVu Sans"};
        QTest::addRow("the Chinese %s in the Song face", name) << QLocale::Chinese << name << song;
    }
}

void tst_Translation::captionFaces() {
    QFETCH(QLocale::Language, language);
    QFETCH(QString, name);
    QFETCH(QStringList, faces);
    const UiTranslation translation(kPanelTexts, language);
    const Form1 form;
    const QFont font = form.findChild<QWidget*>(name)->font();

    QVERIFY2(faces.contains(QFontInfo(font).family()), qPrintable(QFontInfo(font).family()));
    QCOMPARE(font.families().mid(font.families().size() - 3),
             QStringList({"宋体", "SimSun", "AR PL UMing CN"}));
    QCOMPARE(font.pointSizeF(), 10.5);
}

void tst_Translation::translationsAreFinished_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("sources");
    QTest::addColumn<bool>("chinese");

    // Every file there: the panel's translate panel/ and the port failures' table in serial/,
    // the board's tools/.
    const QDir translations(QStringLiteral(QUILLON_SOURCE_DIR "/translations"));
    const QStringList panel{"panel", "serial/port_error_words.h"};
    for (const QString& file : translations.entryList({"*.ts"}, QDir::Files)) {
        const bool board = file.startsWith("quillon-board_");
        QTest::addRow("%s", qPrintable(file))
            << file << (board ? QStringList{"tools"} : panel) << file.contains("_zh");
    }
    QVERIFY(translations.exists("quillon_en.ts") && translations.exists("quillon-board_zh_CN.ts"));
}

// lupdate, run on the code into a copy of the file, marks what is new or changed as unfinished
// and what the code no longer says as vanished.
void tst_Translation::translationsAreFinished() {
    QFETCH(QString, file);
    QFETCH(QStringList, sources);
    QFETCH(bool, chinese);
    QStringList arguments{"-locations", "none"};
    for (const QString& source : sources)
        arguments << QStringLiteral(QUILLON_SOURCE_DIR "/") + source;
    QTemporaryDir dir;
    const QString copy = dir.filePath(file);
    QVERIFY(QFile::copy(QStringLiteral(QUILLON_SOURCE_DIR "/translations/") + file, copy));
    QProcess lupdate;
    lupdate.start(QStringLiteral(QUILLON_LUPDATE), arguments << "-ts" << copy);
    QVERIFY(lupdate.waitForFinished(60000));
    QCOMPARE(lupdate.exitCode(), 0);

    QFile ts(copy);
    QVERIFY(ts.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(ts.readAll());
    static const QRegularExpression unfinished(
        "<source>([^<]*)</source>(?:(?!</message>).)*<translation type=\"(\\w+)\"",
        QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = unfinished.match(text);
    QVERIFY2(!match.hasMatch(), qPrintable(match.captured(2) + ": " + match.captured(1)));
    static const QRegularExpression translation("<translation>([^<]*)</translation>");
    int messages = 0;
    for (const QRegularExpressionMatch& found : translation.globalMatch(text)) {
        ++messages;
        QVERIFY2(ChineseIn(found.captured(1)).isEmpty() != chinese, qPrintable(found.captured(1)));
    }
    QVERIFY(messages > 0);
}

QTEST_MAIN(tst_Translation)
#include "tst_translation.moc"
