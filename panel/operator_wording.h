#pragma once

// What the panel tells the operator, worded in its own Chinese through tr(): the help text, each
// warning, and the progress of a sequence being played. Texts from outside (a typed value, a
// path) are quoted with control characters escaped and long ones cut short.

#include "board_fit.h"
#include "frames.h"
#include "port_failure.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <vector>

namespace quillon {

namespace sequence {
class PlayScheduler;
}
struct ValueBoxName;

// The board's description, then notes on using this panel; one paragraph.
QString HelpText();

// A port failure: the device, what went wrong, the system's detail.
QString FailureText(const PortFailure& failure);

// No port opened at start-up: the devices tried, how to choose one, and the ports the system has.
QString NoPortText(const QList<PortFailure>& failures, const QStringList& systemPorts);
QString WriteFailedText(const QList<PortFailure>& failures);
// A frame that would make the line's queue pass its bound; `queuedBytes` already wait (0: the
// frame is too long by itself).
QString LineBusyText(qint64 queuedBytes, qint64 maxQueuedBytes);
QString PortLostText(const PortFailure& failure);
// A chosen device that did not open; `openDevice` is the port still in use, empty for none.
QString ChoiceFailedText(const PortFailure& failure, const QString& openDevice);
QString PlayingRefusalText();

// A value a Send could not convert: the box and what it held, or (when the builder could not say
// which box) only its group.
QString BadValueText(const ValueBoxName& name, const QString& typed, ConversionError::Kind kind);
QString BadGroupValueText(const ValueBoxName& name, ConversionError::Kind kind);
// A text frame that went out as typed though the board will not take it: the group, then each
// field the board rejects; `byColumn` names the fields by their column (the four-channel group).
// Empty when there is none.
QString MisfitsText(const QString& group, const std::vector<Misfit>& misfits, bool byColumn);

QString LogNotStartedText(const QString& path, const QString& reason);
QString LogFailedText(const QString& path, const QString& reason);

QString SequenceRefusedText(const QString& path, const QString& reason);
QString PlayingText(const QString& fileName, const sequence::PlayScheduler& scheduler);
QString PlayFailedText(std::size_t framesWritten, std::size_t frames, const QString& reason);
QString TimerFailedText(const QString& systemError);
// The caption of the button that stops a sequence being played.
QString StopPlayingText();

// The captions of the panel's dialog buttons, in its own language even where Qt's translations
// are not installed.
QString OkText();
QString CancelText();

} // namespace quillon
