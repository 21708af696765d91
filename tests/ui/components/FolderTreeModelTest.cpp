#include "ui/components/FolderTreeModel.h"

#include "index/SQLiteError.h"
#include "support/ScannedTree.h"
#include "support/TempDir.h"
#include "ui/support/UiTestSupport.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <future>
#include <map>
#include <mutex>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using Row = FolderTreeModel::Row;

// Holds reads until the test opens the gate, so the test decides the order of
// answers. A gate left closed opens when the test ends, so no pool thread stays blocked;
// the reads share its state, so a read still waking after the test is over touches
// nothing that the test freed.
class Gate {
public:
    struct State {
        std::atomic<bool> opened{false};
        std::promise<void> promise;
        std::shared_future<void> future = promise.get_future().share();
        std::atomic<int> entered{0};
        std::atomic<int> answered{0};
    };

    ~Gate() { open(); }
    void open()
    {
        if (!state->opened.exchange(true))
            state->promise.set_value();
    }

    const std::shared_ptr<State> state = std::make_shared<State>();
    std::atomic<int>& entered = state->entered;
    std::atomic<int>& answered = state->answered;
};

// One line of the whole tree read so far, in pre-order.
struct Line {
    std::string path;
    int depth = 0;
    std::int64_t parentTotal = 0;
    friend bool operator==(const Line&, const Line&) = default;
};

// A scan cache filled by scanning a small tree on disk:
//   root/Documents/{Reports, Notes}, root/Music, root/Empty
class FolderTreeModelTest : public ::testing::Test {
protected:
    FolderTreeModelTest() { ensureApplication(); }
    // A read a view asked for may still run on the pool, counting into this fixture.
    ~FolderTreeModelTest() override { QThreadPool::globalInstance()->waitForDone(); }

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
    QModelIndex at(const std::string& relative) const { return tree.indexOf(folder(relative).id); }

    // Reads from the scan cache, counting the reads of each folder's children.
    FolderTreeReader counting()
    {
        auto reader = FolderTreeReader::of(database);
        auto real = reader.childFolders;
        reader.childFolders = [this, real](std::int64_t id, std::int64_t limit) {
            {
                std::lock_guard lock(readsMutex);
                ++reads[id];
            }
            return real(id, limit);
        };
        return reader;
    }
    int readsOf(const std::string& relative)
    {
        const std::int64_t id = folder(relative).id;
        std::lock_guard lock(readsMutex);
        return reads.count(id) ? reads.at(id) : 0;
    }
    void forgetReads()
    {
        std::lock_guard lock(readsMutex);
        reads.clear();
    }
    // Reads from the scan cache once `gate` opens.
    FolderTreeReader gated(Gate& gate)
    {
        auto reader = FolderTreeReader::of(database);
        auto hold = [state = gate.state](auto read) {
            return [read, state](auto... arguments) {
                ++state->entered;
                state->future.wait();
                auto result = read(arguments...);
                ++state->answered;
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
        loadAndWait(counting(), std::move(focus));
    }
    // Reads the folder's children and waits until they are in.
    void fetchAndWait(const std::string& relative)
    {
        const QModelIndex index = at(relative);
        ASSERT_TRUE(tree.canFetchMore(index)) << relative;
        QSignalSpy inserted(&tree, &QAbstractItemModel::rowsInserted);
        tree.fetchMore(index);
        ASSERT_TRUE(inserted.wait(5000)) << relative;
    }
    std::vector<Line> lines(const QModelIndex& parent = {}, int depth = 0) const
    {
        std::vector<Line> shown;
        for (int row = 0; row < tree.rowCount(parent); ++row) {
            const QModelIndex index = tree.index(row, 0, parent);
            const Row* line = tree.row(index);
            shown.push_back({line->folder.path, depth, line->parentTotal});
            for (auto& child : lines(index, depth + 1))
                shown.push_back(std::move(child));
        }
        return shown;
    }
    std::vector<std::string> paths() const
    {
        std::vector<std::string> shown;
        for (const auto& line : lines())
            shown.push_back(line.path);
        return shown;
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
    std::mutex readsMutex;
    std::map<std::int64_t, int> reads;
};

} // namespace

TEST_F(FolderTreeModelTest, EmptyIndexGivesAnEmptyTreeWithoutError)
{
    QSignalSpy inserted(&tree, &QAbstractItemModel::rowsInserted);
    loadAndWait(std::string("/anywhere"));
    EXPECT_EQ(tree.rowCount(), 0);
    EXPECT_FALSE(tree.hasChildren());
    EXPECT_TRUE(tree.roots().empty());
    EXPECT_EQ(tree.focusPath(), std::nullopt);
    EXPECT_EQ(tree.error(), std::nullopt);
    EXPECT_EQ(inserted.count(), 0);
}

// What a load opens by itself, and what each line's share is measured against.
TEST_F(FolderTreeModelTest, ALoadOpensTheFocusOrTheOnlyRoot)
{
    makeTree();
    scan({path("root")});
    const FolderItem root = folder("root");
    const FolderItem documents = folder("root/Documents");
    const auto rootChildren = database->childFolders(root.id, 500);
    const auto documentChildren = database->childFolders(documents.id, 500);

    struct Case {
        const char* name;
        std::optional<std::string> focus;
        std::string openedPath;
        FolderItem opened;
        std::vector<FolderItem> children;
        std::optional<std::string> focusPath;
    };
    const Case cases[] = {
        {"the only root", std::nullopt, "root", root, rootChildren, std::nullopt},
        {"a focus found", path("root/Documents"), "root/Documents", documents, documentChildren, path("root/Documents")},
        {"a focus not indexed is forgotten", path("root/Gone"), "root", root, rootChildren, std::nullopt},
    };
    for (const Case& c : cases) {
        QSignalSpy opened(&tree, &FolderTreeModel::opened);
        forgetReads();
        loadAndWait(c.focus);
        EXPECT_EQ(tree.roots(), std::vector<FolderItem>{c.opened}) << c.name;
        EXPECT_EQ(tree.focusPath(), c.focusPath) << c.name;
        std::vector<Line> expected{{c.opened.path, 0, c.opened.totalAllocated}};
        for (const auto& child : c.children)
            expected.push_back({child.path, 1, c.opened.totalAllocated});
        EXPECT_EQ(lines(), expected) << c.name;
        ASSERT_EQ(opened.count(), 1) << c.name;
        EXPECT_EQ(opened.first().first().value<QModelIndex>(), tree.indexOf(c.opened.id)) << c.name;
        EXPECT_EQ(readsOf(c.openedPath), 1) << c.name;
    }
    EXPECT_EQ(paths()[1], path("root/Music")) << "children follow in the index's order, largest first";
}

TEST_F(FolderTreeModelTest, SeveralRootsShareTheirSumAndWaitToBeRead)
{
    makeTree();
    scan({path("root/Documents"), path("root/Music"), path("root/Empty")});
    QSignalSpy opened(&tree, &FolderTreeModel::opened);
    loadAndWait();
    const auto roots = database->rootFolders();
    ASSERT_EQ(roots.size(), 3u);
    const std::int64_t sum = roots[0].totalAllocated + roots[1].totalAllocated + roots[2].totalAllocated;
    std::vector<Line> expected;
    for (const auto& root : roots)
        expected.push_back({root.path, 0, sum});
    EXPECT_EQ(lines(), expected);
    EXPECT_EQ(readsOf("root/Documents"), 0);
    EXPECT_EQ(opened.count(), 0);
    // Only a folder with subfolders offers children.
    EXPECT_TRUE(tree.hasChildren(at("root/Documents")));
    EXPECT_TRUE(tree.canFetchMore(at("root/Documents")));
    EXPECT_FALSE(tree.hasChildren(at("root/Music")));
    EXPECT_FALSE(tree.canFetchMore(at("root/Music")));
}

TEST_F(FolderTreeModelTest, ChildrenAreReadOnceWhenAViewAsksForThem)
{
    makeTree();
    scan({path("root/Documents"), path("root/Music")});
    loadAndWait();
    const FolderItem documents = folder("root/Documents");
    QSignalSpy inserted(&tree, &QAbstractItemModel::rowsInserted);
    fetchAndWait("root/Documents");
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted.first()[0].value<QModelIndex>(), at("root/Documents"));
    EXPECT_EQ(inserted.first()[1].toInt(), 0);
    EXPECT_EQ(inserted.first()[2].toInt(), 1);
    EXPECT_EQ(tree.rowCount(at("root/Documents")), 2);
    EXPECT_EQ(tree.row(tree.index(0, 0, at("root/Documents")))->parentTotal, documents.totalAllocated);
    EXPECT_FALSE(tree.canFetchMore(at("root/Documents")));
    ASSERT_TRUE(tree.cachedChildren(documents.id).has_value());
    EXPECT_EQ(tree.cachedChildren(documents.id)->size(), 2u);

    tree.fetchMore(at("root/Documents"));
    settle();
    EXPECT_EQ(readsOf("root/Documents"), 1) << "read once";
    EXPECT_EQ(tree.cachedChildren(folder("root/Music").id), std::nullopt);
}

TEST_F(FolderTreeModelTest, AFolderShowsItsLargestFiveHundredChildren)
{
    for (int i = 0; i < 501; ++i)
        files.makeFolder("big/d" + std::to_string(i));
    files.write("big/d7/heavy.bin", 50000);
    scan({path("big")});
    loadAndWait();
    ASSERT_EQ(tree.rowCount(at("big")), 500);
    EXPECT_EQ(tree.row(tree.index(0, 0, at("big")))->folder.path, path("big/d7"));
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
    EXPECT_EQ(tree.rowCount(), 0);

    gateB.open();
    ASSERT_TRUE(waitUntil([&] { return !tree.isLoading(); }));
    EXPECT_EQ(tree.roots(), std::vector<FolderItem>{folder("root/Documents")});
    EXPECT_EQ(tree.focusPath(), path("root/Documents"));
    EXPECT_EQ(lines().size(), 3u);
}

// A read of children asked for before a reload may answer with what the index held
// before it: the reload reads that folder itself, and the older answer is dropped.
TEST_F(FolderTreeModelTest, AReloadTakesOverTheChildReadsUnderWay)
{
    makeTree();
    scan({path("root/Documents"), path("root/Music")});
    loadAndWait();
    Gate gate;
    const QModelIndex documents = at("root/Documents");
    tree.load(gated(gate));
    // Asked for through the gated reader of the load under way.
    tree.fetchMore(documents);
    ASSERT_TRUE(waitUntil([&] { return gate.entered >= 1; }));
    loadAndWait();
    EXPECT_EQ(tree.rowCount(at("root/Documents")), 2) << "the reload read the folder asked for";
    const auto afterReload = lines();

    QSignalSpy changed(&tree, &QAbstractItemModel::rowsInserted);
    gate.open();
    ASSERT_TRUE(waitUntil([&] { return gate.answered >= 1; }));
    settle();
    EXPECT_EQ(lines(), afterReload);
    EXPECT_EQ(changed.count(), 0);
}

// A rescan reloads the same tree: folders that stay keep their items, so that views
// keep what is open and chosen; what is gone goes, what is new comes, a new order moves.
TEST_F(FolderTreeModelTest, AReloadUpdatesFoldersInPlaceByID)
{
    makeTree();
    scan({path("root")});
    loadAndWait();
    fetchAndWait("root/Documents");
    const QPersistentModelIndex documents(at("root/Documents"));
    const QPersistentModelIndex reports(at("root/Documents/Reports"));
    const QPersistentModelIndex notes(at("root/Documents/Notes"));
    const QPersistentModelIndex music(at("root/Music"));
    const std::int64_t documentsID = folder("root/Documents").id;
    const std::int64_t reportsID = folder("root/Documents/Reports").id;
    ASSERT_EQ(music.row(), 0);

    // Documents outgrows Music, Notes goes, Drafts comes.
    files.write("root/Documents/Reports/q3.pdf", 200000);
    std::filesystem::remove_all(path("root/Documents/Notes"));
    files.write("root/Documents/Drafts/d.txt", 10);
    scan({path("root")});
    QSignalSpy dataChanged(&tree, &QAbstractItemModel::dataChanged);
    forgetReads();
    loadAndWait();

    ASSERT_TRUE(documents.isValid());
    EXPECT_EQ(tree.row(documents)->folder.id, documentsID);
    EXPECT_EQ(documents.row(), 0) << "moved above Music";
    EXPECT_EQ(music.row(), 1);
    ASSERT_TRUE(reports.isValid());
    EXPECT_EQ(tree.row(reports)->folder.id, reportsID);
    EXPECT_EQ(tree.row(reports)->folder.totalAllocated, folder("root/Documents/Reports").totalAllocated);
    EXPECT_FALSE(notes.isValid()) << "a folder gone from the index is gone from the tree";
    EXPECT_TRUE(at("root/Documents/Drafts").isValid());
    EXPECT_EQ(readsOf("root"), 1) << "read before, so read again";
    EXPECT_EQ(readsOf("root/Documents"), 1) << "read before, so read again";
    EXPECT_GE(dataChanged.count(), 2) << "the new totals are shown";
}

TEST_F(FolderTreeModelTest, FailedReadsAreReportedAndReadAgain)
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
    EXPECT_EQ(tree.rowCount(), 0);
    EXPECT_EQ(tree.error(), "SQLite error 5: database is locked");

    loadAndWait();
    EXPECT_EQ(tree.error(), std::nullopt);
    auto childrenFailing = FolderTreeReader::of(database);
    childrenFailing.childFolders = failing.childFolders;
    loadAndWait(childrenFailing);
    QSignalSpy failed(&tree, &FolderTreeModel::childReadFailed);
    tree.fetchMore(at("root/Documents"));
    ASSERT_TRUE(failed.wait(5000));
    EXPECT_EQ(failed.first().first().value<QModelIndex>(), at("root/Documents"));
    EXPECT_EQ(tree.rowCount(at("root/Documents")), 0);
    EXPECT_TRUE(tree.canFetchMore(at("root/Documents"))) << "read again when asked again";
    EXPECT_EQ(tree.error(), "SQLite error 5: database is locked");

    // The error stays until a load succeeds.
    loadAndWait();
    fetchAndWait("root/Documents");
    EXPECT_EQ(tree.rowCount(at("root/Documents")), 2);
    EXPECT_EQ(tree.error(), std::nullopt);
}

TEST_F(FolderTreeModelTest, AnIdenticalReloadChangesNothing)
{
    makeTree();
    scan({path("root")});
    loadAndWait();
    fetchAndWait("root/Documents");
    QSignalSpy rootsChanged(&tree, &FolderTreeModel::rootsChanged);
    QSignalSpy loadingChanged(&tree, &FolderTreeModel::isLoadingChanged);
    QSignalSpy inserted(&tree, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&tree, &QAbstractItemModel::rowsRemoved);
    QSignalSpy dataChanged(&tree, &QAbstractItemModel::dataChanged);
    QSignalSpy layoutChanged(&tree, &QAbstractItemModel::layoutChanged);
    loadAndWait();
    EXPECT_EQ(rootsChanged.count(), 0);
    EXPECT_EQ(inserted.count(), 0);
    EXPECT_EQ(removed.count(), 0);
    EXPECT_EQ(dataChanged.count(), 0);
    EXPECT_EQ(layoutChanged.count(), 0);
    EXPECT_EQ(loadingChanged.count(), 2);
}

TEST_F(FolderTreeModelTest, TopLevelTotalsOfZeroGiveAParentTotalOfZero)
{
    files.makeFolder("a");
    files.makeFolder("b");
    scan({path("a"), path("b")});
    loadAndWait();
    EXPECT_EQ(lines(), (std::vector<Line>{{path("a"), 0, 0}, {path("b"), 0, 0}}));
}

// The model tester reads every folder it can (it fetches what it finds) while loads,
// reads, reloads that move, change and take away folders, and a new focus go on.
TEST_F(FolderTreeModelTest, EveryChangeKeepsTheModelSound)
{
    QAbstractItemModelTester tester(&tree, QAbstractItemModelTester::FailureReportingMode::Fatal);
    makeTree();
    scan({path("root")});
    loadAndWait();
    ASSERT_TRUE(waitUntil([&] { return tree.cachedChildren(folder("root/Documents").id).has_value(); }));
    files.write("root/Documents/Reports/q3.pdf", 200000);
    std::filesystem::remove_all(path("root/Documents/Notes"));
    files.write("root/Documents/Drafts/d.txt", 10);
    scan({path("root")});
    loadAndWait();
    loadAndWait(path("root/Documents"));
    loadAndWait(path("root/Gone"));
    settle();
    EXPECT_EQ(paths().front(), path("root"));
}
