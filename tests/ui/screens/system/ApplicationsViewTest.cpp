#include "ui/screens/system/ApplicationsView.h"

#include "AppFixtures.h"
#include "app/support/RecordingModel.h"
#include "ui/support/UiTestSupport.h"
#include "ui/components/SizeBarChart.h"
#include "ui/screens/system/AppDetailView.h"
#include "ui/screens/system/ApplicationsTableModel.h"

#include "ui/screens/system/ColumnWidths.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QItemSelectionModel>
#include <QScrollBar>
#include <QSplitter>
#include <QTest>
#include <QLabel>
#include <QMenu>
#include <QTableView>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

AppRow row(std::string name, std::optional<std::int64_t> size, int processes = 0)
{
    AppRow r;
    r.info.name = name;
    r.info.path = "/apps/" + name;
    r.size = size;
    r.usage.processCount = processes;
    return r;
}

std::vector<std::string> names(const std::vector<AppRow>& rows)
{
    std::vector<std::string> result;
    for (const auto& r : rows)
        result.push_back(r.info.name);
    return result;
}

// The fixtures' applications: Demo measures 48 MB, every other 730 MB.
struct Screen : RecordingModel {
    explicit Screen(const AppFixtures& fixtures)
        : RecordingModel([&fixtures](const std::string&) {
              return fixtures.store([](const std::string& path) -> std::optional<std::int64_t> {
                  return path.find("demo") != std::string::npos ? 48'000'000 : 730'000'000;
              });
          })
    {
    }
};

} // namespace

TEST(AppRow, FiltersByNameOrBundleIdInAnyCaseAsTyped)
{
    std::vector<ApplicationInfo> apps(4);
    apps[0].name = "Photo Editor", apps[0].path = "/a";
    apps[1].name = "Mail", apps[1].path = "/b", apps[1].bundleIdentifier = "org.example.EditMail";
    apps[2].name = "Text Pad", apps[2].path = "/c", apps[2].isSystemApp = true;
    apps[3].name = "Calc", apps[3].path = "/d";
    const struct {
        QString filter;
        bool system;
        std::vector<std::string> kept;
    } cases[] = {
        {"edit", true, {"Photo Editor", "Mail"}},
        {"EDIT", true, {"Photo Editor", "Mail"}},
        {" ", true, {"Photo Editor", "Text Pad"}},
        {"", false, {"Photo Editor", "Mail", "Calc"}},
        {"", true, {"Photo Editor", "Mail", "Text Pad", "Calc"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(names(AppRow::rows(apps, {}, {}, c.filter, c.system)), c.kept) << c.filter.toStdString();
}

TEST(AppRow, MissingFiguresSortBelowPresentOnes)
{
    std::vector<AppRow> rows{row("atlas", std::nullopt), row("Zebra", 10), row("mid", 0, 1)};
    AppRow::sort(rows, AppRow::Column::size, false);
    EXPECT_EQ(names(rows), (std::vector<std::string>{"Zebra", "mid", "atlas"}));
    AppRow::sort(rows, AppRow::Column::application, true);
    EXPECT_EQ(names(rows), (std::vector<std::string>{"Zebra", "atlas", "mid"}));
    AppRow::sort(rows, AppRow::Column::memory, false);
    EXPECT_EQ(rows.front().info.name, "mid");
    rows[0].info.developer = "Zed";
    AppRow::sort(rows, AppRow::Column::developer, true);
    EXPECT_EQ(rows.front().info.name, "mid"); // no developer sorts as "~", after letters
    EXPECT_EQ(ApplicationsView::countText(rows), QStringLiteral("3 apps \u00b7 10 bytes"));
    rows.resize(1);
    EXPECT_EQ(ApplicationsView::countText(rows), QStringLiteral("1 app \u00b7 0 bytes"));
}

TEST(AppRow, UsageCellsTellNotRunningRestrictedAndValues)
{
    AppRow r = row("x", 1);
    EXPECT_EQ(ApplicationsTableModel::usageText(r, AppRow::Column::memory), QStringLiteral("\u2014"));
    r.usage = {2, 0, 0.0, 2, {1, 2}};
    EXPECT_EQ(ApplicationsTableModel::usageText(r, AppRow::Column::cpu), QStringLiteral("Restricted"));
    r.usage = {2, 2'500'000, 12.34, 1, {1, 2}};
    EXPECT_EQ(ApplicationsTableModel::usageText(r, AppRow::Column::memory), QStringLiteral("2.50 MB"));
    EXPECT_EQ(ApplicationsTableModel::usageText(r, AppRow::Column::cpu), QStringLiteral("12.3%"));
}

TEST(ApplicationsView, ChartTakesTheFifteenLargestTiesInTableOrder)
{
    std::vector<AppRow> rows;
    for (int i = 0; i < 20; ++i)
        rows.push_back(row("app" + std::to_string(i), i < 2 ? std::nullopt : std::optional<std::int64_t>(i % 3)));
    const auto items = ApplicationsView::chartItems(rows);
    ASSERT_EQ(items.size(), 15u);
    EXPECT_EQ(items[0].label, "app2");
    EXPECT_EQ(items[1].label, "app5");
    for (const auto& item : items)
        EXPECT_NE(item.label, "app0");
}

TEST(ApplicationsView, MenuActsOnTheRowUnderThePointerAndSelectsIt)
{
    AppFixtures fixtures;
    Screen screen(fixtures);
    ApplicationsView view(*screen.model);
    ASSERT_TRUE(waitUntil([&] { return view.displayedRows().size() == 3 && screen.model->apps().sizingProgress().done == 3; }));
    view.setSelection(view.displayedRows()[0].id());
    std::unique_ptr<QMenu> empty(view.contextMenu(-1, &view));
    EXPECT_TRUE(empty->actions().isEmpty());
    std::unique_ptr<QMenu> menu(view.contextMenu(2, &view));
    ASSERT_EQ(menu->actions().size(), 3);
    EXPECT_EQ(menu->actions()[1]->text(), QStringLiteral("Show in File Manager"));
    menu->actions()[2]->trigger();
    ASSERT_EQ(screen.desktop->copied.size(), 1u);
    EXPECT_EQ(screen.desktop->copied[0], view.displayedRows()[2].info.path);
    // The row the menu acts on is the one shown selected.
    EXPECT_EQ(view.selection(), view.displayedRows()[2].id());
    view.revealRow(1);
    EXPECT_EQ(screen.desktop->revealed, (std::vector<std::vector<std::string>>{{view.displayedRows()[1].info.path}}));
}

TEST(ApplicationsView, AdoptsAnArrivingApplicationOnceAndOpensTheInspector)
{
    AppFixtures fixtures;
    Screen screen(fixtures);
    screen.model->setSelectedApplicationPath(fixtures.named("Demo").path);
    ApplicationsView view(*screen.model);
    EXPECT_EQ(screen.model->selectedApplicationPath(), std::nullopt);
    EXPECT_TRUE(view.showInspector());
    // The listing arrives after the screen: the row is selected once it is there.
    ASSERT_TRUE(waitUntil([&] { return view.selection() == fixtures.named("Demo").id(); }));
    ASSERT_NE(view.detail(), nullptr);
    EXPECT_EQ(view.detail()->application().name, "Demo");

    // The table's selection is the one selection: a row filtered out is no longer selected.
    view.setFilter(QStringLiteral("edit"));
    EXPECT_EQ(names(view.displayedRows()), std::vector<std::string>{"Editor"});
    EXPECT_EQ(view.selection(), std::nullopt);
    EXPECT_TRUE(view.showInspector());
    view.setFilter({});
    EXPECT_EQ(view.selection(), std::nullopt);
    ASSERT_TRUE(waitUntil([&] { return screen.model->apps().sizingProgress().done == 3; }));
    view.setShowChart(true);
    view.resize(1100, 700);
    saveScreenshot(view, QStringLiteral("ApplicationsView"));
}

TEST(ApplicationsView, HidingTheBannerLasts)
{
    AppFixtures fixtures;
    Screen screen(fixtures);
    {
        ApplicationsView view(*screen.model);
        ASSERT_NE(view.findChild<QFrame*>(QStringLiteral("explanationBanner")), nullptr);
        view.findChild<QFrame*>(QStringLiteral("explanationBanner"))->findChild<QToolButton*>(QStringLiteral("hideBanner"))->click();
        EXPECT_TRUE(view.findChild<QFrame*>(QStringLiteral("explanationBanner"))->isHidden());
    }
    ApplicationsView again(*screen.model);
    EXPECT_EQ(again.findChild<QFrame*>(QStringLiteral("explanationBanner")), nullptr);
}

namespace {

TEST(ApplicationsView, TheSystemAppsToggleShowsOnlyWhenItCanHideSomething)
{
    for (const bool withSystemApp : {false, true}) {
        AppFixtures fixtures;
        fixtures.apps[1].isSystemApp = withSystemApp;
        Screen screen(fixtures);
        ApplicationsView view(*screen.model);
        ASSERT_TRUE(waitUntil([&] { return view.displayedRows().size() == 3; }));
        QCheckBox* toggle = nullptr;
        for (auto* box : view.findChildren<QCheckBox*>())
            if (box->text() == "System apps") toggle = box;
        ASSERT_NE(toggle, nullptr);
        EXPECT_EQ(toggle->isVisibleTo(&view), withSystemApp);
    }
}

} // namespace

namespace {

// Two programs of one suite under /opt: one folder, two desktop entries.
std::vector<ApplicationInfo> suite()
{
    std::vector<ApplicationInfo> apps(3);
    const char* const names[] = {"Suite Draw", "Suite Write", "Viewer"};
    const char* const ids[] = {"suite-draw.desktop", "suite-write.desktop", "viewer.desktop"};
    for (std::size_t i = 0; i < apps.size(); ++i) {
        apps[i].name = names[i];
        apps[i].path = i < 2 ? "/opt/suite" : "/usr/share/applications/viewer.desktop";
        apps[i].desktopEntryID = ids[i];
        apps[i].desktopEntryPath = std::string("/usr/share/applications/") + ids[i];
        apps[i].version = i == 0 ? "1:2.38.1-5+deb12u1" : "7.0";
    }
    return apps;
}

std::vector<std::string> ids(const std::vector<AppRow>& rows)
{
    std::vector<std::string> result;
    for (const auto& r : rows)
        result.push_back(r.id());
    return result;
}

} // namespace

TEST(ApplicationsTableModel, RowsAreTheApplicationsOwnEvenWhenTheyShareAFolder)
{
    ensureApplication();
    ApplicationsTableModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QItemSelectionModel selection(&model);
    const auto apps = suite();
    model.setRows(AppRow::rows(apps, {}, {}, {}, true));
    ASSERT_EQ(model.rowCount(), 3);
    const int write = *model.rowOf("suite-write.desktop");
    selection.setCurrentIndex(model.index(write, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);

    // Sizes arrive, a process starts, the order changes, a row goes and comes back.
    std::unordered_map<std::string, FolderSizeResult> sizes;
    sizes["/opt/suite"].allocatedSize = 900;
    ProcessSnapshot running;
    running.pid = 77;
    running.executablePath = "/opt/suite/bin/write";
    model.setRows(AppRow::rows(apps, sizes, {running}, {}, true));
    model.sort(static_cast<int>(AppRow::Column::application), Qt::DescendingOrder);
    EXPECT_EQ(ids(model.rows()), (std::vector<std::string>{"viewer.desktop", "suite-write.desktop", "suite-draw.desktop"}));
    model.setRows(AppRow::rows(apps, sizes, {running}, QStringLiteral("write"), true));
    model.setRows(AppRow::rows(apps, sizes, {running}, {}, true));
    const AppRow& current = model.rows()[static_cast<std::size_t>(selection.currentIndex().row())];
    EXPECT_EQ(current.info.name, "Suite Write");
    EXPECT_EQ(current.usage.processCount, 1);

    // A new listing with another version redraws the row.
    auto updated = apps;
    updated[1].version = "7.1";
    model.setRows(AppRow::rows(updated, sizes, {running}, {}, true));
    EXPECT_EQ(model.data(model.index(*model.rowOf("suite-write.desktop"), 1), Qt::DisplayRole).toString(), "7.1");
}

TEST(ApplicationsView, ClickingAnEntryOfASharedFolderSelectsThatEntry)
{
    AppFixtures fixtures;
    fixtures.apps = suite();
    Screen screen(fixtures);
    ApplicationsView view(*screen.model);
    view.resize(1000, 600);
    view.show();
    ASSERT_TRUE(waitUntil([&] { return view.displayedRows().size() == 3; }));
    QTableView* table = view.table();
    for (const std::string id : {"suite-write.desktop", "suite-draw.desktop"}) {
        const int row = *static_cast<ApplicationsTableModel*>(table->model())->rowOf(id);
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(table->model()->index(row, 0)).center());
        EXPECT_EQ(view.selection(), id);
        ASSERT_NE(view.detail(), nullptr);
        EXPECT_EQ(view.detail()->application().id(), id);
    }
    // Ctrl+click takes the row out of the selection.
    const int row = table->currentIndex().row();
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      table->visualRect(table->model()->index(row, 0)).center());
    EXPECT_EQ(view.selection(), std::nullopt);
}

TEST(ApplicationsView, DetailsShowsAndHidesThePanelWithOneClickEach)
{
    for (const int width : {1000, 1400}) {
        AppFixtures fixtures;
        Screen screen(fixtures);
        ApplicationsView view(*screen.model);
        view.resize(width, 700);
        view.show();
        ASSERT_TRUE(waitUntil([&] { return view.displayedRows().size() == 3; }));
        QToolButton* details = nullptr;
        for (auto* button : view.findChildren<QToolButton*>())
            if (button->text() == "Details") details = button;
        ASSERT_NE(details, nullptr);
        QSplitter* split = nullptr;
        for (auto* candidate : view.findChildren<QSplitter*>())
            if (candidate->orientation() == Qt::Horizontal) split = candidate;
        ASSERT_NE(split, nullptr);
        // Shown is in view with room of its own, not merely visible: the splitter may give it no width.
        const auto panelShown = [&] {
            QWidget* panel = view.detail() ? view.detail()->parentWidget() : nullptr;
            return panel && panel->isVisible() && split->sizes().value(1) >= 280;
        };
        QTableView* table = view.table();
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(table->model()->index(1, 0)).center());
        QCoreApplication::processEvents();
        EXPECT_TRUE(panelShown()) << width;
        EXPECT_TRUE(details->isChecked()) << width;
        // The user drags the divider as far right as it goes.
        split->setSizes({split->width(), 0});
        QCoreApplication::processEvents();
        EXPECT_TRUE(panelShown()) << width;
        for (int click = 0; click < 4; ++click) {
            details->click();
            QCoreApplication::processEvents();
            const bool open = click % 2 == 1;
            EXPECT_EQ(details->isChecked(), open) << width << " click " << click;
            EXPECT_EQ(panelShown(), open) << width << " click " << click;
        }
        saveScreenshot(view, QStringLiteral("ApplicationsView-details-%1").arg(width));
    }
}

TEST(ColumnWidths, TheFlexibleColumnTakesWhatTheOthersLeaveTheOthersWhatTheyHold)
{
    const struct {
        int available, others, minimum, expected;
    } flexible[] = {{900, 500, 130, 400}, {500, 500, 130, 130}, {600, 470, 130, 130}, {601, 470, 130, 131}};
    for (const auto& c : flexible)
        EXPECT_EQ(ColumnWidths::flexibleWidth(c.available, c.others, c.minimum), c.expected) << c.available;
    const struct {
        int cells, title, expected;
    } fitted[] = {{30, 40, 50}, {120, 70, 120}, {300, 70, 220}, {60, 90, 90}};
    for (const auto& c : fitted)
        EXPECT_EQ(ColumnWidths::fittedWidth(c.cells, c.title, {50, 80, 220}), c.expected) << c.cells << " " << c.title;
}

TEST(ApplicationsView, ColumnsGiveTheirRoomToTheNameAndShowTheWholeVersion)
{
    AppFixtures fixtures;
    fixtures.apps = suite();
    Screen screen(fixtures);
    ApplicationsView view(*screen.model);
    ASSERT_TRUE(waitUntil([&] { return view.displayedRows().size() == 3; }));
    QTableView* table = view.table();
    const int version = static_cast<int>(AppRow::Column::version);
    const int architecture = static_cast<int>(AppRow::Column::architecture);
    const int application = static_cast<int>(AppRow::Column::application);
    const QFontMetrics metrics(table->font());
    for (const QSize size : {QSize(500, 420), QSize(780, 560), QSize(1220, 840), QSize(1700, 1020)}) {
        view.resize(size);
        view.show();
        QCoreApplication::processEvents();
        EXPECT_GE(table->columnWidth(version), metrics.horizontalAdvance(QStringLiteral("1:2.38.1-5+deb12u1"))) << size.width();
        EXPECT_LE(table->columnWidth(architecture), 140) << size.width();
        EXPECT_GE(table->columnWidth(application), 130) << size.width();
        // From 780 pixels on, every column is in view: nothing scrolls sideways.
        if (size.width() >= 780) {
            EXPECT_FALSE(table->horizontalScrollBar()->isVisible()) << size.width();
        }
        saveScreenshot(view, QStringLiteral("ApplicationsView-%1x%2").arg(size.width()).arg(size.height()));
    }
}

TEST(ApplicationsView, TheNameTakesTheRoomTheDividerGivesTheTable)
{
    AppFixtures fixtures;
    fixtures.apps = suite();
    Screen screen(fixtures);
    ApplicationsView view(*screen.model);
    view.resize(1400, 700);
    view.show();
    ASSERT_TRUE(waitUntil([&] { return view.displayedRows().size() == 3; }));
    QTableView* table = view.table();
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(table->model()->index(1, 0)).center());
    QCoreApplication::processEvents();
    ASSERT_TRUE(view.detail() && view.detail()->isVisible());
    QSplitter* split = nullptr;
    for (auto* candidate : view.findChildren<QSplitter*>())
        if (candidate->orientation() == Qt::Horizontal) split = candidate;
    ASSERT_NE(split, nullptr);
    const int application = static_cast<int>(AppRow::Column::application);
    const int version = static_cast<int>(AppRow::Column::version);
    // The user drags the divider both ways; the name follows, the others keep what they hold.
    for (const int panel : {420, 280, 360}) {
        split->setSizes({split->width() - panel, panel});
        QCoreApplication::processEvents();
        int others = 0;
        for (int column = 0; column < table->model()->columnCount(); ++column)
            if (column != application) others += table->columnWidth(column);
        EXPECT_EQ(table->columnWidth(application), std::max(130, table->viewport()->width() - others)) << panel;
        EXPECT_GE(table->columnWidth(version),
                  QFontMetrics(table->font()).horizontalAdvance(QStringLiteral("1:2.38.1-5+deb12u1")));
        EXPECT_FALSE(table->horizontalScrollBar()->isVisible()) << panel;
    }
    saveScreenshot(view, QStringLiteral("ApplicationsView-details-dragged-1400"));
}

TEST(ApplicationsView, WithDetailsAtAThousandPixelsTheNameIsShownWhole)
{
    AppFixtures fixtures;
    fixtures.apps = suite();
    fixtures.apps[1].name = "ImageMagick (color depth=q16)";
    Screen screen(fixtures);
    ApplicationsView view(*screen.model);
    // The detail area of a window 1000 pixels wide.
    view.resize(800, 600);
    view.show();
    ASSERT_TRUE(waitUntil([&] { return view.displayedRows().size() == 3; }));
    QTableView* table = view.table();
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(table->model()->index(1, 0)).center());
    QCoreApplication::processEvents();
    ASSERT_TRUE(view.detail() && view.detail()->isVisible());
    const int application = static_cast<int>(AppRow::Column::application);
    // The others scroll into view; the name, read first, is not cut.
    QAbstractItemView& asView = *table;
    EXPECT_GE(table->columnWidth(application), asView.sizeHintForColumn(application));
    saveScreenshot(view, QStringLiteral("ApplicationsView-details-1000-name"));

    // A click far right in a row selects it without scrolling the names out of sight, and the
    // table stays at its start when Details closes again.
    const int last = table->model()->columnCount() - 1;
    table->scrollTo(table->model()->index(2, last));
    const QPoint far = table->visualRect(table->model()->index(2, last)).center();
    ASSERT_TRUE(table->viewport()->rect().contains(far));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, far);
    QCoreApplication::processEvents();
    EXPECT_EQ(view.selection(), view.displayedRows()[2].id());
    EXPECT_EQ(table->currentIndex().column(), 0);
    EXPECT_EQ(table->horizontalScrollBar()->value(), 0);
    view.setShowInspector(false);
    QCoreApplication::processEvents();
    EXPECT_EQ(table->horizontalScrollBar()->value(), 0);
}

