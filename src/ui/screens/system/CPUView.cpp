#include "ui/screens/system/CPUView.h"

#include "analysis/PercentFormatter.h"
#include "app/AppModel.h"
#include "app/QtText.h"
#include "app/SystemMonitorStore.h"
#include "ui/components/LiveAreaChart.h"
#include "ui/components/MetricCard.h"
#include "ui/components/SectionCard.h"
#include "ui/components/TextStyle.h"
#include "ui/components/UsageBar.h"
#include "ui/screens/overview/AdaptiveGrid.h"
#include "ui/screens/system/CoreBarChart.h"
#include "ui/screens/system/TopProcessesList.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

QString percent(double share)
{
    return qstr(PercentFormatter::string(share, 0));
}

QLabel* captionLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    applyTextStyle(label, TextStyle::caption);
    applyTextColor(label, textColor(TextEmphasis::secondary));
    return label;
}

} // namespace

CPUView::CPUView(AppModel& model, QWidget* parent)
    : CPUView(model.monitor(), parent, &model.apps())
{
}

CPUView::CPUView(SystemMonitorStore& monitor, QWidget* parent, const ApplicationsStore* apps)
    : MonitorScreen(monitor, apps, QStringLiteral("CPU"), QStringLiteral("Measuring CPU usage…"), parent)
{
    refresh();
}

std::vector<ChartPoint> CPUView::points(const std::vector<CPUSnapshot>& history)
{
    std::vector<ChartPoint> result;
    result.reserve(history.size() * 2);
    for (const CPUSnapshot& sample : history) {
        result.push_back({sample.date, sample.system, "System"});
        result.push_back({sample.date, sample.user + sample.nice, "User"});
    }
    return result;
}

QString CPUView::coreDetail(const CPUSnapshot& cpu)
{
    if (cpu.performanceCores && cpu.efficiencyCores)
        return QStringLiteral("%1 performance · %2 efficiency").arg(*cpu.performanceCores).arg(*cpu.efficiencyCores);
    if (cpu.physicalCores) return QStringLiteral("%1 physical").arg(*cpu.physicalCores);
    return {};
}

double CPUView::busyShare(const CPUSnapshot& cpu)
{
    return UsageBar::drawnFraction(cpu.user + cpu.system + cpu.nice);
}

QColor CPUView::busyTint(double share)
{
    return share > busyThreshold ? NamedColor::red : accentColor();
}

QString CPUView::loadValue(const CPUSnapshot& cpu)
{
    if (cpu.loadAverage.empty()) return QStringLiteral("—");
    return QString::asprintf("%.2f", cpu.loadAverage[0]);
}

std::optional<QString> CPUView::loadDetail(const CPUSnapshot& cpu)
{
    if (cpu.loadAverage.size() != 3) return std::nullopt;
    return QString::asprintf("1 min · 5 min %.2f · 15 min %.2f", cpu.loadAverage[1], cpu.loadAverage[2]);
}

QString CPUView::processValue(const ProcessSnapshot& process)
{
    if (!process.cpuPercent) return QStringLiteral("Restricted");
    return QString::asprintf("%.1f%%", *process.cpuPercent);
}

void CPUView::refresh()
{
    const SystemMonitorStore& store = monitor();
    const std::optional<CPUSnapshot>& sample = store.cpu();
    showPlaceholder(!sample);
    if (!sample) return;
    const CPUSnapshot& cpu = *sample;

    // The chart stays, so that it scrolls rather than starts again.
    if (chart_) {
        chart_->setPoints(points(store.cpuHistory()));
    } else {
        chart_ = new LiveAreaChart(points(store.cpuHistory()),
                                   {{"System", NamedColor::red}, {"User", NamedColor::blue}}, {0.0, 1.0},
                                   [](double value) { return percent(value); });
        chart_->setFixedHeight(200);
    }
    QVBoxLayout* stack = rebuildSections(chart_);

    // Overall share.
    auto* overall = new QWidget;
    auto* overallStack = new QVBoxLayout(overall);
    overallStack->setContentsMargins(0, 0, 0, 0);
    auto* row = new QHBoxLayout;
    row->setSpacing(16);
    const double busy = busyShare(cpu);
    auto* bar = new UsageBar(busy, busyTint(busy), 14);
    bar->setObjectName(QStringLiteral("overallBar"));
    row->addWidget(bar, 1, Qt::AlignVCenter);
    auto* busyText = new QLabel(percent(busy));
    busyText->setObjectName(QStringLiteral("overallPercent"));
    applyTextStyle(busyText, TextStyle::title2, QFont::DemiBold);
    busyText->setFixedWidth(70);
    busyText->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    row->addWidget(busyText);
    overallStack->addLayout(row);
    if (cpu.brand) overallStack->addWidget(captionLabel(qstr(*cpu.brand), overall));
    stack->addWidget(new SectionCard(QStringLiteral("Overall CPU"), QStringLiteral("cpu"), overall));

    // Figures.
    auto* grid = new AdaptiveGrid(140, 10, 12, {});
    grid->setObjectName(QStringLiteral("metrics"));
    grid->addCell(new MetricCard(QStringLiteral("User"), percent(cpu.user), QStringLiteral("Apps and user processes"),
                                 QStringLiteral("person"), NamedColor::blue));
    grid->addCell(new MetricCard(QStringLiteral("System"), percent(cpu.system), QStringLiteral("Linux kernel"),
                                 QStringLiteral("gearshape"), NamedColor::red));
    grid->addCell(new MetricCard(QStringLiteral("Idle"), percent(cpu.idle), std::nullopt, QStringLiteral("moon.zzz"),
                                 NamedColor::gray));
    grid->addCell(new MetricCard(QStringLiteral("Cores"), QString::number(cpu.logicalCores), coreDetail(cpu),
                                 QStringLiteral("square.grid.3x3"), NamedColor::purple));
    grid->addCell(new MetricCard(QStringLiteral("Load Average"), loadValue(cpu), loadDetail(cpu),
                                 QStringLiteral("chart.line.uptrend.xyaxis"), NamedColor::orange));
    stack->addWidget(grid);

    stack->addWidget(new SectionCard(QStringLiteral("History"), QStringLiteral("waveform.path.ecg"), chart_));
    stack->addWidget(new SectionCard(QStringLiteral("Per Core"), QStringLiteral("square.grid.3x3.fill"),
                                     new CoreBarChart(cpu.perCore)));

    auto* top = new QWidget;
    auto* topStack = new QVBoxLayout(top);
    topStack->setContentsMargins(0, 0, 0, 0);
    topStack->addWidget(new TopProcessesList(
        TopProcessesList::top(store.processes(), [](const ProcessSnapshot& p) { return p.cpuSortKey(); }),
        &CPUView::processValue, [this](const ProcessSnapshot& p) { return processIcon(p); }));
    topStack->addWidget(captionLabel(
        QStringLiteral("Per-process CPU: 100% = one full core, so busy apps can exceed 100% on multi-core machines."),
        top));
    stack->addWidget(new SectionCard(QStringLiteral("Top Processes"), QStringLiteral("list.number"), top));

}
