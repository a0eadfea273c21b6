#include "panel_actions.h"

#include "form1.h"
#include "frames.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QStringList>

#include <array>
#include <span>
#include <utility>
#include <vector>

namespace quillon {

namespace {

// The board's description, as the board's documentation words it.
constexpr char kBoardDescription[] =
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
    "以在1-10V之间进行变化）。";

// Notes on this panel that close the help text.
constexpr char kPanelNotes[] =
    "本面板的串口设置为9600波特、8位数据位、无校验、1位停止位（9600,N,8,1）。"
    "单通道、4通道和8通道三种指令分别由各组的“发送”按钮发出，“复位”按钮发送软件复位指令“U”。"
    "面板上的“输出x2”复选框为保留功能，暂不可用，其增益标志始终为0。";

// Long texts typed into a box are shortened in messages, so the message stays readable.
constexpr qsizetype kQuotedTextLength = 24;

QString Quoted(const QString& text) {
    if (text.size() <= kQuotedTextLength)
        return QStringLiteral("“%1”").arg(text);
    return QStringLiteral("“%1…”").arg(text.left(kQuotedTextLength));
}

QString ErrorReason(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return QStringLiteral("设备不存在");
    case QSerialPort::PermissionError:
        return QStringLiteral("没有访问权限，或设备已被其他程序占用");
    case QSerialPort::OpenError:
        return QStringLiteral("设备已被打开");
    case QSerialPort::NotOpenError:
        return QStringLiteral("串口未打开");
    case QSerialPort::WriteError:
        return QStringLiteral("写入出错");
    case QSerialPort::ReadError:
        return QStringLiteral("读取出错");
    case QSerialPort::ResourceError:
        return QStringLiteral("设备已断开或不可用");
    case QSerialPort::UnsupportedOperationError:
        return QStringLiteral("设备不支持所需的串口设置");
    case QSerialPort::TimeoutError:
        return QStringLiteral("操作超时");
    case QSerialPort::NoError:
    case QSerialPort::UnknownError:
        break;
    }
    return QStringLiteral("未知错误");
}

QString DeviceName(const QString& device) {
    return device.isEmpty() ? QStringLiteral("（未指定设备）") : device;
}

QString FailureText(const PortFailure& failure) {
    QString text =
        QStringLiteral("%1：%2").arg(DeviceName(failure.device), ErrorReason(failure.error));
    if (!failure.detail.isEmpty())
        text += QStringLiteral("（%1）").arg(failure.detail);
    return text;
}

QString AvailablePortsText() {
    QStringList ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ports << info.systemLocation();
    if (ports.isEmpty())
        return QStringLiteral("系统未报告任何串口。");
    return QStringLiteral("系统报告的串口：%1").arg(ports.join(QStringLiteral("、")));
}

QString NoPortText(const QList<PortFailure>& failures) {
    QStringList lines{QStringLiteral("未能打开串口。面板照常可用，但命令要等串口打开后才能发出。"),
                      QString(), QStringLiteral("已尝试的设备：")};
    for (const PortFailure& failure : failures)
        lines << QStringLiteral("· %1").arg(FailureText(failure));
    lines << QString()
          << QStringLiteral(
                 "选择设备：在“串口”菜单中随时可选，列表里没有的设备用“其他设备…”输入路径。"
                 "也可以在启动时指定：quillon --port /dev/ttyUSB0，或启动前设置环境变量 "
                 "QUILLON_PORT1（备用设备为 QUILLON_PORT2），或用 ./run /dev/ttyUSB0 启动。")
          << QString() << AvailablePortsText();
    return lines.join(QLatin1Char('\n'));
}

QString WriteFailedText(const QList<PortFailure>& failures) {
    QStringList reasons;
    for (const PortFailure& failure : failures)
        reasons << FailureText(failure);
    return QStringLiteral("命令未发出：%1。\n连接好控制板后再发送一次即可，面板会重新打开串口。")
        .arg(reasons.join(QStringLiteral("；")));
}

QString PortLostText(const PortFailure& failure) {
    return QStringLiteral("串口已断开：%1。\n重新连接控制板后，下次发送时面板会重新打开串口。")
        .arg(FailureText(failure));
}

} // namespace

// The boxes whose values a frame builder converts, in the builder's input order, each with
// the words that name it within its group.
struct PanelController::ValueBoxes {
    const char* groupBox;
    std::vector<std::pair<int, QString>> boxes; // Text1 index, name
};

namespace {

// Codes of channels 0..3 sit in Text1(14..17), those of channels 4..7 in Text1(22..25).
constexpr std::array<int, 8> kEightChannelCodeBoxes{14, 15, 16, 17, 22, 23, 24, 25};

std::vector<std::pair<int, QString>> FourChannelValueBoxes() {
    std::vector<std::pair<int, QString>> boxes;
    for (int k = 0; k < 4; ++k)
        boxes.emplace_back(6 + k, QStringLiteral("第%1列的设定值").arg(k + 1));
    return boxes;
}

std::vector<std::pair<int, QString>> EightChannelValueBoxes() {
    std::vector<std::pair<int, QString>> boxes;
    for (int channel = 0; channel < 8; ++channel)
        boxes.emplace_back(kEightChannelCodeBoxes[channel],
                           QStringLiteral("通道%1的设定值").arg(channel));
    return boxes;
}

QString ConversionReason(ConversionError::Kind kind) {
    return kind == ConversionError::Kind::NotANumber ? QStringLiteral("不是数字")
                                                     : QStringLiteral("超出范围");
}

// A group caption reads "name(accepted form)", e.g. "单通道控制(设定值必须为4位数，单位为V)".
QString CaptionName(const QString& caption) {
    return caption.section(QLatin1Char('('), 0, 0);
}

QString CaptionAcceptedForm(const QString& caption) {
    const qsizetype open = caption.indexOf(QLatin1Char('('));
    const qsizetype close = caption.lastIndexOf(QLatin1Char(')'));
    return open >= 0 && close > open ? caption.mid(open + 1, close - open - 1) : QString();
}

} // namespace

MessagePresenter MessageBoxPresenter(QWidget* parent) {
    return [parent](const OperatorMessage& message) {
        QMessageBox box(parent);
        box.setWindowTitle(kApplicationTitle);
        box.setIcon(message.kind == OperatorMessage::Kind::Help ? QMessageBox::NoIcon
                                                                : QMessageBox::Warning);
        box.setTextFormat(Qt::PlainText);
        box.setText(message.text);
        box.setStandardButtons(QMessageBox::Ok);
        box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
        box.exec();
    };
}

QString HelpText() {
    return QString::fromUtf8(kBoardDescription) + QString::fromUtf8(kPanelNotes);
}

PanelController::PanelController(Form1& form, PortDevices devices, MessagePresenter present,
                                 PortSources portSources, QObject* parent)
    : QObject(parent), m_form(form), m_link(std::move(devices)),
      m_present(present ? std::move(present) : MessageBoxPresenter(&form)),
      m_portMenu(new PortMenu(std::move(portSources), &form)) {
    m_form.menuBar()->addMenu(m_portMenu);
    connect(&m_form, &Form1::loaded, this, &PanelController::load);
    connect(m_form.button(QStringLiteral("Command1(0)")), &QPushButton::clicked, this,
            &PanelController::sendSingleChannel);
    connect(m_form.button(QStringLiteral("Command2")), &QPushButton::clicked, this,
            &PanelController::sendFourChannels);
    connect(m_form.button(QStringLiteral("Command3")), &QPushButton::clicked, this,
            &PanelController::sendEightChannels);
    connect(m_form.button(QStringLiteral("Command4")), &QPushButton::clicked, this,
            &PanelController::sendReset);
    connect(m_form.helpAction(), &QAction::triggered, this, &PanelController::showHelp);
    connect(&m_link, &SerialLink::dataReceived, this, &PanelController::showReceived);
    connect(&m_link, &SerialLink::portLost, this, &PanelController::reportPortLost);
}

void PanelController::load() {
    const bool opened = m_link.OpenAtStartup();
    m_portMenu->showDevice(m_link.deviceName());
    if (!opened)
        tell(NoPortText(m_link.openFailures()));
}

void PanelController::sendSingleChannel() {
    const ValueBoxes values{"Frame1(0)", {{1, QStringLiteral("设定值")}}};
    const auto frame = buildFrame(values, [this] {
        return SingleChannelFrame(
            {TrimSpaces(boxText(0)), m_form.check1(0)->isChecked(), boxText(1)});
    });
    if (frame)
        sendTextFrame(*frame);
}

void PanelController::sendFourChannels() {
    const ValueBoxes values{"Frame2", FourChannelValueBoxes()};
    const auto frame = buildFrame(values, [this] {
        std::array<ChannelEntry, 4> entries;
        for (int k = 0; k < 4; ++k)
            entries[k].channel = TrimSpaces(boxText(2 + k));
        for (int k = 0; k < 4; ++k)
            entries[k].gainChecked = m_form.check1(1 + k)->isChecked();
        for (int k = 0; k < 4; ++k)
            entries[k].value = boxText(6 + k);
        return FourChannelFrame(entries);
    });
    if (frame)
        sendTextFrame(*frame);
}

void PanelController::sendEightChannels() {
    const ValueBoxes values{"Frame3", EightChannelValueBoxes()};
    const auto frame = buildFrame(values, [this] {
        std::array<std::string, 8> codes;
        for (int channel = 0; channel < 8; ++channel)
            codes[channel] = boxText(kEightChannelCodeBoxes[channel]);
        return EightChannelFrame(codes);
    });
    if (frame)
        write([&] { return m_link.WriteBytes(*frame); });
}

void PanelController::sendReset() {
    write([this] { return m_link.WriteText(QString::fromStdString(ResetCommand())); });
}

void PanelController::showReceived(const QString& text) {
    returnCodeBox()->setText(text);
}

void PanelController::showHelp() {
    m_present({OperatorMessage::Kind::Help, HelpText()});
}

template <typename Build>
auto PanelController::buildFrame(const ValueBoxes& values, Build build)
    -> std::optional<decltype(build())> {
    try {
        return build();
    } catch (const ConversionError& error) {
        reportBadValue(values, error);
        return std::nullopt;
    }
}

// Names the box the way the operator sees it, says why its value was refused and what the
// group accepts, then puts the operator back in that box.
void PanelController::reportBadValue(const ValueBoxes& values, const ConversionError& error) {
    const QString caption = m_form.group(QString::fromUtf8(values.groupBox))->title();
    const int index = error.valueIndex();
    const bool known = index >= 0 && index < int(values.boxes.size());
    const auto& [textIndex, boxName] = values.boxes[known ? index : 0];
    QLineEdit* box = m_form.text1(textIndex);

    QString text = known ? QStringLiteral("%1：%2%3%4。")
                               .arg(CaptionName(caption), boxName, Quoted(box->text()),
                                    ConversionReason(error.kind()))
                         : QStringLiteral("%1：有一个设定值%2。")
                               .arg(CaptionName(caption), ConversionReason(error.kind()));
    text += QStringLiteral("\n命令未发出。\n\n要求：%1。").arg(CaptionAcceptedForm(caption));
    tell(text);
    box->setFocus(Qt::OtherFocusReason);
    box->selectAll();
}

void PanelController::sendTextFrame(const std::string& frame) {
    sendCodeBox()->setText(QString::fromStdString(frame));
    const std::string shown = TrimSpaces(sendCodeBox()->text().toStdString());
    write([&] { return m_link.WriteText(QString::fromStdString(shown)); });
}

// A device that vanishes during a write is told once, as the reason the write failed.
void PanelController::write(const std::function<bool()>& writeFrame) {
    // A closed link tries to open its ports again first; then every device it tried failed.
    const bool wasOpen = m_link.isOpen();
    m_writing = true;
    m_lostWhileWriting.reset();
    const bool written = writeFrame();
    m_writing = false;
    m_portMenu->showDevice(m_link.deviceName());
    if (!written)
        tell(WriteFailedText(wasOpen || m_link.openFailures().isEmpty()
                                 ? QList<PortFailure>{m_link.lastFailure()}
                                 : m_link.openFailures()));
    else if (m_lostWhileWriting)
        tell(PortLostText(*m_lostWhileWriting));
    m_lostWhileWriting.reset();
}

void PanelController::reportPortLost(const PortFailure& failure) {
    m_portMenu->showDevice(m_link.deviceName());
    if (m_writing) {
        m_lostWhileWriting = failure;
        return;
    }
    tell(PortLostText(failure));
}

void PanelController::tell(const QString& warning) {
    m_present({OperatorMessage::Kind::Warning, warning});
}

QLineEdit* PanelController::sendCodeBox() const {
    return m_form.text1(26);
}

QLineEdit* PanelController::returnCodeBox() const {
    return m_form.text1(27);
}

std::string PanelController::boxText(int index) const {
    return m_form.text1(index)->text().toStdString();
}

} // namespace quillon
