#pragma once

// The eight outputs over the last 30 s, one strip a channel from 0 to 5 V, newest at the right.
// Commands only note their values; the picture is redrawn on a timer, so a flood of commands
// costs no more repaints than a quiet line, and the timer stops once nothing moves.

#include "output_history.h"

#include <QTimer>
#include <QWidget>

namespace quillon::board {

class OutputChart : public QWidget {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kRepaintInterval{50};

    explicit OutputChart(QWidget* parent = nullptr);

    // Notes that `channel` holds `volts` from `time` on; times never go back.
    void record(int channel, double volts,
                OutputHistory::Clock::time_point time = OutputHistory::Clock::now());

    static QColor channelColour(int channel);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private slots:
    void advance();

private:
    OutputHistory m_history;
    QTimer m_repaintTimer;
};

} // namespace quillon::board
