#include "ui/components/StorageTrendChart.h"

#include "ui/components/LocaleText.h"
#include "ui/components/TextStyle.h"

#include <QDateTime>
#include <QLinearGradient>
#include <QLocale>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr int valueMarkCount = 4;
constexpr int dateMarkCount = 5;
constexpr double dotRadius = 3.5;

std::vector<ChartAxis::Mark> dateMarks(const ChartPlot::Domain& domain, bool single)
{
    if (single)
        return {{domain.lower, LocaleText::abbreviatedDate(domain.lower)}};
    const std::vector<double> values = ChartAxis::timeTicks(domain.lower, domain.upper, dateMarkCount);
    const double step = values.size() > 1 ? values[1] - values[0] : 0;
    return ChartAxis::distinctMarks(values, [step](double seconds) -> std::optional<QString> {
        if (step < 86400)
            return LocaleText::timeOfDay(seconds);
        return QLocale().toString(QDateTime::fromSecsSinceEpoch(static_cast<qint64>(seconds)), QStringLiteral("MMM d"));
    });
}

} // namespace

StorageTrendChart::StorageTrendChart(std::vector<StorageHistoryPoint> history, QWidget* parent)
    : QWidget(parent), history_(std::move(history))
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void StorageTrendChart::setHistory(std::vector<StorageHistoryPoint> history)
{
    if (history == history_)
        return;
    history_ = std::move(history);
    update();
}

ChartPlot::Domain StorageTrendChart::valueDomain(const std::vector<StorageHistoryPoint>& history)
{
    double largest = 0;
    for (const auto& point : history)
        largest = std::max(largest, static_cast<double>(point.volumeUsed));
    const double step = ChartAxis::niceStep(0, largest, valueMarkCount);
    if (!(step > 0))
        return {0, 1};
    return {0, std::ceil(largest / step - 1e-9) * step};
}

std::vector<ChartAxis::Mark> StorageTrendChart::valueMarks(const ChartPlot::Domain& domain)
{
    return ChartAxis::distinctMarks(ChartAxis::niceTicks(domain.lower, domain.upper, valueMarkCount),
                                    ChartAxis::byteLabel);
}

QSize StorageTrendChart::sizeHint() const { return {400, 160}; }

void StorageTrendChart::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (history_.empty()) {
        ChartPlot::paintAxes(painter, ChartPlot::plotArea(QRectF(rect()), {}), {}, {}, {}, {});
        return;
    }

    const ChartPlot::Domain y = valueDomain(history_);
    const auto [oldest, newest] = std::minmax_element(history_.begin(), history_.end(),
                                                      [](const auto& a, const auto& b) { return a.date < b.date; });
    const std::vector<ChartAxis::Mark> yMarks = valueMarks(y);
    const QRectF plot = ChartPlot::plotArea(QRectF(rect()), yMarks);
    // Widened by a dot on each side, so the outermost dots stay whole inside the plot.
    const double span = newest->date - oldest->date;
    const double pad = plot.width() > 4 * dotRadius ? span * (dotRadius + 1) / (plot.width() - 2 * (dotRadius + 1)) : 0;
    const ChartPlot::Domain x{oldest->date - pad, newest->date + pad};
    ChartPlot::paintAxes(painter, plot, yMarks, y, dateMarks(x, !(span > 0)), x);

    std::vector<QPointF> line, base;
    for (const auto& point : history_) {
        const double px = ChartPlot::position(point.date, x, plot.left(), plot.right());
        line.emplace_back(px, ChartPlot::position(static_cast<double>(point.volumeUsed), y, plot.bottom(), plot.top()));
        base.emplace_back(px, plot.bottom());
    }
    const QColor accent = accentColor();
    QColor top = accent;
    top.setAlphaF(0.25f);
    QColor clear = accent;
    clear.setAlphaF(0);
    QLinearGradient fade(plot.topLeft(), plot.bottomLeft());
    fade.setColorAt(0, top);
    fade.setColorAt(1, clear);
    painter.save();
    painter.setClipRect(plot.adjusted(-dotRadius, -dotRadius, dotRadius, 0));
    painter.fillPath(ChartPlot::band(line, base), fade);
    painter.setPen(QPen(accent, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(ChartPlot::monotoneCurve(line));
    painter.setPen(Qt::NoPen);
    painter.setBrush(accent);
    for (const QPointF& dot : line)
        painter.drawEllipse(dot, dotRadius, dotRadius);
    painter.restore();
}
