#pragma once

// Records what goes over the link in a log that plays back as a sequence: each frame once the
// driver has taken its last byte, every byte received, and the port's events, each entry
// appended to the file in one write as it happens.

#include "line_log.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>

namespace quillon {

class SerialLink;
struct PortFailure;

class LineRecorder : public QObject {
    Q_OBJECT

public:
    // How a port failure is worded in the log, in the program's own language.
    using FailureWords = std::function<QString(const PortFailure&)>;

    // `program` names the writer in each header, e.g. "quillon 0.1.0".
    LineRecorder(SerialLink& link, QString program, FailureWords failureWords,
                 QObject* parent = nullptr);
    ~LineRecorder() override;

    // Appends to `path` (created if need be) from now on, after a header; false with the
    // system's reason when it cannot be opened, and nothing changes.
    bool start(const QString& path, QString* error);
    // Starts on a file already opened.
    void start(sequence::LogFile file);
    // Flushes the file to the disk and closes it.
    void stop();

    bool isRecording() const { return m_file.isOpen(); }
    QString path() const;

    // Events the link does not see: a Send refused with the operator's warning, a reply that
    // did not come within `wait`, or any other (a comment line).
    void notSent(const QString& warning);
    void noReply(std::chrono::milliseconds wait);
    void note(const QString& text);

    // Who sent a frame the driver has just taken, for its entry ("by 127.0.0.1:53122"); empty
    // for the program's own frames.
    using FrameSender = std::function<QString(const QByteArray& frame)>;
    void setFrameSender(FrameSender frameSender) { m_frameSender = std::move(frameSender); }

signals:
    // The log could not be written any more and is closed; told once per log.
    void failed(const QString& path, const QString& reason);

private:
    void logFrame(const QByteArray& frame);
    void logReceived(const QByteArray& bytes);
    void logWriteFailed(const PortFailure& failure);
    void logPortLost(const PortFailure& failure);
    void logPortChanged(const QString& device);
    void append(const std::string& entry);

    SerialLink& m_link;
    QString m_program;
    FailureWords m_failureWords;
    FrameSender m_frameSender;
    sequence::LogFormat m_format;
    sequence::LogFile m_file;
};

} // namespace quillon
