#include "ui/components/LiveAreaChart.h"

#include "ui/components/LocaleText.h"
#include "ui/components/TextStyle.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QVariantAnimation>

#include <algorithm>
#include <cmath>
#include <map>

namespace {

constexpr int valueMarkCount = 4;
constexpr int timeMarkCount = 5;
constexpr int animationMilliseconds = 200;
constexpr double legendDot = 8;

QFont legendFont() { return textStyleFont(TextStyle::caption); }

double legendHeight() { return QFontMetricsF(legendFont()).height() + 8; }

ChartPlot::Domain interpolated(const ChartPlot::Domain& from, const ChartPlot::Domain& to, double t)
{
    return {from.lower + (to.lower - from.lower) * t, from.upper + (to.upper - from.upper) * t};
}

} // namespace

LiveAreaChart::LiveAreaChart(std::vector<ChartPoint> points, SeriesColors seriesColors, ChartPlot::Domain yDomain,
                             ValueLabel valueLabel, QWidget* parent)
    : QWidget(parent),
      points_(std::move(points)),
      seriesColors_(std::move(seriesColors)),
      yDomain_(usableDomain(yDomain)),
      valueLabel_(std::move(valueLabel)),
      layers_(stack(points_, seriesColors_)),
      shownTime_(timeDomain()),
      previousTime_(shownTime_),
      animation_(new QVariantAnimation(this))
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    animation_->setDuration(animationMilliseconds);
    animation_->setStartValue(0.0);
    animation_->setEndValue(1.0);
    animation_->setEasingCurve(QEasingCurve::Linear);
    connect(animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        shownTime_ = interpolated(previousTime_, timeDomain(), value.toDouble());
        update();
    });
}

void LiveAreaChart::setPoints(std::vector<ChartPoint> points)
{
    if (points == points_)
        return;
    const bool countChanged = points.size() != points_.size();
    const bool hadPoints = !points_.empty();
    points_ = std::move(points);
    layers_ = stack(points_, seriesColors_);
    animation_->stop();
    // The time axis slides from where it was to where the new samples put it.
    if (countChanged && hadPoints && !points_.empty()) {
        previousTime_ = shownTime_;
        animation_->start();
    } else {
        shownTime_ = timeDomain();
    }
    update();
}

void LiveAreaChart::setYDomain(const ChartPlot::Domain& domain)
{
    const ChartPlot::Domain usable = usableDomain(domain);
    if (usable == yDomain_)
        return;
    yDomain_ = usable;
    update();
}

bool LiveAreaChart::isAnimating() const { return animation_->state() == QAbstractAnimation::Running; }

std::vector<LiveAreaChart::Layer> LiveAreaChart::stack(const std::vector<ChartPoint>& points,
                                                       const SeriesColors& colors)
{
    std::vector<Layer> layers;
    std::map<std::string, std::size_t> layerOf;
    for (const auto& [series, color] : colors)
        if (layerOf.emplace(series, layers.size()).second)
            layers.push_back({series, color, {}});
    for (const auto& point : points)
        if (layerOf.emplace(point.series, layers.size()).second)
            layers.push_back({point.series, NamedColor::gray, {}});

    // Per instant, the sum of each layer's values there.
    std::map<double, std::map<std::size_t, double>> instants;
    for (const auto& point : points) {
        if (!std::isfinite(point.date))
            continue;
        instants[point.date == 0 ? 0.0 : point.date][layerOf[point.series]] +=
            std::isfinite(point.value) ? point.value : 0;
    }
    for (const auto& [date, values] : instants) {
        double running = 0;
        for (const auto& [layer, value] : values) {
            layers[layer].samples.push_back({date, running, running + value});
            running += value;
        }
    }
    std::erase_if(layers, [](const Layer& layer) { return layer.samples.empty(); });
    return layers;
}

ChartPlot::Domain LiveAreaChart::usableDomain(const ChartPlot::Domain& domain)
{
    if (!std::isfinite(domain.lower) || !std::isfinite(domain.upper))
        return {0, 1};
    if (!(domain.upper > domain.lower))
        return {domain.lower, domain.lower + 1};
    return domain;
}

ChartPlot::Domain LiveAreaChart::timeDomain() const
{
    double lower = INFINITY, upper = -INFINITY;
    for (const auto& layer : layers_) {
        lower = std::min(lower, layer.samples.front().date);
        upper = std::max(upper, layer.samples.back().date);
    }
    if (lower > upper)
        return {};
    return {lower, upper};
}

QSize LiveAreaChart::sizeHint() const { return {480, 200}; }

std::vector<std::pair<std::size_t, std::size_t>> LiveAreaChart::runs(const std::vector<double>& dates)
{
    std::vector<std::pair<std::size_t, std::size_t>> result;
    if (dates.empty())
        return result;
    std::vector<double> steps;
    for (std::size_t i = 1; i < dates.size(); ++i)
        steps.push_back(dates[i] - dates[i - 1]);
    double usual = 0;
    if (!steps.empty()) {
        std::vector<double> sorted = steps;
        std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2), sorted.end());
        usual = sorted[sorted.size() / 2];
    }
    // After a change of the sampling interval the slower steps follow one another: a step
    // as long as one beside it is the new interval, not a gap.
    const auto gap = [&](std::size_t step) {
        double beside = 0;
        if (step > 0)
            beside = std::max(beside, steps[step - 1]);
        if (step + 1 < steps.size())
            beside = std::max(beside, steps[step + 1]);
        return steps[step] > usual * 1.5 && steps[step] > beside * 1.5;
    };
    std::size_t first = 0;
    for (std::size_t i = 1; i < dates.size(); ++i)
        if (gap(i - 1)) {
            result.emplace_back(first, i);
            first = i;
        }
    result.emplace_back(first, dates.size());
    return result;
}

void LiveAreaChart::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const std::vector<ChartAxis::Mark> yMarks = ChartAxis::distinctMarks(
        ChartAxis::niceTicks(yDomain_.lower, yDomain_.upper, valueMarkCount),
        [this](double value) -> std::optional<QString> {
            if (!valueLabel_)
                return std::nullopt;
            return valueLabel_(value);
        });
    const QRectF plot = ChartPlot::plotArea(QRectF(rect()), yMarks, legendHeight());
    const ChartPlot::Domain x = shownTime_;
    std::vector<ChartAxis::Mark> xMarks;
    if (!layers_.empty())
        xMarks = ChartAxis::distinctMarks(ChartAxis::timeTicks(x.lower, x.upper, timeMarkCount),
                                          [](double seconds) -> std::optional<QString> {
                                              return LocaleText::timeOfDay(seconds);
                                          });
    ChartPlot::paintAxes(painter, plot, yMarks, yDomain_, xMarks, x);

    painter.save();
    // Values above the fixed range are cut off rather than widening it.
    painter.setClipRect(plot);
    for (const auto& layer : layers_) {
        std::vector<double> dates;
        for (const auto& sample : layer.samples)
            dates.push_back(sample.date);
        QColor fill = layer.color;
        fill.setAlphaF(0.75f);
        for (const auto& [first, end] : runs(dates)) {
            std::vector<QPointF> upper, lower;
            for (std::size_t i = first; i < end; ++i) {
                const Sample& sample = layer.samples[i];
                const double px = ChartPlot::position(sample.date, x, plot.left(), plot.right());
                upper.emplace_back(px, ChartPlot::position(sample.upper, yDomain_, plot.bottom(), plot.top()));
                lower.emplace_back(px, ChartPlot::position(sample.lower, yDomain_, plot.bottom(), plot.top()));
            }
            painter.fillPath(ChartPlot::band(upper, lower), fill);
            if (upper.size() == 1) {
                // A single instant has no width: show it as a line at its height.
                painter.setPen(QPen(layer.color, 2));
                painter.drawLine(upper.front(), lower.front());
            }
        }
    }
    painter.restore();

    // Legend: one dot and name per series of the colour table, in its order.
    painter.setFont(legendFont());
    const QFontMetricsF metrics(legendFont());
    double left = plot.left();
    const double middle = height() - legendHeight() / 2 + 2;
    for (const auto& [series, color] : seriesColors_) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawEllipse(QPointF(left + legendDot / 2, middle), legendDot / 2, legendDot / 2);
        const QString name = QString::fromStdString(series);
        const double width = metrics.horizontalAdvance(name);
        painter.setPen(textColor(TextEmphasis::secondary));
        painter.drawText(QRectF(left + legendDot + 4, middle - metrics.height() / 2, width + 1, metrics.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, name);
        left += legendDot + 4 + width + 12;
    }
}
