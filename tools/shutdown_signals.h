#pragma once

// Turns SIGINT, SIGTERM and SIGHUP into a Qt signal on the event loop, so the program ends
// through its normal path (and removes its --link) instead of dying inside a handler.

#include <QObject>

class QSocketNotifier;

namespace quillon::board {

class ShutdownSignals : public QObject {
    Q_OBJECT

public:
    explicit ShutdownSignals(QObject* parent = nullptr);
    ~ShutdownSignals() override;

    bool isValid() const { return m_notifier != nullptr; }

signals:
    void shutdownRequested(int signalNumber);

private slots:
    void readPipe();

private:
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace quillon::board
