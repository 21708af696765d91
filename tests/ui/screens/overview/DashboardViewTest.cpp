#include "ui/screens/overview/DashboardView.h"

#include "ui/screens/overview/OverviewTestSupport.h"

#include "analysis/ByteFormatter.h"
#include "support/ScannedTree.h"
#include "app/ScanCoordinator.h"
#include "platform/SystemPaths.h"
#include "ui/components/LocaleText.h"
#include "ui/components/MetricCard.h"
#include "ui/screens/frame/DetailRouter.h"
#include "ui/screens/overview/OverviewRow.h"
#include "ui/screens/overview/ScanProgressView.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

#include <gtest/gtest.h>

#include <ctime>

namespace {

using Kind = ScanPhase::Kind;
using Lower = DashboardView::Lower;

TEST(DashboardViewTest, WhatThePageShowsInEachState)
{
    struct Row {
        std::int64_t files;
        ScanPhase phase;
        bool progress;
        Lower lower;
    };
    const Row rows[] = {
        {0, Kind::idle, false, Lower::scanRequired},
        {0, Kind::preparing, true, Lower::nothing},
        {0, Kind::scanning, true, Lower::nothing},
        {0, Kind::paused, true, Lower::nothing},
        {0, Kind::finalizing, true, Lower::nothing},
        {0, Kind::cancelled, true, Lower::scanRequired},
        {0, ScanPhase::failed("disk I/O error"), false, Lower::scanRequired},
        {12, Kind::scanning, true, Lower::overview},
        {12, Kind::cancelled, true, Lower::overview},
        {12, Kind::completed, false, Lower::overview},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.phase.kind()) * 100 + row.files);
        StorageSummary summary;
        summary.totals.fileCount = row.files;
        EXPECT_EQ(DashboardView::showsProgress(row.phase), row.progress);
        EXPECT_EQ(DashboardView::lower(summary, row.phase), row.lower);
    }
}

TEST(DashboardViewTest, AFailedScanIsReportedInTheCoordinatorsWords)
{
    struct Row {
        ScanPhase phase;
        std::optional<std::string> message;
        std::optional<QString> text;
    };
    const Row rows[] = {
        {ScanPhase::failed("disk I/O error"), "The scan failed: disk I/O error", "The scan failed: disk I/O error"},
        {ScanPhase::failed("disk I/O error"), std::nullopt, "The scan failed: disk I/O error"},
        {Kind::preparing, std::nullopt, std::nullopt},
        {Kind::completed, std::nullopt, std::nullopt},
        {Kind::cancelled, std::nullopt, std::nullopt},
    };
    for (const Row& row : rows)
        EXPECT_EQ(DashboardView::failureText(row.phase, row.message), row.text);
}

TEST(DashboardViewTest, TilesBeforeAndAfterAScan)
{
    using Tile = DashboardView::Tile;
    StorageSummary empty;
    empty.totals.folderCount = 5;   // folders without files still read as no scan
    empty.totals.restrictedFolders = 1234;
    EXPECT_EQ(DashboardView::tiles(empty, std::nullopt),
              (std::vector<Tile>{{"Files", "—", QString("Run a scan")},
                                 {"Folders", "—", QString("1,234 access restricted")},
                                 {"Applications", "…", QString("Installed .app bundles")},
                                 {"Largest File", "—", std::nullopt},
                                 {"Largest Folder", "—", std::nullopt}}));

    StorageSummary scanned;
    scanned.totals = {1'500'000, 20'000, 0, 0};
    scanned.largestFile = FileItem{};
    scanned.largestFile->name = "disk.img";
    scanned.largestFile->allocatedSize = 2'000'000'000;
    scanned.largestFolder = FolderItem{};
    scanned.largestFolder->path = SystemPaths::homeDirectory() + "/Movies";
    scanned.largestFolder->totalAllocated = 9'000'000'000;
    const auto tiles = DashboardView::tiles(scanned, 0);
    EXPECT_EQ(tiles[0], (Tile{"Files", "1,500,000", std::nullopt}));
    EXPECT_EQ(tiles[1], (Tile{"Folders", "20,000", std::nullopt}));
    EXPECT_EQ(tiles[2].value, "0");
    EXPECT_EQ(tiles[3].detail, QString("disk.img"));
    EXPECT_EQ(tiles[4].detail, QString("~/Movies"));
}

class DashboardScanTest : public OverviewModelTest {
protected:
    void SetUp() override
    {
        OverviewModelTest::SetUp();
        tree.write("disk/Movies/holiday.mov", 3'000'000);
        tree.write("disk/Documents/report.pdf", 400'000);
        for (int file = 0; file < 40; ++file)
            tree.write("disk/src/module" + std::to_string(file % 4) + "/file" + std::to_string(file) + ".cpp", 9000);
    }

    static void click(QWidget* widget)
    {
        const QPointF at(5, 5);
        QMouseEvent press(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &press);
        QCoreApplication::sendEvent(widget, &release);
    }

    static QStringList tileValues(DashboardView& view)
    {
        QStringList values;
        for (MetricCard* tile : view.findChildren<MetricCard*>("tile"))
            values << tile->shownValue();
        return values;
    }

    void show(DashboardView& view, const QString& screenshot)
    {
        view.resize(900, 1000);
        view.show();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        saveScreenshot(view, screenshot);
    }
};

TEST_F(DashboardScanTest, BeforeDuringAndAfterARealScan)
{
    std::unique_ptr<QWidget> screen(DetailRouter::makeScreen(SidebarItem::dashboard, *model, nullptr));
    auto& view = dynamic_cast<DashboardView&>(*screen);
    ASSERT_TRUE(waitUntil([&] { return model->scan().isLoaded() || model->scan().summary().volume.has_value(); }));
    show(view, QStringLiteral("dashboard-before-scan"));
    EXPECT_NE(view.findChild<QWidget*>("getStarted"), nullptr);
    EXPECT_EQ(view.findChild<ScanProgressView*>(), nullptr);
    EXPECT_EQ(tileValues(view).first(), "—");

    // The first scan as it stands midway, for the picture: the panel, nothing below the tiles.
    ScanProgress midway;
    midway.phase = Kind::scanning;
    midway.filesScanned = 1'284'113;
    midway.foldersScanned = 96'210;
    midway.bytesAnalyzed = 182'400'000'000;
    midway.newFiles = 1'284'113;
    midway.restrictedFolders = 12;
    midway.currentPath = SystemPaths::homeDirectory() + "/Library/Caches/com.example.browser/Cache_Data";
    midway.startedAt = static_cast<double>(std::time(nullptr)) - 185;
    ScanCoordinatorTestAccess::setProgress(model->scan(), midway);
    ASSERT_NE(view.findChild<ScanProgressView*>(), nullptr);
    EXPECT_EQ(view.findChild<QWidget*>("getStarted"), nullptr);
    show(view, QStringLiteral("dashboard-during-scan"));
    ScanCoordinatorTestAccess::setPhase(model->scan(), Kind::idle);
    EXPECT_EQ(view.findChild<ScanProgressView*>(), nullptr);
    EXPECT_NE(view.findChild<QWidget*>("getStarted"), nullptr);

    model->scan().startScan(false);
    ASSERT_NE(view.findChild<ScanProgressView*>(), nullptr);
    EXPECT_EQ(view.findChild<QWidget*>("getStarted"), nullptr);

    ASSERT_TRUE(waitUntil([&] { return model->scan().task() == nullptr && model->scan().dataVersion() > 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(view.findChild<ScanProgressView*>(), nullptr);
    EXPECT_EQ(view.findChild<QWidget*>("getStarted"), nullptr);
    ASSERT_NE(view.findChild<QWidget*>("categoryCard"), nullptr);
    ASSERT_NE(view.findChild<QWidget*>("recentCard"), nullptr);
    // One completed scan: not yet a trend.
    EXPECT_NE(view.findChild<QLabel*>("trendHint"), nullptr);

    const ScanTotals totals = database->totals();
    ASSERT_EQ(totals.fileCount, 42);
    const QStringList values = tileValues(view);
    EXPECT_EQ(values[0], LocaleText::integer(totals.fileCount));
    EXPECT_EQ(values[1], LocaleText::integer(totals.folderCount));
    EXPECT_EQ(values[3], QString::fromStdString(ByteFormatter::string(database->largestFiles(1).front().allocatedSize)));
    show(view, QStringLiteral("dashboard-after-scan"));
    ASSERT_NE(view.findChild<OverviewRow*>(), nullptr);
    EXPECT_TRUE(view.findChild<OverviewRow*>()->isSideBySide());
    view.resize(640, 1300);
    QCoreApplication::processEvents();
    EXPECT_FALSE(view.findChild<OverviewRow*>()->isSideBySide());
    saveScreenshot(view, QStringLiteral("dashboard-after-scan-narrow"));
    view.resize(900, 1000);

    // A second scan gives the trend its two points.
    model->scan().startScan(false);
    ASSERT_TRUE(waitUntil([&] { return model->scan().task() == nullptr && model->scan().dataVersion() > 1; }));
    QCoreApplication::processEvents();
    EXPECT_NE(view.findChild<QWidget*>("trendChart"), nullptr);
}

TEST_F(DashboardScanTest, AFailedScanStaysShownUntilTheNextScanStarts)
{
    DashboardView view(*model);
    ScanCoordinatorTestAccess::setPhase(model->scan(), ScanPhase::failed("database disk image is malformed"));
    auto* failure = view.findChild<QLabel*>("scanFailure");
    ASSERT_NE(failure, nullptr);
    EXPECT_TRUE(view.findChild<QWidget*>("scanFailureRow")->isVisibleTo(&view));
    EXPECT_EQ(failure->text(), "The scan failed: database disk image is malformed");
    EXPECT_EQ(view.findChild<ScanProgressView*>(), nullptr);
    show(view, QStringLiteral("dashboard-failed-scan"));

    model->scan().startScan(false);
    EXPECT_FALSE(view.findChild<QWidget*>("scanFailureRow")->isVisibleTo(&view));
    EXPECT_NE(view.findChild<ScanProgressView*>(), nullptr);
    ASSERT_TRUE(waitUntil([&] { return model->scan().task() == nullptr && model->scan().dataVersion() > 0; }));
}

TEST_F(DashboardScanTest, TilesNavigateWithTheirValuesWrittenFirst)
{
    ScannedTree::scanInto(*database, {tree.file("disk")});
    bool refreshed = false;
    model->scan().refreshSummary([&] { refreshed = true; });
    ASSERT_TRUE(waitUntil([&] { return refreshed; }));
    DashboardView view(*model);
    view.resize(900, 1000);
    const auto tiles = view.findChildren<MetricCard*>("tile");
    ASSERT_EQ(tiles.size(), 5);
    EXPECT_FALSE(tiles[0]->hasAction());
    EXPECT_FALSE(tiles[1]->hasAction());

    std::vector<std::pair<std::optional<SidebarItem>, std::optional<StorageCategory>>> switches;
    std::optional<std::string> focusWhenSwitching;
    QObject::connect(model.get(), &AppModel::selectionChanged, [&] {
        switches.push_back({model->selection(), model->largestFilesCategory()});
        focusWhenSwitching = model->largestFoldersFocus();
    });
    model->setLargestFilesCategory(StorageCategory::videos);
    click(tiles[3]);
    ASSERT_EQ(switches.size(), 1u);
    EXPECT_EQ(switches[0].first, SidebarItem::largestFiles);
    EXPECT_EQ(switches[0].second, std::nullopt);

    ASSERT_TRUE(model->scan().summary().largestFolder.has_value());
    click(tiles[4]);
    ASSERT_EQ(switches.size(), 2u);
    EXPECT_EQ(switches[1].first, SidebarItem::largestFolders);
    EXPECT_EQ(focusWhenSwitching, model->scan().summary().largestFolder->path);

    click(tiles[2]);
    EXPECT_EQ(model->selection(), SidebarItem::applications);
}

} // namespace
