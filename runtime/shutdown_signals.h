#pragma once

// Turns SIGINT, SIGTERM and SIGHUP into a Qt signal on the event loop, so a program ends through
// its normal path (finishing the frame being written, flushing its log, removing its link)
// instead of dying inside a handler.

#include <QObject>
#include <QString>

class QSocketNotifier;

namespace quillon {

class ShutdownSignals : public QObject {
    Q_OBJECT

public:
    explicit ShutdownSignals(QObject* parent = nullptr);
    ~ShutdownSignals() override;

    // False when the signals could not be watched; errorString() says why.
    bool isValid() const { return m_notifier != nullptr; }
    QString errorString() const { return m_error; }

signals:
    void shutdownRequested(int signalNumber);

private slots:
    void readPipe();

private:
    QSocketNotifier* m_notifier = nullptr;
    QString m_error;
};

} // namespace quillon
