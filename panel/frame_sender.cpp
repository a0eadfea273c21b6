#include "frame_sender.h"

#include "form1.h"
#include "frames.h"
#include "operator_messenger.h"
#include "operator_wording.h"
#include "sequence_playback.h"

#include <QCheckBox>
#include <QLineEdit>

#include <algorithm>
#include <array>

namespace quillon {

namespace {

std::string BoxText(const QLineEdit* box) {
    return box->text().toStdString();
}

} // namespace

FrameSender::FrameSender(const Form1& form, SerialLink& link, const SequencePlayback& playback,
                         const OperatorMessenger& messenger, QObject* parent)
    : QObject(parent), m_form(form), m_link(link), m_playback(playback), m_messenger(messenger) {
    // Queued, so that a message box never opens inside the port's own signal.
    connect(&m_link, &SerialLink::writeFailed, this, &FrameSender::reportWriteFailed,
            Qt::QueuedConnection);
    connect(&m_link, &SerialLink::frameWritten, this, &FrameSender::tellMisfitOnceOut,
            Qt::QueuedConnection);
    // What was still queued is dropped, and told as not sent. Queued too, so that a frame out
    // before the failure is still told.
    connect(
        &m_link, &SerialLink::writeFailed, this, [this] { m_misfitFrames.clear(); },
        Qt::QueuedConnection);
}

void FrameSender::sendSingleChannel() {
    if (refusedWhilePlaying())
        return;
    const SingleChannelGroup& group = m_form.singleChannelGroup();
    const ChannelEntry entry{TrimSpaces(BoxText(group.channelBox)), group.gainBox->isChecked(),
                             BoxText(group.valueBox)};
    const auto frame =
        buildFrame(std::array{group.valueBox}, [&] { return SingleChannelFrame(entry); });
    if (frame)
        sendTextFrame(*frame, MisfitsText(m_form.valueBoxName(group.valueBox).group,
                                          SingleChannelMisfits(entry), false));
}

void FrameSender::sendFourChannels() {
    if (refusedWhilePlaying())
        return;
    const FourChannelGroup& group = m_form.fourChannelGroup();
    std::array<QLineEdit*, 4> valueBoxes;
    std::ranges::transform(group.columns, valueBoxes.begin(), &ChannelColumn::valueBox);
    std::array<ChannelEntry, 4> entries;
    std::ranges::transform(group.columns, entries.begin(), [](const ChannelColumn& column) {
        return ChannelEntry{TrimSpaces(BoxText(column.channelBox)), column.gainBox->isChecked(),
                            BoxText(column.valueBox)};
    });
    const auto frame = buildFrame(valueBoxes, [&] { return FourChannelFrame(entries); });
    if (frame)
        sendTextFrame(*frame, MisfitsText(m_form.valueBoxName(valueBoxes[0]).group,
                                          FourChannelMisfits(entries), true));
}

void FrameSender::sendEightChannels() {
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

void FrameSender::sendReset() {
    if (refusedWhilePlaying())
        return;
    write([this] { return m_link.WriteText(QString::fromStdString(ResetCommand())); });
}

template <typename Build>
auto FrameSender::buildFrame(ValueBoxes values, Build build) -> std::optional<decltype(build())> {
    try {
        return build();
    } catch (const ConversionError& error) {
        reportBadValue(values, error);
        return std::nullopt;
    }
}

// Names the box the way the operator sees it, says why its value was refused and what the
// group accepts, then puts the operator back in that box.
void FrameSender::reportBadValue(ValueBoxes values, const ConversionError& error) {
    const int index = error.valueIndex();
    const bool known = index >= 0 && index < int(values.size());
    QLineEdit* box = values[known ? std::size_t(index) : 0];
    const ValueBoxName name = m_form.valueBoxName(box);
    m_messenger.refuseSend(known ? BadValueText(name, box->text(), error.kind())
                                 : BadGroupValueText(name, error.kind()));
    box->setFocus(Qt::OtherFocusReason);
    box->selectAll();
}

// The Send code box shows the frame, and what it then holds, trimmed, is what goes out.
void FrameSender::sendTextFrame(const std::string& frame, const QString& misfitWarning) {
    QLineEdit* sendCodeBox = m_form.resetGroup().sendCodeBox;
    sendCodeBox->setText(QString::fromStdString(frame));
    const QString shown = QString::fromStdString(TrimSpaces(BoxText(sendCodeBox)));
    if (write([&] { return m_link.WriteText(shown); }) && !misfitWarning.isEmpty())
        m_misfitFrames.push_back({TextToWireBytes(shown), misfitWarning});
}

// Frames go out in order; one from elsewhere (a SCPI client) may come between them.
void FrameSender::tellMisfitOnceOut(const QByteArray& frame) {
    if (m_misfitFrames.empty() || m_misfitFrames.front().bytes != frame)
        return;
    const QString warning = std::move(m_misfitFrames.front().warning);
    m_misfitFrames.pop_front();
    m_messenger.tell(warning);
}

// A Send while a sequence plays waits for no one: it is refused, told and logged, so that
// nothing runs into the sequence's frames.
bool FrameSender::refusedWhilePlaying() {
    if (!m_playback.isPlaying())
        return false;
    m_messenger.refuseSend(PlayingRefusalText());
    return true;
}

// The frame is queued and goes out from the event loop; a failure found later comes back as
// writeFailed. Here only what stops it from being queued at all is told; true when queued.
bool FrameSender::write(const std::function<WriteOutcome()>& writeFrame) {
    switch (writeFrame()) {
    case WriteOutcome::Queued:
        return true;
    case WriteOutcome::NoPort:
        m_messenger.refuseSend(WriteFailedText(m_link.openFailures()));
        return false;
    case WriteOutcome::LineBusy:
        m_messenger.refuseSend(LineBusyText(m_link.bytesToWrite(), SerialLink::kMaxQueuedBytes));
        return false;
    }
    return false;
}

void FrameSender::reportWriteFailed(const PortFailure& failure) {
    m_messenger.tell(WriteFailedText({failure}));
}

} // namespace quillon
