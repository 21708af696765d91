#include "ui/screens/overview/StorageView.h"

#include "ui/support/UiTestSupport.h"

#include "analysis/ByteFormatter.h"
#include "support/ScannedTree.h"
#include "analysis/StorageSummary.h"
#include "analysis/VolumeService.h"
#include "app/AppModel.h"
#include "app/QtText.h"
#include "app/ScanCoordinator.h"
#include "app/SettingsKey.h"
#include "support/TestHome.h"
#include "app/UserDefaults.h"
#include "index/SQLiteConnection.h"
#include "ui/components/CategoryDonutChart.h"
#include "ui/components/ScanRequiredView.h"
#include "ui/components/SectionCard.h"
#include "ui/support/LayoutCheck.h"
#include "ui/screens/frame/DetailRouter.h"
#include "ui/screens/overview/CategoryOverview.h"
#include "ui/screens/overview/CategoryTable.h"
#include "ui/screens/overview/LocationRow.h"
#include "ui/components/PermissionHelpSheet.h"

#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>

#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

namespace {

// The screen over a scan cache of its own and a home folder of its own, so the
// well-known folders are the test's.
class StorageViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        useOwnSettings(settings);
        makeModel();
    }

    void makeModel()
    {
        model.reset();
        tree = std::make_unique<ScannedTree>();
        // The tree owns its cache; the model only borrows it.
        std::shared_ptr<StorageDatabase> database(std::shared_ptr<StorageDatabase>(), &tree->database);
        model = std::make_unique<AppModel>(database, emptyApplicationsStore(settings.path()));
        model->scan().setRootsProvider([this] {
            return std::vector<std::string>{home.path() + "/Documents", home.path() + "/Downloads"};
        });
    }

    // Loads the summary of what the tree holds, as the end of a scan does.
    void announceData()
    {
        const int version = model->scan().dataVersion();
        model->scan().dataChanged();
        ASSERT_TRUE(waitUntil([&] { return model->scan().dataVersion() > version; }));
    }

    void scanHome()
    {
        const int version = model->scan().dataVersion();
        model->scan().startScan(false);
        ASSERT_TRUE(waitUntil([&] { return model->scan().task() == nullptr && model->scan().dataVersion() > version; }));
    }

    static void settle(StorageView& view)
    {
        ASSERT_TRUE(waitUntil([&] { return !view.isLoading(); }));
    }

    // The rows of places in the test's home; the system's own places (/usr, /var/log...)
    // are listed as this machine has them.
    std::vector<std::string> locationNames(const StorageView& view) const
    {
        std::vector<std::string> names;
        for (auto* row : view.findChildren<LocationRow*>())
            if (row->location().path.starts_with(home.path() + "/"))
                names.push_back(row->location().name);
        return names;
    }

    static LocationRow* row(const StorageView& view, const std::string& name)
    {
        for (auto* candidate : view.findChildren<LocationRow*>())
            if (candidate->location().name == name)
                return candidate;
        return nullptr;
    }

    // Whether the part is on the screen; parts made once are hidden while they do not apply.
    static bool isShown(const StorageView& view, const char* name)
    {
        auto* part = view.findChild<QWidget*>(QLatin1String(name));
        return part && part->isVisibleTo(&view);
    }
    static bool scanRequiredShown(const StorageView& view)
    {
        auto* placeholder = view.findChild<ScanRequiredView*>();
        return placeholder && placeholder->isVisibleTo(&view);
    }

    static QString labelText(const StorageView& view, const char* name)
    {
        auto* label = view.findChild<QLabel*>(QLatin1String(name));
        return label && label->isVisibleTo(view.window()) ? label->text() : QString();
    }

    // The summary as it stands, with these category totals instead of its own.
    void showCategories(std::vector<CategoryUsage> categories)
    {
        StorageSummary summary = model->scan().summary();
        summary.categories = std::move(categories);
        ScanCoordinatorTestAccess::setSummary(model->scan(), summary);
    }

    static void show(StorageView& view)
    {
        view.resize(900, 1100);
        view.show();
        QCoreApplication::processEvents();
    }

    SettingsFolder settings;
    TestHome home;
    std::unique_ptr<ScannedTree> tree;
    std::unique_ptr<AppModel> model;
};

TEST(StorageViewFigures, VolumesAreMeasuredWithTheLargerAvailableFigure)
{
    struct Case {
        std::int64_t total;
        std::int64_t important;
        std::int64_t strict;
        std::int64_t reportedUsed;
        std::int64_t used;
        double fraction;
        bool red;
    };
    const Case cases[] = {
        {1000, 100, 50, 900, 900, 0.9, false},         // exactly 0.9 keeps the accent colour
        {10'000, 999, 0, 9001, 9001, 0.9001, true},    // just above turns red
        {1000, 0, 400, 600, 600, 0.6, false},
        {1000, 1500, 0, 0, 0, 0.0, false},             // more available than capacity: nothing used
        {0, 0, 0, 0, 0, 0.0, false},                   // no capacity: an empty bar
        {-5, 0, 0, 0, 0, 0.0, false},
        // df's used and share on a disk with a large administrator's reserve, not total minus available.
        {270'000, 80'000, 80'000, 22'000, 22'000, 22.0 / 102.0, false},
        {1000, 0, 0, 950, 950, 1.0, true},             // only the reserve left: full for this user
        {1000, 0, 0, -3, 0, 0.0, false},
    };
    for (const Case& c : cases) {
        VolumeInfo volume;
        volume.totalCapacity = c.total;
        volume.availableForImportantUsage = c.important;
        volume.availableStrict = c.strict;
        volume.usedCapacity = c.reportedUsed;
        SCOPED_TRACE(c.total);
        EXPECT_EQ(StorageView::used(volume), c.used);
        EXPECT_DOUBLE_EQ(StorageView::fraction(volume), c.fraction);
        EXPECT_EQ(StorageView::isNearlyFull(StorageView::fraction(volume)), c.red);
        // The line over the bar tells the bar's own figure.
        const std::int64_t reachable = StorageView::reachable(volume);
        EXPECT_DOUBLE_EQ(reachable > 0 ? double(c.used) / double(reachable) : 0.0, c.fraction);
        EXPECT_EQ(StorageView::usageText(volume),
                  QString::fromStdString(ByteFormatter::string(c.used) + " of " + ByteFormatter::string(reachable) +
                                         " used"));
    }
    VolumeInfo reserved;
    reserved.totalCapacity = 270'600'000'000;
    reserved.availableForImportantUsage = reserved.availableStrict = 63'000'000'000;
    reserved.usedCapacity = 38'900'000'000;
    EXPECT_EQ(StorageView::usageText(reserved), QStringLiteral("38.9 GB of 101.9 GB used"));
}

TEST(StorageViewFigures, TheVolumeSymbolFollowsRootThenRemovable)
{
    struct Case {
        bool root;
        bool removable;
        bool ejectable;
        std::string symbol;
    };
    const Case cases[] = {
        {true, true, true, "internaldrive.fill"}, {false, true, false, "externaldrive.fill"},
        {false, false, true, "externaldrive.fill"}, {false, false, false, "internaldrive"},
    };
    for (const Case& c : cases) {
        VolumeInfo volume;
        volume.isRootFileSystem = c.root;
        volume.isRemovable = c.removable;
        volume.isEjectable = c.ejectable;
        EXPECT_EQ(StorageView::symbolName(volume), c.symbol);
    }
}

TEST(StorageViewFigures, FurtherRestrictedFoldersAreCountedFromTheIndexTotal)
{
    struct Case {
        std::size_t listed;
        std::int64_t total;
        int shown;
        std::int64_t more;
    };
    const Case cases[] = {
        {0, 0, 0, 0},    {25, 25, 25, 0},    {26, 26, 25, 1},       {200, 200, 25, 175},
        {200, 1000, 25, 975}, {3, 0, 3, 0}, // a total read before the list still counts what is listed
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.total);
        EXPECT_EQ(StorageView::shownRestrictedCount(c.listed), c.shown);
        EXPECT_EQ(StorageView::moreRestrictedCount(c.listed, c.total), c.more);
    }
}

TEST_F(StorageViewTest, BeforeDuringAndAfterAScanWithFiguresFromTheIndex)
{
    home.write("Documents/report.pdf", std::string(40'000, 'r'));
    home.write("Documents/notes/today.txt", std::string(9'000, 'n'));
    home.write("Downloads/setup.iso", std::string(300'000, 'i'));
    std::filesystem::create_directories(home.path() + "/Desktop");

    StorageView view(*model);
    show(view);
    settle(view);
    EXPECT_TRUE(scanRequiredShown(view));
    EXPECT_FALSE(isShown(view, "locationsCard"));
    // Free space moves on its own; the volumes themselves must agree.
    std::vector<std::string> mounted;
    for (const VolumeInfo& volume : VolumeService::mountedVolumes())
        mounted.push_back(volume.path);
    std::vector<std::string> shown;
    for (const VolumeInfo& volume : view.volumes())
        shown.push_back(volume.path);
    EXPECT_EQ(shown, mounted);
    int volumeRows = 0;
    for (QWidget* volumeRow : view.findChildren<QWidget*>("volumeRow"))
        volumeRows += volumeRow->isVisibleTo(&view) ? 1 : 0;
    EXPECT_EQ(volumeRows, static_cast<int>(view.volumes().size()));
    saveScreenshot(view, QStringLiteral("storage-before-scan"));

    ScanCoordinatorTestAccess::setPhase(model->scan(), ScanPhase::Kind::scanning);
    QCoreApplication::processEvents();
    saveScreenshot(view, QStringLiteral("storage-during-scan"));
    ScanCoordinatorTestAccess::setPhase(model->scan(), ScanPhase::Kind::idle);

    scanHome();
    settle(view);
    QCoreApplication::processEvents();
    EXPECT_FALSE(scanRequiredShown(view));
    auto* table = view.findChild<CategoryTable*>();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->categories(), tree->database.categoryTotals());

    // Home folders in their fixed order; Desktop exists but was not scanned, the
    // others of the list are on neither disk nor index.
    EXPECT_EQ(locationNames(view), (std::vector<std::string>{"Downloads", "Documents", "Desktop"}));
    EXPECT_EQ(row(view, "Documents")->folder(), tree->database.folder(home.path() + "/Documents"));
    EXPECT_EQ(row(view, "Documents")->folder()->fileCount, 2);
    EXPECT_EQ(row(view, "Desktop")->folder(), std::nullopt);
    EXPECT_TRUE(isShown(view, "allReadable"));
    EXPECT_FALSE(isShown(view, "restrictedFailure"));
    saveScreenshot(view, QStringLiteral("storage-after-scan"));
    // The detail column of the smallest window.
    view.resize(520, 900);
    QCoreApplication::processEvents();
    saveScreenshot(view, QStringLiteral("storage-after-scan-narrow"));
}

TEST_F(StorageViewTest, RestrictedFoldersBeyondTheListAreCountedFromTheIndex)
{
    struct Case {
        int restricted;
        int rows;
        QString more;
    };
    const Case cases[] = {{25, 25, QString()}, {26, 25, "…and 1 more"}, {230, 25, "…and 205 more"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.restricted);
        makeModel();
        tree->record(home.path() + "/Documents", 4096);
        for (int index = 0; index < c.restricted; ++index)
            tree->record("/restricted/folder" + std::to_string(1000 + index), 0, 1'700'000'000, true);
        tree->finish();
        announceData();

        StorageView view(*model);
        show(view);
        settle(view);
        QCoreApplication::processEvents();
        EXPECT_EQ(view.restricted().total, c.restricted);
        int rows = 0;
        for (QWidget* restrictedRow : view.findChildren<QWidget*>("restrictedRow"))
            rows += restrictedRow->isVisibleTo(&view) ? 1 : 0;
        EXPECT_EQ(rows, c.rows);
        EXPECT_EQ(labelText(view, "moreRestricted"), c.more);
        EXPECT_FALSE(isShown(view, "allReadable"));
        if (c.restricted == 230)
            saveScreenshot(view, QStringLiteral("storage-restricted"));
    }
}

TEST_F(StorageViewTest, AListThatCouldNotBeReadIsNotShownAsEverythingReadable)
{
    std::filesystem::create_directories(home.path() + "/Documents");
    tree->record(home.path() + "/Documents", 4096);
    tree->finish();
    announceData();
    SQLiteConnection(tree->cacheFolder.file("ScanCache.sqlite")).execute("DROP TABLE folders");

    StorageView view(*model);
    show(view);
    settle(view);
    QCoreApplication::processEvents();
    EXPECT_TRUE(view.restricted().failed);
    EXPECT_EQ(labelText(view, "restrictedFailure"), "The list of restricted folders could not be read.");
    EXPECT_FALSE(isShown(view, "allReadable"));
    // A failed folder lookup counts as no row: the folder exists, so it is listed unscanned.
    EXPECT_EQ(locationNames(view), std::vector<std::string>{"Documents"});
    EXPECT_EQ(row(view, "Documents")->folder(), std::nullopt);
}

TEST_F(StorageViewTest, ARestrictedLocationOpensTheHelpAndAnyOtherOpensTheLargestFolders)
{
    std::filesystem::create_directories(home.path() + "/Desktop");
    tree->record(home.path() + "/Library", 8192, 1'700'000'000, true);
    // Indexed but gone from disk since: still listed with what the index holds.
    tree->record(home.path() + "/Music", 2048);
    tree->finish();
    announceData();
    ASSERT_FALSE(std::filesystem::exists(home.path() + "/Music"));

    StorageView view(*model);
    show(view);
    settle(view);
    EXPECT_EQ(locationNames(view), (std::vector<std::string>{"Desktop", "Music", "Library (User)"}));
    EXPECT_EQ(row(view, "Music")->folder()->totalAllocated, 2048);

    model->setSelection(SidebarItem::storage);
    row(view, "Library (User)")->click();
    ASSERT_NE(view.permissionHelp(), nullptr);
    EXPECT_TRUE(view.permissionHelp()->isVisible());
    EXPECT_EQ(model->selection(), SidebarItem::storage);
    EXPECT_EQ(model->largestFoldersFocus(), std::nullopt);
    view.permissionHelp()->reject();

    row(view, "Desktop")->click();
    EXPECT_EQ(model->largestFoldersFocus(), home.path() + "/Desktop");
    EXPECT_EQ(model->selection(), SidebarItem::largestFolders);

    // The button under the restricted list opens the same sheet.
    ASSERT_TRUE(waitUntil([&] { return view.permissionHelp() == nullptr; }));
    view.findChild<QPushButton*>("grantAccessButton")->click();
    ASSERT_NE(view.permissionHelp(), nullptr);
    EXPECT_TRUE(view.permissionHelp()->isVisible());
}

TEST_F(StorageViewTest, WithoutScanDataThePlaceholderStandsEvenWithLocations)
{
    tree->record(home.path() + "/Documents", 4096);
    tree->finish();
    announceData();
    StorageView view(*model);
    settle(view);
    ASSERT_FALSE(view.locations().empty());
    ASSERT_FALSE(scanRequiredShown(view));

    ScanCoordinatorTestAccess::setSummary(model->scan(), StorageSummary{});
    QCoreApplication::processEvents();
    EXPECT_TRUE(scanRequiredShown(view));
    EXPECT_FALSE(isShown(view, "locationsCard"));
}

TEST_F(StorageViewTest, OnlyTheNewestLoadIsStoredAndAClosedScreenReceivesNothing)
{
    tree->record(home.path() + "/Documents", 4096);
    tree->finish();
    announceData();

    StorageView view(*model);
    // The index changes while the first load may still run; the reload that follows wins.
    tree->scanID = 0;
    tree->record("/restricted/late", 0, 1'700'000'000, true);
    view.reload();
    settle(view);
    EXPECT_EQ(view.restricted().total, 1);
    ASSERT_EQ(view.restricted().folders.size(), 1U);
    EXPECT_EQ(view.restricted().folders.front().path, "/restricted/late");

    // Loads of a screen closed at once have nowhere to go.
    for (int screen = 0; screen < 5; ++screen)
        delete new StorageView(*model);
    EXPECT_TRUE(finishBackgroundWork());
}

TEST_F(StorageViewTest, TheRouterBuildsTheStorageScreen)
{
    std::unique_ptr<QWidget> screen(DetailRouter::makeScreen(SidebarItem::storage, *model, nullptr));
    EXPECT_NE(qobject_cast<StorageView*>(screen.get()), nullptr);
}

} // namespace

namespace {

TEST_F(StorageViewTest, TheCategoriesCardShowsTheOverviewOfTwelveThenADividerThenTheTable)
{
    tree->record(home.path() + "/Documents", 4096);
    tree->finish();
    announceData();
    StorageView view(*model);
    show(view);
    settle(view);
    std::vector<CategoryUsage> categories;
    for (int raw = 1; raw <= 14; ++raw)
        categories.push_back({static_cast<StorageCategory>(raw), 1'000'000'000LL * (20 - raw), raw * 10});
    showCategories(categories);
    QCoreApplication::processEvents();

    auto* card = view.findChild<SectionCard*>("categoriesCard");
    ASSERT_NE(card, nullptr);
    ASSERT_TRUE(card->isVisibleTo(&view));
    CategoryOverview* overview = view.findChild<CategoryOverview*>(QStringLiteral("categoryOverview"));
    ASSERT_EQ(overview->rows().size(), 12u);
    EXPECT_EQ(view.findChild<CategoryTable*>(QStringLiteral("categoryTable"))->categories().size(), 14u);
    auto* chart = overview->findChild<CategoryDonutChart*>();
    ASSERT_TRUE(chart && chart->isVisibleTo(&view));
    EXPECT_EQ(chart->centerLines().second, qstr(ByteFormatter::string(CategoryOverview::scannedTotal(categories))));
    // The donut beside its list, then the divider, then the table.
    const auto top = [&](QWidget* widget) { return widget->mapTo(card, QPoint(0, 0)).y(); };
    QFrame* line = nullptr;
    for (QFrame* frame : card->findChildren<QFrame*>())
        if (frame->parentWidget() == overview->parentWidget() && frame->frameShape() == QFrame::HLine)
            line = frame;
    ASSERT_NE(line, nullptr);
    EXPECT_LT(chart->mapTo(card, QPoint(0, 0)).x(), overview->rows().front()->mapTo(card, QPoint(0, 0)).x());
    EXPECT_GE(top(line), top(chart) + chart->height());
    EXPECT_GE(top(view.findChild<CategoryTable*>(QStringLiteral("categoryTable"))), top(line) + line->height());

    // A new scan's summary is shown in the same cards and rows.
    const QList<QWidget*> before = card->findChildren<QWidget*>();
    categories.pop_back();
    std::rotate(categories.begin(), categories.begin() + 1, categories.end());
    showCategories(categories);
    QCoreApplication::processEvents();
    for (QWidget* widget : card->findChildren<QWidget*>())
        EXPECT_TRUE(before.contains(widget)) << widget->objectName().toStdString();
    saveScreenshot(view, QStringLiteral("storage-categories"));
}

TEST_F(StorageViewTest, NothingIsCutFromTheSmallestWindowToTheLargest)
{
    home.write("Documents/report.pdf", std::string(40'000, 'r'));
    home.write("Downloads/setup.iso", std::string(300'000, 'i'));
    tree->record(home.path() + "/Documents", 4096);
    tree->record("/restricted/a_folder_with_a_long_name_of_its_own/and_more", 0, 1'700'000'000, true);
    tree->finish();
    announceData();
    StorageView view(*model);
    show(view);
    settle(view);
    std::vector<CategoryUsage> categories;
    for (int raw = 0; raw < 26; ++raw)
        categories.push_back({static_cast<StorageCategory>(raw), 123'456'789'000LL - raw, 1'234'567});
    showCategories(categories);
    // The volumes' footnote and the restricted folders' text speak of this system.
    for (const QLabel* label : view.findChildren<QLabel*>()) {
        EXPECT_FALSE(label->text().contains("macOS")) << label->text().toStdString();
    }
    // The detail area of windows of 720x480, 1000x660, 1440x900 and 1920x1080.
    const struct { QSize size; const char* name; } sizes[] = {
        {{520, 420}, "storage-720x480"}, {{800, 600}, "storage-1000x660"},
        {{1240, 840}, "storage-1440x900"}, {{1720, 1020}, "storage-1920x1080"}};
    for (const auto& size : sizes) {
        view.resize(size.size);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        SCOPED_TRACE(size.name);
        QWidget* page = view.findChild<QScrollArea*>()->widget();
        EXPECT_EQ(cutWidgets(*page), "");
        EXPECT_LE(page->width(), view.width());
        for (QWidget* card : page->findChildren<SectionCard*>())
            if (card->isVisibleTo(page)) {
                EXPECT_GE(card->height(), card->minimumSizeHint().height()) << card->objectName().toStdString();
            }
        // The category table within the page, its figures' headings whole, its rows whole.
        auto* table = view.findChild<CategoryTable*>(QStringLiteral("categoryTable"));
        EXPECT_LE(table->mapTo(page, QPoint(table->width(), 0)).x(), page->width());
        for (int column = 0; column < 4; ++column) {
            EXPECT_GE(table->columnWidth(column), table->horizontalHeader()->sectionSizeHint(column)) << column;
        }
        for (int row = 0; row < table->model()->rowCount(); ++row) {
            EXPECT_GE(table->rowHeight(row), static_cast<const QAbstractItemView*>(table)->sizeHintForRow(row)) << row;
        }
        saveScreenshot(view, QString::fromLatin1(size.name));
    }
}

} // namespace
