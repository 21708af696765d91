#include "ui/screens/overview/StackedCapacityBar.h"

#include "analysis/ByteFormatter.h"
#include "app/QtText.h"
#include "ui/components/CategoryColor.h"
#include "ui/components/TextStyle.h"

#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include <algorithm>
#include <utility>

StackedCapacityBar::StackedCapacityBar(VolumeInfo volume, std::vector<CategoryUsage> categories, QWidget* parent)
    : QWidget(parent), volume_(std::move(volume)), categories_(std::move(categories))
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMouseTracking(true);
}

void StackedCapacityBar::setFigures(VolumeInfo volume, std::vector<CategoryUsage> categories)
{
    volume_ = std::move(volume);
    categories_ = std::move(categories);
    update();
}

StackedCapacityBar::Figures StackedCapacityBar::figures(const VolumeInfo& volume)
{
    Figures figures;
    figures.total = volume.totalCapacity;
    figures.available = volume.available();
    figures.used = std::max<std::int64_t>(0, volume.usedCapacity);
    figures.purgeable = volume.availableForImportantUsage - volume.availableStrict;
    figures.usedFraction = volume.usedShare();
    return figures;
}

StackedCapacityBar::Layout StackedCapacityBar::layout(const VolumeInfo& volume,
                                                      const std::vector<CategoryUsage>& categories, double width)
{
    const Figures figures = StackedCapacityBar::figures(volume);
    // The administrator's reserve is neither used nor free: the bar spans what this user can reach.
    const double scale = std::max(1.0, static_cast<double>(figures.used + std::max<std::int64_t>(figures.available, 0)));
    const std::size_t shown = std::min<std::size_t>(categories.size(), shownCategories);
    // One gap after each category and after the other used space.
    const double usable = std::max(0.0, width - static_cast<double>(shown + 1) * gap);

    Layout result;
    std::int64_t remaining = figures.used;
    double x = 0;
    auto add = [&](std::optional<StorageCategory> category, std::int64_t shownBytes, std::int64_t drawnBytes) {
        const double segmentWidth = usable * static_cast<double>(drawnBytes) / scale;
        result.segments.push_back({category, shownBytes, x, segmentWidth});
        x += segmentWidth + gap;
    };
    for (std::size_t index = 0; index < shown; ++index) {
        const CategoryUsage& usage = categories[index];
        const std::int64_t drawn = std::clamp<std::int64_t>(usage.bytes, 0, remaining);
        remaining -= drawn;
        add(usage.category, usage.bytes, drawn);
    }
    add(std::nullopt, remaining, remaining);
    result.freeX = std::min(x, width);
    result.freeWidth = std::max(0.0, width - result.freeX);
    return result;
}

QString StackedCapacityBar::toolTipAt(double x) const
{
    for (const Segment& segment : layout(volume_, categories_, width()).segments) {
        if (x < segment.x || x >= segment.x + segment.width + gap)
            continue;
        const QString bytes = qstr(ByteFormatter::string(segment.bytes));
        if (segment.category)
            return qstr(displayName(*segment.category)) + QStringLiteral(": ") + bytes;
        return QStringLiteral("Other used space: ") + bytes;
    }
    return {};
}

QSize StackedCapacityBar::sizeHint() const
{
    return {200, barHeight};
}

QSize StackedCapacityBar::minimumSizeHint() const
{
    return {40, barHeight};
}

void StackedCapacityBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bar(0, (height() - barHeight) / 2.0, width(), barHeight);
    QPainterPath capsule;
    capsule.addRoundedRect(bar, barHeight / 2.0, barHeight / 2.0);
    painter.setClipPath(capsule);

    const Layout pieces = layout(volume_, categories_, bar.width());
    for (const Segment& segment : pieces.segments) {
        QColor color = segment.category ? categoryColor(*segment.category) : NamedColor::gray;
        if (!segment.category)
            color.setAlphaF(0.5);
        painter.fillRect(QRectF(segment.x, bar.top(), segment.width, bar.height()), color);
    }
    painter.fillRect(QRectF(pieces.freeX, bar.top(), pieces.freeWidth, bar.height()),
                     textColor(TextEmphasis::quaternary));
}

bool StackedCapacityBar::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = toolTipAt(help->pos().x());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QWidget::event(event);
}
