#include "ui/screens/system/MemoryView.h"

#include "analysis/ByteFormatter.h"
#include "app/AppModel.h"
#include "app/QtText.h"
#include "app/SystemMonitorStore.h"
#include "ui/components/LiveAreaChart.h"
#include "ui/components/MetricCard.h"
#include "ui/components/PressureMeter.h"
#include "ui/components/SectionCard.h"
#include "ui/components/TextStyle.h"
#include "ui/components/AdaptiveGrid.h"
#include "ui/screens/system/TopProcessesList.h"

#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

namespace {

// The narrowest column of the figures; wider where a detail needs it to be read whole.
constexpr int columnWidth = 140;

} // namespace

MemoryView::MemoryView(AppModel& model, QWidget* parent)
    : MemoryView(model.monitor(), parent, &model.apps())
{
}

MemoryView::MemoryView(SystemMonitorStore& monitor, QWidget* parent, const ApplicationsStore* apps)
    : MonitorScreen(monitor, apps, QStringLiteral("Memory"), QStringLiteral("Reading memory statistics…"), parent)
{
    auto* grid = grid_ = new AdaptiveGrid(columnWidth, 10, 12, {});
    grid->setObjectName(QStringLiteral("metrics"));
    struct CardText {
        const char* title;
        std::optional<const char*> detail;
        const char* symbol;
        QColor tint;
    };
    const CardText texts[cardCount] = {
        {"Total RAM", std::nullopt, "memorychip", accentColor()},
        {"Used", "App + Wired + Compressed", "chart.pie.fill", NamedColor::orange},
        {"Available", "Free + cached files the kernel can reclaim", "checkmark.circle", NamedColor::green},
        {"App Memory", std::nullopt, "square.grid.2x2", NamedColor::blue},
        {"Wired", "Kernel memory; can't be compressed or swapped", "lock", NamedColor::red},
        {"Compressed", std::nullopt, "rectangle.compress.vertical", NamedColor::purple},
        {"Cached Files", std::nullopt, "doc.on.doc", NamedColor::teal},
        {"Swap Used", std::nullopt, "arrow.left.arrow.right", NamedColor::gray},
        {"Swap Available", "Swap areas have a fixed size", "externaldrive", NamedColor::gray},
    };
    for (int card = 0; card < cardCount; ++card) {
        const CardText& text = texts[card];
        cards_[static_cast<std::size_t>(card)] = new MetricCard(
            QString::fromUtf8(text.title), QString(),
            text.detail ? std::optional(QString::fromUtf8(*text.detail)) : std::nullopt,
            QString::fromUtf8(text.symbol), text.tint);
        grid->addCell(cards_[static_cast<std::size_t>(card)]);
    }
    grid->setMinimumColumnWidth(MetricCard::columnWidth(columnWidth, cards_));
    sections()->addWidget(grid);

    auto* pressure = new QWidget;
    auto* pressureStack = new QVBoxLayout(pressure);
    pressureStack->setContentsMargins(0, 0, 0, 0);
    meter_ = new PressureMeter(0, pressureLabel(MemoryPressure::unknown), pressureTint(MemoryPressure::unknown));
    meter_->setObjectName(QStringLiteral("pressureMeter"));
    pressureStack->addWidget(meter_);
    explanation_ = new QLabel;
    explanation_->setObjectName(QStringLiteral("pressureText"));
    explanation_->setWordWrap(true);
    // Without a width to wrap at, the card would reserve the height of a narrow column.
    explanation_->setMinimumWidth(360);
    applyTextStyle(explanation_, TextStyle::caption);
    applyTextColor(explanation_, textColor(TextEmphasis::secondary));
    pressureStack->addWidget(explanation_);
    sections()->addWidget(new SectionCard(QStringLiteral("Memory Pressure"),
                                          QStringLiteral("gauge.with.dots.needle.50percent"), pressure));

    chart_ = new LiveAreaChart(
        {}, {{"Wired", NamedColor::red}, {"App", NamedColor::blue}, {"Compressed", NamedColor::purple}}, {0, 1},
        [](double value) {
            const double whole = std::trunc(value);
            const double largest = static_cast<double>(std::numeric_limits<std::int64_t>::max());
            return qstr(ByteFormatter::string(
                std::isfinite(whole) ? static_cast<std::int64_t>(std::clamp(whole, 0.0, largest)) : 0));
        });
    chart_->setObjectName(QStringLiteral("liveChart"));
    chart_->setFixedHeight(220);
    sections()->addWidget(new SectionCard(QStringLiteral("Live Usage"), QStringLiteral("waveform.path.ecg"), chart_));

    top_ = new TopProcessesList({}, &MemoryView::processValue, [this](const ProcessSnapshot& p) { return processIcon(p); });
    sections()->addWidget(new SectionCard(QStringLiteral("Top Memory Users"), QStringLiteral("list.number"), top_));
    refresh();
}

std::vector<ChartPoint> MemoryView::points(const std::vector<MemorySnapshot>& history)
{
    std::vector<ChartPoint> result;
    result.reserve(history.size() * 3);
    for (const MemorySnapshot& sample : history) {
        result.push_back({sample.date, static_cast<double>(sample.wired), "Wired"});
        result.push_back({sample.date, static_cast<double>(sample.app), "App"});
        result.push_back({sample.date, static_cast<double>(sample.compressed), "Compressed"});
    }
    return result;
}

std::uint64_t MemoryView::used(const MemorySnapshot& memory)
{
    return memory.app + memory.wired + memory.compressed;
}

std::uint64_t MemoryView::available(const MemorySnapshot& memory)
{
    const std::uint64_t inUse = used(memory);
    return memory.total > inUse ? memory.total - inUse : 0;
}

QString MemoryView::bytes(std::uint64_t count)
{
    const auto largest = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    return qstr(ByteFormatter::string(static_cast<std::int64_t>(std::min(count, largest))));
}

QString MemoryView::pressureLabel(MemoryPressure pressure)
{
    return qstr(rawValue(pressure));
}

QColor MemoryView::pressureTint(MemoryPressure pressure)
{
    switch (pressure) {
    case MemoryPressure::normal:
        return NamedColor::green;
    case MemoryPressure::warning:
        return NamedColor::yellow;
    case MemoryPressure::critical:
        return NamedColor::red;
    case MemoryPressure::unknown:
        break;
    }
    return NamedColor::gray;
}

QString MemoryView::pressureText(const MemorySnapshot& memory)
{
    QString text;
    if (memory.systemFreePercent)
        text = QStringLiteral("The kernel reports %1% of memory available. ").arg(*memory.systemFreePercent);
    return text + QStringLiteral("Pressure is the kernel's own assessment: it stays Normal even when RAM looks "
                                 "“full” because Linux uses spare memory for caches.");
}

std::optional<QString> MemoryView::swapDetail(const MemorySnapshot& memory)
{
    if (!memory.swapTotal) return std::nullopt;
    return QStringLiteral("of ") + bytes(*memory.swapTotal) + QStringLiteral(" swap space");
}

ChartPlot::Domain MemoryView::chartDomain(std::uint64_t total, const std::vector<ChartPoint>& points)
{
    if (total > 0) return {0, static_cast<double>(total)};
    std::map<double, double> stacked;
    for (const ChartPoint& point : points)
        if (std::isfinite(point.value) && point.value > 0) stacked[point.date] += point.value;
    double largest = 1;
    for (const auto& [date, sum] : stacked) largest = std::max(largest, sum);
    return {0, largest};
}

QString MemoryView::processValue(const ProcessSnapshot& process)
{
    if (!process.memoryBytes) return QStringLiteral("Restricted");
    return qstr(ByteFormatter::string(*process.memoryBytes));
}

void MemoryView::refresh()
{
    const SystemMonitorStore& store = monitor();
    const std::optional<MemorySnapshot>& sample = store.memory();
    showPlaceholder(!sample);
    if (!sample) return;
    const MemorySnapshot& memory = *sample;

    const QString unavailable = QStringLiteral("Unavailable");
    const auto set = [this](Card card, const QString& value) { cards_[static_cast<std::size_t>(card)]->setValue(value); };
    set(totalCard, bytes(memory.total));
    set(usedCard, bytes(used(memory)));
    set(availableCard, bytes(available(memory)));
    set(appCard, bytes(memory.app));
    set(wiredCard, bytes(memory.wired));
    set(compressedCard, bytes(memory.compressed));
    set(cachedCard, bytes(memory.cached));
    set(swapUsedCard, memory.swapUsed ? bytes(*memory.swapUsed) : unavailable);
    cards_[swapUsedCard]->setDetail(swapDetail(memory));
    grid_->setMinimumColumnWidth(MetricCard::columnWidth(columnWidth, cards_));
    set(swapAvailableCard, memory.swapAvailable ? bytes(*memory.swapAvailable) : unavailable);

    meter_->setReading(memory.pressureFraction(), pressureLabel(memory.pressure), pressureTint(memory.pressure));
    explanation_->setText(pressureText(memory));

    std::vector<ChartPoint> live = points(store.memoryHistory());
    chart_->setYDomain(chartDomain(memory.total, live));
    chart_->setPoints(std::move(live));

    top_->setProcesses(TopProcessesList::top(
        store.processes(), [](const ProcessSnapshot& p) { return static_cast<double>(p.memorySortKey()); }));
}
