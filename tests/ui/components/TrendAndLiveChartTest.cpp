#include "ui/components/ChartAxis.h"
#include "ui/components/ChartPlot.h"
#include "ui/components/LiveAreaChart.h"
#include "ui/components/StorageTrendChart.h"

#include "analysis/ByteFormatter.h"
#include "ui/support/UiTestSupport.h"
#include "ui/components/TextStyle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr double start = 1'700'000'000;

QString bytesText(double value)
{
    return ChartAxis::byteLabel(value).value_or(QString());
}

// A minute of memory samples, one a second: three series that wander a little.
std::vector<ChartPoint> memorySamples(int count, double from = start)
{
    std::vector<ChartPoint> points;
    for (int i = 0; i < count; ++i) {
        const double t = from + i;
        points.push_back({t, 6.2e9 + 0.8e9 * std::sin(i / 9.0) + 0.02e9 * i, "App"});
        points.push_back({t, 2.1e9 + 0.15e9 * std::cos(i / 5.0), "Wired"});
        points.push_back({t, 1.3e9 + (i > 30 ? 0.6e9 : 0.0), "Compressed"});
    }
    return points;
}

const LiveAreaChart::SeriesColors memoryColors{
    {"App", NamedColor::blue}, {"Wired", NamedColor::orange}, {"Compressed", NamedColor::purple}};

std::vector<StorageHistoryPoint> history(int count)
{
    std::vector<StorageHistoryPoint> points;
    const std::int64_t used[] = {351'200'000'000, 356'900'000'000, 362'400'000'000, 359'800'000'000,
                                 371'300'000'000, 384'700'000'000, 380'100'000'000, 392'600'000'000};
    for (int i = 0; i < count; ++i)
        points.push_back({i + 1, start + i * 4.5 * 86400, 994'662'584'320, used[i % 8], used[i % 8] - 40'000'000'000});
    return points;
}

} // namespace

TEST(LiveAreaChart, StacksSeriesInTheOrderOfTheColourTable)
{
    const std::vector<ChartPoint> points{
        {start + 1, 5, "System"}, {start, 10, "User"}, {start, 3, "System"},
        {start + 1, 20, "User"},  {start + 2, 7, "User"},   // System has no sample at +2
        {start, 1, "Other"},      {start, 2, "User"},       // one series twice at one instant adds up
    };
    const auto layers = LiveAreaChart::stack(points, {{"User", NamedColor::blue}, {"System", NamedColor::red}});
    ASSERT_EQ(layers.size(), 3u);
    EXPECT_EQ(layers[0].series, "User");
    EXPECT_EQ(layers[0].samples, (std::vector<LiveAreaChart::Sample>{
                                     {start, 0, 12}, {start + 1, 0, 20}, {start + 2, 0, 7}}));
    EXPECT_EQ(layers[1].series, "System");
    EXPECT_EQ(layers[1].color, NamedColor::red);
    EXPECT_EQ(layers[1].samples, (std::vector<LiveAreaChart::Sample>{{start, 12, 15}, {start + 1, 20, 25}}));
    // A series the table does not name goes on top, in a neutral colour.
    EXPECT_EQ(layers[2].series, "Other");
    EXPECT_EQ(layers[2].samples, (std::vector<LiveAreaChart::Sample>{{start, 15, 16}}));

    EXPECT_TRUE(LiveAreaChart::stack({}, memoryColors).empty());
}

TEST(LiveAreaChart, UnusableValueRangesBecomeUsable)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        ChartPlot::Domain given, used;
    };
    const Case cases[] = {
        {{0, 100}, {0, 100}},  {{0, 0}, {0, 1}},     {{5, 2}, {5, 6}},
        {{0, inf}, {0, 1}},    {{nan, 3}, {0, 1}},   {{-1, 1}, {-1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.given.lower << "..." << c.given.upper);
        EXPECT_EQ(LiveAreaChart::usableDomain(c.given), c.used);
    }
    // A single value or an empty range lands in the middle instead of dividing by zero.
    EXPECT_DOUBLE_EQ(ChartPlot::position(7, {3, 3}, 0, 100), 50);
    EXPECT_DOUBLE_EQ(ChartPlot::position(7, {0, 10}, 100, 0), 30);
    EXPECT_DOUBLE_EQ(ChartPlot::position(std::nan(""), {0, 10}, 0, 100), 50);
}

TEST(LiveAreaChart, AnimatesOnlyWhenTheNumberOfPointsChanges)
{
    ensureApplication();
    LiveAreaChart chart(memorySamples(150), memoryColors, {0, 16e9}, bytesText);
    EXPECT_FALSE(chart.isAnimating());
    // A full window: the oldest sample drops out as a new one arrives.
    chart.setPoints(memorySamples(150, start + 1));
    EXPECT_FALSE(chart.isAnimating());
    chart.setPoints(memorySamples(149, start + 2));
    EXPECT_TRUE(chart.isAnimating());
    waitUntil([&] { return !chart.isAnimating(); });
    EXPECT_FALSE(chart.isAnimating());
}

TEST(LiveAreaChart, AGapInTheSamplesBreaksTheArea)
{
    using Runs = std::vector<std::pair<std::size_t, std::size_t>>;
    const struct {
        std::vector<double> dates;
        Runs runs;
    } cases[] = {
        {{}, {}},
        {{10}, {{0, 1}}},
        {{10, 12, 14, 16}, {{0, 4}}},
        // The timer's jitter is no gap.
        {{10, 12.2, 14.1, 16.4, 18}, {{0, 5}}},
        // A skipped sample, then a suspend of an hour.
        {{10, 12, 14, 18, 20, 3620, 3622, 3624}, {{0, 3}, {3, 5}, {5, 8}}},
        // A gap right after the first sample leaves it alone.
        {{10, 100, 102, 104}, {{0, 1}, {1, 4}}},
        // Two samples only: their one step is the usual one.
        {{10, 500}, {{0, 2}}},
    };
    for (const auto& c : cases) EXPECT_EQ(LiveAreaChart::runs(c.dates), c.runs) << c.dates.size();

    // The sampling interval changed in the settings, either way: the slower samples still
    // join up, while most steps of the history are the faster ones.
    for (const auto& [before, after] : {std::pair{1.0, 5.0}, std::pair{5.0, 1.0}}) {
        std::vector<double> changed;
        double moment = 0;
        for (int i = 0; i < 100; ++i, moment += before) changed.push_back(moment);
        for (int i = 0; i < 30; ++i, moment += after) changed.push_back(moment);
        EXPECT_EQ(LiveAreaChart::runs(changed), (Runs{{0, changed.size()}})) << before << " to " << after;
        // A suspend in the slower part is still a gap.
        changed.push_back(changed.back() + 3600);
        changed.push_back(changed.back() + after);
        changed.push_back(changed.back() + after);
        EXPECT_EQ(LiveAreaChart::runs(changed), (Runs{{0, 130}, {130, 133}})) << before << " to " << after;
    }

    // Drawn: nothing in the middle of the gap, the area on both sides of it.
    ensureApplication();
    std::vector<ChartPoint> points;
    for (int i = 0; i < 10; ++i) points.push_back({start + 2 * i, 80, "User"});
    for (int i = 0; i < 10; ++i) points.push_back({start + 200 + 2 * i, 80, "User"});
    LiveAreaChart chart(points, {{"User", NamedColor::blue}}, {0, 100}, [](double v) { return QString::number(v); });
    chart.resize(560, 220);
    const QImage picture = chart.grab().toImage();
    saveScreenshot(chart, QStringLiteral("live-chart-gap"));
    const auto blue = [&](double fraction) {
        const QColor pixel = picture.pixelColor(static_cast<int>(picture.width() * fraction), picture.height() / 2);
        return pixel.blue() > pixel.red() + 60;
    };
    EXPECT_TRUE(blue(0.03));
    EXPECT_FALSE(blue(0.5));
    EXPECT_TRUE(blue(0.95));
}

TEST(ChartPlot, CurvesStayWithinTheirPoints)
{
    EXPECT_TRUE(ChartPlot::monotoneCurve({}).isEmpty());
    EXPECT_EQ(ChartPlot::monotoneCurve({{4, 5}}).elementCount(), 1);
    struct Case {
        std::vector<QPointF> points;
    };
    const Case cases[] = {
        {{{0, 0}, {10, 100}, {20, 100}, {30, 0}}},
        {{{0, 50}, {1, 0}, {50, 100}, {51, 0}}},
        {{{0, 10}, {10, 10}, {10, 80}, {20, 80}}},   // two points at one x
    };
    for (const Case& c : cases) {
        const QRectF bounds = ChartPlot::monotoneCurve(c.points).boundingRect();
        double low = INFINITY, high = -INFINITY;
        for (const QPointF& p : c.points) {
            low = std::min(low, p.y());
            high = std::max(high, p.y());
        }
        EXPECT_GE(bounds.top(), low - 1e-9);
        EXPECT_LE(bounds.bottom(), high + 1e-9);
    }
}

TEST(StorageTrendChart, ValueAxisStartsAtZeroWithDistinctByteLabels)
{
    struct Case {
        std::vector<std::int64_t> used;
        ChartPlot::Domain domain;
        std::vector<const char*> labels;
    };
    const Case cases[] = {
        {{}, {0, 1}, {"0 bytes", "1 byte"}},
        {{0, 0}, {0, 1}, {"0 bytes", "1 byte"}},
        {{392'600'000'000}, {0, 400e9}, {"0 bytes", "100.0 GB", "200.0 GB", "300.0 GB", "400.0 GB"}},
        {{351'200'000'000, 392'600'000'000}, {0, 400e9}, {"0 bytes", "100.0 GB", "200.0 GB", "300.0 GB", "400.0 GB"}},
        {{999'980'000'000}, {0, 1e12}, {"0 bytes", "250.0 GB", "500.0 GB", "750.0 GB", "1.00 TB"}},
        {{7}, {0, 8}, {"0 bytes", "2 bytes", "4 bytes", "6 bytes", "8 bytes"}},
        {{std::numeric_limits<std::int64_t>::max()}, {0, 1e19}, {}},
    };
    for (const Case& c : cases) {
        std::vector<StorageHistoryPoint> points;
        for (std::int64_t used : c.used)
            points.push_back({1, start, 0, used, 0});
        const ChartPlot::Domain domain = StorageTrendChart::valueDomain(points);
        SCOPED_TRACE(domain.upper);
        EXPECT_DOUBLE_EQ(domain.lower, c.domain.lower);
        EXPECT_DOUBLE_EQ(domain.upper, c.domain.upper);
        std::vector<QString> labels, expected;
        for (const auto& mark : StorageTrendChart::valueMarks(domain))
            labels.push_back(mark.label);
        for (const char* label : c.labels)
            expected.push_back(QString::fromUtf8(label));
        if (domain.upper < 1e19)
            EXPECT_EQ(labels, expected);
        else   // beyond 2^63 a mark has no count and no label
            EXPECT_EQ(labels.size(), 4u);
    }
}

TEST(StorageTrendChart, PicturesWithHistoryOnePointAndNone)
{
    ensureApplication();
    for (int count : {8, 1, 0}) {
        StorageTrendChart chart(history(count));
        chart.resize(520, 160);
        saveScreenshot(chart, QStringLiteral("trend-chart-%1").arg(count));
    }
    StorageTrendChart chart({});
    chart.setHistory(history(8));
    EXPECT_EQ(chart.history().size(), 8u);
    chart.resize(240, 160);
    saveScreenshot(chart, QStringLiteral("trend-chart-8-narrow"));
}

TEST(LiveAreaChart, PicturesWithSamplesAndNone)
{
    ensureApplication();
    LiveAreaChart memory(memorySamples(60), memoryColors, {0, 16e9}, bytesText);
    memory.resize(560, 220);
    saveScreenshot(memory, QStringLiteral("live-chart-memory"));

    LiveAreaChart empty({}, memoryColors, {0, 16e9}, bytesText);
    empty.resize(560, 220);
    saveScreenshot(empty, QStringLiteral("live-chart-empty"));

    LiveAreaChart one(memorySamples(1), memoryColors, {0, 16e9}, bytesText);
    one.resize(560, 220);
    saveScreenshot(one, QStringLiteral("live-chart-one-sample"));

    // A machine that reports no memory at all: the range is empty but the chart still draws.
    LiveAreaChart degenerate(memorySamples(3), memoryColors, {0, 0}, bytesText);
    degenerate.resize(560, 220);
    saveScreenshot(degenerate, QStringLiteral("live-chart-degenerate"));

    std::vector<ChartPoint> cpu;
    for (int i = 0; i < 60; ++i) {
        cpu.push_back({start + 2 * i, 12 + 8 * std::sin(i / 6.0), "User"});
        cpu.push_back({start + 2 * i, 6 + 2 * std::cos(i / 4.0), "System"});
    }
    LiveAreaChart processor(cpu, {{"User", NamedColor::blue}, {"System", NamedColor::red}}, {0, 100},
                            [](double v) { return QStringLiteral("%1%").arg(v); });
    processor.resize(560, 220);
    saveScreenshot(processor, QStringLiteral("live-chart-cpu"));
}
