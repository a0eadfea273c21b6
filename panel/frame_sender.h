#pragma once

// The four Sends: each reads its group's boxes, builds the group's frame and queues it on the
// link. A value that does not convert, a line that cannot take the frame, or a sequence playing
// refuses the Send with a warning, and nothing is queued. A text frame the board will not take
// (channel "9", a value of five digits) goes out as built, and a warning names what the board
// rejects once the frame is out.

#include "serial_link.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>

class QLineEdit;

namespace quillon {

class ConversionError;
class Form1;
class OperatorMessenger;
class SequencePlayback;

class FrameSender : public QObject {
    Q_OBJECT

public:
    FrameSender(const Form1& form, SerialLink& link, const SequencePlayback& playback,
                const OperatorMessenger& messenger, QObject* parent = nullptr);

public slots:
    void sendSingleChannel();
    void sendFourChannels();
    void sendEightChannels();
    void sendReset();

private:
    // The boxes whose values a frame builder converts, in the builder's input order.
    using ValueBoxes = std::span<QLineEdit* const>;

    template <typename Build>
    auto buildFrame(ValueBoxes boxes, Build build) -> std::optional<decltype(build())>;
    void reportBadValue(ValueBoxes boxes, const ConversionError& error);
    // `misfitWarning`: told once the frame is out; empty when the board takes the frame.
    void sendTextFrame(const std::string& frame, const QString& misfitWarning);
    void tellMisfitOnceOut(const QByteArray& frame);
    bool refusedWhilePlaying();
    bool write(const std::function<WriteOutcome()>& writeFrame);
    void reportWriteFailed(const PortFailure& failure);

    const Form1& m_form;
    SerialLink& m_link;
    const SequencePlayback& m_playback;
    const OperatorMessenger& m_messenger;
    // Frames queued that the board will not take, in the order they go out, with their warnings.
    struct MisfitFrame {
        QByteArray bytes;
        QString warning;
    };
    std::deque<MisfitFrame> m_misfitFrames;
};

} // namespace quillon
