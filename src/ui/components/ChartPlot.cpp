#include "ui/components/ChartPlot.h"

#include "ui/components/TextStyle.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr double labelGap = 6;

QFont axisFont() { return textStyleFont(TextStyle::caption2); }

} // namespace

double ChartPlot::position(double value, const Domain& domain, double from, double to)
{
    const double span = domain.upper - domain.lower;
    if (!std::isfinite(span) || !(span > 0) || !std::isfinite(value))
        return (from + to) / 2;
    return from + (value - domain.lower) / span * (to - from);
}

QPainterPath ChartPlot::monotoneCurve(const std::vector<QPointF>& points)
{
    QPainterPath path;
    const std::size_t n = points.size();
    if (n == 0)
        return path;
    path.moveTo(points[0]);
    if (n == 1)
        return path;
    // Secant slopes, then tangents limited so that no segment overshoots its ends
    // (Fritsch and Carlson).
    std::vector<double> secant(n - 1), tangent(n);
    for (std::size_t k = 0; k + 1 < n; ++k) {
        const double h = points[k + 1].x() - points[k].x();
        secant[k] = h > 0 ? (points[k + 1].y() - points[k].y()) / h : 0;
    }
    tangent[0] = secant[0];
    tangent[n - 1] = secant[n - 2];
    for (std::size_t k = 1; k + 1 < n; ++k)
        tangent[k] = secant[k - 1] * secant[k] <= 0 ? 0 : (secant[k - 1] + secant[k]) / 2;
    for (std::size_t k = 0; k + 1 < n; ++k) {
        if (secant[k] == 0) {
            tangent[k] = tangent[k + 1] = 0;
            continue;
        }
        const double a = tangent[k] / secant[k];
        const double b = tangent[k + 1] / secant[k];
        const double s = a * a + b * b;
        if (s > 9) {
            const double t = 3 / std::sqrt(s);
            tangent[k] = t * a * secant[k];
            tangent[k + 1] = t * b * secant[k];
        }
    }
    for (std::size_t k = 0; k + 1 < n; ++k) {
        const QPointF& p = points[k];
        const QPointF& q = points[k + 1];
        const double third = (q.x() - p.x()) / 3;
        if (!(third > 0)) {
            path.lineTo(q);
            continue;
        }
        path.cubicTo(QPointF(p.x() + third, p.y() + tangent[k] * third),
                     QPointF(q.x() - third, q.y() - tangent[k + 1] * third), q);
    }
    return path;
}

QPainterPath ChartPlot::band(const std::vector<QPointF>& upper, const std::vector<QPointF>& lower)
{
    QPainterPath area = monotoneCurve(upper);
    if (upper.empty() || lower.empty())
        return area;
    area.connectPath(monotoneCurve(lower).toReversed());
    area.closeSubpath();
    return area;
}

QRectF ChartPlot::plotArea(const QRectF& bounds, const std::vector<ChartAxis::Mark>& yMarks, double bottomReserve)
{
    const QFontMetricsF metrics(axisFont());
    double labelWidth = 0;
    for (const auto& mark : yMarks)
        labelWidth = std::max(labelWidth, metrics.horizontalAdvance(mark.label));
    const double top = metrics.height() / 2;
    const double bottom = metrics.height() + labelGap + bottomReserve;
    return bounds.adjusted(2, top, -(labelWidth + labelGap + 2), -bottom);
}

void ChartPlot::paintAxes(QPainter& painter, const QRectF& plot, const std::vector<ChartAxis::Mark>& yMarks,
                          const Domain& y, const std::vector<ChartAxis::Mark>& xMarks, const Domain& x)
{
    painter.save();
    const QFont font = axisFont();
    const QFontMetricsF metrics(font);
    painter.setFont(font);
    const QPen grid(textColor(TextEmphasis::quaternary), 1);
    const QColor labelColor = textColor(TextEmphasis::secondary);
    for (const auto& mark : yMarks) {
        const double at = std::round(position(mark.value, y, plot.bottom(), plot.top())) + 0.5;
        painter.setPen(grid);
        painter.drawLine(QPointF(plot.left(), at), QPointF(plot.right(), at));
        painter.setPen(labelColor);
        painter.drawText(QRectF(plot.right() + labelGap, at - metrics.height() / 2, 1000, metrics.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, mark.label);
    }
    double taken = -INFINITY;
    for (const auto& mark : xMarks) {
        const double at = std::round(position(mark.value, x, plot.left(), plot.right())) + 0.5;
        painter.setPen(grid);
        painter.drawLine(QPointF(at, plot.top()), QPointF(at, plot.bottom() + 3));
        // The text starts at its line, as long as it stays inside the chart; in a narrow
        // chart a text that would run into the one before it is left out.
        const double width = metrics.horizontalAdvance(mark.label);
        const double left = std::min<double>(at + 2, painter.window().right() - width - 1);
        if (left < taken + labelGap)
            continue;
        taken = left + width;
        painter.setPen(labelColor);
        painter.drawText(QRectF(left, plot.bottom() + 4, width + 1, metrics.height()), Qt::AlignLeft, mark.label);
    }
    // The axis lines themselves, drawn even when there are no marks.
    painter.setPen(QPen(textColor(TextEmphasis::tertiary), 1));
    painter.drawLine(QPointF(plot.left(), plot.bottom() + 0.5), QPointF(plot.right(), plot.bottom() + 0.5));
    painter.restore();
}
