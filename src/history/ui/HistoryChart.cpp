#include "history/ui/HistoryChart.h"

#include "history/HistorySeries.h"

#include <QDateTime>
#include <QLocale>
#include <QPainter>
#include <QPolygonF>

#include <cmath>

namespace {

const QColor kLineColour(31, 119, 180);
const QColor kFillColour(222, 234, 244); // the line's colour, faint: opaque fills are the quick ones
const QColor kLimitColour(214, 110, 0);
const QColor kFailureColour(210, 30, 30);
const QColor kGridColour(225, 225, 225);

// How dates on the axis read: hours within two days, days within four months, months beyond.
QString DateFormat(std::int64_t spanMs) {
    constexpr std::int64_t kDay = 86'400'000;
    if (spanMs <= 2 * kDay)
        return QStringLiteral("HH:mm");
    if (spanMs <= 120 * kDay)
        return QStringLiteral("d MMM");
    return QStringLiteral("MMM yyyy");
}

} // namespace

double NiceStep(double low, double high, int count) {
    const double raw = (high - low) / std::max(1, count);
    if (!(raw > 0) || !std::isfinite(raw))
        return 1;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double factor : {1.0, 2.0, 5.0})
        if (raw <= factor * power)
            return factor * power;
    return 10 * power;
}

THistoryChart::THistoryChart(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void THistoryChart::SetSeries(const THistorySeries* series) {
    m_series = series;
    update();
}

void THistoryChart::SetEmptyText(const QString& text) {
    m_emptyText = text;
    update();
}

void THistoryChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    painter.setPen(palette().text().color());
    double low = 0;
    double high = 0;
    if (m_series == nullptr || !m_series->ValueSpan(low, high)) {
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, m_emptyText);
        return;
    }
    const THistorySeries& series = *m_series;
    const QLocale locale;
    const QFontMetrics metrics = fontMetrics();

    // The value labels: whole steps of a readable size, the scale widened to the outer ones.
    const double step = NiceStep(low, high, 4);
    low = std::floor(low / step) * step;
    high = std::ceil(high / step) * step;
    const int labelDecimals = std::clamp(static_cast<int>(-std::floor(std::log10(step))), 0, series.Decimals());
    QStringList valueLabels;
    int labelWidth = 0;
    for (double value = low; value <= high + step / 2; value += step) {
        valueLabels << locale.toString(value, 'f', labelDecimals);
        labelWidth = std::max(labelWidth, metrics.horizontalAdvance(valueLabels.back()));
    }

    const int textHeight = metrics.height();
    const QRect plot(labelWidth + 10, textHeight / 2 + 4, std::max(10, width() - labelWidth - 10 - 16),
                     std::max(10, height() - textHeight / 2 - 4 - textHeight - 10));
    const std::int64_t fromMs = series.FromMs();
    const std::int64_t spanMs = std::max<std::int64_t>(1, series.ToMs() - fromMs);
    const auto xOf = [&](std::int64_t timeMs) {
        return plot.left() + static_cast<double>(timeMs - fromMs) * (plot.width() - 1) / static_cast<double>(spanMs);
    };
    const auto yOf = [&](double value) { return plot.bottom() - (value - low) * (plot.height() - 1) / (high - low); };

    // The area below the steps, tinted, under the grid: a rectangle per held value (one polygon
    // of thousands of corners costs the rasterizer hundreds of milliseconds).
    const std::vector<TStepColumn> steps = series.Steps(plot.width());
    QVector<QRectF> area;
    area.reserve(static_cast<qsizetype>(steps.size()));
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const double left = plot.left() + steps[i].Column;
        const double right = i + 1 < steps.size() ? plot.left() + steps[i + 1].Column : plot.right();
        const double top = std::round(yOf(steps[i].Last));
        if (right > left)
            area << QRectF(left, top, right - left, plot.bottom() - top);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(kFillColour);
    painter.drawRects(area);
    painter.setBrush(Qt::NoBrush);

    // Grid and value labels.
    for (int i = 0; i < valueLabels.size(); ++i) {
        const double y = yOf(low + i * step);
        painter.setPen(kGridColour);
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        painter.setPen(palette().text().color());
        painter.drawText(QRectF(0, y - textHeight / 2.0, labelWidth + 4, textHeight), Qt::AlignRight | Qt::AlignVCenter,
                         valueLabels[i]);
    }
    // Date labels, as many as fit without crowding.
    const QString format = DateFormat(spanMs);
    const int dateWidth =
        metrics.horizontalAdvance(locale.toString(QDateTime::fromMSecsSinceEpoch(fromMs), format)) + 24;
    const int dates = std::clamp(plot.width() / std::max(1, dateWidth), 1, 6);
    for (int i = 0; i <= dates; ++i) {
        const std::int64_t time = fromMs + spanMs * i / dates;
        const double x = xOf(time);
        painter.setPen(kGridColour);
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        painter.setPen(palette().text().color());
        const QString text = locale.toString(QDateTime::fromMSecsSinceEpoch(time), format);
        const int w = metrics.horizontalAdvance(text);
        const double left = std::clamp(x - w / 2.0, 0.0, static_cast<double>(width() - w));
        painter.drawText(QRectF(left, plot.bottom() + 6, w, textHeight), Qt::AlignCenter, text);
    }
    painter.setPen(palette().mid().color());
    painter.drawRect(plot.adjusted(0, 0, -1, -1));

    // The steps: one pixel column at a time, each value held until the next. The outline has no
    // repeated point: a path of many zero-length pieces costs the stroker hundreds of milliseconds.
    if (!steps.empty()) {
        QPolygonF line;
        line.reserve(static_cast<qsizetype>(steps.size() * 5 + 2));
        const auto to = [&line](double x, double y) {
            const QPointF point(x, std::round(y));
            if (line.isEmpty() || line.back() != point)
                line << point;
        };
        for (std::size_t i = 0; i < steps.size(); ++i) {
            const TStepColumn& column = steps[i];
            const double x = plot.left() + column.Column;
            if (i > 0)
                to(x, yOf(steps[i - 1].Last));
            to(x, yOf(column.First));
            to(x, yOf(column.Low));
            to(x, yOf(column.High));
            to(x, yOf(column.Last));
        }
        // The last value holds until now.
        to(plot.right(), yOf(steps.back().Last));
        painter.setBrush(Qt::NoBrush);
        // Separate lines: one outline of thousands of right angles costs the stroker far more.
        QVector<QLineF> lines;
        lines.reserve(line.size());
        for (qsizetype i = 1; i < line.size(); ++i)
            lines << QLineF(line[i - 1], line[i]);
        painter.setPen(QPen(kLineColour, 2, Qt::SolidLine, Qt::SquareCap));
        painter.drawLines(lines);
    }

    // The limits.
    painter.setPen(QPen(kLimitColour, 1, Qt::DashLine));
    for (const auto& limit : {series.LimitBelow(), series.LimitAbove()})
        if (limit)
            painter.drawLine(QPointF(plot.left(), yOf(*limit)), QPointF(plot.right(), yOf(*limit)));

    // Failed checks: a red mark on the time axis, one per pixel column.
    painter.setPen(QPen(kFailureColour, 2));
    int lastMark = -1;
    for (const std::int64_t time : series.FailureTimes()) {
        const int x = static_cast<int>(xOf(time));
        if (x == lastMark)
            continue;
        lastMark = x;
        painter.drawLine(QPoint(x, plot.bottom() - 7), QPoint(x, plot.bottom()));
    }
}
