#include "panel_actions.h"

#include "form1.h"
#include "frames.h"
#include "port_error_words.h"
#include "quoted_text.h"
#include "sequence_reader.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <span>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace quillon {

namespace {

// The board's description, as the board's documentation words it.
constexpr char kBoardDescription[] = QT_TRANSLATE_NOOP(
    "quillon::PanelController",
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
    "quillon::PanelController",
    "本面板的串口设置为9600波特、8位数据位、无校验、1位停止位（9600,N,8,1）。"
    "单通道、4通道和8通道三种指令分别由各组的“发送”按钮发出，“复位”按钮发送软件复位指令“U”。"
    "面板上的“输出x2”复选框为保留功能，暂不可用，其增益标志始终为0。");

const QString kProgram = QStringLiteral("quillon " QUILLON_VERSION);

// A text from outside quoted in a warning: control characters escaped, a long text cut short
// with its full length, so a warning stays readable whatever was typed or read.
QString Quoted(const QString& text) {
    const TextExcerpt excerpt = Excerpt(text.toStdString());
    const QString shown = QString::fromStdString(excerpt.text);
    if (!excerpt.cut)
        return PanelController::tr("“%1”", "a text quoted in a warning").arg(shown);
    //: %1 the start of a long text, %2 how many characters the whole text has
    return PanelController::tr("“%1…”（共%2个字符）").arg(shown).arg(excerpt.length);
}

// A path keeps its end, which names the file.
QString QuotedPath(const QString& path) {
    const TextExcerpt excerpt = PathExcerpt(path.toStdString());
    const QString shown = QString::fromStdString(excerpt.text);
    if (!excerpt.cut)
        return PanelController::tr("“%1”", "a text quoted in a warning").arg(shown);
    //: %1 the end of a long path, %2 how many characters the whole path has
    return PanelController::tr("“…%1”（共%2个字符）").arg(shown).arg(excerpt.length);
}

QString ErrorReason(PortError error) {
    return QCoreApplication::translate(kPortErrorWordsContext, WordsFor(error).chinese);
}

QString DeviceName(const QString& device) {
    return device.isEmpty() ? PanelController::tr("（未指定设备）") : device;
}

} // namespace

QString FailureText(const PortFailure& failure) {
    if (failure.detail.isEmpty())
        return PanelController::tr("%1：%2", "port failure: device, reason")
            .arg(DeviceName(failure.device), ErrorReason(failure.error));
    return PanelController::tr("%1：%2（%3）", "port failure: device, reason, system's words")
        .arg(DeviceName(failure.device), ErrorReason(failure.error), failure.detail);
}

namespace {

QString AvailablePortsText() {
    QStringList ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ports << info.systemLocation();
    if (ports.isEmpty())
        return PanelController::tr("系统未报告任何串口。");
    return PanelController::tr("系统报告的串口：%1")
        .arg(ports.join(PanelController::tr("、", "list separator")));
}

QString NoPortText(const QList<PortFailure>& failures) {
    QStringList lines{
        PanelController::tr("未能打开串口。面板照常可用，但命令要等串口打开后才能发出。"),
        QString(), PanelController::tr("已尝试的设备：")};
    for (const PortFailure& failure : failures)
        lines << QStringLiteral("· %1").arg(FailureText(failure));
    lines << QString()
          << PanelController::tr(
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
    return PanelController::tr(
               "命令未发出：%1。\n连接好控制板后再发送一次即可，面板会重新打开串口。")
        .arg(reasons.join(PanelController::tr("；", "separator between reasons")));
}

// The link queues at most SerialLink::kMaxQueuedBytes; a frame that would go past that is refused
// whole, whether it is too long by itself or the line is still busy with earlier frames.
QString LineBusyText(qint64 queuedBytes) {
    if (queuedBytes == 0)
        return PanelController::tr(
                   "命令未发出：这条命令超过%1字节，串口一次最多只能排队发送这么多。")
            .arg(SerialLink::kMaxQueuedBytes);
    return PanelController::tr("命令未发出：串口仍在发送前面的命令（还有%1字节未发出），"
                               "再排上这条命令会超过%2字节的上限。\n请等前面的命令发完后再发送。")
        .arg(queuedBytes)
        .arg(SerialLink::kMaxQueuedBytes);
}

QString PortLostText(const PortFailure& failure) {
    return PanelController::tr("串口已断开：%1。\n重新连接控制板后，下次发送时面板会重新打开串口。")
        .arg(FailureText(failure));
}

QString ChoiceFailedText(const PortFailure& failure, const QString& openDevice) {
    return PanelController::tr("未能打开所选的串口：%1。\n%2")
        .arg(FailureText(failure),
             openDevice.isEmpty() ? PanelController::tr("目前没有打开的串口。")
                                  : PanelController::tr("仍在使用原来的串口 %1。").arg(openDevice));
}

std::string BoxText(const QLineEdit* box) {
    return box->text().toStdString();
}

QString ConversionReason(ConversionError::Kind kind) {
    return kind == ConversionError::Kind::NotANumber ? PanelController::tr("不是数字")
                                                     : PanelController::tr("超出范围");
}

QString LogFailedText(const QString& path, const QString& reason) {
    return //: %1 the log file, %2 the system's reason
        PanelController::tr("记录已停止：无法再写入记录文件 %1（%2）。\n面板照常发送命令。")
            .arg(QuotedPath(path), reason);
}

QString LogNotStartedText(const QString& path, const QString& reason) {
    return //: %1 the log file, %2 the system's reason
        PanelController::tr("未能开始记录：无法打开记录文件 %1（%2）。")
            .arg(QuotedPath(path), reason);
}

QString SequenceRefusedText(const QString& path, const QString& reason) {
    return //: %1 the sequence file, %2 why it was refused, in English
        PanelController::tr("序列未播放：%1 %2。\n没有发出任何命令。")
            .arg(QuotedPath(path), reason);
}

QString PlayingText(const QString& name, const sequence::PlayScheduler& scheduler) {
    const auto seconds = [](std::chrono::nanoseconds duration) {
        return QString::number(std::chrono::duration<double>(duration).count(), 'f', 1);
    };
    return //: %1 the file, %2 commands sent, %3 commands in all, %4 seconds elapsed, %5 seconds
           //: left
        PanelController::tr("正在播放 %1\n已发送 %2/%3 条命令，已用 %4 秒，剩余 %5 秒")
            .arg(name)
            .arg(scheduler.sent())
            .arg(scheduler.total())
            .arg(seconds(scheduler.elapsed()), seconds(scheduler.remaining()));
}

QString PlayFailedText(const SequencePlayer& player, const QString& reason) {
    return //: %1 commands that went out, %2 commands in all, %3 why the play ended
        PanelController::tr("序列播放中断：已发出 %1/%2 条命令。\n%3")
            .arg(player.framesWritten())
            .arg(player.scheduler().total())
            .arg(reason);
}

// The whole sequence file, read within a sequence's bounds. Only a plain file is read: the
// window must never wait for a pipe or a device that has nothing to give.
std::string ReadSequenceFile(const QString& path) {
    const QByteArray name = path.toLocal8Bit();
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw sequence::Refusal(std::strerror(errno));
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        throw sequence::Refusal("not a plain file");
    }
    try {
        std::string text = sequence::ReadSequenceText(fd, {});
        ::close(fd);
        return text;
    } catch (...) {
        ::close(fd);
        throw;
    }
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
        box.button(QMessageBox::Ok)->setText(PanelController::tr("确定"));
        box.exec();
    };
}

QString HelpText() {
    //: The board's description, then the notes on this panel, joined as sentences are.
    return PanelController::tr("%1%2", "help text")
        .arg(PanelController::tr(kBoardDescription), PanelController::tr(kPanelNotes));
}

PanelController::PanelController(Form1& form, PortDevices devices, MessagePresenter present,
                                 PortSources portSources, RecordSources recordSources,
                                 QObject* parent)
    : QObject(parent), m_form(form), m_link(std::move(devices)),
      m_recorder(m_link, kProgram, FailureText),
      m_present(present ? std::move(present) : MessageBoxPresenter(&form)),
      m_portMenu(new PortMenu(std::move(portSources), &form)),
      m_recordMenu(new RecordMenu(std::move(recordSources), &form)) {
    m_form.menuBar()->addMenu(m_portMenu);
    m_form.menuBar()->addMenu(m_recordMenu);
    connect(m_portMenu, &PortMenu::deviceChosen, this, &PanelController::choosePort);
    connect(&m_link, &SerialLink::portChanged, m_portMenu, &PortMenu::showDevice);
    connect(&m_link, &SerialLink::openFinished, this, &PanelController::finishLoading,
            Qt::QueuedConnection);
    connect(
        &m_link, &SerialLink::deviceOpenFinished, this,
        [this](const QString&, bool opened) { finishChoice(opened); }, Qt::QueuedConnection);
    connect(m_recordMenu, &RecordMenu::logChosen, this, &PanelController::startLog);
    connect(m_recordMenu, &RecordMenu::stopChosen, this, &PanelController::stopLog);
    connect(m_recordMenu, &RecordMenu::sequenceChosen, this, &PanelController::playSequence);
    connect(&m_recorder, &LineRecorder::failed, this, &PanelController::reportLogFailed,
            Qt::QueuedConnection);
    m_progressTimer.setInterval(200);
    connect(&m_progressTimer, &QTimer::timeout, this, &PanelController::showProgress);
    connect(&m_form, &Form1::loaded, this, &PanelController::load);
    connect(m_form.singleChannelGroup().sendButton, &QPushButton::clicked, this,
            &PanelController::sendSingleChannel);
    connect(m_form.fourChannelGroup().sendButton, &QPushButton::clicked, this,
            &PanelController::sendFourChannels);
    connect(m_form.eightChannelGroup().sendButton, &QPushButton::clicked, this,
            &PanelController::sendEightChannels);
    connect(m_form.resetGroup().resetButton, &QPushButton::clicked, this,
            &PanelController::sendReset);
    connect(m_form.helpAction(), &QAction::triggered, this, &PanelController::showHelp);
    connect(&m_link, &SerialLink::dataReceived, this, &PanelController::showReceived);
    // Queued, so that a message box never opens inside the port's own signal.
    connect(&m_link, &SerialLink::writeFailed, this, &PanelController::reportWriteFailed,
            Qt::QueuedConnection);
    connect(&m_link, &SerialLink::portLost, this, &PanelController::reportPortLost,
            Qt::QueuedConnection);
}

PanelController::~PanelController() {
    // The sequence stops before the link goes; the log then takes what is still waiting.
    m_player.reset();
    m_recorder.stop();
}

void PanelController::finishLine(std::chrono::milliseconds limit) {
    m_player.reset();
    QElapsedTimer waited;
    waited.start();
    const auto lineIdle = [&] {
        return m_link.bytesToWrite() == 0 && m_link.lingerFor() <= std::chrono::nanoseconds(0);
    };
    if (lineIdle())
        return;
    QEventLoop loop;
    QTimer check;
    connect(&check, &QTimer::timeout, &loop, [&] {
        if (lineIdle() || waited.hasExpired(limit.count()))
            loop.quit();
    });
    check.start(5);
    loop.exec();
}

bool PanelController::isPlaying() const {
    return m_player && m_player->isPlaying();
}

void PanelController::logFromLoad(const QString& path) {
    m_logFromLoad = path;
}

// A port on another machine connects in the background: its failure is told when it comes.
void PanelController::load() {
    const bool opened = m_link.OpenAtStartup();
    m_loading = m_link.isOpening();
    if (!m_logFromLoad.isEmpty())
        startLog(std::exchange(m_logFromLoad, QString()));
    if (!opened && !m_loading)
        tell(NoPortText(m_link.openFailures()));
}

void PanelController::finishLoading(bool opened) {
    if (std::exchange(m_loading, false) && !opened)
        tell(NoPortText(m_link.openFailures()));
}

void PanelController::finishChoice(bool opened) {
    if (!opened)
        tell(ChoiceFailedText(m_link.lastFailure(), m_link.deviceName()));
}

void PanelController::sendSingleChannel() {
    if (refusedWhilePlaying())
        return;
    const SingleChannelGroup& group = m_form.singleChannelGroup();
    const auto frame = buildFrame(std::array{group.valueBox}, [&] {
        return SingleChannelFrame({TrimSpaces(BoxText(group.channelBox)),
                                   group.gainBox->isChecked(), BoxText(group.valueBox)});
    });
    if (frame)
        sendTextFrame(*frame);
}

void PanelController::sendFourChannels() {
    if (refusedWhilePlaying())
        return;
    const FourChannelGroup& group = m_form.fourChannelGroup();
    std::array<QLineEdit*, 4> valueBoxes;
    std::ranges::transform(group.columns, valueBoxes.begin(), &ChannelColumn::valueBox);
    const auto frame = buildFrame(valueBoxes, [&] {
        std::array<ChannelEntry, 4> entries;
        std::ranges::transform(group.columns, entries.begin(), [](const ChannelColumn& column) {
            return ChannelEntry{TrimSpaces(BoxText(column.channelBox)), column.gainBox->isChecked(),
                                BoxText(column.valueBox)};
        });
        return FourChannelFrame(entries);
    });
    if (frame)
        sendTextFrame(*frame);
}

void PanelController::sendEightChannels() {
    if (refusedWhilePlaying())
        return;
    const EightChannelGroup& group = m_form.eightChannelGroup();
    std::array<QLineEdit*, 8> codeBoxes;
    std::ranges::transform(group.channels, codeBoxes.begin(), &EightChannelGroup::Channel::codeBox);
    const auto frame = buildFrame(codeBoxes, [&] {
        std::array<std::string, 8> codes;
        std::ranges::transform(codeBoxes, codes.begin(), BoxText);
        return EightChannelFrame(codes);
    });
    if (frame)
        write([&] { return m_link.WriteBytes(*frame); });
}

void PanelController::sendReset() {
    if (refusedWhilePlaying())
        return;
    write([this] { return m_link.WriteText(QString::fromStdString(ResetCommand())); });
}

void PanelController::showReceived(const QString& text) {
    m_form.resetGroup().returnCodeBox->setText(text);
}

void PanelController::showHelp() {
    m_present({OperatorMessage::Kind::Help, HelpText()});
}

void PanelController::choosePort(const QString& device) {
    if (m_link.isOpen() && SameDevice(device, m_link.deviceName()))
        return;
    m_loading = false;
    if (!m_link.openDevice(device) && !m_link.isOpening())
        tell(ChoiceFailedText(m_link.lastFailure(), m_link.deviceName()));
}

template <typename Build>
auto PanelController::buildFrame(ValueBoxes values, Build build)
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
void PanelController::reportBadValue(ValueBoxes values, const ConversionError& error) {
    const int index = error.valueIndex();
    const bool known = index >= 0 && index < int(values.size());
    QLineEdit* box = values[known ? index : 0];
    const ValueBoxName name = m_form.valueBoxName(box);

    if (known) {
        //: %1 the group, %2 the box, %3 the text in it, %4 why it was refused, %5 what the
        //: group's values must be
        refuse(tr("%1：%2%3%4。\n命令未发出。\n\n要求：%5。")
                   .arg(name.group, name.box, Quoted(box->text()), ConversionReason(error.kind()),
                        name.acceptedForm));
    } else {
        //: %1 the group, %2 why one of its values was refused, %3 what its values must be
        refuse(tr("%1：有一个设定值%2。\n命令未发出。\n\n要求：%3。")
                   .arg(name.group, ConversionReason(error.kind()), name.acceptedForm));
    }
    box->setFocus(Qt::OtherFocusReason);
    box->selectAll();
}

void PanelController::sendTextFrame(const std::string& frame) {
    QLineEdit* sendCodeBox = m_form.resetGroup().sendCodeBox;
    sendCodeBox->setText(QString::fromStdString(frame));
    const std::string shown = TrimSpaces(BoxText(sendCodeBox));
    write([&] { return m_link.WriteText(QString::fromStdString(shown)); });
}

// The frame is queued and goes out from the event loop; a failure found later comes back as
// writeFailed. Here only what stops it from being queued at all is told.
void PanelController::write(const std::function<WriteOutcome()>& writeFrame) {
    switch (writeFrame()) {
    case WriteOutcome::Queued:
        return;
    case WriteOutcome::NoPort:
        refuse(WriteFailedText(m_link.openFailures()));
        return;
    case WriteOutcome::LineBusy:
        refuse(LineBusyText(m_link.bytesToWrite()));
        return;
    }
}

void PanelController::reportWriteFailed(const PortFailure& failure) {
    tell(WriteFailedText({failure}));
}

void PanelController::reportPortLost(const PortFailure& failure) {
    tell(PortLostText(failure));
}

bool PanelController::startLog(const QString& path) {
    QString reason;
    if (!m_recorder.start(path, &reason)) {
        tell(LogNotStartedText(path, reason));
        return false;
    }
    m_recordMenu->showLog(path);
    return true;
}

void PanelController::stopLog() {
    m_recorder.stop();
    m_recordMenu->showLog({});
}

void PanelController::reportLogFailed(const QString& path, const QString& reason) {
    m_recordMenu->showLog(m_recorder.isRecording() ? m_recorder.path() : QString());
    tell(LogFailedText(path, reason));
}

// The sequence is read and checked whole first: one bad line and nothing is sent. While it plays
// the window stays live behind a progress dialog that keeps the Send buttons waiting.
void PanelController::playSequence(const QString& path) {
    if (isPlaying())
        return;
    try {
        const std::string text = ReadSequenceFile(path);
        m_schedule =
            std::make_unique<sequence::PlaySchedule>(sequence::ParseSequence(text), std::nullopt);
    } catch (const sequence::Refusal& refusal) {
        tell(SequenceRefusedText(path, QString::fromStdString(refusal.what())));
        return;
    }
    m_sequenceName = QuotedPath(QFileInfo(path).fileName());
    m_player = std::make_unique<SequencePlayer>(m_link, *m_schedule);
    connect(m_player.get(), &SequencePlayer::progressed, this, &PanelController::showProgress);
    connect(m_player.get(), &SequencePlayer::finished, this, &PanelController::finishPlaying,
            Qt::QueuedConnection);

    m_progress = new QProgressDialog(&m_form);
    m_progress->setObjectName(QStringLiteral("PlayProgress"));
    m_progress->setWindowTitle(kApplicationTitle);
    m_progress->setWindowModality(Qt::WindowModal);
    m_progress->setCancelButtonText(tr("停止", "stops the sequence being played"));
    m_progress->setMinimumDuration(0);
    m_progress->setAutoClose(false);
    m_progress->setAutoReset(false);
    m_progress->setRange(0, int(std::min<std::size_t>(m_schedule->size(), INT_MAX)));
    connect(m_progress, &QProgressDialog::canceled, this, &PanelController::stopPlaying);
    m_progress->open();
    m_progressTimer.start();
    m_player->start();
    showProgress();
}

void PanelController::stopPlaying() {
    if (m_player)
        m_player->stop();
}

void PanelController::showProgress() {
    if (!m_progress || !m_player)
        return;
    const sequence::PlayScheduler& scheduler = m_player->scheduler();
    m_progress->setLabelText(PlayingText(m_sequenceName, scheduler));
    m_progress->setValue(int(std::min<std::size_t>(scheduler.sent(), INT_MAX)));
}

void PanelController::finishPlaying(SequencePlayer::Outcome outcome) {
    m_progressTimer.stop();
    if (m_progress) {
        m_progress->hide();
        m_progress->deleteLater();
    }
    const std::unique_ptr<SequencePlayer> player = std::move(m_player);
    if (outcome == SequencePlayer::Outcome::PortFailed)
        tell(PlayFailedText(*player, FailureText(player->portFailure())));
    else if (outcome == SequencePlayer::Outcome::TimerFailed)
        tell(PlayFailedText(*player, tr("系统无法计时（%1）").arg(player->timerError())));
}

// A Send that reaches the panel while a sequence plays waits for no one: it is refused, told and
// logged, so that nothing runs into the sequence's frames.
bool PanelController::refusedWhilePlaying() {
    if (!isPlaying())
        return false;
    refuse(tr("命令未发出：正在播放序列，请等序列播放完毕或停止后再发送。"));
    return true;
}

// A Send refused before anything was queued: told to the operator and kept in the log.
void PanelController::refuse(const QString& warning) {
    m_recorder.note(QStringLiteral("not sent: ") + warning);
    tell(warning);
}

void PanelController::tell(const QString& warning) {
    m_present({OperatorMessage::Kind::Warning, warning});
}

} // namespace quillon
