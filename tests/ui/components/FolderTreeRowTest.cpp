#include "ui/components/FolderTreeList.h"
#include "ui/components/FolderTreeListModel.h"
#include "ui/components/FolderTreeRow.h"

#include "support/ScannedTree.h"
#include "support/TempDir.h"
#include "ui/support/UiTestSupport.h"

#include <QItemSelectionModel>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using Row = FolderTreeModel::Row;

FolderItem item(std::int64_t id, std::optional<std::int64_t> parentID, std::string path, std::int64_t total,
                std::int64_t fileCount = 0, std::int64_t folderCount = 0)
{
    FolderItem folder;
    folder.id = id;
    folder.parentID = parentID;
    folder.name = path.substr(path.rfind('/') + 1);
    folder.path = std::move(path);
    folder.totalAllocated = total;
    folder.fileCount = fileCount;
    folder.folderCount = folderCount;
    return folder;
}

} // namespace

void PrintTo(const FolderTreeRow::Layout& l, std::ostream* out)
{
    for (const QRect& r : {l.chevron, l.icon, l.name, l.restriction, l.bar, l.percent, l.size, l.fileCount})
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
    const QRect icon(34, 5, 16, 16);
    const QRect bar(264, 10, 90, 6), percent(360, 1, 40, 24), size(406, 1, 80, 24), files(492, 1, 100, 24);
    struct Case {
        QRect row;
        int depth, nameWidth, restrictionWidth;
        L expected;
    };
    const Case cases[] = {
        {{0, 0, 600, 26}, 0, 50, 0, L{{14, 1, 14, 24}, icon, {56, 1, 50, 24}, {}, bar, percent, size, files}},
        // The name gives way to the fixed columns and the minimum gap.
        {{0, 0, 600, 26}, 2, 500, 0, L{{46, 1, 14, 24}, {66, 5, 16, 16}, {88, 1, 152, 24}, {}, bar, percent, size, files}},
        {{0, 0, 600, 26}, 0, 50, 100, L{{14, 1, 14, 24}, icon, {56, 1, 50, 24}, {112, 1, 100, 24}, bar, percent, size, files}},
        {{0, 0, 600, 26}, 0, 300, 100, L{{14, 1, 14, 24}, icon, {56, 1, 78, 24}, {140, 1, 100, 24}, bar, percent, size, files}},
        {{0, 52, 600, 26}, 0, 50, 0,
         L{{14, 53, 14, 24}, {34, 57, 16, 16}, {56, 53, 50, 24}, {}, {264, 62, 90, 6}, {360, 53, 40, 24},
           {406, 53, 80, 24}, {492, 53, 100, 24}}},
        // Too narrow: nothing leading is given negative room.
        {{0, 0, 300, 26}, 0, 50, 100,
         L{{14, 1, 14, 24}, icon, {56, 1, 0, 24}, {}, {-36, 10, 90, 6}, {60, 1, 40, 24}, {106, 1, 80, 24}, {192, 1, 100, 24}}},
    };
    for (const auto& c : cases) {
        const L got = FolderTreeRow::layout(c.row, c.depth, c.nameWidth, c.restrictionWidth);
        EXPECT_EQ(got, c.expected) << c.row.width() << " " << c.depth << " " << c.nameWidth << " " << c.restrictionWidth;
    }
}

TEST(FolderTreeRow, OnlyTheChevronOfAFolderWithSubfoldersToggles)
{
    const QRect rowRect(0, 26, 600, 26);
    const Row withSubfolders{item(1, 0, "/a/b", 10, 1, 3), 1, false, 10};
    const Row leaf{item(2, 0, "/a/c", 10, 1, 0), 1, false, 10};
    struct Case {
        QPoint point;
        bool expected;
    };
    // Depth 1: the chevron spans x 30...43 and y 27...50.
    const Case cases[] = {
        {{30, 30}, true}, {{43, 30}, true}, {{44, 30}, false}, {{29, 30}, false},
        {{35, 27}, true}, {{35, 26}, false}, {{35, 50}, true}, {{35, 51}, false},
        {{60, 35}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FolderTreeRow::togglesAt(rowRect, withSubfolders, c.point), c.expected)
            << c.point.x() << "," << c.point.y();
        EXPECT_FALSE(FolderTreeRow::togglesAt(rowRect, leaf, c.point));
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
        const Row row{item(1, std::nullopt, "/x", c.total), 0, false, c.parentTotal};
        EXPECT_EQ(FolderTreeRow::percentText(row), c.percent) << c.total << "/" << c.parentTotal;
    }
    EXPECT_EQ(FolderTreeRow::share({item(1, 0, "/x", 500), 0, false, 0}), 0.0);

    struct Count {
        std::int64_t files;
        const char* text;
    };
    for (const auto& c : {Count{0, "0 files"}, Count{1, "1 file"}, Count{1234, "1,234 files"}})
        EXPECT_EQ(FolderTreeRow::fileCountText(item(1, 0, "/x", 0, c.files)), c.text);

    EXPECT_EQ(FolderTreeRow::nameText(item(1, std::nullopt, "/Users/alex", 0)), "/Users/alex");
    EXPECT_EQ(FolderTreeRow::nameText(item(2, 1, "/Users/alex/Music", 0)), "Music");
    EXPECT_EQ(FolderTreeRow::sizeText(item(1, 0, "/x", 2'000'000'000)), "2.00 GB");
    EXPECT_EQ(FolderTreeRow::chevronAccessibleName(true), "Collapse");
    EXPECT_EQ(FolderTreeRow::chevronAccessibleName(false), "Expand");
}

namespace {

// A tree made up in memory: /top (two subfolders) and /leaf (none).
struct MadeUpTree {
    MadeUpTree()
    {
        reader.folder = [](const std::string&) { return std::optional<FolderItem>(); };
        reader.rootFolders = [] {
            return std::vector<FolderItem>{item(1, std::nullopt, "/top", 3000, 4, 2), item(2, std::nullopt, "/leaf", 1000, 1, 0)};
        };
        reader.childFolders = [](std::int64_t, std::int64_t) {
            return std::vector<FolderItem>{item(3, 1, "/top/big", 2000, 3, 0), item(4, 1, "/top/small", 1000, 1, 0)};
        };
        tree.load(reader);
        EXPECT_TRUE(waitUntil([&] { return !tree.isLoading(); }));
        list.resize(640, 200);
        list.show();
        QObject::connect(&list, &FolderTreeList::toggleRequested, &tree,
                         [this](const FolderItem& folder) { tree.toggle(folder, reader); });
    }
    QPoint chevronOf(int row) const
    {
        const QModelIndex index = list.model()->index(row, 0);
        return FolderTreeRow::chevronRect(list.visualRect(index), list.rows()->row(index)->depth).center();
    }

    bool applicationReady = (ensureApplication(), true);
    FolderTreeReader reader;
    FolderTreeModel tree;
    FolderTreeList list{&tree};
};

} // namespace

TEST(FolderTreeList, ChevronClicksToggleWithoutSelecting)
{
    MadeUpTree made;
    FolderTreeList& list = made.list;
    std::vector<FolderItem> toggles;
    QObject::connect(&list, &FolderTreeList::toggleRequested, [&](const FolderItem& f) { toggles.push_back(f); });
    int doubleClicks = 0;
    QObject::connect(&list, &QAbstractItemView::doubleClicked, [&] { ++doubleClicks; });
    ASSERT_EQ(list.model()->rowCount(), 2);
    EXPECT_EQ(list.model()->index(0, 0).data(Qt::ToolTipRole).toString(), "/top");
    EXPECT_EQ(list.model()->index(0, 0).data(Qt::AccessibleDescriptionRole).toString(), "Expand");
    EXPECT_FALSE(list.model()->index(1, 0).data(Qt::AccessibleDescriptionRole).isValid());

    // A leaf's chevron is not there: the click selects the row instead.
    clickAt(list.viewport(), made.chevronOf(1));
    EXPECT_TRUE(toggles.empty());
    ASSERT_TRUE(list.selectionModel()->isRowSelected(1, {}));

    clickAt(list.viewport(), made.chevronOf(0));
    ASSERT_EQ(toggles.size(), 1u);
    EXPECT_EQ(toggles[0].path, "/top");
    ASSERT_TRUE(waitUntil([&] { return list.model()->rowCount() == 4; }));
    // The expansion is inserted, so the selected leaf keeps its selection at its new row.
    EXPECT_TRUE(list.selectionModel()->isRowSelected(3, {}));
    EXPECT_EQ(list.model()->index(0, 0).data(Qt::AccessibleDescriptionRole).toString(), "Collapse");

    // A second quick click on the chevron toggles again and opens nothing.
    click(list.viewport(), QEvent::MouseButtonDblClick, made.chevronOf(0));
    click(list.viewport(), QEvent::MouseButtonRelease, made.chevronOf(0));
    EXPECT_EQ(toggles.size(), 2u);
    EXPECT_EQ(doubleClicks, 0);
    EXPECT_EQ(list.model()->rowCount(), 2);
    EXPECT_TRUE(list.selectionModel()->isRowSelected(1, {}));
}

TEST(FolderTreeList, ScreenshotOfAScannedTree)
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
    tree.load(reader);
    ASSERT_TRUE(waitUntil([&] { return !tree.isLoading(); }));
    for (const char* relative : {"alex/Projects", "alex/Projects/kestrelmoor", "alex/Photos", "alex/Documents"}) {
        const auto folder = *database->folder(files.file(relative));
        tree.toggle(folder, reader);
        ASSERT_TRUE(waitUntil([&] { return tree.cachedChildren(folder.id) != nullptr; })) << relative;
    }

    FolderTreeList list(&tree);
    list.resize(760, 24 * 15 + 8);
    const auto& rows = tree.rows();
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].folder.path == files.file("alex/Photos/2024"))
            list.setCurrentIndex(list.model()->index(static_cast<int>(i), 0));
    list.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(rows.size(), 15u);
    saveScreenshot(list, QStringLiteral("FolderTreeList"));
}
