#pragma once

// The four Sends: each reads its group's boxes, builds the group's frame and queues it on the
// link. A value that does not convert, a line that cannot take the frame, or a sequence playing
// refuses the Send with a warning, and nothing is queued.

#include "serial_link.h"

#include <QObject>

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
    void sendTextFrame(const std::string& frame);
    bool refusedWhilePlaying();
    void write(const std::function<WriteOutcome()>& writeFrame);
    void reportWriteFailed(const PortFailure& failure);

    const Form1& m_form;
    SerialLink& m_link;
    const SequencePlayback& m_playback;
    const OperatorMessenger& m_messenger;
};

} // namespace quillon
