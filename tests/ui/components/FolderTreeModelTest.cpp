#include "ui/components/FolderTreeModel.h"

#include "support/ScannedTree.h"
#include "index/SQLiteError.h"
#include "support/TempDir.h"
#include "ui/support/UiTestSupport.h"


#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using Row = FolderTreeModel::Row;

// Holds reads until the test opens the gate, so the test decides the order of
// answers. A gate left closed opens when the test ends, so no pool thread stays blocked.
class Gate {
public:
    ~Gate() { open(); }
    void open()
    {
        if (!opened_.exchange(true))
            promise_.set_value();
    }
    void wait() const { future_.wait(); }

    std::atomic<int> entered{0};
    std::atomic<int> answered{0};

private:
    std::atomic<bool> opened_{false};
    std::promise<void> promise_;
    std::shared_future<void> future_ = promise_.get_future().share();
};

// A scan cache filled by scanning a small tree on disk:
//   root/Documents/{Reports, Notes}, root/Music, root/Empty
class FolderTreeModelTest : public ::testing::Test {
protected:
    FolderTreeModelTest() { ensureApplication(); }

    void makeTree()
    {
        files.write("root/Documents/letter.txt", 3000);
        files.write("root/Documents/Reports/q1.pdf", 20000);
        files.write("root/Documents/Reports/q2.pdf", 30000);
        files.write("root/Documents/Notes/todo.md", 100);
        files.write("root/Music/song.mp3", 90000);
        files.makeFolder("root/Empty");
    }
    std::string path(const std::string& relative) const { return files.file(relative); }
    void scan(std::vector<std::string> roots) { ScannedTree::scanInto(*database, std::move(roots)); }
    FolderItem folder(const std::string& relative) const { return *database->folder(path(relative)); }

    // Reads from the scan cache, counting the reads of children.
    FolderTreeReader counting()
    {
        auto reader = FolderTreeReader::of(database);
        auto real = reader.childFolders;
        reader.childFolders = [this, real](std::int64_t id, std::int64_t limit) {
            ++childReads;
            return real(id, limit);
        };
        return reader;
    }
    // Reads from the scan cache once `gate` opens.
    FolderTreeReader gated(Gate& gate)
    {
        auto reader = FolderTreeReader::of(database);
        auto hold = [&gate](auto read) {
            return [read, &gate](auto... arguments) {
                ++gate.entered;
                gate.wait();
                auto result = read(arguments...);
                ++gate.answered;
                return result;
            };
        };
        reader.folder = hold(reader.folder);
        reader.rootFolders = hold(reader.rootFolders);
        reader.childFolders = hold(reader.childFolders);
        return reader;
    }

    void loadAndWait(FolderTreeReader reader, std::optional<std::string> focus = std::nullopt)
    {
        tree.load(std::move(reader), std::move(focus));
        ASSERT_TRUE(waitUntil([&] { return !tree.isLoading(); }));
    }
    void loadAndWait(std::optional<std::string> focus = std::nullopt)
    {
        loadAndWait(FolderTreeReader::of(database), std::move(focus));
    }
    // Toggles and waits until the rows show the folder's new state.
    void toggleAndWait(const FolderItem& item, FolderTreeReader reader)
    {
        const bool wasExpanded = isExpanded(item.id);
        tree.toggle(item, std::move(reader));
        ASSERT_TRUE(waitUntil([&] { return isExpanded(item.id) != wasExpanded; }));
    }
    bool isExpanded(std::int64_t id) const
    {
        for (const auto& row : tree.rows())
            if (row.folder.id == id)
                return row.isExpanded;
        return false;
    }
    std::vector<std::string> shownPaths() const
    {
        std::vector<std::string> paths;
        for (const auto& row : tree.rows())
            paths.push_back(row.folder.path);
        return paths;
    }
    // Lets queued answers arrive.
    static void settle()
    {
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }

    TempDir files;
    TempDir cacheFolder;
    std::shared_ptr<StorageDatabase> database = std::make_shared<StorageDatabase>(cacheFolder.file("ScanCache.sqlite"));
    FolderTreeModel tree;
    std::atomic<int> childReads{0};
};

} // namespace

TEST_F(FolderTreeModelTest, EmptyIndexGivesAnEmptyTreeWithoutError)
{
    int rowsChanged = 0;
    QObject::connect(&tree, &FolderTreeModel::rowsChanged, [&] { ++rowsChanged; });
    loadAndWait(std::string("/anywhere"));
    EXPECT_TRUE(tree.rows().empty());
    EXPECT_TRUE(tree.roots().empty());
    EXPECT_EQ(tree.focusPath(), std::nullopt);
    EXPECT_EQ(tree.error(), std::nullopt);
    EXPECT_EQ(rowsChanged, 0);
}

TEST_F(FolderTreeModelTest, SingleRootIsExpandedAndMeasuredAgainstItself)
{
    makeTree();
    scan({path("root")});
    loadAndWait(counting());
    const FolderItem root = folder("root");
    ASSERT_EQ(tree.roots(), std::vector<FolderItem>{root});
    ASSERT_EQ(tree.rows().size(), 4u);
    EXPECT_EQ(tree.rows()[0], (Row{root, 0, true, root.totalAllocated}));
    // Children follow in the index's order, largest first, measured against the root.
    const auto children = database->childFolders(root.id, 500);
    for (std::size_t i = 0; i < children.size(); ++i)
        EXPECT_EQ(tree.rows()[i + 1], (Row{children[i], 1, false, root.totalAllocated})) << i;
    EXPECT_EQ(tree.rows()[1].folder.path, path("root/Music"));
    EXPECT_EQ(childReads, 1);
}

TEST_F(FolderTreeModelTest, SeveralRootsShareTheirSumAndStayCollapsed)
{
    makeTree();
    scan({path("root/Documents"), path("root/Music"), path("root/Empty")});
    loadAndWait(counting());
    const auto roots = database->rootFolders();
    ASSERT_EQ(roots.size(), 3u);
    const std::int64_t sum = roots[0].totalAllocated + roots[1].totalAllocated + roots[2].totalAllocated;
    ASSERT_EQ(tree.rows().size(), 3u);
    for (std::size_t i = 0; i < roots.size(); ++i)
        EXPECT_EQ(tree.rows()[i], (Row{roots[i], 0, false, sum})) << i;
    EXPECT_EQ(childReads, 0);
}

TEST_F(FolderTreeModelTest, FocusFoundOrMissing)
{
    makeTree();
    scan({path("root")});
    const FolderItem documents = folder("root/Documents");

    loadAndWait(path("root/Documents"));
    EXPECT_EQ(tree.focusPath(), path("root/Documents"));
    EXPECT_EQ(tree.roots(), std::vector<FolderItem>{documents});
    ASSERT_EQ(tree.rows().size(), 3u);
    EXPECT_EQ(tree.rows()[0], (Row{documents, 0, true, documents.totalAllocated}));
    EXPECT_EQ(tree.rows()[1].folder.path, path("root/Documents/Reports"));
    EXPECT_EQ(tree.rows()[1].parentTotal, documents.totalAllocated);
    EXPECT_EQ(tree.rows()[2].depth, 1);

    // A focus the index does not know shows the top level and is forgotten.
    int focusChanged = 0;
    QObject::connect(&tree, &FolderTreeModel::focusPathChanged, [&] { ++focusChanged; });
    loadAndWait(path("root/Gone"));
    EXPECT_EQ(tree.focusPath(), std::nullopt);
    EXPECT_EQ(tree.roots(), std::vector<FolderItem>{folder("root")});
    EXPECT_EQ(tree.rows().size(), 4u);
    EXPECT_GE(focusChanged, 1);
}

TEST_F(FolderTreeModelTest, CollapseKeepsExpandedDescendantsWithoutReadingAgain)
{
    makeTree();
    scan({path("root")});
    loadAndWait(counting());
    const FolderItem root = folder("root");
    const FolderItem documents = folder("root/Documents");
    toggleAndWait(documents, counting());
    EXPECT_EQ(childReads, 2);
    const auto expandedRows = tree.rows();
    ASSERT_EQ(expandedRows.size(), 6u);

    tree.toggle(root, counting());
    EXPECT_EQ(shownPaths(), std::vector<std::string>{path("root")});
    tree.toggle(root, counting());
    EXPECT_EQ(tree.rows(), expandedRows);
    EXPECT_EQ(childReads, 2);

    // A folder without subfolders caches its empty list too.
    const FolderItem music = folder("root/Music");
    toggleAndWait(music, counting());
    tree.toggle(music, counting());
    tree.toggle(music, counting());
    EXPECT_TRUE(isExpanded(music.id));
    EXPECT_EQ(childReads, 3);
}

TEST_F(FolderTreeModelTest, AFolderShowsItsLargestFiveHundredChildren)
{
    for (int i = 0; i < 501; ++i)
        files.makeFolder("big/d" + std::to_string(i));
    files.write("big/d7/heavy.bin", 50000);
    scan({path("big")});
    loadAndWait();
    ASSERT_EQ(tree.rows().size(), 501u);
    EXPECT_EQ(tree.rows()[1].folder.path, path("big/d7"));
}

TEST_F(FolderTreeModelTest, AnOlderLoadAnsweringLastIsDropped)
{
    makeTree();
    scan({path("root")});
    Gate gateA, gateB;
    tree.load(gated(gateA), path("root/Music"));
    ASSERT_TRUE(waitUntil([&] { return gateA.entered == 1; }));
    tree.load(gated(gateB), path("root/Documents"));
    EXPECT_EQ(tree.focusPath(), path("root/Documents"));

    gateA.open();
    ASSERT_TRUE(waitUntil([&] { return gateA.answered == 2; }));
    settle();
    EXPECT_TRUE(tree.isLoading());
    EXPECT_TRUE(tree.rows().empty());

    gateB.open();
    ASSERT_TRUE(waitUntil([&] { return !tree.isLoading(); }));
    EXPECT_EQ(tree.roots(), std::vector<FolderItem>{folder("root/Documents")});
    EXPECT_EQ(tree.focusPath(), path("root/Documents"));
    EXPECT_EQ(tree.rows().size(), 3u);
}

TEST_F(FolderTreeModelTest, AToggleAnsweredAfterANewerLoadIsDropped)
{
    makeTree();
    scan({path("root/Documents"), path("root/Music")});
    loadAndWait();
    const FolderItem documents = folder("root/Documents");
    Gate gate;
    tree.toggle(documents, gated(gate));
    loadAndWait();
    const auto reloaded = tree.rows();

    gate.open();
    ASSERT_TRUE(waitUntil([&] { return gate.answered == 1; }));
    settle();
    EXPECT_EQ(tree.rows(), reloaded);
    EXPECT_FALSE(isExpanded(documents.id));
    EXPECT_EQ(tree.cachedChildren(documents.id), nullptr);
}

TEST_F(FolderTreeModelTest, FailedReadsAreReportedAndRetried)
{
    makeTree();
    scan({path("root/Documents"), path("root/Music")});
    auto failing = FolderTreeReader::of(database);
    failing.childFolders = [](std::int64_t, std::int64_t) -> std::vector<FolderItem> {
        throw SQLiteError(5, "database is locked");
    };
    failing.rootFolders = [] () -> std::vector<FolderItem> { throw SQLiteError(5, "database is locked"); };

    // A top level that cannot be read is an error, not an empty index.
    loadAndWait(failing);
    EXPECT_TRUE(tree.rows().empty());
    EXPECT_EQ(tree.error(), "SQLite error 5: database is locked");

    loadAndWait();
    EXPECT_EQ(tree.error(), std::nullopt);
    const FolderItem documents = folder("root/Documents");
    int errorChanged = 0;
    QObject::connect(&tree, &FolderTreeModel::errorChanged, [&] { ++errorChanged; });
    tree.toggle(documents, failing);
    ASSERT_TRUE(waitUntil([&] { return errorChanged == 1; }));
    EXPECT_FALSE(isExpanded(documents.id));
    EXPECT_EQ(tree.cachedChildren(documents.id), nullptr);
    EXPECT_EQ(tree.error(), "SQLite error 5: database is locked");

    // The next toggle reads again; the error stays until a load succeeds.
    toggleAndWait(documents, counting());
    EXPECT_EQ(childReads, 1);
    EXPECT_EQ(tree.rows().size(), 4u);
    EXPECT_EQ(tree.error(), "SQLite error 5: database is locked");

    // A single root whose children fail stays collapsed.
    files.makeFolder("solo/inner");
    database = std::make_shared<StorageDatabase>(cacheFolder.file("Other.sqlite"));
    scan({path("solo")});
    auto soloFailing = FolderTreeReader::of(database);
    soloFailing.childFolders = failing.childFolders;
    loadAndWait(soloFailing);
    ASSERT_EQ(tree.rows().size(), 1u);
    EXPECT_FALSE(tree.rows()[0].isExpanded);
    EXPECT_TRUE(tree.error().has_value());
}

TEST_F(FolderTreeModelTest, IdenticalRebuildEmitsNothing)
{
    makeTree();
    scan({path("root")});
    loadAndWait();
    int rowsChanged = 0;
    QObject::connect(&tree, &FolderTreeModel::rowsChanged, [&] { ++rowsChanged; });
    int rootsChanged = 0;
    QObject::connect(&tree, &FolderTreeModel::rootsChanged, [&] { ++rootsChanged; });
    int loadingChanged = 0;
    QObject::connect(&tree, &FolderTreeModel::isLoadingChanged, [&] { ++loadingChanged; });
    loadAndWait();
    EXPECT_EQ(rowsChanged, 0);
    EXPECT_EQ(rootsChanged, 0);
    EXPECT_EQ(loadingChanged, 2);
}

TEST_F(FolderTreeModelTest, TopLevelTotalsOfZeroGiveAParentTotalOfZero)
{
    files.makeFolder("a");
    files.makeFolder("b");
    scan({path("a"), path("b")});
    loadAndWait();
    ASSERT_EQ(tree.rows().size(), 2u);
    for (const auto& row : tree.rows())
        EXPECT_EQ(row.parentTotal, 0);
}
