#include "line_recorder.h"

#include "serial_link.h"

namespace quillon {

namespace {

std::string Utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

} // namespace

LineRecorder::LineRecorder(SerialLink& link, QString program, FailureWords failureWords,
                           QObject* parent)
    : QObject(parent), m_link(link), m_program(std::move(program)),
      m_failureWords(std::move(failureWords)) {
    connect(&m_link, &SerialLink::frameWritten, this, &LineRecorder::logFrame);
    connect(&m_link, &SerialLink::received, this, &LineRecorder::logReceived);
    connect(&m_link, &SerialLink::writeFailed, this, &LineRecorder::logWriteFailed);
    connect(&m_link, &SerialLink::portLost, this, &LineRecorder::logPortLost);
    connect(&m_link, &SerialLink::portChanged, this, &LineRecorder::logPortChanged);
}

LineRecorder::~LineRecorder() {
    stop();
}

bool LineRecorder::start(const QString& path, QString* error) {
    sequence::LogFile file;
    std::string reason;
    if (!file.open(path.toLocal8Bit().toStdString(), &reason)) {
        if (error)
            *error = QString::fromLocal8Bit(reason.c_str());
        return false;
    }
    start(std::move(file));
    return true;
}

void LineRecorder::start(sequence::LogFile file) {
    stop();
    m_file = std::move(file);
    const std::string device = Utf8(m_link.deviceName());
    append(m_format.header(Utf8(m_program),
                           m_link.isOpen() ? std::optional<std::string_view>(device) : std::nullopt,
                           sequence::LogMoment::now()));
}

void LineRecorder::stop() {
    if (!isRecording())
        return;
    const QString path = this->path();
    std::string reason;
    if (isRecording() && !m_file.close(&reason))
        emit failed(path, QString::fromLocal8Bit(reason.c_str()));
}

QString LineRecorder::path() const {
    return QString::fromLocal8Bit(m_file.path().c_str());
}

void LineRecorder::note(const QString& text) {
    if (isRecording())
        append(m_format.note(Utf8(text), sequence::LogMoment::now()));
}

void LineRecorder::notSent(const QString& warning) {
    if (isRecording())
        append(m_format.notSent(Utf8(warning), sequence::LogMoment::now()));
}

void LineRecorder::noReply(std::chrono::milliseconds wait) {
    if (isRecording())
        append(m_format.noReply(Utf8(m_link.deviceName()), wait, sequence::LogMoment::now()));
}

void LineRecorder::logFrame(const QByteArray& frame) {
    if (!isRecording())
        return;
    const QString sender = m_frameSender ? m_frameSender(frame) : QString();
    append(m_format.sent(frame.toStdString(), sequence::LogMoment::now(), Utf8(sender)));
}

// Told as they come, in pieces of bounded size, so that no line of the log is too long to play
// back.
void LineRecorder::logReceived(const QByteArray& bytes) {
    if (!isRecording())
        return;
    const sequence::LogMoment moment = sequence::LogMoment::now();
    for (qsizetype at = 0; at < bytes.size() && isRecording();
         at += qsizetype(sequence::kReceivedBytesPerLine)) {
        const QByteArray piece = bytes.mid(at, qsizetype(sequence::kReceivedBytesPerLine));
        append(m_format.received(std::size_t(piece.size()), Utf8(WireBytesToDisplayText(piece)),
                                 moment));
    }
}

void LineRecorder::logWriteFailed(const PortFailure& failure) {
    if (isRecording())
        append(m_format.writeFailed(Utf8(m_failureWords(failure)),
                                    std::size_t(std::max(failure.droppedFrames, 0)),
                                    sequence::LogMoment::now()));
}

void LineRecorder::logPortLost(const PortFailure& failure) {
    if (isRecording())
        append(m_format.portLost(Utf8(m_failureWords(failure)), sequence::LogMoment::now()));
}

void LineRecorder::logPortChanged(const QString& device) {
    if (!isRecording())
        return;
    const sequence::LogMoment moment = sequence::LogMoment::now();
    append(device.isEmpty() ? m_format.portClosed(moment) : m_format.portOpened(Utf8(device), moment));
}

// A log that cannot be written any more is closed at once and told of once; the program goes on.
void LineRecorder::append(const std::string& entry) {
    std::string reason;
    if (m_file.append(entry, &reason))
        return;
    const QString path = this->path();
    m_file.close();
    emit failed(path, QString::fromLocal8Bit(reason.c_str()));
}

} // namespace quillon
