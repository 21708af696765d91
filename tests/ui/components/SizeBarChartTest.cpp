#include "ui/components/SizeBarChart.h"

#include "support/ScannedTree.h"
#include "ui/support/UiTestSupport.h"
#include "ui/components/CategoryColor.h"
#include "ui/components/TextStyle.h"

#include <QMouseEvent>

#include <gtest/gtest.h>

namespace {

void click(QWidget& widget, QPointF at)
{
    QMouseEvent press(QEvent::MouseButtonPress, at, widget.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, widget.mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(&widget, &press);
    QCoreApplication::sendEvent(&widget, &release);
}

std::vector<SizeBarItem> items(std::initializer_list<const char*> ids)
{
    std::vector<SizeBarItem> result;
    std::int64_t bytes = 9'000'000;
    for (const char* id : ids) {
        result.push_back({id, std::string("label ") + id, bytes, NamedColor::blue});
        bytes -= 1'000'000;
    }
    return result;
}

} // namespace

TEST(SizeBarChart, HeightGrowsWithEveryItem)
{
    struct Case {
        std::size_t count;
        std::int64_t height;
    };
    const Case cases[] = {{0, 80}, {1, 80}, {2, 88}, {10, 296}, {100, 2636}};
    for (const Case& c : cases)
        EXPECT_EQ(SizeBarChart::chartHeight(c.count), c.height) << c.count;

    ensureApplication();
    SizeBarChart chart(items({"a", "b", "c"}), nullptr);
    EXPECT_EQ(chart.height(), 114);
    chart.setItems({});
    EXPECT_EQ(chart.height(), 80);
}

TEST(SizeBarChart, TheLabelsLeaveTheBarsRoomInANarrowChart)
{
    struct Case {
        double widest;
        double chart;
        double column;
    };
    const Case cases[] = {
        {90, 800, 90},      // as wide as the widest label
        {400, 800, 180},    // never beyond 180
        {400, 240, 80},     // a third of a narrow chart
        {60, 240, 60},
        {100, 0, 0},
        {0, 500, 0},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(SizeBarChart::labelColumnWidth(c.widest, c.chart), c.column) << c.widest << " in " << c.chart;

    ensureApplication();
    SizeBarChart chart({{"1", "ubuntu-24.04.1-desktop-amd64_installer_image.iso", 900'000, Qt::blue},
                        {"2", "b", 400'000, Qt::red}},
                       {});
    chart.resize(240, 120);
    EXPECT_GE(chart.plotArea().width(), 100);
}

TEST(SizeBarChart, RowBandsAndLookups)
{
    // Ten rows of 26 points from y = 6.
    struct Case {
        double y;
        std::optional<std::size_t> row;
    };
    const Case cases[] = {{5.9, std::nullopt}, {6, 0},  {31.9, 0}, {32, 1},
                          {265.9, 9},          {266, std::nullopt}, {std::nan(""), std::nullopt}};
    for (const Case& c : cases)
        EXPECT_EQ(SizeBarChart::rowAt(c.y, 6, 260, 10), c.row) << c.y;
    EXPECT_EQ(SizeBarChart::rowAt(10, 6, 260, 0), std::nullopt);
    EXPECT_EQ(SizeBarChart::rowAt(10, 6, 0, 3), std::nullopt);

    // A repeated id names the first of its items, for the label and for the click.
    const auto list = items({"a", "b", "a", "c"});
    EXPECT_EQ(SizeBarChart::itemForRow(list, 0), &list[0]);
    EXPECT_EQ(SizeBarChart::itemForRow(list, 2), &list[0]);
    EXPECT_EQ(SizeBarChart::itemForRow(list, 3), &list[3]);
    EXPECT_EQ(SizeBarChart::itemForRow(list, 4), nullptr);

    struct Length {
        double bytes, end, width, length;
    };
    const Length lengths[] = {{50, 100, 300, 150}, {0, 100, 300, 0}, {-5, 100, 300, 0},
                              {50, 0, 300, 0},     {200, 100, 300, 300}, {50, 100, -1, 0}};
    for (const Length& l : lengths)
        EXPECT_DOUBLE_EQ(SizeBarChart::barLength(l.bytes, l.end, l.width), l.length) << l.bytes << " of " << l.end;
}

TEST(SizeBarChart, AClickAnywhereInARowSelectsItsItemOnce)
{
    ensureApplication();
    std::vector<std::string> chosen;
    SizeBarChart chart(items({"a", "b", "a", "c"}), [&](const SizeBarItem& item) { chosen.push_back(item.label + "/" + item.id); });
    chart.resize(500, chart.height());
    const QRectF plot = chart.plotArea();
    ASSERT_GT(plot.width(), 0);
    const double band = plot.height() / 4;

    click(chart, {plot.left() + 2, plot.top() + band * 1.5});     // on the bar
    click(chart, {plot.right() - 1, plot.top() + band * 3.5});    // far beyond a short bar
    click(chart, {5, plot.top() + band * 2.5});                   // on the label, a repeated id
    click(chart, {plot.left() + 5, plot.top() - 2});             // above the rows
    click(chart, {plot.left() + 5, plot.bottom() + 3});          // on the size axis
    EXPECT_EQ(chosen, (std::vector<std::string>{"label b/b", "label c/c", "label a/a"}));

    SizeBarChart silent(items({"a"}), nullptr);
    silent.resize(300, silent.height());
    click(silent, silent.plotArea().center());   // nothing to call, nothing happens
}

TEST(SizeBarChart, PicturesOfLargestFilesAndOfNothing)
{
    ensureApplication();
    ScannedTree index;
    const TempDir tree;
    const std::pair<const char*, std::size_t> files[] = {
        {"Movies/Holiday 2023 - the whole trip, unedited and far too long to read.mov", 2'400'000},
        {"Movies/clip.mp4", 1'100'000},
        {"Downloads/installer.dmg", 1'800'000},
        {"Downloads/archive.zip", 950'000},
        {"Projects/app/build/cache.bin", 720'000},
        {"Projects/app/data.sqlite", 610'000},
        {"Projects/web/data.sqlite", 580'000},   // the same name as another file
        {"Documents/report.pdf", 310'000},
        {"Music/album.flac", 260'000},
        {"Pictures/photo.heic", 120'000},
    };
    for (const auto& [path, size] : files)
        tree.write(path, size);
    index.scan({tree.path()});

    std::vector<SizeBarItem> bars;
    for (const FileItem& file : index.database.largestFiles(10))
        bars.push_back({std::to_string(file.id), file.name, file.allocatedSize, categoryColor(file.category)});
    ASSERT_EQ(bars.size(), 10u);
    EXPECT_EQ(std::count_if(bars.begin(), bars.end(), [](const auto& b) { return b.label == "data.sqlite"; }), 2);

    std::vector<std::string> chosen;
    SizeBarChart chart(bars, [&](const SizeBarItem& item) { chosen.push_back(item.id); });
    chart.resize(560, chart.height());
    EXPECT_EQ(chart.height(), 296);
    saveScreenshot(chart, QStringLiteral("size-bar-chart"));

    // The two files of one name are two rows: each click selects its own file.
    const QRectF plot = chart.plotArea();
    for (std::size_t row = 0; row < bars.size(); ++row)
        click(chart, {plot.right() - 2, plot.top() + (row + 0.5) * plot.height() / bars.size()});
    std::vector<std::string> ids;
    for (const auto& bar : bars)
        ids.push_back(bar.id);
    EXPECT_EQ(chosen, ids);

    // Only zero sizes: rows and labels, no bars, no scale to divide by.
    SizeBarChart zeros({{"1", "empty.txt", 0, NamedColor::gray}, {"2", "blank.log", 0, NamedColor::gray}}, nullptr);
    zeros.resize(560, zeros.height());
    saveScreenshot(zeros, QStringLiteral("size-bar-chart-zero"));

    SizeBarChart empty({}, nullptr);
    empty.resize(560, empty.height());
    saveScreenshot(empty, QStringLiteral("size-bar-chart-empty"));
}
