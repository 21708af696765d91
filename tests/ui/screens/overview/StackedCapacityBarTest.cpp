#include "ui/screens/overview/StackedCapacityBar.h"

#include "ui/screens/overview/OverviewTestSupport.h"

#include "analysis/ByteFormatter.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

using C = StorageCategory;

VolumeInfo volume(std::int64_t total, std::int64_t important, std::int64_t strict,
                  std::optional<std::int64_t> used = std::nullopt)
{
    return rootVolume(total, important, strict, used);
}

std::vector<CategoryUsage> usages(std::initializer_list<std::int64_t> bytes)
{
    static const C order[] = {C::documents, C::videos, C::developer, C::caches, C::music,
                              C::photos,    C::archives, C::logs,    C::mail,   C::downloads};
    std::vector<CategoryUsage> result;
    for (std::int64_t value : bytes)
        result.push_back({order[result.size()], value, 1});
    return result;
}

TEST(StackedCapacityBarTest, FiguresOfTheVolume)
{
    struct Row {
        VolumeInfo volume;
        std::int64_t available, used, purgeable;
        double fraction;
    };
    const Row rows[] = {
        {volume(1000, 370, 370), 370, 630, 0, 0.63},
        {volume(1000, 400, 300), 400, 600, 100, 0.6},
        // The strict figure larger: it is the available space and nothing is purgeable.
        {volume(1000, 300, 400), 400, 600, -100, 0.6},
        {volume(0, 0, 0), 0, 0, 0, 0},
        // More free than capacity (a racing statfs): nothing used, never negative.
        {volume(1000, 1200, 1200), 1200, 0, 0, 0},
        // A large administrator's reserve: df's used and share, the reserve in neither.
        {volume(270'000, 80'000, 80'000, 22'000), 80'000, 22'000, 0, 22.0 / 102.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.volume.totalCapacity);
        const auto figures = StackedCapacityBar::figures(row.volume);
        EXPECT_EQ(figures.available, row.available);
        EXPECT_EQ(figures.used, row.used);
        EXPECT_EQ(figures.purgeable, row.purgeable);
        EXPECT_DOUBLE_EQ(figures.usedFraction, row.fraction);
        EXPECT_EQ(figures.total, row.volume.totalCapacity);
    }
}

TEST(StackedCapacityBarTest, SegmentsAreClampedOneAfterAnotherToTheUsedSpace)
{
    struct Row {
        const char* name;
        VolumeInfo volume;
        std::vector<CategoryUsage> categories;
        std::vector<double> widths;   // categories, then other used space
        double freeWidth;
    };
    // Widths are chosen so that the bar's usable width (without the 1-point gaps) is 1000.
    const Row rows[] = {
        {"within the used space", volume(1000, 500, 500), usages({100, 200}), {100, 200, 200}, 500},
        // Scanned bytes of other partitions exceed the root volume's used space.
        {"the second category overflows", volume(1000, 400, 400), usages({500, 300, 100}), {500, 100, 0, 0}, 400},
        {"one category beyond the capacity", volume(1000, 0, 0), usages({5000}), {1000, 0}, 0},
        {"every category beyond the capacity", volume(1000, 250, 250), usages({900, 900, 900}), {750, 0, 0, 0}, 250},
        {"only the first eight are drawn", volume(1000, 0, 0), usages({10, 10, 10, 10, 10, 10, 10, 10, 10}),
         {10, 10, 10, 10, 10, 10, 10, 10, 920}, 0},
        {"no capacity", volume(0, 0, 0), usages({100, 50}), {0, 0, 0}, 1000},
        {"nothing used", volume(1000, 1000, 1000), usages({100}), {0, 0}, 1000},
        {"an empty index", volume(1000, 400, 400), {}, {600}, 400},
        // 100 reserved for the administrator: the bar spans used and available, 1000 in all.
        {"a reserve", volume(1100, 400, 400, 600), usages({100, 200}), {100, 200, 300}, 400},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::size_t shown = std::min<std::size_t>(row.categories.size(), 8);
        const double width = 1000 + static_cast<double>(shown + 1) * StackedCapacityBar::gap;
        const auto layout = StackedCapacityBar::layout(row.volume, row.categories, width);
        ASSERT_EQ(layout.segments.size(), row.widths.size());
        double x = 0;
        for (std::size_t index = 0; index < row.widths.size(); ++index) {
            EXPECT_NEAR(layout.segments[index].width, row.widths[index], 1e-9) << index;
            EXPECT_NEAR(layout.segments[index].x, x, 1e-9) << index;
            x += layout.segments[index].width + StackedCapacityBar::gap;
        }
        EXPECT_FALSE(layout.segments.back().category.has_value());
        EXPECT_NEAR(layout.freeWidth, row.freeWidth, 1e-9);
        EXPECT_NEAR(layout.freeX + layout.freeWidth, width, 1e-9);
    }
}

TEST(StackedCapacityBarTest, TooltipsNameTheCategoryWithItsOwnSize)
{
    ensureApplication();
    // 5 GB of documents on a 1 GB volume: the segment is clamped, its tooltip is not.
    StackedCapacityBar bar(volume(1'000'000'000, 500'000'000, 500'000'000), usages({5'000'000'000, 1000}));
    bar.resize(1003, StackedCapacityBar::barHeight);
    const QString documents = "Documents: " + QString::fromStdString(ByteFormatter::string(5'000'000'000));
    EXPECT_EQ(bar.toolTipAt(10), documents);
    EXPECT_EQ(bar.toolTipAt(499), documents);
    EXPECT_EQ(bar.toolTipAt(501.5), "Videos: " + QString::fromStdString(ByteFormatter::string(1000)));
    EXPECT_EQ(bar.toolTipAt(502.5), "Other used space: " + QString::fromStdString(ByteFormatter::string(0)));
    EXPECT_EQ(bar.toolTipAt(900), "");
}

} // namespace
