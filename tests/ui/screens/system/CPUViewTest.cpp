#include "ui/screens/system/CPUView.h"

#include "ui/screens/system/MonitorFixture.h"

#include "analysis/PercentFormatter.h"
#include "app/QtText.h"
#include "ui/components/LiveAreaChart.h"
#include "ui/components/MetricCard.h"
#include "ui/components/TextStyle.h"
#include "ui/components/UsageBar.h"
#include "ui/screens/system/CoreBarChart.h"
#include "ui/screens/system/TopProcessesList.h"

#include <QLabel>

#include <cmath>
#include <limits>

namespace {

CPUSnapshot shares(double user, double system, double nice)
{
    CPUSnapshot cpu;
    cpu.user = user;
    cpu.system = system;
    cpu.nice = nice;
    return cpu;
}

TEST(CPUViewRules, TheBusyShareIsClampedAndTurnsRedOnlyAboveTheThreshold)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        CPUSnapshot cpu;
        double busy;
        bool red;
    };
    const Case cases[] = {
        {shares(0.5, 0.35, 0), 0.85, false},
        {shares(0.5, 0.35, 0.001), 0.851, true},
        {shares(0.6, 0.5, 0), 1.0, true},
        {shares(0.1, 0.1, 0.2), 0.4, false},
        {shares(nan, 0.1, 0), 0.0, false},
        {shares(-0.2, 0, 0), 0.0, false},
    };
    for (const Case& c : cases) {
        const double busy = CPUView::busyShare(c.cpu);
        EXPECT_NEAR(busy, c.busy, 1e-9);
        EXPECT_EQ(CPUView::busyTint(busy) == NamedColor::red, c.red) << c.busy;
    }
    EXPECT_EQ(CoreBarChart::tint(0.85), accentColor());
    EXPECT_EQ(CoreBarChart::tint(0.851), NamedColor::red);
    EXPECT_EQ(CoreBarChart::tint(nan), accentColor());
}

TEST(CPUViewRules, CoreAndLoadTexts)
{
    CPUSnapshot hybrid;
    hybrid.performanceCores = 8;
    hybrid.efficiencyCores = 4;
    hybrid.physicalCores = 12;
    CPUSnapshot physical;
    physical.performanceCores = 4;
    physical.physicalCores = 8;
    EXPECT_EQ(CPUView::coreDetail(hybrid), "8 performance · 4 efficiency");
    EXPECT_EQ(CPUView::coreDetail(physical), "8 physical");
    EXPECT_EQ(CPUView::coreDetail(CPUSnapshot{}), "");

    struct Case {
        std::vector<double> load;
        QString value;
        std::optional<QString> detail;
    };
    const Case cases[] = {
        {{}, "—", std::nullopt},
        {{1.5}, "1.50", std::nullopt},
        {{1.5, 2.25}, "1.50", std::nullopt},
        {{0.5, 0.25, 0.125}, "0.50", "1 min · 5 min 0.25 · 15 min 0.13"},
    };
    for (const Case& c : cases) {
        CPUSnapshot cpu;
        cpu.loadAverage = c.load;
        EXPECT_EQ(CPUView::loadValue(cpu), c.value);
        EXPECT_EQ(CPUView::loadDetail(cpu), c.detail);
    }

    ProcessSnapshot process;
    process.cpuPercent = 112.44;
    EXPECT_EQ(CPUView::processValue(process), "112.4%");
    process.cpuPercent.reset();
    EXPECT_EQ(CPUView::processValue(process), "Restricted");
}

TEST(CPUViewRules, TwoPointsPerSampleSystemFirstWithNiceCountedAsUser)
{
    std::vector<CPUSnapshot> history(150);
    for (std::size_t i = 0; i < history.size(); ++i) {
        history[i] = shares(0.2, 0.1, 0.05);
        history[i].date = static_cast<double>(i);
    }
    const auto points = CPUView::points(history);
    ASSERT_EQ(points.size(), 300u);
    EXPECT_EQ(points[0].series, "System");
    EXPECT_DOUBLE_EQ(points[0].value, 0.1);
    EXPECT_EQ(points[1].series, "User");
    EXPECT_DOUBLE_EQ(points[1].value, 0.25);
    EXPECT_DOUBLE_EQ(points[299].date, 149.0);
    EXPECT_TRUE(CPUView::points({}).empty());
}

class CPUViewTest : public MonitorFixture {};

TEST_F(CPUViewTest, SamplesOnlyWhileShownAndFillsFromTheStore)
{
    {
        CPUView view(*store);
        EXPECT_TRUE(view.showsPlaceholder());
        EXPECT_FALSE(store->isSampling());
        view.resize(900, 1400);
        view.show();
        EXPECT_TRUE(view.isSubscribed());
        EXPECT_TRUE(store->isSampling());
        samples(8);
        ASSERT_TRUE(store->cpu());
        EXPECT_FALSE(view.showsPlaceholder());

        const CPUSnapshot& cpu = *store->cpu();
        EXPECT_EQ(view.findChild<QLabel*>(QStringLiteral("overallPercent"))->text(),
                  qstr(PercentFormatter::string(CPUView::busyShare(cpu), 0)));
        EXPECT_DOUBLE_EQ(view.findChild<UsageBar*>(QStringLiteral("overallBar"))->fraction(), CPUView::busyShare(cpu));
        EXPECT_EQ(view.historyChart()->points().size(), 2 * store->cpuHistory().size());
        EXPECT_EQ(view.findChild<CoreBarChart*>()->shares(), cpu.perCore);
        EXPECT_EQ(view.findChildren<MetricCard*>().size(), 5);

        // The busiest ten, in the store's ranking.
        const auto* list = view.findChild<TopProcessesList*>();
        ASSERT_EQ(list->processes().size(), 10u);
        EXPECT_EQ(list->processes().front().pid, 14);
        EXPECT_EQ(list->processes().back().pid, 5);
        saveScreenshot(view, QStringLiteral("cpu-view"));

        view.hide();
        EXPECT_FALSE(view.isSubscribed());
        EXPECT_FALSE(store->isSampling());
        view.show();
        EXPECT_TRUE(store->isSampling());
    }
    // Destroyed while shown: the store stops too.
    EXPECT_FALSE(store->isSampling());
}

TEST_F(CPUViewTest, WithoutASampleOnlyTheWaitingTextShows)
{
    CPUView view(*store);
    EXPECT_TRUE(view.showsPlaceholder());
    EXPECT_EQ(view.findChild<QLabel*>(QStringLiteral("waitingText"))->text(), "Measuring CPU usage…");
    EXPECT_EQ(view.historyChart(), nullptr);
    EXPECT_TRUE(view.findChildren<MetricCard*>().empty());
}

} // namespace
