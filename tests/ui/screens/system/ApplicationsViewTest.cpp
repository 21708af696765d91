#include "ui/screens/system/ApplicationsView.h"

#include "AppFixtures.h"
#include "ui/components/RecordingModel.h"
#include "ui/components/SizeBarChart.h"
#include "ui/screens/system/AppDetailView.h"
#include "ui/screens/system/ApplicationsTableModel.h"

#include <QCheckBox>
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
              return fixtures.store([&fixtures](const std::string& path) -> std::optional<std::int64_t> {
                  return path == fixtures.named("Demo").path ? 48'000'000 : 730'000'000;
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

TEST(ApplicationsView, MenuActsOnTheRowUnderThePointer)
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
    EXPECT_EQ(menu->actions()[1]->text(), QStringLiteral("Reveal in Finder"));
    menu->actions()[2]->trigger();
    ASSERT_EQ(screen.desktop->copied.size(), 1u);
    EXPECT_EQ(screen.desktop->copied[0], view.displayedRows()[2].id()); // not the selected row
    view.revealRow(1);
    EXPECT_EQ(screen.desktop->revealed, (std::vector<std::vector<std::string>>{{view.displayedRows()[1].id()}}));
}

TEST(ApplicationsView, AdoptsAnArrivingApplicationOnceAndOpensTheInspector)
{
    AppFixtures fixtures;
    Screen screen(fixtures);
    screen.model->setSelectedApplicationPath(fixtures.named("Demo").path);
    ApplicationsView view(*screen.model);
    EXPECT_EQ(screen.model->selectedApplicationPath(), std::nullopt);
    EXPECT_EQ(view.selection(), fixtures.named("Demo").path);
    EXPECT_TRUE(view.showInspector());
    ASSERT_TRUE(waitUntil([&] { return view.detail() != nullptr; }));
    EXPECT_EQ(view.detail()->application().name, "Demo");

    view.setFilter(QStringLiteral("edit"));
    EXPECT_EQ(names(view.displayedRows()), std::vector<std::string>{"Editor"});
    EXPECT_EQ(view.selection(), fixtures.named("Demo").path); // kept while filtered out
    view.setFilter({});
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
        ASSERT_NE(view.banner(), nullptr);
        view.banner()->findChild<QToolButton*>(QStringLiteral("hideBanner"))->click();
        EXPECT_TRUE(view.banner()->isHidden());
    }
    ApplicationsView again(*screen.model);
    EXPECT_EQ(again.banner(), nullptr);
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
            if (box->text() == "Apple apps") toggle = box;
        ASSERT_NE(toggle, nullptr);
        EXPECT_EQ(toggle->isVisibleTo(&view), withSystemApp);
    }
}

} // namespace
