#include "ui/screens/files/DeveloperStorageView.h"

#include "ui/screens/files/MeasuredHomeTestSupport.h"

#include "ui/components/TextStyle.h"

#include "analysis/ByteFormatter.h"
#include "app/QtText.h"
#include "ui/components/SectionCard.h"
#include "ui/components/SizeBarChart.h"
#include "ui/screens/frame/DetailRouter.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>

#include <algorithm>
#include <memory>

namespace {

DeveloperStorageItem item(std::string path, std::int64_t bytes, bool partial = false)
{
    return {"Other", "Item", std::move(path), bytes, partial, std::nullopt};
}

DeveloperStorageGroup group(std::string name, std::vector<DeveloperStorageItem> items, bool detected)
{
    return {std::move(name), "hammer", std::move(items), detected, std::nullopt};
}

SectionCard* card(DeveloperStorageView& view, const QString& title)
{
    for (SectionCard* candidate : view.widget()->findChildren<SectionCard*>("groupCard"))
        if (candidate->title() == title)
            return candidate;
    return nullptr;
}

class DeveloperStorageViewTest : public MeasuredHomeTest {};

} // namespace

TEST_F(DeveloperStorageViewTest, TheRouterBuildsTheScreen)
{
    std::unique_ptr<QWidget> screen(DetailRouter::makeScreen(SidebarItem::developer, *model, nullptr));
    auto* view = dynamic_cast<DeveloperStorageView*>(screen.get());
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(waitUntil([&] { return !view->isLoading(); }));
}

TEST_F(DeveloperStorageViewTest, GroupsOfAScannedLinuxHomeWithTheirSizes)
{
    write(".cache/yarn/v6/package.tgz", 3'000'000);
    write(".npm/_cacache/blob", 1'000'000);
    write("Android/Sdk/platforms/android-34/android.jar", 6'000'000);
    write(".cache/Google/AndroidStudio2023.1/index", 2'000'000);
    write(".gradle/caches/jar", 4'000'000);
    write(".cargo/registry/cache/crate", 2'500'000);
    write("work/app/node_modules/left-pad/index.js", 1'500'000);
    write("work/app/.git/objects/pack", 900'000);
    scanHome();

    DeveloperStorageView view(*model);
    view.resize(820, 1500);
    view.show();
    EXPECT_TRUE(view.isLoading());
    EXPECT_FALSE(view.refreshButton()->isEnabled());
    EXPECT_TRUE(view.findChild<QWidget*>("measuring")->isVisible());
    ASSERT_TRUE(waitUntil([&] { return !view.isLoading(); }));
    EXPECT_FALSE(view.findChild<QWidget*>("measuring")->isVisible());
    EXPECT_TRUE(view.refreshButton()->isEnabled());

    ASSERT_EQ(view.groups().size(), 6u);
    EXPECT_EQ(view.chart()->items(), DeveloperStorageView::chartItems(view.groups()));
    EXPECT_EQ(view.totalLabel()->text(), qstr(ByteFormatter::string(DeveloperStorageView::overallTotal(view.groups()))));

    struct Expected {
        QString group;
        std::int64_t atLeast;  // 0: not found
    } expected[] = {{"Node.js", 5'500'000}, {"Android", 12'000'000}, {"Git Repositories", 900'000},
                    {"Other Toolchains", 2'500'000}};
    for (const auto& e : expected) {
        SCOPED_TRACE(e.group.toStdString());
        SectionCard* shown = card(view, e.group);
        ASSERT_NE(shown, nullptr);
        const auto& data = *std::find_if(view.groups().begin(), view.groups().end(),
                                         [&](const DeveloperStorageGroup& g) { return qstr(g.name) == e.group; });
        EXPECT_GE(DeveloperStorageView::total(data), e.atLeast);
        EXPECT_EQ(qobject_cast<QLabel*>(shown->accessory())->text(), DeveloperStorageView::accessoryText(data));
    }
    // The Linux places are found under their rows.
    const auto& android = view.groups()[2];
    std::vector<std::string> paths;
    for (const auto& entry : android.items) paths.push_back(entry.path);
    EXPECT_NE(std::find(paths.begin(), paths.end(), inHome("Android/Sdk")), paths.end());
    EXPECT_NE(std::find(paths.begin(), paths.end(), inHome(".cache/Google")), paths.end());
    // Cards added to a shown page appear with the next turn of the event loop.
    for (int turn = 0; turn < 5; ++turn)
        QCoreApplication::processEvents();
    saveScreenshot(view, QStringLiteral("developer-storage-view"));
}

TEST_F(DeveloperStorageViewTest, ChartAccessoryAndSizeTexts)
{
    const std::vector<DeveloperStorageGroup> groups = {
        group("Xcode", {item("/a", 0), item("/b", 0)}, true),
        group("Node.js", {item("/c", 2'000'000), item("/d", 1'000'000, true)}, true),
        group("Docker", {}, false),
        group("Other Toolchains", {item("/e", 500'000)}, true),
    };
    struct Case {
        std::size_t group;
        QString accessory;
    } cases[] = {{0, ""}, {1, "3.00 MB"}, {2, "Not found"}, {3, qstr(ByteFormatter::string(500'000))}};
    for (const auto& c : cases)
        EXPECT_EQ(DeveloperStorageView::accessoryText(groups[c.group]), c.accessory) << groups[c.group].name;

    const auto bars = DeveloperStorageView::chartItems(groups);
    ASSERT_EQ(bars.size(), 2u);
    EXPECT_EQ(bars[0].label, "Node.js");
    EXPECT_EQ(bars[0].bytes, 3'000'000);
    EXPECT_EQ(bars[1].label, "Other Toolchains");
    EXPECT_EQ(DeveloperStorageView::overallTotal(groups), 3'500'000);

    EXPECT_EQ(DeveloperStorageView::itemSizeText(item("/x", 0)), "");
    EXPECT_EQ(DeveloperStorageView::itemSizeText(item("/x", 1'000'000, true)), "1.00 MB+");
    EXPECT_EQ(DeveloperStorageView::itemSizeText(item("/x", 1'000'000)), "1.00 MB");

    struct Colour {
        const char* name;
        QColor color;
    } colours[] = {{"Xcode", QColor::fromRgbF(0.2f, 0.55f, 0.95f)},
                   {"Node.js", NamedColor::green},
                   {"Android", QColor::fromRgbF(0.24f, 0.7f, 0.4f)},
                   {"Docker", QColor::fromRgbF(0.1f, 0.6f, 0.85f)},
                   {"Git Repositories", QColor::fromRgbF(0.94f, 0.32f, 0.2f)},
                   {"Other Toolchains", NamedColor::orange},
                   {"xcode", NamedColor::orange}};
    for (const auto& c : colours) EXPECT_EQ(DeveloperStorageView::color(c.name), c.color) << c.name;
}

TEST_F(DeveloperStorageViewTest, TheItemMenuRevealsShowsInLargestFoldersAndCopiesThePath)
{
    write(".cargo/bin/cargo", 1000);
    const std::string cargo = inHome(".cargo");
    DeveloperStorageView view(*model);
    ASSERT_TRUE(waitUntil([&] { return !view.isLoading(); }));
    EXPECT_EQ(view.makeContextMenu(item("", 100), &view), nullptr);

    std::unique_ptr<QMenu> menu(view.makeContextMenu(item(cargo, 100), nullptr));
    ASSERT_NE(menu, nullptr);
    QStringList titles;
    for (QAction* action : menu->actions()) titles << action->text();
    EXPECT_EQ(titles, (QStringList{"Show in File Manager", "Show in Largest Folders", "Copy Path"}));

    menu->actions()[0]->trigger();
    ASSERT_EQ(desktop->revealed.size(), 1u);
    EXPECT_EQ(desktop->revealed[0], (std::vector<std::string>{cargo}));
    menu->actions()[2]->trigger();
    EXPECT_EQ(desktop->copied, (std::vector<std::string>{cargo}));
    menu->actions()[1]->trigger();
    EXPECT_EQ(model->largestFoldersFocus(), cargo);
    EXPECT_EQ(model->selection(), SidebarItem::largestFolders);
}

TEST_F(DeveloperStorageViewTest, AnOvertakenOrStoppedMeasurementIsNeverStored)
{
    write(".cache/yarn/v6/package.tgz", 300'000);
    write("Android/Sdk/platforms/android.jar", 300'000);
    DeveloperStorageView view(*model);
    int stored = 0;
    QObject::connect(&view, &DeveloperStorageView::groupsChanged, [&] { ++stored; });
    // Refreshed before the first measurement could answer: only the second one counts.
    view.load();
    ASSERT_TRUE(waitUntil([&] { return !view.isLoading(); }));
    EXPECT_EQ(stored, 1);
    const auto complete = DeveloperStorageView::analyze(home.path(), database.get(), {});
    ASSERT_TRUE(complete.has_value());
    EXPECT_EQ(view.groups(), *complete);

    // A data change measures again.
    write(".cargo/bin/cargo", 200'000);
    model->scan().dataChanged();
    ASSERT_TRUE(waitUntil([&] { return model->scan().dataVersion() == 1 && !view.isLoading(); }));
    EXPECT_EQ(stored, 2);
    EXPECT_TRUE(view.groups().back().detected);

    // A stopped analyzer reports the tools it never reached as not found; that answer is refused.
    std::stop_source stopped;
    stopped.request_stop();
    EXPECT_FALSE(DeveloperStorageView::analyze(home.path(), database.get(), stopped.get_token()).has_value());
}

TEST_F(DeveloperStorageViewTest, AMenuOpenOnARowOutlivesTheNextMeasurementAndTheRowsStay)
{
    write(".cache/yarn/v6/package.tgz", 300'000);
    write("Android/Sdk/platforms/android.jar", 300'000);
    DeveloperStorageView view(*model);
    view.resize(820, 1200);
    view.show();
    // Rows that come after the screen is shown are shown by the layout one event later.
    QWidget* row = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        for (QWidget* candidate : view.widget()->findChildren<QWidget*>("itemRow"))
            if (candidate->contextMenuPolicy() == Qt::CustomContextMenu && candidate->isVisibleTo(&view))
                row = candidate;
        return !view.isLoading() && row != nullptr;
    }));
    const QList<QWidget*> rowsBefore = view.widget()->findChildren<QWidget*>("itemRow");
    const QList<SectionCard*> cardsBefore = view.widget()->findChildren<SectionCard*>("groupCard");

    // The menu of a row, open while the index data changes and the screen measures again.
    emit row->customContextMenuRequested(QPoint(5, 5));
    QPointer<QMenu> menu = row->findChild<QMenu*>();
    ASSERT_FALSE(menu.isNull());
    write(".cache/yarn/v6/more.tgz", 200'000);
    model->scan().dataChanged();
    ASSERT_TRUE(waitUntil([&] { return model->scan().dataVersion() == 1 && !view.isLoading(); }));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(menu.isNull());
    menu->actions()[2]->trigger();
    EXPECT_EQ(desktop->copied.size(), 1u);
    menu->close();

    EXPECT_EQ(view.widget()->findChildren<QWidget*>("itemRow"), rowsBefore);
    EXPECT_EQ(view.widget()->findChildren<SectionCard*>("groupCard"), cardsBefore);
}
