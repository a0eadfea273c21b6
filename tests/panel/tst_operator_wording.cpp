#include "command_line.h"
#include "form1.h"
#include "operator_wording.h"
#include "window_language.h"

#include <QtTest>

using namespace quillon;

Q_DECLARE_METATYPE(quillon::PortError)

class tst_OperatorWording : public QObject {
    Q_OBJECT

private slots:
    void failureText_data();
    void failureText();
    void outsideTextIsQuotedSafely_data();
    void outsideTextIsQuotedSafely();
    void misfitsText_data();
    void misfitsText();
};

// Every kind of port failure has its own words in the panel's Chinese and in its English.
void tst_OperatorWording::failureText_data() {
    QTest::addColumn<PortError>("error");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<QString>("chinese");
    QTest::addColumn<QString>("english");

    const QString port = "/dev/ttyUSB0";
    QTest::newRow("a missing device") << PortError::NotFound << port << ""
                                      << "/dev/ttyUSB0：设备不存在"
                                      << "/dev/ttyUSB0: no such device";
    QTest::newRow("an unknown host") << PortError::HostNotFound << "tcp://rig:7000"
                                     << ""
                                     << "tcp://rig:7000：找不到该主机"
                                     << "tcp://rig:7000: no such host";
    QTest::newRow("a device held by another program")
        << PortError::Permission << port << ""
        << "/dev/ttyUSB0：没有访问权限，或设备已被其他程序占用"
        << "/dev/ttyUSB0: permission denied, or another program holds the device";
    QTest::newRow("a device already open") << PortError::AlreadyOpen << port << ""
                                           << "/dev/ttyUSB0：设备已被打开"
                                           << "/dev/ttyUSB0: the device is already open";
    QTest::newRow("a port not open") << PortError::NotOpen << port << ""
                                     << "/dev/ttyUSB0：串口未打开"
                                     << "/dev/ttyUSB0: the port is not open";
    QTest::newRow("a write error") << PortError::Write << port << ""
                                   << "/dev/ttyUSB0：写入出错"
                                   << "/dev/ttyUSB0: write error";
    QTest::newRow("a read error") << PortError::Read << port << ""
                                  << "/dev/ttyUSB0：读取出错"
                                  << "/dev/ttyUSB0: read error";
    QTest::newRow("a device gone") << PortError::Gone << port << ""
                                   << "/dev/ttyUSB0：设备已断开或不可用"
                                   << "/dev/ttyUSB0: the device was unplugged or is unavailable";
    QTest::newRow("settings the server does not take")
        << PortError::Unsupported << port << ""
        << "/dev/ttyUSB0：设备或服务器不支持所需的串口设置"
        << "/dev/ttyUSB0: the device or the server does not take the serial settings needed";
    QTest::newRow("a connection refused") << PortError::ConnectionRefused << "tcp://127.0.0.1:1"
                                          << ""
                                          << "tcp://127.0.0.1:1：服务器拒绝连接"
                                          << "tcp://127.0.0.1:1: the server refused the connection";
    QTest::newRow("a timeout") << PortError::Timeout << port << ""
                               << "/dev/ttyUSB0：操作超时"
                               << "/dev/ttyUSB0: timed out";
    QTest::newRow("an unknown error") << PortError::Unknown << port << ""
                                      << "/dev/ttyUSB0：未知错误"
                                      << "/dev/ttyUSB0: unknown error";
    QTest::newRow("no error named reads as unknown") << PortError::None << port << ""
                                                     << "/dev/ttyUSB0：未知错误"
                                                     << "/dev/ttyUSB0: unknown error";
    QTest::newRow("the system's words follow in brackets")
        << PortError::NotFound << port << "No such file or directory"
        << "/dev/ttyUSB0：设备不存在（No such file or directory）"
        << "/dev/ttyUSB0: no such device (No such file or directory)";
    QTest::newRow("no device is named as such") << PortError::NotOpen << ""
                                                << ""
                                                << "（未指定设备）：串口未打开"
                                                << "(no device given): the port is not open";
}

void tst_OperatorWording::failureText() {
    QFETCH(PortError, error);
    QFETCH(QString, device);
    QFETCH(QString, detail);
    QFETCH(QString, chinese);
    QFETCH(QString, english);

    const PortFailure failure{device, error, detail};
    QCOMPARE(FailureText(failure), chinese);
    const UiTranslation translation(kPanelTexts, QLocale::English);
    QVERIFY(translation.hasTexts());
    QCOMPARE(FailureText(failure), english);
}

// What the operator typed or chose is quoted with control characters escaped and a long text
// cut short: a path keeps its end, a value its start.
void tst_OperatorWording::outsideTextIsQuotedSafely_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("valueShown");
    QTest::addColumn<QString>("pathShown");

    QTest::newRow("short texts are quoted whole") << "abc"
                                                  << "/tmp/rig.log"
                                                  << "“abc”"
                                                  << "“/tmp/rig.log”";
    QTest::newRow("a control character is escaped") << "1\x1b[2J"
                                                    << "/tmp/a\tb"
                                                    << "“1\\x1b[2J”"
                                                    << "“/tmp/a\\tb”";
    QTest::newRow("a long value keeps its start, a long path its end")
        << QString(100, u'7') << "/" + QString(100, u'd') + "/rig.log"
        << "“" + QString(40, u'7') + "…”（共100个字符）"
        << "“…" + QString(32, u'd') + "/rig.log”（共109个字符）";
}

void tst_OperatorWording::outsideTextIsQuotedSafely() {
    QFETCH(QString, typed);
    QFETCH(QString, path);
    QFETCH(QString, valueShown);
    QFETCH(QString, pathShown);

    const ValueBoxName name{"单通道控制", "设定值", "设定值必须为4位数，单位为V"};
    const QString badValue = BadValueText(name, typed, ConversionError::Kind::NotANumber);
    QVERIFY2(badValue.startsWith("单通道控制：设定值" + valueShown + "不是数字。"),
             qPrintable(badValue));
    const QString logFailed = LogNotStartedText(path, "Permission denied");
    QVERIFY2(logFailed.contains(" " + pathShown + "（Permission denied）"), qPrintable(logFailed));
}

// A frame sent as typed names, in each language, every field the board will not take.
void tst_OperatorWording::misfitsText_data() {
    QTest::addColumn<QStringList>("channels"); // one: single-channel; four: four-channel
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QString>("chinese");
    QTest::addColumn<QString>("english");

    QTest::newRow("a fitting frame is not worth a word")
        << QStringList{"0"} << QStringList{"1.100"} << QString() << QString();
    QTest::newRow("single-channel channel 9 and 12.5 V")
        << QStringList{"9"} << QStringList{"12.5"}
        << "单通道控制：命令已照所填内容发出，但控制板不会接受：\n"
           "· 通道号“9”：控制板只有通道0到7\n"
           "· 设定值“12.5”：超过这条指令的满量程9.999V"
        << "Single channel: the command went out as typed, but the board will not take it:\n"
           "· channel “9”: the board has channels 0 to 7\n"
           "· value “12.5”: above this command's full scale of 9.999 V";
    QTest::newRow("four-channel fields named by column")
        << QStringList{"0", "1", "2", "3"} << QStringList{"1.00", "-1", "3.86", "4.005"}
        << "4通道控制：命令已照所填内容发出，但控制板不会接受：\n"
           "· 第2列的设定值“-1”：控制板不接受负电压\n"
           "· 第4列的设定值“4.005”：比这条指令的最小步长0.01V更细"
        << "4 channels: the command went out as typed, but the board will not take it:\n"
           "· column 2's value “-1”: the board takes no negative voltage\n"
           "· column 4's value “4.005”: finer than this command's step of 0.01 V";
}

void tst_OperatorWording::misfitsText() {
    QFETCH(QStringList, channels);
    QFETCH(QStringList, values);
    QFETCH(QString, chinese);
    QFETCH(QString, english);

    std::array<ChannelEntry, 4> entries;
    for (qsizetype k = 0; k < channels.size(); ++k)
        entries[std::size_t(k)] = {channels[k].toStdString(), false, values[k].toStdString()};
    const bool byColumn = channels.size() == 4;
    const std::vector<Misfit> misfits =
        byColumn ? FourChannelMisfits(entries) : SingleChannelMisfits(entries[0]);
    const auto text = [&](const char* group) {
        return MisfitsText(Form1::tr(group), misfits, byColumn);
    };
    const char* group = byColumn ? "4通道控制" : "单通道控制";
    QCOMPARE(text(group), chinese);
    const UiTranslation translation(kPanelTexts, QLocale::English);
    QCOMPARE(text(group), english);
}

QTEST_MAIN(tst_OperatorWording)
#include "tst_operator_wording.moc"
