#pragma once

// Plays a sequence (or a log) from a file on the link: read and checked whole first, so that one
// bad line sends nothing, then played on its schedule behind a progress dialog whose 停止 ends it
// after the frame being written. How a play ends badly is told to the operator.

#include "play_schedule.h"
#include "sequence_player.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class QWidget;

namespace quillon {

class OperatorMessenger;
class PlayProgressDialog;
class SerialLink;

class SequencePlayback : public QObject {
    Q_OBJECT

public:
    SequencePlayback(SerialLink& link, const OperatorMessenger& messenger, QWidget* window,
                     QObject* parent = nullptr);
    ~SequencePlayback() override;

    bool isPlaying() const;
    // Queues nothing more, at once and without a word: for the end of the program, when the
    // frames already queued are all that is still to go out.
    void abandon();

public slots:
    void play(const QString& path);
    // Ends the play once the frame being written is out.
    void stop();

private:
    void finish(SequencePlayer::Outcome outcome);

    SerialLink& m_link;
    const OperatorMessenger& m_messenger;
    QWidget* m_window;
    std::unique_ptr<sequence::PlaySchedule> m_schedule;
    std::unique_ptr<SequencePlayer> m_player;
    QPointer<PlayProgressDialog> m_progress;
};

} // namespace quillon
