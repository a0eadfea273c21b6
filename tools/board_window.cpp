#include "board_window.h"

#include "command_text.h"
#include "output_chart.h"
#include "virtual_board.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace quillon::board {

namespace {

constexpr int kFullScaleMillivolts = 5000;
constexpr int kLogLines = 2000;

QString PortDescription(const VirtualBoard& board) {
    if (board.linkPath().isEmpty())
        return board.devicePath();
    return board.linkPath() + QStringLiteral(" \u2192 ") + board.devicePath();
}

// A path may break after any of its slashes (a zero-width space there), so that a long link
// wraps onto a second line instead of widening the window off the screen.
QString Breakable(QString path) {
    return path.replace(u'/', QStringLiteral("/\u200B"));
}

} // namespace

BoardWindow::BoardWindow(const VirtualBoard& board, QWidget* parent)
    : QWidget(parent), m_board(board) {
    setWindowTitle(tr("Quillon virtual board"));
    auto* layout = new QVBoxLayout(this);
    auto* port = new QLabel(tr("Port: %1").arg(Breakable(PortDescription(board))));
    port->setWordWrap(true);
    port->setAccessibleName(tr("Port: %1").arg(PortDescription(board)));
    layout->addWidget(port);
    layout->addWidget(createOutputsGroup());
    layout->addWidget(createHistoryGroup());
    layout->addWidget(createLogGroup(), 1);
    // Beside the panel (x 221 to 647) on a 1024 x 768 screen, title bar and borders included.
    resize(360, 660);

    connect(&board, &VirtualBoard::outputsChanged, this, &BoardWindow::showOutputs);
    connect(&board, &VirtualBoard::commandLogged, this, &BoardWindow::appendToLog);
    showOutputs();
}

QWidget* BoardWindow::createOutputsGroup() {
    auto* group = new QGroupBox(tr("Outputs (0 to 5 V)"));
    auto* grid = new QGridLayout(group);
    for (int channel = 0; channel < int(m_rows.size()); ++channel) {
        ChannelRow& row = m_rows[std::size_t(channel)];
        row.bar = new QProgressBar;
        row.bar->setObjectName(QStringLiteral("ch%1").arg(channel));
        row.bar->setRange(0, kFullScaleMillivolts);
        row.bar->setTextVisible(true);
        //: %1 the channel's number, from 0
        row.bar->setAccessibleName(tr("Output of channel %1").arg(channel));
        row.gain = new QLabel;
        grid->addWidget(new QLabel(QStringLiteral("ch%1").arg(channel)), channel, 0);
        grid->addWidget(row.bar, channel, 1);
        grid->addWidget(row.gain, channel, 2);
    }
    grid->setColumnStretch(1, 1);
    return group;
}

QWidget* BoardWindow::createHistoryGroup() {
    auto* group = new QGroupBox(tr("Last 30 s (0 to 5 V a strip)"));
    auto* layout = new QVBoxLayout(group);
    m_chart = new OutputChart;
    layout->addWidget(m_chart);
    return group;
}

QWidget* BoardWindow::createLogGroup() {
    auto* group = new QGroupBox(tr("Commands received"));
    auto* layout = new QVBoxLayout(group);
    m_log = new QPlainTextEdit;
    m_log->setObjectName(QStringLiteral("log"));
    m_log->setAccessibleName(group->title());
    m_log->setReadOnly(true);
    m_log->setMaximumBlockCount(kLogLines);
    m_log->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(m_log);
    return group;
}

void BoardWindow::showOutputs() {
    for (std::size_t channel = 0; channel < m_rows.size(); ++channel) {
        const ChannelState& state = m_board.outputs()[channel];
        const ChannelRow& row = m_rows[channel];
        const long millivolts = std::lround(state.volts * 1000.0);
        row.bar->setValue(int(std::clamp(millivolts, 0L, long(kFullScaleMillivolts))));
        // The text is set literally: QProgressBar's own %v would show millivolts.
        row.bar->setFormat(QString::fromStdString(FixedPoint(state.volts, 3)) +
                           QStringLiteral(" V"));
        row.gain->setText(state.gain ? tr("gain", "beside a channel whose output is doubled")
                                     : QString());
        m_chart->record(int(channel), state.volts);
    }
}

void BoardWindow::appendToLog(const QString& line) {
    m_log->appendPlainText(line);
}

} // namespace quillon::board
