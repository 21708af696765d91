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
#include "ui/screens/system/TopProcessesModel.h"

#include <QAbstractItemModelTester>
#include <QLabel>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>

#include <array>
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

TEST(CPUViewRules, TheCardsAddUpToAHundred)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* description;
        double user, system, nice, idle;
        std::optional<std::array<int, 3>> percents;
    };
    const Case cases[] = {
        {"rounded alone they would make 99", 0.596, 0.193, 0, 0.211, std::array{60, 19, 21}},
        {"nice counts as user", 0.40, 0.10, 0.20, 0.30, std::array{60, 10, 30}},
        {"a third each", 1.0 / 3, 1.0 / 3, 0, 1.0 / 3, std::array{34, 33, 33}},
        {"all idle", 0, 0, 0, 1, std::array{0, 0, 100}},
        {"shares above one are taken as parts", 0.6, 0.5, 0, 0, std::array{55, 45, 0}},
        {"nothing measured", 0, 0, 0, 0, std::nullopt},
        {"not a number", nan, 0.1, 0, 0.9, std::nullopt},
    };
    for (const Case& c : cases) {
        CPUSnapshot cpu = shares(c.user, c.system, c.nice);
        cpu.idle = c.idle;
        EXPECT_EQ(CPUView::shownPercents(cpu), c.percents) << c.description;
    }
}

TEST(CPUViewRules, AShareThatIsNotANumberReadsAsMissing)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* description;
        double user, system, nice;
        QString overall;
    };
    const Case cases[] = {
        {"the two cards' sum", 0.596, 0.193, 0, QStringLiteral("79%")},
        {"nothing measured", 0, 0, 0, QStringLiteral("0%")},
        {"user not a number", nan, 0.1, 0, QStringLiteral("\u2014")},
        {"system infinite", 0.1, std::numeric_limits<double>::infinity(), 0, QStringLiteral("\u2014")},
    };
    for (const Case& c : cases) {
        CPUSnapshot cpu = shares(c.user, c.system, c.nice);
        cpu.idle = 1 - c.user - c.system - c.nice;
        EXPECT_EQ(CPUView::overallText(cpu), c.overall) << c.description;
    }
    ProcessSnapshot process;
    process.cpuPercent = nan;
    EXPECT_EQ(CPUView::processValue(process), QStringLiteral("\u2014"));
    process.cpuPercent = 12.34;
    EXPECT_EQ(CPUView::processValue(process), QStringLiteral("12.3%"));
}

class CPUViewTest : public MonitorFixture {
protected:
    // The cards' values, in order.
    static QStringList cardValues(const QWidget& view)
    {
        QStringList values;
        for (const MetricCard* card : view.findChildren<MetricCard*>()) values << card->shownValue();
        return values;
    }
};

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
        const auto shown = CPUView::shownPercents(cpu);
        ASSERT_TRUE(shown);
        EXPECT_EQ(view.findChild<QLabel*>(QStringLiteral("overallPercent"))->text(),
                  QString::number((*shown)[0] + (*shown)[1]) + "%");
        EXPECT_DOUBLE_EQ(view.findChild<UsageBar*>(QStringLiteral("overallBar"))->fraction(), CPUView::busyShare(cpu));
        EXPECT_EQ(view.findChild<LiveAreaChart*>(QStringLiteral("historyChart"))->points().size(), 2 * store->cpuHistory().size());
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
    view.resize(900, 1400);
    view.show();
    EXPECT_TRUE(view.showsPlaceholder());
    EXPECT_TRUE(view.findChild<QLabel*>(QStringLiteral("waitingText"))->isVisible());
    EXPECT_EQ(view.findChild<QLabel*>(QStringLiteral("waitingText"))->text(), "Measuring CPU usage…");
    EXPECT_FALSE(view.findChild<LiveAreaChart*>(QStringLiteral("historyChart"))->isVisible());
    for (const MetricCard* card : view.findChildren<MetricCard*>()) EXPECT_FALSE(card->isVisible());
}

// Nice, I/O wait, interrupt and steal time as /proc/stat gives them: what the cards show adds up.
TEST_F(CPUViewTest, TheCardsAccountForEveryTick)
{
    CPUView view(*store);
    view.resize(900, 1400);
    view.show();
    // Columns: user nice system idle iowait irq softirq steal guest guest_nice.
    const auto writeStat = [&](const std::string& cpu0, const std::string& cpu1) {
        proc.write("proc/stat", "cpu  0 0 0 0 0 0 0 0 0 0\ncpu0 " + cpu0 + "\ncpu1 " + cpu1 + "\nbtime 1700000000\n");
    };
    writeStat("100 0 50 800 0 0 0 0 0 0", "100 0 50 800 0 0 0 0 0 0");
    pass();
    // +59 user +44 nice +20 system +77 idle; +40 user +38 system +40 iowait +20 irq +10 softirq +52 steal
    writeStat("159 44 70 877 0 0 0 0 0 0", "140 0 88 800 40 20 10 52 0 0");
    pass();
    ASSERT_TRUE(store->cpu());
    const QStringList values = cardValues(view);
    ASSERT_GE(values.size(), 3);
    EXPECT_EQ(values[0], "36%") << "user with nice: 143 of 400 ticks";
    EXPECT_EQ(values[1], "35%") << "kernel, interrupts and steal: 140 of 400";
    EXPECT_EQ(values[2], "29%") << "idle and I/O wait: 117 of 400";
    EXPECT_EQ(view.findChild<QLabel*>(QStringLiteral("overallPercent"))->text(), "71%");
}

// A sample sets new figures in the same widgets: nothing a person holds (focus,
// scroll position, a line of the list) is taken away.
TEST_F(CPUViewTest, SamplesUpdateTheSameWidgets)
{
    CPUView view(*store);
    view.resize(720, 480);
    view.show();
    samples(2);
    ASSERT_TRUE(store->cpu());
    QApplication::processEvents();
    std::vector<QPointer<QWidget>> before;
    for (QWidget* widget : view.findChildren<QWidget*>()) before.emplace_back(widget);
    auto* scroll = view.findChild<QScrollArea*>();
    scroll->setFocus();
    scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
    const int scrolled = scroll->verticalScrollBar()->value();
    ASSERT_GT(scrolled, 0);
    const auto* list = view.findChild<TopProcessesList*>();
    QAbstractItemModelTester tester(list->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    const QPersistentModelIndex busiest = list->model()->index(0, 0);
    const std::int32_t busiestPID = list->processes().front().pid;

    samples(5);
    QApplication::processEvents();
    for (const auto& widget : before) EXPECT_FALSE(widget.isNull()) << "a widget was deleted by a sample";
    EXPECT_EQ(view.findChildren<QWidget*>().size(), before.size()) << "a sample built new widgets";
    EXPECT_EQ(QApplication::focusWidget(), scroll);
    EXPECT_EQ(scroll->verticalScrollBar()->value(), scrolled);
    ASSERT_TRUE(busiest.isValid());
    EXPECT_EQ(list->model()->rowAt(busiest.row()).process.pid, busiestPID);
    EXPECT_EQ(view.findChild<LiveAreaChart*>(QStringLiteral("historyChart"))->points().size(), 2 * store->cpuHistory().size());
    saveAtBothSizes(view, QStringLiteral("cpu-view"));
}

} // namespace
