#include "ui/screens/system/MemoryView.h"

#include "ui/screens/system/MonitorFixture.h"

#include "ui/components/LiveAreaChart.h"
#include "ui/components/MetricCard.h"
#include "ui/components/PressureMeter.h"
#include "ui/components/TextStyle.h"
#include "ui/screens/system/TopProcessesList.h"
#include "ui/screens/system/TopProcessesModel.h"

#include <QAbstractItemModelTester>
#include <QLabel>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>

#include <limits>

namespace {

TEST(MemoryViewRules, UsedAndAvailableNeverGoBelowZero)
{
    struct Case {
        std::uint64_t total, app, wired, compressed;
        std::uint64_t used, available;
    };
    const Case cases[] = {
        {16'000, 4'000, 1'000, 500, 5'500, 10'500},
        {1'000, 800, 300, 0, 1'100, 0},
        {1'000, 600, 400, 0, 1'000, 0},
        {0, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        MemorySnapshot memory;
        memory.total = c.total;
        memory.app = c.app;
        memory.wired = c.wired;
        memory.compressed = c.compressed;
        EXPECT_EQ(MemoryView::used(memory), c.used);
        EXPECT_EQ(MemoryView::available(memory), c.available);
    }
    EXPECT_EQ(MemoryView::bytes(std::numeric_limits<std::uint64_t>::max()),
              MemoryView::bytes(static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())));
    EXPECT_EQ(MemoryView::bytes(0), "0 bytes");
}

TEST(MemoryViewRules, PressureReadsAsTheKernelRatesIt)
{
    struct Case {
        MemoryPressure pressure;
        QString label;
        QColor tint;
    };
    const Case cases[] = {
        {MemoryPressure::normal, "Normal", NamedColor::green},
        {MemoryPressure::warning, "Moderate", NamedColor::yellow},
        {MemoryPressure::critical, "Critical", NamedColor::red},
        {MemoryPressure::unknown, "Unknown", NamedColor::gray},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MemoryView::pressureLabel(c.pressure), c.label);
        EXPECT_EQ(MemoryView::pressureTint(c.pressure), c.tint);
    }
    const QString explanation = "Pressure is the kernel's own assessment: it stays Normal even when RAM looks "
                                "“full” because Linux uses spare memory for caches.";
    MemorySnapshot memory;
    EXPECT_EQ(MemoryView::pressureText(memory), explanation);
    memory.systemFreePercent = 37;
    EXPECT_EQ(MemoryView::pressureText(memory), "The kernel reports 37% of memory available. " + explanation);
}

TEST(MemoryViewRules, TheSwapDetailNeedsATotal)
{
    MemorySnapshot memory;
    memory.swapUsed = 1'000'000;
    EXPECT_EQ(MemoryView::swapDetail(memory), std::nullopt);
    memory.swapTotal = 2'000'000'000;
    EXPECT_EQ(MemoryView::swapDetail(memory), "of 2.00 GB swap space");
}

TEST(MemoryViewRules, ThreePointsPerSampleOnAScaleUpToTheLatestTotal)
{
    std::vector<MemorySnapshot> history(150);
    for (std::size_t i = 0; i < history.size(); ++i) {
        history[i].date = static_cast<double>(i);
        history[i].wired = 100;
        history[i].app = 200 + i;
        history[i].compressed = 50;
    }
    const auto points = MemoryView::points(history);
    ASSERT_EQ(points.size(), 450u);
    EXPECT_EQ(points[0].series, "Wired");
    EXPECT_EQ(points[1].series, "App");
    EXPECT_EQ(points[2].series, "Compressed");
    EXPECT_DOUBLE_EQ(points[448].value, 349.0);

    struct Case {
        std::uint64_t total;
        std::vector<ChartPoint> points;
        ChartPlot::Domain domain;
    };
    const Case cases[] = {
        {8'000, points, {0, 8'000}},
        // An unreadable total still leaves a scale the samples fit on.
        {0, points, {0, 499}},
        {0, {}, {0, 1}},
        {0, {{1, 0, "App"}, {1, std::numeric_limits<double>::quiet_NaN(), "Wired"}}, {0, 1}},
    };
    for (const Case& c : cases) EXPECT_EQ(MemoryView::chartDomain(c.total, c.points), c.domain) << c.total;
}

class MemoryViewTest : public MonitorFixture {};

TEST_F(MemoryViewTest, FillsFromTheStoreWhileShown)
{
    MemoryView view(*store);
    EXPECT_TRUE(view.showsPlaceholder());
    EXPECT_EQ(view.findChild<QLabel*>(QStringLiteral("waitingText"))->text(), "Reading memory statistics…");
    view.resize(900, 1300);
    view.show();
    EXPECT_TRUE(store->isSampling());
    samples(8);
    ASSERT_TRUE(store->memory());
    EXPECT_FALSE(view.showsPlaceholder());
    const MemorySnapshot& memory = *store->memory();

    const auto cards = view.findChildren<MetricCard*>();
    ASSERT_EQ(cards.size(), 9);
    QStringList values;
    for (const MetricCard* card : cards) values << card->shownValue();
    EXPECT_EQ(values[0], MemoryView::bytes(memory.total));
    EXPECT_EQ(values[1], MemoryView::bytes(MemoryView::used(memory)));
    EXPECT_EQ(values[2], MemoryView::bytes(MemoryView::available(memory)));
    EXPECT_EQ(values[7], MemoryView::bytes(*memory.swapUsed));
    EXPECT_EQ(cards[7]->shownDetail(), "of " + MemoryView::bytes(*memory.swapTotal) + " swap space");

    EXPECT_EQ(view.liveChart()->points().size(), 3 * store->memoryHistory().size());
    const auto* meter = view.findChild<PressureMeter*>(QStringLiteral("pressureMeter"));
    EXPECT_DOUBLE_EQ(meter->fraction(), memory.pressureFraction());
    EXPECT_TRUE(view.findChild<QLabel*>(QStringLiteral("pressureText"))->text().startsWith("The kernel reports 37%"));

    const auto* list = view.findChild<TopProcessesList*>();
    ASSERT_EQ(list->processes().size(), 10u);
    EXPECT_EQ(list->processes().front().pid, 14);
    saveScreenshot(view, QStringLiteral("memory-view"));

    view.hide();
    EXPECT_FALSE(store->isSampling());
}

// free(1) counts as used what MemAvailable leaves; the card and the sentence read the same figure.
TEST_F(MemoryViewTest, UsedAndAvailableAreThoseOfFree)
{
    writeTicks(1, 1, 1);
    proc.write("proc/meminfo", "MemTotal: 24682404 kB\nMemFree: 3227004 kB\nMemAvailable: 11422476 kB\n"
                               "Buffers: 82564 kB\nCached: 8270344 kB\nShmem: 10312 kB\nAnonPages: 11993636 kB\n"
                               "SReclaimable: 340152 kB\nSUnreclaim: 66648 kB\nKernelStack: 6064 kB\n"
                               "PageTables: 38864 kB\nZswap: 0 kB\nSwapTotal: 0 kB\nSwapFree: 0 kB\n");
    MemoryView view(*store);
    view.resize(900, 1300);
    view.show();
    pass();
    const auto cards = view.findChildren<MetricCard*>();
    ASSERT_EQ(cards.size(), 9);
    EXPECT_EQ(cards[1]->shownValue(), MemoryView::bytes((24682404ull - 11422476) * 1024)) << "Used";
    EXPECT_EQ(cards[2]->shownValue(), MemoryView::bytes(11422476ull * 1024)) << "Available is MemAvailable";
    EXPECT_EQ(cards[2]->shownValue(), "11.7 GB");
    // 46.28% available, as the card's 11.7 GB of 25.3 GB reads.
    EXPECT_TRUE(view.findChild<QLabel*>(QStringLiteral("pressureText"))->text().startsWith("The kernel reports 46%"));
    // The parts of Used add up to it.
    const MemorySnapshot& memory = *store->memory();
    EXPECT_EQ(memory.app + memory.wired + memory.compressed, (24682404ull - 11422476) * 1024);
}

// A sample sets new figures in the same widgets: nothing a person holds (focus,
// scroll position, a line of the list) is taken away.
TEST_F(MemoryViewTest, SamplesUpdateTheSameWidgets)
{
    MemoryView view(*store);
    view.resize(720, 480);
    view.show();
    samples(2);
    QApplication::processEvents();
    std::vector<QPointer<QWidget>> before;
    for (QWidget* widget : view.findChildren<QWidget*>()) before.emplace_back(widget);
    auto* scroll = view.findChild<QScrollArea*>();
    scroll->setFocus();
    scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum() / 2);
    const int scrolled = scroll->verticalScrollBar()->value();
    ASSERT_GT(scrolled, 0);
    const auto* list = view.findChild<TopProcessesList*>();
    QAbstractItemModelTester tester(list->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    const QPersistentModelIndex largest = list->model()->index(0, 0);
    const LiveAreaChart* chart = view.liveChart();

    samples(5);
    // A new total rescales the same chart.
    writeMemory(32'000'000, 4'000'000, 6'000'000, 0);
    pass();
    QApplication::processEvents();
    for (const auto& widget : before) EXPECT_FALSE(widget.isNull()) << "a widget was deleted by a sample";
    EXPECT_EQ(view.findChildren<QWidget*>().size(), before.size()) << "a sample built new widgets";
    EXPECT_EQ(QApplication::focusWidget(), scroll);
    EXPECT_EQ(scroll->verticalScrollBar()->value(), scrolled);
    EXPECT_EQ(view.liveChart(), chart);
    EXPECT_EQ(chart->yDomain(), (ChartPlot::Domain{0, 32'000'000.0 * 1024}));
    ASSERT_TRUE(largest.isValid());
    EXPECT_EQ(list->model()->rowAt(largest.row()).process.pid, 14);
    saveAtBothSizes(view, QStringLiteral("memory-view"));
}

TEST_F(MemoryViewTest, AnUnreadableTotalStillDraws)
{
    // Written before the screen starts sampling, so that every pass reads it.
    writeTicks(1, 1, 1);
    proc.write("proc/meminfo", "MemTotal: 0 kB\nMemFree: 0 kB\nAnonPages: 1000 kB\n");
    MemoryView view(*store);
    view.resize(900, 1300);
    view.show();
    pass();
    ASSERT_TRUE(store->memory());
    EXPECT_EQ(store->memory()->total, 0u);
    ASSERT_NE(view.liveChart(), nullptr);
    EXPECT_EQ(view.findChildren<MetricCard*>().front()->shownValue(), "0 bytes");
    EXPECT_FALSE(view.grab().isNull());
}

TEST(MetricCardWidths, TheNarrowestColumnThatShowsEachDetailWhole)
{
    ensureApplication();
    const QFont font = QApplication::font();
    EXPECT_EQ(MetricCard::detailWidth(QString(), font, 220), 0);
    const QString detail = QStringLiteral("Kernel memory; can't be compressed or swapped");
    const int width = MetricCard::detailWidth(detail, font, 220);
    EXPECT_EQ(MetricCard::fittedDetail(detail, font, width), detail);
    EXPECT_NE(MetricCard::fittedDetail(detail, font, width - 1), detail);
    // Past the widest width the detail is cut instead.
    EXPECT_EQ(MetricCard::detailWidth(detail.repeated(6), font, 220), 220);
}

TEST_F(MemoryViewTest, EveryCardShowsItsDetailWholeAtEveryWidth)
{
    MemoryView view(*store);
    view.show();
    samples(2);
    for (int width = 420; width <= 1500; width += 9) {
        view.resize(width, 700);
        QApplication::processEvents();
        for (const MetricCard* card : view.findChildren<MetricCard*>()) {
            const auto* detail = card->findChild<QWidget*>(QStringLiteral("detail"));
            if (detail->isHidden()) continue;
            SCOPED_TRACE(card->accessibleName().toStdString() + " at " + std::to_string(width));
            // Two lines hold each of these texts at the narrowest column.
            EXPECT_FALSE(card->shownDetail().contains(QChar(0x2026))) << card->shownDetail().toStdString();
            EXPECT_GE(detail->height(), detail->heightForWidth(detail->width()));
            EXPECT_LE(detail->geometry().bottom(), card->contentsRect().bottom());
        }
    }
}

} // namespace
