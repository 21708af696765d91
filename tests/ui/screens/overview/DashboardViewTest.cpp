#include "ui/screens/overview/DashboardView.h"

#include "ui/screens/overview/OverviewTestSupport.h"

#include "analysis/ByteFormatter.h"
#include "support/ScannedTree.h"
#include "app/ScanCoordinator.h"
#include "platform/SystemPaths.h"
#include "ui/components/LocaleText.h"
#include "ui/components/CardFrame.h"
#include "ui/components/MetricCard.h"
#include "ui/support/LayoutCheck.h"
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
        bool loaded = true;
    };
    const Row rows[] = {
        // Before the cache has been read it is not known that there is no scan: no first-run page.
        {0, Kind::idle, false, Lower::nothing, false},
        {12, Kind::idle, false, Lower::overview, false},
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
        EXPECT_EQ(DashboardView::lower(summary, row.phase, row.loaded), row.lower);
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
                                 {"Applications", "…", QString("Installed applications")},
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

// Reopened over a cache: until it has been read, the page is neutral, never the first-run page.
class DashboardFirstFrameTest : public OverviewModelTest {};

TEST_F(DashboardFirstFrameTest, TheFirstRunPageWaitsUntilTheCacheHasBeenRead)
{
    std::unique_ptr<QWidget> screen(DetailRouter::makeScreen(SidebarItem::dashboard, *model, nullptr));
    auto& view = dynamic_cast<DashboardView&>(*screen);
    view.resize(900, 1000);
    view.show();
    QCoreApplication::processEvents();
    ASSERT_FALSE(model->scan().isLoaded());
    EXPECT_FALSE(view.findChild<QWidget*>("getStarted")->isVisibleTo(&view));
    const auto* unavailable = view.findChild<QLabel*>("unavailable");
    ASSERT_NE(unavailable, nullptr);
    EXPECT_NE(unavailable->text(), "Disk capacity is unavailable.");
    saveScreenshot(view, QStringLiteral("dashboard-first-frame"));

    bool loaded = false;
    model->scan().loadInitial([&] { loaded = true; });
    ASSERT_TRUE(waitUntil([&] { return loaded; }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(view.findChild<QWidget*>("getStarted")->isVisibleTo(&view));   // an empty cache: now it is known
}

class DashboardViewScanTest : public OverviewModelTest {
protected:
    void SetUp() override
    {
        OverviewModelTest::SetUp();
        bool loaded = false;
        model->scan().loadInitial([&] { loaded = true; });
        ASSERT_TRUE(waitUntil([&] { return loaded; }));
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

TEST_F(DashboardViewScanTest, BeforeDuringAndAfterARealScan)
{
    std::unique_ptr<QWidget> screen(DetailRouter::makeScreen(SidebarItem::dashboard, *model, nullptr));
    auto& view = dynamic_cast<DashboardView&>(*screen);
    ASSERT_TRUE(waitUntil([&] { return model->scan().isLoaded() || model->scan().summary().volume.has_value(); }));
    show(view, QStringLiteral("dashboard-before-scan"));
    EXPECT_TRUE(view.findChild<QWidget*>("getStarted")->isVisibleTo(&view));
    EXPECT_FALSE(view.findChild<ScanProgressView*>()->isVisibleTo(&view));
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
    midway.elapsedSeconds = 185;
    ScanCoordinatorTestAccess::setProgress(model->scan(), midway);
    ASSERT_TRUE(view.findChild<ScanProgressView*>()->isVisibleTo(&view));
    EXPECT_FALSE(view.findChild<QWidget*>("getStarted")->isVisibleTo(&view));
    show(view, QStringLiteral("dashboard-during-scan"));
    ScanCoordinatorTestAccess::setPhase(model->scan(), Kind::idle);
    EXPECT_FALSE(view.findChild<ScanProgressView*>()->isVisibleTo(&view));
    EXPECT_TRUE(view.findChild<QWidget*>("getStarted")->isVisibleTo(&view));

    model->scan().startScan(false);
    ASSERT_TRUE(view.findChild<ScanProgressView*>()->isVisibleTo(&view));
    EXPECT_FALSE(view.findChild<QWidget*>("getStarted")->isVisibleTo(&view));

    ASSERT_TRUE(waitUntil([&] { return model->scan().task() == nullptr && model->scan().dataVersion() > 0; }));
    QCoreApplication::processEvents();
    EXPECT_FALSE(view.findChild<ScanProgressView*>()->isVisibleTo(&view));
    EXPECT_FALSE(view.findChild<QWidget*>("getStarted")->isVisibleTo(&view));
    ASSERT_TRUE(view.findChild<QWidget*>("categoryCard")->isVisibleTo(&view));
    ASSERT_TRUE(view.findChild<QWidget*>("recentCard")->isVisibleTo(&view));
    // One completed scan: not yet a trend.
    EXPECT_TRUE(view.findChild<QLabel*>("trendHint")->isVisibleTo(&view));

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
    EXPECT_TRUE(view.findChild<QWidget*>("trendChart")->isVisibleTo(&view));
    EXPECT_FALSE(view.findChild<QLabel*>("trendHint")->isVisibleTo(&view));
}

TEST_F(DashboardViewScanTest, AFailedScanStaysShownUntilTheNextScanStarts)
{
    DashboardView view(*model);
    ScanCoordinatorTestAccess::setPhase(model->scan(), ScanPhase::failed("database disk image is malformed"));
    auto* failure = view.findChild<QLabel*>("scanFailure");
    ASSERT_NE(failure, nullptr);
    EXPECT_TRUE(view.findChild<QWidget*>("scanFailureRow")->isVisibleTo(&view));
    EXPECT_EQ(failure->text(), "The scan failed: database disk image is malformed");
    EXPECT_FALSE(view.findChild<ScanProgressView*>()->isVisibleTo(&view));
    show(view, QStringLiteral("dashboard-failed-scan"));

    model->scan().startScan(false);
    EXPECT_FALSE(view.findChild<QWidget*>("scanFailureRow")->isVisibleTo(&view));
    EXPECT_TRUE(view.findChild<ScanProgressView*>()->isVisibleTo(&view));
    ASSERT_TRUE(waitUntil([&] { return model->scan().task() == nullptr && model->scan().dataVersion() > 0; }));
}

TEST_F(DashboardViewScanTest, TilesNavigateWithTheirValuesWrittenFirst)
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

namespace {

// A summary with every part filled, long names included.
StorageSummary fullSummary()
{
    StorageSummary summary;
    summary.volume = rootVolume(500'000'000'000, 200'000'000'000, 180'000'000'000);
    summary.totals = {1'500'000, 20'000, 300'000'000'000, 3};
    summary.largestFile = FileItem{};
    summary.largestFile->name = "terraform-provider-aws_v5.100.0_x5";
    summary.largestFile->allocatedSize = 707'000'000;
    summary.largestFolder = FolderItem{};
    summary.largestFolder->path = "/opt/tf-plugins/registry.terraform.io/hashicorp_aws";
    summary.largestFolder->totalAllocated = 9'000'000'000;
    for (int i = 0; i < 12; ++i)
        summary.categories.push_back({static_cast<StorageCategory>(i), 1'000'000'000LL * (12 - i), 10});
    for (int i = 0; i < 8; ++i) {
        FileItem file;
        file.id = i + 1;
        file.name = "backup_image_" + std::to_string(i) + ".qcow2";
        file.folderPath = "/var/lib/libvirt/images";
        file.allocatedSize = 200'000'000;
        file.modified = static_cast<double>(std::time(nullptr)) - 3600.0 * (i + 1);
        summary.recentLargeFiles.push_back(file);
    }
    summary.history = {{1, 1'700'000'000.0, 500'000'000'000, 280'000'000'000, 250'000'000'000},
                       {2, 1'700'086'400.0, 500'000'000'000, 300'000'000'000, 260'000'000'000}};
    return summary;
}

// The height the widget needs at its width.
int neededHeight(QWidget& widget)
{
    return widget.hasHeightForWidth() ? widget.heightForWidth(widget.width()) : widget.minimumSizeHint().height();
}

TEST_F(DashboardViewScanTest, CardsTakeTheHeightOfTheirContentAtEveryWidth)
{
    DashboardView view(*model);
    // The screen's own first summary (an empty index) arrives first; then the full one.
    bool refreshed = false;
    model->scan().refreshSummary([&] { refreshed = true; });
    ASSERT_TRUE(waitUntil([&] { return refreshed; }));
    view.resize(800, 560);
    view.show();
    QCoreApplication::processEvents();
    ScanCoordinatorTestAccess::setSummary(model->scan(), fullSummary());
    QWidget* page = view.widget();
    // The detail area of windows from 720 to 1920 pixels wide, and the heights of 480 and 900.
    for (const int width : {520, 600, 700, 760, 800, 900, 1000, 1240, 1440, 1720}) {
        for (const int height : {420, 840}) {
            view.resize(width, height);
            QCoreApplication::processEvents();
            QCoreApplication::processEvents();
            SCOPED_TRACE(testing::Message() << width << "x" << height);
            std::vector<QWidget*> cards;
            for (QWidget* card : page->findChildren<CardFrame*>())
                if (card->isVisibleTo(page))
                    cards.push_back(card);
            ASSERT_GE(cards.size(), 9u);
            for (QWidget* card : cards) {
                const QRect placed(card->mapTo(page, QPoint(0, 0)), card->size());
                EXPECT_GE(card->height(), neededHeight(*card)) << card->objectName().toStdString();
                for (QWidget* other : cards) {
                    if (other == card || card->isAncestorOf(other) || other->isAncestorOf(card))
                        continue;
                    EXPECT_FALSE(placed.intersects(QRect(other->mapTo(page, QPoint(0, 0)), other->size())))
                        << card->objectName().toStdString() << " and " << other->objectName().toStdString();
                }
            }
            EXPECT_EQ(cutWidgets(*page), "");
            // Inside the cards, no line of text is lower than it needs to be.
            for (QLabel* label : page->findChildren<QLabel*>()) {
                if (label->isVisibleTo(page) && !label->text().isEmpty()) {
                    EXPECT_GE(label->height(), neededHeight(*label)) << label->text().toStdString();
                }
            }
        }
    }
    const auto tiles = view.findChildren<MetricCard*>("tile");
    ASSERT_EQ(tiles.size(), 5);
    EXPECT_EQ(tiles[3]->shownDetail(), "terraform-provider-aws_v5.100.0_x5");

    view.resize(800, 560);
    QCoreApplication::processEvents();
    saveScreenshot(view, QStringLiteral("dashboard-1000x660"));
    view.resize(1240, 800);
    QCoreApplication::processEvents();
    saveScreenshot(view, QStringLiteral("dashboard-1440x900"));
    view.resize(520, 420);
    QCoreApplication::processEvents();
    saveScreenshot(view, QStringLiteral("dashboard-720x480"));
}

TEST_F(DashboardViewScanTest, ANewSummaryKeepsEveryPartOfThePage)
{
    DashboardView view(*model);
    view.resize(900, 800);
    view.show();
    bool refreshed = false;
    model->scan().refreshSummary([&] { refreshed = true; });
    ASSERT_TRUE(waitUntil([&] { return refreshed; }));
    ScanCoordinatorTestAccess::setSummary(model->scan(), fullSummary());
    QCoreApplication::processEvents();
    const QList<QWidget*> before = view.widget()->findChildren<QWidget*>();
    // A focused tile stays focused through new figures.
    MetricCard* tile = view.findChildren<MetricCard*>("tile")[3];
    tile->setFocus();
    StorageSummary next = fullSummary();
    next.largestFile->name = "disk.img";
    next.categories.resize(4);
    next.recentLargeFiles.resize(2);
    ScanCoordinatorTestAccess::setSummary(model->scan(), next);
    ScanCoordinatorTestAccess::setPhase(model->scan(), Kind::scanning);
    ScanCoordinatorTestAccess::setPhase(model->scan(), Kind::completed);
    QCoreApplication::processEvents();
    EXPECT_EQ(view.widget()->findChildren<QWidget*>(), before);
    EXPECT_EQ(tile->shownDetail(), "disk.img");
    EXPECT_EQ(QApplication::focusWidget() == tile, tile->hasFocus());
}

} // namespace
