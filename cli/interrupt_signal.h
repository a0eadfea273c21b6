#pragma once

// Turns SIGINT (Ctrl-C) into a Qt signal on the event loop, so the program can finish the frame
// being written before it stops, instead of dying halfway through it.

#include <QObject>

class QSocketNotifier;

namespace quillon::cli {

class InterruptSignal : public QObject {
    Q_OBJECT

public:
    explicit InterruptSignal(QObject* parent = nullptr);
    ~InterruptSignal() override;

signals:
    void interrupted();

private:
    void readPipe();

    QSocketNotifier* m_notifier = nullptr;
};

} // namespace quillon::cli
