#include "ui/screens/files/LargestFoldersView.h"

#include "analysis/SearchParser.h"
#include "analysis/SearchService.h"
#include "app/ScanCoordinator.h"
#include "support/ScannedTree.h"
#include "ui/components/FolderTreeModel.h"
#include "ui/components/FolderTreeView.h"
#include "app/support/RecordingModel.h"
#include "support/FileItems.h"
#include "ui/support/UiTestSupport.h"
#include "ui/components/SizeBarChart.h"
#include "ui/components/TextStyle.h"
#include "ui/screens/files/BreadcrumbBar.h"
#include "ui/support/RealKeys.h"
#include "ui/screens/frame/DetailRouter.h"
#include "ui/components/PermissionHelpSheet.h"

#include <QAbstractItemModelTester>
#include <QMenu>
#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QStackedWidget>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

namespace {

QAction* action(QMenu& menu, const QString& text)
{
    for (QAction* candidate : menu.actions())
        if (candidate->text() == text)
            return candidate;
    return nullptr;
}

class LargestFoldersViewTest : public ::testing::Test {
protected:
    LargestFoldersViewTest()
    {
        files.write("disk/foo/a.bin", 4000);
        files.write("disk/foo/sub/b.bin", 8000);
        files.write("disk/Foo/c.bin", 4000);
        files.write("disk/foobar/d.bin", 4000);
        files.write("disk/say \"hi\"/e.bin", 4000);
        files.write("disk/say /f.bin", 4000);
        files.write("disk/size > 1 KB/g.bin", 4000);
        files.write("disk/music/song.mp3", 90000);
        ScannedTree::scanInto(*recording.model->database(), {files.file("disk")});
    }

    AppModel& model() { return *recording.model; }

    // A root folder that the scan could not read, as a root of its own.
    std::string recordRestricted(const std::string& relative)
    {
        auto& database = *model().database();
        const std::string locked = path(relative);
        const auto scanID = database.beginScan({});
        DirectorySnapshot snapshot;
        snapshot.path = locked;
        snapshot.name = relative;
        snapshot.folderID = database.ensureRoot(locked, 1);
        snapshot.isRestricted = true;
        database.syncDirectory(snapshot, scanID);
        database.finishScan(scanID, {locked}, ScanRecord::Status::cancelled, 0, 0, 0, 0, 0);
        return locked;
    }

    std::string path(const std::string& relative) const { return files.file(relative); }
    FolderItem indexed(const std::string& relative) { return *model().database()->folder(path(relative)); }

    static bool loaded(LargestFoldersView& view)
    {
        return waitUntil([&] { return !view.tree()->isLoading() && view.tree()->rowCount() > 0; });
    }

    // Shown in a window of its own and active, for the keys and clicks a person gives it.
    static bool shownAndLoaded(LargestFoldersView& view)
    {
        view.resize(700, 500);
        showActive(view);
        return loaded(view);
    }

    // Opens the folder at `relative` and waits until the tree shows it.
    bool opened(LargestFoldersView& view, const std::string& relative)
    {
        model().setLargestFoldersFocus(path(relative));
        return waitUntil([&] { return view.tree()->focusPath() == path(relative) && !view.tree()->isLoading(); });
    }

    RecordingModel recording;
    TempDir files;
};

TEST_F(LargestFoldersViewTest, LargestFilesInThisFolderSelectsExactlyThatSubtree)
{
    LargestFoldersView view(model());
    model().setLargestFilesCategory(StorageCategory::videos);
    struct Case {
        std::string folder;
        std::set<std::string> files;
    };
    // Names that differ only by case or by a suffix, hold quotes, or read like a size filter.
    const std::vector<Case> cases = {
        {"disk/foo", {"a.bin", "b.bin"}},
        {"disk/Foo", {"c.bin"}},
        {"disk/foo/sub", {"b.bin"}},
        {"disk/say \"hi\"", {"e.bin"}},
        {"disk/say ", {"f.bin"}},
        {"disk/size > 1 KB", {"g.bin"}},
    };
    for (const auto& c : cases) {
        model().setSelection(SidebarItem::largestFolders);
        QMenu* menu = view.folderMenu(indexed(c.folder), &view);
        action(*menu, "Largest Files in This Folder")->trigger();
        delete menu;
        EXPECT_EQ(model().selection(), SidebarItem::search);
        EXPECT_EQ(model().largestFilesCategory(), std::nullopt);
        EXPECT_EQ(model().searchText(), SearchParser::subtreeFilter(path(c.folder)));

        const SearchResults results = SearchService::run(model().searchText(), model().database().get(), {});
        std::set<std::string> names;
        for (const auto& file : results.files)
            names.insert(file.name);
        EXPECT_EQ(names, c.files) << c.folder;
        for (const auto& found : results.folders)
            EXPECT_TRUE(found.path == path(c.folder) || found.path.starts_with(path(c.folder) + "/")) << found.path;
    }
}

TEST_F(LargestFoldersViewTest, ChartShowsRootsAtTheTopOtherwiseTheFirstRootsChildren)
{
    const QColor accent = accentColor();
    std::vector<FolderItem> roots;
    for (int i = 0; i < 14; ++i)
        roots.push_back(
            folderAt("/root" + std::to_string(i), {.id = i + 1, .totalAllocated = 1000 - i, .isRestricted = i == 1}));
    const std::vector<FolderItem> children = {
        folderAt("/root0/a", {.id = 20, .parentID = 1, .totalAllocated = 50}),
        folderAt("/root0/b", {.id = 21, .parentID = 1, .totalAllocated = 40, .isRestricted = true})};

    struct Case {
        const char* what;
        std::vector<FolderItem> roots;
        bool hasFocus;
        const std::vector<FolderItem>* children;
        std::vector<std::string> labels;
    };
    const std::vector<FolderItem> oneRoot(roots.begin(), roots.begin() + 1);
    const std::vector<Case> cases = {
        {"no roots", {}, false, &children, {}},
        {"several roots: 12 largest, by path", roots, false, &children,
         {"/root0", "/root1", "/root2", "/root3", "/root4", "/root5", "/root6", "/root7", "/root8", "/root9", "/root10",
          "/root11"}},
        {"one root: its children, by name", oneRoot, false, &children, {"a", "b"}},
        {"a focus folder: its children", roots, true, &children, {"a", "b"}},
        {"children not read", oneRoot, false, nullptr, {}},
    };
    for (const auto& c : cases) {
        const auto items =
            LargestFoldersView::chartItems(LargestFoldersView::chartSource(c.roots, c.hasFocus, c.children), accent);
        std::vector<std::string> labels;
        for (const auto& item : items)
            labels.push_back(item.label);
        EXPECT_EQ(labels, c.labels) << c.what;
    }
    const auto items = LargestFoldersView::chartItems(roots, accent);
    EXPECT_EQ(items[0].color, accent);
    EXPECT_EQ(items[1].color, NamedColor::orange);
    EXPECT_EQ(items[1].id, "/root1");
}

TEST_F(LargestFoldersViewTest, TrashCandidateNamesTheLastComponentAndCountsInWords)
{
    struct Case {
        std::int64_t files;
        std::int64_t folders;
        const char* note;
    };
    for (const Case& c : std::vector<Case>{{1, 1, "1 file in 1 folder"}, {0, 2, "0 files in 2 folders"},
                                           {12345, 1000, "12,345 files in 1,000 folders"}}) {
        const TrashCandidate candidate = LargestFoldersView::trashCandidate(
            {.id = 1, .parentID = 2, .path = "/data/Projects", .name = "stored name", .totalAllocated = 777,
             .fileCount = c.files, .folderCount = c.folders});
        EXPECT_EQ(candidate.name, "Projects");
        EXPECT_EQ(candidate.size, 777);
        EXPECT_TRUE(candidate.isDirectory);
        EXPECT_EQ(candidate.note, c.note);
    }
}

TEST_F(LargestFoldersViewTest, DrillsWithTheFocusAndFallsBackToTheTopForAMissingFolder)
{
    LargestFoldersView view(model());
    ASSERT_TRUE(loaded(view));
    EXPECT_EQ(view.findChild<QStackedWidget*>()->currentIndex(), 1);
    EXPECT_EQ(view.findChild<BreadcrumbBar*>(QStringLiteral("breadcrumbs"))->path(), std::nullopt);

    ASSERT_TRUE(opened(view, "disk/foo"));
    EXPECT_EQ(view.findChild<BreadcrumbBar*>(QStringLiteral("breadcrumbs"))->path(), path("disk/foo"));
    const QModelIndex focus = view.tree()->index(0, 0);
    ASSERT_GE(view.tree()->rowCount(focus), 1);
    const FolderItem sub = view.tree()->row(view.tree()->index(0, 0, focus))->folder;
    EXPECT_EQ(sub.name, "sub");

    // Double-clicking a folder drills into it.
    view.openRow(sub.id);
    EXPECT_EQ(model().largestFoldersFocus(), path("disk/foo/sub"));

    model().setLargestFoldersFocus(path("disk/not indexed"));
    ASSERT_TRUE(waitUntil([&] { return !view.tree()->isLoading() && !view.tree()->focusPath(); }));
    EXPECT_EQ(view.findChild<BreadcrumbBar*>(QStringLiteral("breadcrumbs"))->path(), std::nullopt);
}

TEST_F(LargestFoldersViewTest, ArrowsExpandAndCollapseTheChosenFolder)
{
    LargestFoldersView view(model());
    ASSERT_TRUE(shownAndLoaded(view));
    QAbstractItemModelTester tester(view.tree(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    const FolderItem foo = indexed("disk/foo");
    view.setSelection(foo.id);
    EXPECT_TRUE(view.revealButton()->isVisibleTo(&view));
    view.treeView()->setFocus();
    typeKey(view, Qt::Key_Right);
    ASSERT_TRUE(waitUntil([&] { return view.tree()->cachedChildren(foo.id).has_value(); }));
    EXPECT_TRUE(view.treeView()->isExpanded(view.tree()->indexOf(foo.id)));
    typeKey(view, Qt::Key_Left);
    EXPECT_FALSE(view.treeView()->isExpanded(view.tree()->indexOf(foo.id)));

    view.revealButton()->click();
    ASSERT_EQ(recording.desktop->revealed.size(), 1u);

    // Closing the folder above a chosen one hides it: nothing is chosen then.
    const FolderItem sub = indexed("disk/foo/sub");
    view.treeView()->expand(view.tree()->indexOf(foo.id));
    view.setSelection(sub.id);
    EXPECT_EQ(view.selection(), sub.id);
    view.treeView()->collapse(view.tree()->indexOf(foo.id));
    EXPECT_EQ(view.selection(), std::nullopt);
    EXPECT_FALSE(view.revealButton()->isVisibleTo(&view));
}

// A right-click makes its folder the chosen one (and so the one Reveal acts on)
// before the menu opens, and the menu acts on it: also when the press itself took
// the choice away, as a right-click with Ctrl held on the chosen folder does.
TEST_F(LargestFoldersViewTest, ARightClickChoosesTheFolderItsMenuActsOn)
{
    LargestFoldersView view(model());
    ASSERT_TRUE(shownAndLoaded(view));
    const FolderItem foo = indexed("disk/foo");
    const QModelIndex top = view.tree()->index(0, 0);
    ASSERT_GE(view.tree()->rowCount(top), 2);
    view.setSelection(foo.id);

    QWidget* viewport = view.treeView()->viewport();
    const QPoint at = view.treeView()->visualRect(view.tree()->indexOf(foo.id)).center();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), viewport->mapToGlobal(QPointF(at)), Qt::RightButton,
                      Qt::RightButton, Qt::ControlModifier);
    QApplication::sendEvent(viewport, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), viewport->mapToGlobal(QPointF(at)), Qt::RightButton,
                        Qt::NoButton, Qt::ControlModifier);
    QApplication::sendEvent(viewport, &release);
    QContextMenuEvent request(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at), Qt::ControlModifier);
    QApplication::sendEvent(viewport, &request);
    EXPECT_EQ(view.selection(), foo.id);

    QMenu* menu = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (menu = view.findChild<QMenu*>()) != nullptr; }));
    action(*menu, "Copy Path")->trigger();
    EXPECT_EQ(recording.desktop->copied.back(), foo.path);
    menu->close();
    view.revealButton()->click();
    ASSERT_EQ(recording.desktop->revealed.size(), 1u);
    EXPECT_EQ(recording.desktop->revealed.back(), std::vector<std::string>{foo.path});
}

TEST_F(LargestFoldersViewTest, AfterACtrlClickDeselectionNothingActsOnTheOldFolder)
{
    LargestFoldersView view(model());
    ASSERT_TRUE(shownAndLoaded(view));
    QAbstractItemModelTester tester(view.tree(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    const FolderItem foo = indexed("disk/foo");
    ASSERT_TRUE(view.tree()->indexOf(foo.id).isValid());
    QWidget* viewport = view.treeView()->viewport();
    const QPoint at = view.treeView()->visualRect(view.tree()->indexOf(foo.id)).center();
    auto click = [&](Qt::KeyboardModifiers modifiers) {
        QMouseEvent down(QEvent::MouseButtonPress, at, viewport->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                         modifiers);
        QApplication::sendEvent(viewport, &down);
        QMouseEvent up(QEvent::MouseButtonRelease, at, viewport->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                       modifiers);
        QApplication::sendEvent(viewport, &up);
        QCoreApplication::processEvents();
    };
    click(Qt::NoModifier);
    EXPECT_EQ(view.selection(), foo.id);
    EXPECT_TRUE(view.revealButton()->isVisibleTo(&view));

    click(Qt::ControlModifier);
    EXPECT_EQ(view.selection(), std::nullopt);
    EXPECT_FALSE(view.revealButton()->isVisibleTo(&view));

    // Selected again, a reload that keeps the folder keeps it selected.
    click(Qt::NoModifier);
    model().scan().dataChanged();
    ASSERT_TRUE(waitUntil([&] { return !view.tree()->isLoading(); }));
    EXPECT_EQ(view.selection(), foo.id);
}

TEST_F(LargestFoldersViewTest, ARestrictedFolderOpensTheHelpAndKeepsTheFocus)
{
    auto& database = *model().database();
    const std::string locked = recordRestricted("locked");

    LargestFoldersView view(model());
    int helpShown = 0;
    view.setPermissionHelp([&](QWidget*) { ++helpShown; });
    ASSERT_TRUE(loaded(view));
    const FolderItem restricted = *database.folder(locked);
    ASSERT_TRUE(restricted.isRestricted);
    view.openRow(restricted.id);
    EXPECT_EQ(helpShown, 1);
    EXPECT_EQ(model().largestFoldersFocus(), std::nullopt);

    QMenu* menu = view.folderMenu(restricted, &view);
    action(*menu, "Show Contents")->trigger();
    EXPECT_EQ(model().largestFoldersFocus(), locked);
    delete menu;
}

TEST_F(LargestFoldersViewTest, TheChartShowsEveryChildOfTheOpenFolderAtItsSizeAboveTheTree)
{
    LargestFoldersView view(model());
    view.resize(760, 620);
    ASSERT_TRUE(loaded(view));
    ASSERT_TRUE(opened(view, "disk"));
    EXPECT_FALSE(view.chart()->isVisibleTo(&view));
    view.chartToggle()->setChecked(true);
    view.setSelection(indexed("disk/foo").id);
    view.show();
    QCoreApplication::processEvents();

    ASSERT_TRUE(view.chart()->isVisible());
    std::map<std::string, std::int64_t> bars;
    for (const SizeBarItem& item : view.chart()->items()) bars[item.label] = item.bytes;
    std::map<std::string, std::int64_t> children;
    for (const char* name : {"foo", "Foo", "foobar", "say \"hi\"", "say ", "size > 1 KB", "music"})
        children[name] = indexed(std::string("disk/") + name).totalAllocated;
    EXPECT_EQ(bars, children);
    // Every bar fits, above the tree, which still shows the open folder's rows.
    EXPECT_LE(view.chart()->plotArea().bottom(), view.chart()->height());
    const int chartBottom = view.chart()->mapTo(&view, QPoint(0, view.chart()->height())).y();
    EXPECT_LE(chartBottom, view.treeView()->mapTo(&view, QPoint(0, 0)).y());
    EXPECT_GT(view.treeView()->viewport()->height(), 0);
    EXPECT_EQ(view.selectedFolder()->path, path("disk/foo"));
    EXPECT_TRUE(view.revealButton()->isVisible());
    saveScreenshot(view, "LargestFoldersView");
}

TEST_F(LargestFoldersViewTest, CtrlUpGoesUpOnlyWhileAFolderIsOpenAndLeavesTheArrowsToTheTree)
{
    LargestFoldersView view(model());
    ASSERT_TRUE(shownAndLoaded(view));
    view.treeView()->setFocus();
    const QModelIndex top = view.tree()->index(0, 0);
    view.treeView()->setCurrentIndex(top);

    // At the top level the tree keeps the key, and plain arrows move through it.
    typeKey(view, Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(model().largestFoldersFocus(), std::nullopt);
    typeKey(view, Qt::Key_Down);
    EXPECT_EQ(view.treeView()->currentIndex(), view.treeView()->indexBelow(top));

    ASSERT_TRUE(opened(view, "disk/foo/sub"));
    view.treeView()->setFocus();
    typeKey(view, Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(model().largestFoldersFocus(), path("disk/foo"));
}

TEST_F(LargestFoldersViewTest, FolderMenuCopiesAndOffersOnlyUnprotectedFoldersForRemoval)
{
    LargestFoldersView view(model());
    // Removal is refused for everything in the temporary folder, so this one is in the home folder.
    const std::string projects = recording.home.path() + "/Old Projects";
    std::filesystem::create_directories(projects);
    const FolderItem foo = folderAt(projects, {.id = 8, .parentID = 1, .totalAllocated = 4096});
    QMenu* menu = view.folderMenu(foo, &view);
    QStringList titles;
    for (QAction* item : menu->actions())
        titles << (item->isSeparator() ? QStringLiteral("-") : item->text());
    EXPECT_EQ(titles, (QStringList{"Show Contents", "Show in File Manager", "Copy Path", "Largest Files in This Folder", "-",
                                   "Move to Trash\u2026"}));
    QAction* trash = action(*menu, "Move to Trash\u2026");
    ASSERT_TRUE(waitUntil([&] { return trash->isEnabled(); }));
    action(*menu, "Copy Path")->trigger();
    EXPECT_EQ(recording.desktop->copied, std::vector<std::string>{foo.path});
    trash->trigger();
    ASSERT_TRUE(waitUntil([&] { return model().trashRequest().has_value(); }));
    ASSERT_EQ(model().trashRequest()->candidates.size(), 1u);
    EXPECT_EQ(model().trashRequest()->candidates[0].path, foo.path);
    delete menu;

    QMenu* system = view.folderMenu(folderAt("/usr", {.id = 9, .totalAllocated = 1}), &view);
    // The refusal says why, in the system's words.
    const QString why = QStringLiteral("Protected by the system: items in /usr are part of the operating system.");
    ASSERT_TRUE(waitUntil([&] { return action(*system, why) != nullptr; }));
    EXPECT_FALSE(action(*system, "Move to Trash\u2026")->isEnabled());
    EXPECT_FALSE(action(*system, why)->isEnabled());
    delete system;
}

TEST_F(LargestFoldersViewTest, TheRoutedScreenOpensTheAccessHelpSheetForARestrictedFolder)
{
    auto& database = *model().database();
    const std::string locked = recordRestricted("locked");

    QWidget window;
    auto* view = qobject_cast<LargestFoldersView*>(DetailRouter::makeScreen(SidebarItem::largestFolders, model(), &window));
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(loaded(*view));
    view->openRow(database.folder(locked)->id);
    EXPECT_NE(view->findChild<PermissionHelpSheet*>(), nullptr);
}

} // namespace
