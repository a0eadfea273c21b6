#include "output_chart.h"

#include "frame_layout.h"

#include <QPainter>
#include <QPolygonF>

#include <algorithm>

namespace quillon::board {

namespace {

using Clock = OutputHistory::Clock;

constexpr int kStripHeight = 24;
constexpr double kStripMargin = 3.0;
constexpr int kGridSeconds = 5;

double Seconds(Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

} // namespace

OutputChart::OutputChart(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("outputChart"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumHeight(OutputHistory::kChannels * 12 + fontMetrics().height());
    m_repaintTimer.setInterval(kRepaintInterval);
    connect(&m_repaintTimer, &QTimer::timeout, this, &OutputChart::advance);
}

void OutputChart::record(int channel, double volts, Clock::time_point time) {
    m_history.record(time, channel, volts);
    if (!m_repaintTimer.isActive())
        m_repaintTimer.start();
}

QColor OutputChart::channelColour(int channel) {
    static const std::array<QColor, OutputHistory::kChannels> colours{
        QColor(0x1f, 0x77, 0xb4), QColor(0xff, 0x7f, 0x0e), QColor(0x2c, 0xa0, 0x2c),
        QColor(0xd6, 0x27, 0x28), QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b),
        QColor(0xe3, 0x77, 0xc2), QColor(0x17, 0xbe, 0xcf)};
    return colours[std::size_t(std::clamp(channel, 0, OutputHistory::kChannels - 1))];
}

QSize OutputChart::sizeHint() const {
    return {480, OutputHistory::kChannels * kStripHeight + fontMetrics().height()};
}

void OutputChart::advance() {
    const Clock::time_point now = Clock::now();
    m_history.prune(now);
    update();
    if (m_history.isSteady(now))
        m_repaintTimer.stop();
}

void OutputChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());

    const QFontMetrics metrics = fontMetrics();
    const double labelWidth = metrics.horizontalAdvance(QStringLiteral("ch0")) + 8;
    const QRectF plot(labelWidth, 0, width() - labelWidth - 1, height() - metrics.height());
    const double stripHeight = plot.height() / OutputHistory::kChannels;
    const double span = Seconds(OutputHistory::kSpan);
    const Clock::time_point now = Clock::now();
    const auto xAt = [&](Clock::time_point time) {
        return plot.right() - std::clamp(Seconds(now - time) / span, 0.0, 1.0) * plot.width();
    };

    painter.setPen(palette().color(QPalette::Midlight));
    for (int seconds = 0; seconds <= int(span); seconds += kGridSeconds) {
        const double x = plot.right() - seconds / span * plot.width();
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    }

    for (int channel = 0; channel < OutputHistory::kChannels; ++channel) {
        const QRectF strip(plot.left(), plot.top() + channel * stripHeight, plot.width(),
                           stripHeight);
        const double top = strip.top() + kStripMargin;
        const double bottom = strip.bottom() - kStripMargin;
        const auto yAt = [&](double volts) {
            return bottom - std::clamp(volts / layout::kFullScaleVolts, 0.0, 1.0) * (bottom - top);
        };
        const QColor colour = channelColour(channel);

        painter.setPen(palette().color(QPalette::Mid));
        painter.drawLine(strip.bottomLeft(), strip.bottomRight());
        painter.setPen(colour);
        painter.drawText(QRectF(0, strip.top(), labelWidth - 4, stripHeight),
                         Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("ch%1").arg(channel));

        const std::deque<OutputHistory::Step>& steps = m_history.steps(channel);
        QPolygonF trace;
        for (std::size_t i = 0; i < steps.size(); ++i) {
            const double y = yAt(steps[i].volts);
            trace << QPointF(xAt(steps[i].start), y)
                  << QPointF(i + 1 < steps.size() ? xAt(steps[i + 1].start) : plot.right(), y);
        }
        painter.setPen(QPen(colour, 2));
        painter.drawPolyline(trace);
    }

    painter.setPen(palette().color(QPalette::Text));
    const QRectF axis(plot.left(), plot.bottom(), plot.width(), metrics.height());
    painter.drawText(axis, Qt::AlignLeft | Qt::AlignVCenter,
                     tr("\u2212%1 s", "time axis: seconds ago").arg(int(span)));
    painter.drawText(axis, Qt::AlignHCenter | Qt::AlignVCenter,
                     tr("\u2212%1 s", "time axis: seconds ago").arg(int(span) / 2));
    painter.drawText(axis, Qt::AlignRight | Qt::AlignVCenter, tr("now", "time axis: the present"));
}

} // namespace quillon::board
