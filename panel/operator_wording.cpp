#include "operator_wording.h"

#include "form1.h"
#include "play_schedule.h"
#include "port_error_words.h"
#include "quoted_text.h"

#include <QCoreApplication>

#include <chrono>

namespace quillon {

namespace {

class OperatorWording {
    Q_DECLARE_TR_FUNCTIONS(quillon::OperatorWording)
};

// The board's description, as the board's documentation words it.
constexpr char kBoardDescription[] = QT_TRANSLATE_NOOP(
    "quillon::OperatorWording",
    "本控制板带有8路8位D/A转换专用芯片和精密电压基准，控制输出电压精度误差不大于0.01V。"
    "通过电脑串口（或其他具有串口的单片机、PLC、DSP）发个简单的指令，便可以方便地控制8个数模转换通"
    "道输出设定的电压值。"
    "输出电压范围：0-5V（指令控制）。"
    "波特率9600，也可按用户要求定制。"
    "广泛用于通过电压控制的各个工控领域，如电机调速、压控振荡、伺服控制等。"
    "工作方式有3种:1、 "
    "单通道控制模式：通过串口发送一条指令，一次控制一个数模转换通道输出设定的电压值。"
    "2、 4通道控制模式：串口发送一条指令，一次可以控制四个数模转换通道分别输出各自设定的电压值。"
    "同于同步设定4路输出电压。"
    "3、 8通道控制模式：串口发送一条指令，一次可以控制八个数模转换通道分别输出各自设定的电压值。"
    "同于同步设定8路输出电压。"
    "  所有模数转换输出通道均带有射极跟随缓冲。"
    "其中有2路带有可调运算放大器，输出电压可以按要求进行放大（比如放大倍数调为2倍的话，则输出电压可"
    "以在1-10V之间进行变化）。");

// Notes on this panel that close the help text.
constexpr char kPanelNotes[] = QT_TRANSLATE_NOOP(
    "quillon::OperatorWording",
    "本面板的串口设置为9600波特、8位数据位、无校验、1位停止位（9600,N,8,1）。"
    "单通道、4通道和8通道三种指令分别由各组的“发送”按钮发出，“复位”按钮发送软件复位指令“U”。"
    "面板上的“输出x2”复选框为保留功能，暂不可用，其增益标志始终为0。");

QString Quote(const TextExcerpt& excerpt, bool pathEnd) {
    const QString shown = QString::fromStdString(excerpt.text);
    if (!excerpt.cut)
        return OperatorWording::tr("“%1”", "a text quoted in a warning").arg(shown);
    if (pathEnd)
        //: %1 the end of a long path, %2 how many characters the whole path has
        return OperatorWording::tr("“…%1”（共%2个字符）").arg(shown).arg(excerpt.length);
    //: %1 the start of a long text, %2 how many characters the whole text has
    return OperatorWording::tr("“%1…”（共%2个字符）").arg(shown).arg(excerpt.length);
}

// A text from outside quoted in a warning: control characters escaped, a long text cut short
// with its full length, so a warning stays readable whatever was typed or read.
QString Quoted(const QString& text) {
    return Quote(Excerpt(text.toStdString()), false);
}

// A path keeps its end, which names the file.
QString QuotedPath(const QString& path) {
    return Quote(PathExcerpt(path.toStdString()), true);
}

QString ErrorReason(PortError error) {
    return QCoreApplication::translate(kPortErrorWordsContext, WordsFor(error).chinese);
}

QString DeviceName(const QString& device) {
    return device.isEmpty() ? OperatorWording::tr("（未指定设备）") : device;
}

QString AvailablePortsText(const QStringList& ports) {
    if (ports.isEmpty())
        return OperatorWording::tr("系统未报告任何串口。");
    return OperatorWording::tr("系统报告的串口：%1")
        .arg(ports.join(OperatorWording::tr("、", "list separator")));
}

QString ConversionReason(ConversionError::Kind kind) {
    return kind == ConversionError::Kind::NotANumber ? OperatorWording::tr("不是数字")
                                                     : OperatorWording::tr("超出范围");
}

QString MisfitField(const Misfit& misfit, bool byColumn) {
    const int column = int(misfit.entry) + 1;
    if (misfit.kind == Misfit::Kind::Channel)
        return byColumn ? OperatorWording::tr("第%1列的通道号").arg(column)
                        : OperatorWording::tr("通道号");
    return byColumn ? OperatorWording::tr("第%1列的设定值").arg(column)
                    : OperatorWording::tr("设定值");
}

QString MisfitReason(const Misfit& misfit) {
    const QString limit = QString::fromStdString(misfit.limit);
    switch (misfit.kind) {
    case Misfit::Kind::Channel:
        //: %1 and %2 the board's first and last channel
        return OperatorWording::tr("控制板只有通道%1到%2")
            .arg(layout::kFirstChannel)
            .arg(layout::kLastChannel);
    case Misfit::Kind::NegativeValue:
        return OperatorWording::tr("控制板不接受负电压");
    case Misfit::Kind::ValueTooLarge:
        return OperatorWording::tr("超过这条指令的满量程%1V").arg(limit);
    case Misfit::Kind::ValueTooFine:
        return OperatorWording::tr("比这条指令的最小步长%1V更细").arg(limit);
    }
    return {};
}

QString Seconds(std::chrono::nanoseconds duration) {
    return QString::number(std::chrono::duration<double>(duration).count(), 'f', 1);
}

} // namespace

QString HelpText() {
    //: The board's description, then the notes on this panel, joined as sentences are.
    return OperatorWording::tr("%1%2", "help text")
        .arg(OperatorWording::tr(kBoardDescription), OperatorWording::tr(kPanelNotes));
}

QString FailureText(const PortFailure& failure) {
    if (failure.detail.isEmpty())
        return OperatorWording::tr("%1：%2", "port failure: device, reason")
            .arg(DeviceName(failure.device), ErrorReason(failure.error));
    return OperatorWording::tr("%1：%2（%3）", "port failure: device, reason, system's words")
        .arg(DeviceName(failure.device), ErrorReason(failure.error), failure.detail);
}

QString NoPortText(const QList<PortFailure>& failures, const QStringList& systemPorts) {
    QStringList lines{
        OperatorWording::tr("未能打开串口。面板照常可用，但命令要等串口打开后才能发出。"),
        QString(), OperatorWording::tr("已尝试的设备：")};
    for (const PortFailure& failure : failures)
        lines << QStringLiteral("· %1").arg(FailureText(failure));
    lines << QString()
          << OperatorWording::tr(
                 "选择设备：在“串口”菜单中随时可选，列表里没有的设备用“其他设备…”输入路径。"
                 "也可以在启动时指定：quillon --port /dev/ttyUSB0，或启动前设置环境变量 "
                 "QUILLON_PORT1（备用设备为 QUILLON_PORT2），或用 ./run /dev/ttyUSB0 启动。")
          << QString() << AvailablePortsText(systemPorts);
    return lines.join(QLatin1Char('\n'));
}

QString WriteFailedText(const QList<PortFailure>& failures) {
    QStringList reasons;
    for (const PortFailure& failure : failures)
        reasons << FailureText(failure);
    return OperatorWording::tr(
               "命令未发出：%1。\n连接好控制板后再发送一次即可，面板会重新打开串口。")
        .arg(reasons.join(OperatorWording::tr("；", "separator between reasons")));
}

QString LineBusyText(qint64 queuedBytes, qint64 maxQueuedBytes) {
    if (queuedBytes == 0)
        return OperatorWording::tr(
                   "命令未发出：这条命令超过%1字节，串口一次最多只能排队发送这么多。")
            .arg(maxQueuedBytes);
    return OperatorWording::tr("命令未发出：串口仍在发送前面的命令（还有%1字节未发出），"
                               "再排上这条命令会超过%2字节的上限。\n请等前面的命令发完后再发送。")
        .arg(queuedBytes)
        .arg(maxQueuedBytes);
}

QString PortLostText(const PortFailure& failure) {
    return OperatorWording::tr("串口已断开：%1。\n重新连接控制板后，下次发送时面板会重新打开串口。")
        .arg(FailureText(failure));
}

QString ChoiceFailedText(const PortFailure& failure, const QString& openDevice) {
    return OperatorWording::tr("未能打开所选的串口：%1。\n%2")
        .arg(FailureText(failure),
             openDevice.isEmpty() ? OperatorWording::tr("目前没有打开的串口。")
                                  : OperatorWording::tr("仍在使用原来的串口 %1。").arg(openDevice));
}

QString PlayingRefusalText() {
    return OperatorWording::tr("命令未发出：正在播放序列，请等序列播放完毕或停止后再发送。");
}

QString BadValueText(const ValueBoxName& name, const QString& typed, ConversionError::Kind kind) {
    //: %1 the group, %2 the box, %3 the text in it, %4 why it was refused, %5 what the group's
    //: values must be
    return OperatorWording::tr("%1：%2%3%4。\n命令未发出。\n\n要求：%5。")
        .arg(name.group, name.box, Quoted(typed), ConversionReason(kind), name.acceptedForm);
}

QString BadGroupValueText(const ValueBoxName& name, ConversionError::Kind kind) {
    //: %1 the group, %2 why one of its values was refused, %3 what its values must be
    return OperatorWording::tr("%1：有一个设定值%2。\n命令未发出。\n\n要求：%3。")
        .arg(name.group, ConversionReason(kind), name.acceptedForm);
}

QString MisfitsText(const QString& group, const std::vector<Misfit>& misfits, bool byColumn) {
    if (misfits.empty())
        return {};
    QStringList lines;
    for (const Misfit& misfit : misfits) {
        //: %1 the box, %2 what it held, %3 why the board will not take it
        lines << QStringLiteral("· %1").arg(
            OperatorWording::tr("%1%2：%3", "a field the board will not take")
                .arg(MisfitField(misfit, byColumn), Quoted(QString::fromStdString(misfit.typed)),
                     MisfitReason(misfit)));
    }
    //: %1 the group, %2 one line for each field the board will not take
    return OperatorWording::tr("%1：命令已照所填内容发出，但控制板不会接受：\n%2")
        .arg(group, lines.join(QLatin1Char('\n')));
}

QString LogNotStartedText(const QString& path, const QString& reason) {
    return //: %1 the log file, %2 the system's reason
        OperatorWording::tr("未能开始记录：无法打开记录文件 %1（%2）。")
            .arg(QuotedPath(path), reason);
}

QString LogFailedText(const QString& path, const QString& reason) {
    return //: %1 the log file, %2 the system's reason
        OperatorWording::tr("记录已停止：无法再写入记录文件 %1（%2）。\n面板照常发送命令。")
            .arg(QuotedPath(path), reason);
}

QString SequenceRefusedText(const QString& path, const QString& reason) {
    return //: %1 the sequence file, %2 why it was refused, in English
        OperatorWording::tr("序列未播放：%1 %2。\n没有发出任何命令。")
            .arg(QuotedPath(path), reason);
}

QString PlayingText(const QString& fileName, const sequence::PlayScheduler& scheduler) {
    return //: %1 the file, %2 commands sent, %3 commands in all, %4 seconds elapsed, %5 seconds
           //: left
        OperatorWording::tr("正在播放 %1\n已发送 %2/%3 条命令，已用 %4 秒，剩余 %5 秒")
            .arg(QuotedPath(fileName))
            .arg(scheduler.sent())
            .arg(scheduler.total())
            .arg(Seconds(scheduler.elapsed()), Seconds(scheduler.remaining()));
}

QString PlayFailedText(std::size_t framesWritten, std::size_t frames, const QString& reason) {
    return //: %1 commands that went out, %2 commands in all, %3 why the play ended
        OperatorWording::tr("序列播放中断：已发出 %1/%2 条命令。\n%3")
            .arg(framesWritten)
            .arg(frames)
            .arg(reason);
}

QString TimerFailedText(const QString& systemError) {
    return OperatorWording::tr("系统无法计时（%1）").arg(systemError);
}

QString StopPlayingText() {
    return OperatorWording::tr("停止", "stops the sequence being played");
}

QString OkText() {
    return OperatorWording::tr("确定");
}

QString CancelText() {
    return OperatorWording::tr("取消");
}

} // namespace quillon
