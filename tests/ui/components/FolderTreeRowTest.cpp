#include "ui/components/FolderTreeRow.h"

#include "ui/components/FolderTreeModel.h"
#include "ui/components/FolderTreeView.h"

#include "support/FileItems.h"
#include "support/ScannedTree.h"
#include "support/TempDir.h"
#include "ui/support/UiTestSupport.h"

#include <QAbstractItemModelTester>
#include <QContextMenuEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace {

using Row = FolderTreeModel::Row;

FolderItem item(std::int64_t id, std::optional<std::int64_t> parentID, const std::string& path, std::int64_t total,
                std::int64_t fileCount = 0, std::int64_t folderCount = 0)
{
    return folderAt(path, {.id = id,
                           .parentID = parentID,
                           .totalAllocated = total,
                           .fileCount = fileCount,
                           .folderCount = folderCount});
}

} // namespace

void PrintTo(const FolderTreeRow::Layout& l, std::ostream* out)
{
    for (const QRect& r : {l.icon, l.name, l.restriction, l.bar, l.percent, l.size, l.fileCount})
        *out << "(" << r.x() << "," << r.y() << " " << r.width() << "x" << r.height() << ") ";
}

namespace {

void click(QWidget* target, QEvent::Type type, const QPoint& point)
{
    QMouseEvent event(type, QPointF(point), target->mapToGlobal(QPointF(point)), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void clickAt(QWidget* target, const QPoint& point)
{
    click(target, QEvent::MouseButtonPress, point);
    click(target, QEvent::MouseButtonRelease, point);
}

} // namespace

TEST(FolderTreeRow, LayoutPlacesFixedColumnsAtTheTrailingEdge)
{
    using L = FolderTreeRow::Layout;
    const QRect icon(8, 5, 16, 16);
    const QRect bar(264, 10, 90, 6), percent(360, 1, 40, 24), size(406, 1, 80, 24), files(492, 1, 100, 24);
    struct Case {
        QRect row;
        int nameWidth, restrictionWidth;
        L expected;
    };
    const Case cases[] = {
        {{0, 0, 600, 26}, 50, 0, L{icon, {30, 1, 50, 24}, {}, bar, percent, size, files}},
        // The name gives way to the fixed columns and the minimum gap.
        {{0, 0, 600, 26}, 500, 0, L{icon, {30, 1, 210, 24}, {}, bar, percent, size, files}},
        {{0, 0, 600, 26}, 50, 100, L{icon, {30, 1, 50, 24}, {86, 1, 100, 24}, bar, percent, size, files}},
        {{0, 0, 600, 26}, 300, 100, L{icon, {30, 1, 104, 24}, {140, 1, 100, 24}, bar, percent, size, files}},
        {{0, 52, 600, 26}, 50, 0,
         L{{8, 57, 16, 16}, {30, 53, 50, 24}, {}, {264, 62, 90, 6}, {360, 53, 40, 24}, {406, 53, 80, 24},
           {492, 53, 100, 24}}},
        // Too narrow: nothing leading is given negative room.
        {{0, 0, 300, 26}, 50, 100,
         L{icon, {30, 1, 0, 24}, {}, {-36, 10, 90, 6}, {60, 1, 40, 24}, {106, 1, 80, 24}, {192, 1, 100, 24}}},
    };
    for (const auto& c : cases) {
        const L got = FolderTreeRow::layout(c.row, c.nameWidth, c.restrictionWidth);
        EXPECT_EQ(got, c.expected) << c.row.width() << " " << c.nameWidth << " " << c.restrictionWidth;
    }
}

TEST(FolderTreeRow, Texts)
{
    ensureApplication();
    struct Case {
        std::int64_t total, parentTotal;
        const char* percent;
    };
    // The share is not clamped in the text: during a scan it can pass 100%.
    const Case shares[] = {{500, 0, "0%"}, {1000, 1000, "100%"}, {1500, 1000, "150%"}, {333, 1000, "33%"}, {0, 0, "0%"}};
    for (const auto& c : shares) {
        const Row row{item(1, std::nullopt, "/x", c.total), c.parentTotal};
        EXPECT_EQ(FolderTreeRow::percentText(row), c.percent) << c.total << "/" << c.parentTotal;
    }
    EXPECT_EQ(FolderTreeRow::share({item(1, 0, "/x", 500), 0}), 0.0);

    struct Count {
        std::int64_t files;
        const char* text;
    };
    for (const auto& c : {Count{0, "0 files"}, Count{1, "1 file"}, Count{1234, "1,234 files"}})
        EXPECT_EQ(FolderTreeRow::fileCountText(item(1, 0, "/x", 0, c.files)), c.text);

    EXPECT_EQ(FolderTreeRow::nameText(item(1, std::nullopt, "/Users/alex", 0)), "/Users/alex");
    EXPECT_EQ(FolderTreeRow::nameText(item(2, 1, "/Users/alex/Music", 0)), "Music");
    EXPECT_EQ(FolderTreeRow::sizeText(item(1, 0, "/x", 2'000'000'000)), "2.00 GB");
}

namespace {

// A tree made up in memory: /top (two subfolders) and /leaf (none), under a tree view.
struct MadeUpTree {
    MadeUpTree()
    {
        reader.folder = [](const std::string&) { return std::optional<FolderItem>(); };
        reader.rootFolders = [] {
            return std::vector<FolderItem>{item(1, std::nullopt, "/top", 3000, 4, 2), item(2, std::nullopt, "/leaf", 1000, 1, 0)};
        };
        reader.childFolders = [this](std::int64_t, std::int64_t) {
            ++childReads;
            return std::vector<FolderItem>{item(3, 1, "/top/big", 2000, 3, 0), item(4, 1, "/top/small", 1000, 1, 0)};
        };
        tree.load(reader);
        EXPECT_TRUE(waitUntil([&] { return !tree.isLoading(); }));
        view.resize(640, 200);
        view.show();
    }
    // No read runs on past the case: it would count into the next case's tree, made where this one was.
    ~MadeUpTree() { EXPECT_TRUE(finishBackgroundWork()); }
    QModelIndex top() const { return tree.index(0, 0); }
    QModelIndex leaf() const { return tree.index(1, 0); }
    // Where Qt draws the chevron of a top-level line: in the indentation before it.
    QPoint chevronOf(const QModelIndex& index) const
    {
        const QRect line = view.visualRect(index);
        return {line.left() - FolderTreeRow::indentation / 2, line.center().y()};
    }

    bool applicationReady = (ensureApplication(), true);
    std::atomic<int> childReads{0};
    FolderTreeReader reader;
    FolderTreeModel tree;
    QAbstractItemModelTester tester{&tree, QAbstractItemModelTester::FailureReportingMode::Fatal};
    FolderTreeView view{&tree};
};

void key(QWidget* target, int which)
{
    QKeyEvent press(QEvent::KeyPress, which, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

} // namespace

// Qt's tree view does the chevrons and the keys; children are read the first time.
TEST(FolderTreeView, ChevronsAndArrowsExpandAndReadChildrenOnce)
{
    MadeUpTree made;
    FolderTreeView& view = made.view;
    int doubleClicks = 0;
    QObject::connect(&view, &QAbstractItemView::doubleClicked, [&] { ++doubleClicks; });
    EXPECT_EQ(made.top().data(Qt::ToolTipRole).toString(), "/top");
    EXPECT_TRUE(made.tree.hasChildren(made.top()));
    EXPECT_FALSE(made.tree.hasChildren(made.leaf()));

    clickAt(view.viewport(), made.chevronOf(made.top()));
    ASSERT_TRUE(waitUntil([&] { return made.tree.rowCount(made.top()) == 2; }));
    EXPECT_TRUE(view.isExpanded(made.top()));
    EXPECT_FALSE(view.selectionModel()->hasSelection()) << "the chevron does not choose the folder";

    clickAt(view.viewport(), made.chevronOf(made.top()));
    EXPECT_FALSE(view.isExpanded(made.top()));
    view.setFocus();
    view.setCurrentIndex(made.top());
    key(&view, Qt::Key_Right);
    EXPECT_TRUE(view.isExpanded(made.top()));
    key(&view, Qt::Key_Left);
    EXPECT_FALSE(view.isExpanded(made.top()));
    EXPECT_EQ(made.childReads, 1) << "read once, kept while closed";

    // A double-click opens the folder on the screen, it does not expand it.
    const QPoint onName = view.visualRect(made.top()).center();
    click(view.viewport(), QEvent::MouseButtonPress, onName);
    click(view.viewport(), QEvent::MouseButtonRelease, onName);
    click(view.viewport(), QEvent::MouseButtonDblClick, onName);
    click(view.viewport(), QEvent::MouseButtonRelease, onName);
    EXPECT_EQ(doubleClicks, 1);
    EXPECT_FALSE(view.isExpanded(made.top()));
}

TEST(FolderTreeView, ARightClickChoosesTheFolderBeforeItsMenu)
{
    MadeUpTree made;
    FolderTreeView& view = made.view;
    view.setCurrentIndex(made.leaf());
    std::optional<std::int64_t> chosenAtMenu;
    QObject::connect(&view, &QWidget::customContextMenuRequested, [&] {
        const QModelIndexList chosen = view.selectionModel()->selectedIndexes();
        if (chosen.size() == 1)
            chosenAtMenu = made.tree.row(chosen.first())->folder.id;
    });
    // Asked for without a press that chose the folder, as some pointing devices do.
    const QPoint at = view.visualRect(made.top()).center();
    QContextMenuEvent menu(QContextMenuEvent::Mouse, at, view.viewport()->mapToGlobal(at));
    QApplication::sendEvent(view.viewport(), &menu);
    EXPECT_EQ(chosenAtMenu, 1);
    EXPECT_EQ(view.currentIndex(), made.top());
}

TEST(FolderTreeView, ScreenshotOfAScannedTree)
{
    ensureApplication();
    TempDir files;
    TempDir cacheFolder;
    const std::string root = files.makeFolder("alex");
    files.write("alex/Projects/kestrelmoor/build/app.o", 2'400'000);
    files.write("alex/Projects/kestrelmoor/src/main.cpp", 600'000);
    files.write("alex/Projects/kestrelmoor/README.md", 4'000);
    files.write("alex/Projects/website/index.html", 300'000);
    files.write("alex/Photos/2023/beach.jpg", 1'800'000);
    files.write("alex/Photos/2024/mountains.jpg", 3'100'000);
    files.write("alex/Photos/2024/lake.jpg", 900'000);
    files.write("alex/Music/Albums/track01.flac", 1'200'000);
    files.write("alex/Library/Caches/blob.cache", 900'000);
    files.write("alex/Library/Application Support/state.db", 400'000);
    files.write("alex/Downloads/installer.dmg", 2'000'000);
    files.write("alex/Documents/An unusually long folder name kept for the records of the year 2019 and 2020/scan.pdf",
                150'000);
    const std::string locked = files.makeFolder("alex/Private");
    ::chmod(locked.c_str(), 0);
    auto database = std::make_shared<StorageDatabase>(cacheFolder.file("ScanCache.sqlite"));
    ScannedTree::scanInto(*database, {root});
    ::chmod(locked.c_str(), 0755);

    auto reader = FolderTreeReader::of(database);
    const auto privateFolder = database->folder(locked);
    if (!privateFolder || !privateFolder->isRestricted) {
        // Running as root reads everything, so one restricted folder is made up.
        const auto rootID = database->folder(root)->id;
        auto real = reader.childFolders;
        reader.childFolders = [real, rootID, locked](std::int64_t id, std::int64_t limit) {
            auto children = real(id, limit);
            if (id == rootID) {
                std::erase_if(children, [&](const FolderItem& f) { return f.path == locked; });
                FolderItem restricted = item(-1, rootID, locked, 0);
                restricted.isRestricted = true;
                children.push_back(restricted);
            }
            return children;
        };
    }

    FolderTreeModel tree;
    FolderTreeView view(&tree);
    view.resize(760, 24 * 15 + 8);
    view.show();
    tree.load(reader);
    ASSERT_TRUE(waitUntil([&] { return !tree.isLoading(); }));
    for (const char* relative : {"alex/Projects", "alex/Projects/kestrelmoor", "alex/Photos", "alex/Documents"}) {
        const auto folder = *database->folder(files.file(relative));
        view.expand(tree.indexOf(folder.id));
        ASSERT_TRUE(waitUntil([&] { return tree.cachedChildren(folder.id).has_value(); })) << relative;
    }
    view.setCurrentIndex(tree.indexOf(database->folder(files.file("alex/Photos/2024"))->id));
    QCoreApplication::processEvents();
    int lines = 0;
    for (QModelIndex index = tree.index(0, 0); index.isValid(); index = view.indexBelow(index))
        ++lines;
    EXPECT_EQ(lines, 15);
    saveScreenshot(view, QStringLiteral("FolderTreeView"));
}
