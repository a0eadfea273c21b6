#pragma once

// The virtual board's window: the eight outputs as bars from 0 to 5 V with their voltages, the
// same outputs over the last 30 s, and the log of the commands received.

#include "window_language.h"

#include <QWidget>

#include <array>

class QLabel;
class QPlainTextEdit;
class QProgressBar;

namespace quillon::board {

// The window's texts: written in English, translated by translations/quillon-board_*.ts.
inline const TextCatalogue kBoardTexts{QStringLiteral("quillon-board"), QLocale::English};

class OutputChart;
class VirtualBoard;

class BoardWindow : public QWidget {
    Q_OBJECT

public:
    explicit BoardWindow(const VirtualBoard& board, QWidget* parent = nullptr);

private slots:
    void showOutputs();
    void appendToLog(const QString& line);

private:
    struct ChannelRow {
        QProgressBar* bar = nullptr;
        QLabel* gain = nullptr;
    };

    QWidget* createOutputsGroup();
    QWidget* createHistoryGroup();
    QWidget* createLogGroup();

    const VirtualBoard& m_board;
    std::array<ChannelRow, 8> m_rows{};
    OutputChart* m_chart = nullptr;
    QPlainTextEdit* m_log = nullptr;
};

} // namespace quillon::board
