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
#include "ui/components/AdaptiveGrid.h"
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
    // Overall share.
    auto* overall = new QWidget;
    auto* overallStack = new QVBoxLayout(overall);
    overallStack->setContentsMargins(0, 0, 0, 0);
    auto* row = new QHBoxLayout;
    row->setSpacing(16);
    bar_ = new UsageBar(0, accentColor(), 14);
    bar_->setObjectName(QStringLiteral("overallBar"));
    row->addWidget(bar_, 1, Qt::AlignVCenter);
    busyText_ = new QLabel;
    busyText_->setObjectName(QStringLiteral("overallPercent"));
    applyTextStyle(busyText_, TextStyle::title2, QFont::DemiBold);
    busyText_->setFixedWidth(70);
    busyText_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    row->addWidget(busyText_);
    overallStack->addLayout(row);
    brand_ = captionLabel(QString(), overall);
    brand_->setObjectName(QStringLiteral("brand"));
    overallStack->addWidget(brand_);
    sections()->addWidget(new SectionCard(QStringLiteral("Overall CPU"), QStringLiteral("cpu"), overall));

    // Figures.
    auto* grid = new AdaptiveGrid(140, 10, 12, {});
    grid->setObjectName(QStringLiteral("metrics"));
    const auto card = [&](Card which, const QString& title, const std::optional<QString>& detail, const char* symbol,
                          const QColor& tint) {
        cards_[which] = new MetricCard(title, QString(), detail, QString::fromUtf8(symbol), tint);
        grid->addCell(cards_[which]);
    };
    card(userCard, QStringLiteral("User"), QStringLiteral("Apps and user processes"), "person", NamedColor::blue);
    card(systemCard, QStringLiteral("System"), QStringLiteral("Linux kernel"), "gearshape", NamedColor::red);
    card(idleCard, QStringLiteral("Idle"), std::nullopt, "moon.zzz", NamedColor::gray);
    card(coresCard, QStringLiteral("Cores"), QString(), "square.grid.3x3", NamedColor::purple);
    card(loadCard, QStringLiteral("Load Average"), std::nullopt, "chart.line.uptrend.xyaxis", NamedColor::orange);
    grid->setMinimumColumnWidth(MetricCard::columnWidth(140, cards_));
    sections()->addWidget(grid);

    chart_ = new LiveAreaChart({}, {{"System", NamedColor::red}, {"User", NamedColor::blue}}, {0.0, 1.0},
                               [](double value) { return percent(value); });
    chart_->setObjectName(QStringLiteral("historyChart"));
    chart_->setFixedHeight(200);
    sections()->addWidget(new SectionCard(QStringLiteral("History"), QStringLiteral("waveform.path.ecg"), chart_));
    cores_ = new CoreBarChart({});
    sections()->addWidget(new SectionCard(QStringLiteral("Per Core"), QStringLiteral("square.grid.3x3.fill"), cores_));

    auto* top = new QWidget;
    auto* topStack = new QVBoxLayout(top);
    topStack->setContentsMargins(0, 0, 0, 0);
    top_ = new TopProcessesList({}, &CPUView::processValue, [this](const ProcessSnapshot& p) { return processIcon(p); });
    topStack->addWidget(top_);
    topStack->addWidget(captionLabel(
        QStringLiteral("Per-process CPU: 100% = one full core, so busy apps can exceed 100% on multi-core machines."),
        top));
    sections()->addWidget(new SectionCard(QStringLiteral("Top Processes"), QStringLiteral("list.number"), top));
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
    if (!std::isfinite(*process.cpuPercent)) return QStringLiteral("\u2014");
    return QString::asprintf("%.1f%%", *process.cpuPercent);
}

std::optional<std::array<int, 3>> CPUView::shownPercents(const CPUSnapshot& cpu)
{
    const std::array<double, 3> shares{cpu.user + cpu.nice, cpu.system, cpu.idle};
    double total = 0;
    for (const double share : shares) {
        if (!std::isfinite(share)) return std::nullopt;
        total += std::max(share, 0.0);
    }
    if (!(total > 0)) return std::nullopt;
    // Largest remainder: each share's floor, then the missing points to the largest remainders,
    // the earlier card first on a tie.
    std::array<int, 3> percents{};
    std::array<double, 3> remainders{};
    int given = 0;
    for (std::size_t i = 0; i < shares.size(); ++i) {
        const double exact = std::max(shares[i], 0.0) / total * 100.0;
        percents[i] = static_cast<int>(std::floor(exact));
        remainders[i] = exact - percents[i];
        given += percents[i];
    }
    std::array<std::size_t, 3> order{0, 1, 2};
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return remainders[a] > remainders[b]; });
    for (std::size_t i = 0; given < 100 && i < order.size(); ++i, ++given) ++percents[order[i]];
    return percents;
}

QString CPUView::overallText(const CPUSnapshot& cpu)
{
    if (const auto shown = shownPercents(cpu))
        return percent(((*shown)[0] + (*shown)[1]) / 100.0);
    // Unclamped, so that a share that is not a number reads as missing, not as none.
    return percent(cpu.user + cpu.system + cpu.nice);
}

void CPUView::refresh()
{
    const SystemMonitorStore& store = monitor();
    const std::optional<CPUSnapshot>& sample = store.cpu();
    showPlaceholder(!sample);
    if (!sample) return;
    const CPUSnapshot& cpu = *sample;

    const double busy = busyShare(cpu);
    bar_->setFraction(busy);
    bar_->setTint(busyTint(busy));
    // The cards and the overall figure are read together: they add up.
    const auto shown = shownPercents(cpu);
    busyText_->setText(overallText(cpu));
    brand_->setText(cpu.brand ? qstr(*cpu.brand) : QString());
    brand_->setVisible(cpu.brand.has_value());

    const auto whole = [](int value) { return percent(value / 100.0); };
    cards_[userCard]->setValue(shown ? whole((*shown)[0]) : percent(cpu.user + cpu.nice));
    cards_[systemCard]->setValue(shown ? whole((*shown)[1]) : percent(cpu.system));
    cards_[idleCard]->setValue(shown ? whole((*shown)[2]) : percent(cpu.idle));
    cards_[coresCard]->setValue(QString::number(cpu.logicalCores));
    cards_[coresCard]->setDetail(coreDetail(cpu));
    cards_[loadCard]->setValue(loadValue(cpu));
    cards_[loadCard]->setDetail(loadDetail(cpu));

    chart_->setPoints(points(store.cpuHistory()));
    cores_->setShares(cpu.perCore);
    top_->setProcesses(
        TopProcessesList::top(store.processes(), [](const ProcessSnapshot& p) { return p.cpuSortKey(); }));
}
