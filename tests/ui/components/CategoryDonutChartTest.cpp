#include "ui/components/CategoryDonutChart.h"

#include "analysis/ByteFormatter.h"
#include "ui/support/UiTestSupport.h"

#include <QMouseEvent>

#include <gtest/gtest.h>

namespace {

using SC = StorageCategory;

void send(QWidget& widget, QEvent::Type type, QPointF at, Qt::MouseButton button = Qt::NoButton)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::NoButton;
    QMouseEvent event(type, at, widget.mapToGlobal(at), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(&widget, &event);
}

void click(QWidget& widget, QPointF at)
{
    send(widget, QEvent::MouseButtonPress, at, Qt::LeftButton);
    send(widget, QEvent::MouseButtonRelease, at, Qt::LeftButton);
}

const std::vector<CategoryUsage> dashboardUsages{
    {SC::applications, 48'300'000'000, 1200}, {SC::developer, 31'200'000'000, 90000},
    {SC::photos, 22'800'000'000, 8000},       {SC::videos, 18'600'000'000, 140},
    {SC::other, 14'500'000'000, 30000},       {SC::documents, 12'400'000'000, 4200},
    {SC::caches, 9'100'000'000, 52000},       {SC::downloads, 8'800'000'000, 310},
    {SC::music, 6'200'000'000, 1900},         {SC::system, 3'100'000'000, 700},
    {SC::mail, 1'200'000'000, 15000},         {SC::trash, 400'000'000, 12},
};

std::int64_t total(const std::vector<CategoryUsage>& usages)
{
    std::int64_t sum = 0;
    for (const auto& usage : usages)
        sum += usage.bytes;
    return sum;
}

QString bytes(std::int64_t count) { return QString::fromStdString(ByteFormatter::string(count)); }

} // namespace

TEST(CategoryDonutChart, HitTestFollowsTheRingAndTheShares)
{
    const auto square = CategoryDonutChart::geometry(QRectF(0, 0, 170, 170), 0.62);
    EXPECT_DOUBLE_EQ(square.outerRadius, 85);
    EXPECT_NEAR(square.hitInnerLimit, 50.065, 1e-9);
    EXPECT_NEAR(square.centerTextWidth, 94.86, 1e-9);

    const std::vector<CategoryUsage> halves{{SC::photos, 100, 1}, {SC::videos, 100, 1}};
    const std::vector<CategoryUsage> zeroBetween{{SC::photos, 100, 1}, {SC::caches, 0, 0}, {SC::videos, 100, 1}};
    const std::vector<CategoryUsage> zeroFirst{{SC::caches, 0, 0}, {SC::photos, 100, 1}};
    const std::vector<CategoryUsage> allZero{{SC::caches, 0, 0}, {SC::photos, 0, 0}};
    const double e = 1e-6;
    struct Case {
        const char* where;
        QPointF point;
        const std::vector<CategoryUsage>* usages;
        std::optional<StorageCategory> expected;
    };
    const Case cases[] = {
        {"centre", {85, 85}, &halves, std::nullopt},
        {"51 from the centre", {85, 85 - 51}, &halves, SC::photos},
        {"50 from the centre", {85, 85 - 50}, &halves, std::nullopt},
        {"on the outer edge", {85, 0}, &halves, SC::photos},
        {"beyond the ring", {85 + 86, 85}, &halves, std::nullopt},
        {"straight down", {85, 150}, &halves, SC::photos},
        {"just left of straight down", {85 - e, 150}, &halves, SC::videos},
        {"just right of straight down", {85 + e, 150}, &halves, SC::photos},
        {"straight up", {85, 20}, &halves, SC::photos},
        {"just left of straight up", {85 - e, 20}, &halves, SC::videos},
        {"just right of straight up", {85 + e, 20}, &halves, SC::photos},
        {"down, with an empty sector after it", {85, 150}, &zeroBetween, SC::photos},
        {"past down, the empty sector skipped", {85 - e, 150}, &zeroBetween, SC::videos},
        {"straight up, an empty first sector", {85, 20}, &zeroFirst, SC::caches},
        {"right, an empty first sector", {150, 85}, &zeroFirst, SC::photos},
        {"all zero", {150, 85}, &allZero, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        EXPECT_EQ(CategoryDonutChart::categoryAt(c.point, square, *c.usages), c.expected);
    }
    EXPECT_EQ(CategoryDonutChart::categoryAt({150, 85}, square, {}), std::nullopt);

    // Wider than tall: the shorter side sets the ring.
    const auto wide = CategoryDonutChart::geometry(QRectF(0, 0, 300, 170), 0.62);
    EXPECT_EQ(CategoryDonutChart::categoryAt({150 + 84, 85}, wide, halves), SC::photos);
    EXPECT_EQ(CategoryDonutChart::categoryAt({150 + 86, 85}, wide, halves), std::nullopt);
}

TEST(CategoryDonutChart, CentreNamesTheHoveredCategoryOrShowsTitleAndValue)
{
    const QString title = QStringLiteral("Scanned"), value = QStringLiteral("187.6 GB");
    using Lines = std::pair<QString, QString>;
    EXPECT_EQ(CategoryDonutChart::centerLines(dashboardUsages, std::nullopt, title, value), Lines(title, value));
    EXPECT_EQ(CategoryDonutChart::centerLines(dashboardUsages, SC::photos, title, value),
              Lines(QStringLiteral("Photos"), QStringLiteral("22.8 GB")));
    EXPECT_EQ(CategoryDonutChart::centerLines({}, SC::photos, title, value), Lines(QStringLiteral("Photos"), value));
}

TEST(CategoryDonutChart, HoverAndClick)
{
    ensureApplication();
    std::vector<StorageCategory> selected;
    CategoryDonutChart chart(dashboardUsages, QStringLiteral("Scanned"), bytes(total(dashboardUsages)),
                             [&](StorageCategory c) { selected.push_back(c); }, 0.62);
    chart.resize(170, 170);
    const QPointF onFirst(100, 15);   // just right of the top, on the ring
    const QPointF inHole(85, 85);

    send(chart, QEvent::MouseMove, onFirst);
    EXPECT_EQ(chart.hovered(), SC::applications);
    EXPECT_EQ(chart.centerLines().second, QStringLiteral("48.3 GB"));
    send(chart, QEvent::MouseMove, inHole);
    EXPECT_EQ(chart.hovered(), std::nullopt);
    send(chart, QEvent::MouseMove, onFirst);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&chart, &leave);
    EXPECT_EQ(chart.hovered(), std::nullopt);

    click(chart, onFirst);
    click(chart, inHole);
    EXPECT_EQ(selected, std::vector<StorageCategory>{SC::applications});
    EXPECT_EQ(chart.hovered(), std::nullopt);   // a click leaves the hover alone

    // New data under a resting pointer: a category that is still there stays hovered,
    // one that vanished is let go instead of pairing its name with the total.
    send(chart, QEvent::MouseMove, onFirst);
    std::vector<CategoryUsage> fewer(dashboardUsages.begin(), dashboardUsages.end());
    fewer.back().bytes += 1;
    chart.setUsages(fewer);
    EXPECT_EQ(chart.hovered(), SC::applications);
    fewer.erase(fewer.begin());
    chart.setUsages(fewer);
    EXPECT_EQ(chart.hovered(), std::nullopt);
    EXPECT_EQ(chart.centerLines().first, QStringLiteral("Scanned"));

    // Nothing to hover or click when nothing has bytes.
    chart.setUsages({{SC::photos, 0, 0}});
    send(chart, QEvent::MouseMove, onFirst);
    click(chart, onFirst);
    EXPECT_EQ(chart.hovered(), std::nullopt);
    EXPECT_EQ(selected.size(), 1u);
}

TEST(CategoryDonutChart, Pictures)
{
    ensureApplication();
    CategoryDonutChart chart(dashboardUsages, QStringLiteral("Scanned"), bytes(total(dashboardUsages)), nullptr, 0.62);
    chart.resize(170, 170);
    saveScreenshot(chart, QStringLiteral("donut-chart"));
    send(chart, QEvent::MouseMove, {139, 130});   // the developer sector, below right
    EXPECT_EQ(chart.hovered(), SC::developer);
    saveScreenshot(chart, QStringLiteral("donut-chart-hovered"));

    CategoryDonutChart empty({}, QStringLiteral("Scanned"), bytes(0), nullptr, 0.62);
    empty.resize(170, 170);
    saveScreenshot(empty, QStringLiteral("donut-chart-empty"));
}
