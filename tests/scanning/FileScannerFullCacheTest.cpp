#include "index/SQLiteConnection.h"
#include "index/StorageDatabase.h"
#include "scanning/FileScanner.h"
#include "scanning/ScanWriter.h"
#include "support/PrivateMount.h"
#include "support/TempDir.h"
#include "support/ScriptedFileSystem.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

constexpr int folderCount = 40;
constexpr int filesPerFolder = 100;

// Files of `size` bytes that hold no data, in a tree on a tmpfs of its own: making and
// removing tens of thousands of them then costs no disk, on a machine whose disk is busy.
void writeTree(const TempDir& tree, std::int64_t size, int folderCount = ::folderCount)
{
    for (int d = 0; d < folderCount; ++d) {
        const std::string folder = tree.makeFolder("root/d" + std::to_string(d));
        for (int f = 0; f < filesPerFolder; ++f) {
            const std::string path = folder + "/file-with-a-longer-name-" + std::to_string(f);
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
            ASSERT_GE(fd, 0) << path;
            ASSERT_EQ(::ftruncate(fd, size), 0) << path;
            ::close(fd);
        }
    }
}

// Fills the file system at `folder` until fewer than `left` bytes remain.
void fillUpTo(const std::string& folder, long long left)
{
    const std::string path = folder + "/filler";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    ASSERT_GE(fd, 0);
    const std::string block(4096, 'f');
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    const off_t filled = ::lseek(fd, 0, SEEK_END);
    ASSERT_EQ(::ftruncate(fd, filled - left), 0);
    ::close(fd);
}

std::int64_t filesOfSize(const std::string& cache, std::int64_t size)
{
    SQLiteConnection db(cache);
    return db.scalarInt("SELECT COUNT(*) FROM files WHERE size = " + std::to_string(size));
}

} // namespace

// The cache lives on a small file system of its own, which a rescan fills up.
TEST(FileScannerFullCacheTest, ARescanThatCouldNotSaveItsChangesIsNotCompletedAndSaysTheDiskIsFull)
{
    KESTREL_IN_PRIVATE_MOUNTS();
    TempDir tree;
    TempDir cacheFolder;
    ASSERT_TRUE(PrivateMount::mountTmpfs(tree.path(), 64ll << 20));
    const PrivateMount::Unmounted treeUnmounted{tree.path()};
    ASSERT_TRUE(PrivateMount::mountTmpfs(cacheFolder.path(), 8ll << 20, "0777"));
    const PrivateMount::Unmounted unmounted{cacheFolder.path()};
    const std::string cache = cacheFolder.file("ScanCache.sqlite");
    writeTree(tree, 100);
    const ScanConfiguration configuration{
        .roots = {tree.file("root")}, .maxConcurrency = 4, .homeDirectory = "/home/nobody"};
    {
        StorageDatabase database(cache);
        FileScanner scanner(database, configuration);
        ASSERT_EQ(scanner.scan(std::nullopt, {}, {}).status, ScanRecord::Status::completed);
        ASSERT_EQ(database.history(10).size(), 1u);
    }

    writeTree(tree, 5000);
    ScanOutcome outcome;
    {
        StorageDatabase database(cache);
        fillUpTo(cacheFolder.path(), 64 * 1024);
        FileScanner scanner(database, configuration);
        try {
            outcome = scanner.scan(std::nullopt, {}, {});
        } catch (const std::exception& error) {
            ADD_FAILURE() << "the scan threw: " << error.what();
        }
        EXPECT_NE(outcome.status, ScanRecord::Status::completed);
        EXPECT_NE(outcome.progress.phase.kind(), ScanPhase::Kind::completed);
        ::unlink(cacheFolder.file("filler").c_str());
        EXPECT_EQ(database.history(10).size(), 1u);
        ASSERT_TRUE(database.lastScan());
        EXPECT_NE(database.lastScan()->status, ScanRecord::Status::completed);
        EXPECT_EQ(database.lastScan()->changedFiles, outcome.progress.changedFiles);
        // The words say the disk is full, and which one.
        const std::string& said = outcome.progress.phase.message();
        EXPECT_NE(said.find("full"), std::string::npos) << said;
        EXPECT_NE(said.find(cacheFolder.path()), std::string::npos) << said;
    }
    // What it claims changed is what the cache holds changed.
    EXPECT_EQ(outcome.progress.changedFiles, filesOfSize(cache, 5000));
    EXPECT_LT(outcome.progress.changedFiles, folderCount * filesPerFolder);

    // With room again, the rescan finds the rest of the changes and completes.
    StorageDatabase database(cache);
    FileScanner scanner(database, configuration);
    const ScanOutcome again = scanner.scan(std::nullopt, {}, {});
    EXPECT_EQ(again.status, ScanRecord::Status::completed);
    EXPECT_EQ(again.progress.changedFiles + outcome.progress.changedFiles, folderCount * filesPerFolder);
    EXPECT_EQ(filesOfSize(cache, 5000), folderCount * filesPerFolder);
    EXPECT_EQ(database.history(10).size(), 2u);
}

// More changes than one write batch holds: the disk fills when a batch is committed while
// folders are still being written.
TEST(FileScannerFullCacheTest, ADiskThatFillsWhileFoldersAreWrittenEndsFailedClaimingOnlyStoredChanges)
{
    KESTREL_IN_PRIVATE_MOUNTS();
    constexpr int folders = 250;
    TempDir tree;
    TempDir cacheFolder;
    ASSERT_TRUE(PrivateMount::mountTmpfs(tree.path(), 64ll << 20));
    const PrivateMount::Unmounted treeUnmounted{tree.path()};
    ASSERT_TRUE(PrivateMount::mountTmpfs(cacheFolder.path(), 64ll << 20, "0777"));
    const PrivateMount::Unmounted unmounted{cacheFolder.path()};
    const std::string cache = cacheFolder.file("ScanCache.sqlite");
    writeTree(tree, 100, folders);
    const ScanConfiguration configuration{
        .roots = {tree.file("root")}, .maxConcurrency = 4, .homeDirectory = "/home/nobody"};
    {
        StorageDatabase database(cache);
        FileScanner scanner(database, configuration);
        ASSERT_EQ(scanner.scan(std::nullopt, {}, {}).status, ScanRecord::Status::completed);
    }
    writeTree(tree, 5000, folders);
    ScanOutcome outcome;
    {
        // Batches close by their size only: on a loaded machine, batches closed each second
        // would be small enough for the log to start over between them and the disk not fill.
        const auto start = std::chrono::steady_clock::now();
        StorageDatabase database(cache, [start] { return start; });
        fillUpTo(cacheFolder.path(), 64 * 1024);
        FileScanner scanner(database, configuration);
        // Whether the finish's own writes fit in the log space the refused batch left depends
        // on where the disk filled, so the finish gets room back: the claims are under test.
        const std::string filler = cacheFolder.file("filler");
        const auto freeAtFinish = [&](const ScanProgress& progress) {
            if (progress.phase.kind() == ScanPhase::Kind::finalizing) ::unlink(filler.c_str());
        };
        ASSERT_NO_THROW(outcome = scanner.scan(std::nullopt, {}, freeAtFinish));
        EXPECT_EQ(outcome.status, ScanRecord::Status::failed);
        // The folders whose writes the disk refused are counted as lost.
        EXPECT_GT(outcome.lostFolders, 0);
        EXPECT_NE(outcome.progress.phase.message().find("is full"), std::string::npos)
            << outcome.progress.phase.message();
        EXPECT_EQ(database.history(10).size(), 1u);
    }
    EXPECT_EQ(outcome.progress.changedFiles, filesOfSize(cache, 5000));
    EXPECT_LT(outcome.progress.changedFiles, folders * filesPerFolder);
}

// A first scan, whose new folder rows wait for their own syncs: the disk fills at one of the
// commits its single reader leaves the writer idle for.
TEST(FileScannerFullCacheTest, AFirstScanOnADiskThatFillsStoresARowForEveryListedSubfolderOfWhatItSynced)
{
    KESTREL_IN_PRIVATE_MOUNTS();
    TempDir tree;
    TempDir cacheFolder;
    ASSERT_TRUE(PrivateMount::mountTmpfs(cacheFolder.path(), 64ll << 20, "0777"));
    const PrivateMount::Unmounted unmounted{cacheFolder.path()};
    int files = 0;
    const std::string longer(120, 'n');
    for (int a = 0; a < 6; ++a)
        for (int b = 0; b < 6; ++b)
            for (int f = 0; f < 60; ++f, ++files)
                tree.write("root/a" + std::to_string(a) + "/b" + std::to_string(b) + "/" + longer + std::to_string(f),
                           10);
    const ScanConfiguration configuration{
        .roots = {tree.file("root")}, .maxConcurrency = 1, .homeDirectory = "/home/nobody"};
    // Each top folder's read waits until the writer has committed the subtrees read before it
    // (the walk goes depth first); the disk fills at the fourth, so that three subtrees are
    // stored and the rest are refused, with room left for the scan's failed finish.
    const std::string cache = cacheFolder.file("ScanCache.sqlite");
    std::atomic<int> topFolders = 0;
    ScriptedFileSystem fileSystem;
    fileSystem.onRead = [&](const std::string& path) {
        if (path.find("/b") != std::string::npos || path.find("/a") == std::string::npos)
            return;
        std::this_thread::sleep_for(2 * ScanWriter::idleCommitDelay);
        if (++topFolders == 4)
            fillUpTo(cacheFolder.path(), 512 * 1024);
    };
    {
        StorageDatabase database(cache);
        FileScanner scanner(database, configuration, fileSystem);
        ScanOutcome outcome;
        ASSERT_NO_THROW(outcome = scanner.scan(std::nullopt, {}, {}));
        EXPECT_EQ(outcome.status, ScanRecord::Status::failed);
        EXPECT_NE(outcome.progress.phase.message().find("is full"), std::string::npos)
            << outcome.progress.phase.message();
        ::unlink(cacheFolder.file("filler").c_str());
    }
    {
        SQLiteConnection db(cache);
        EXPECT_GT(db.scalarInt("SELECT COUNT(*) FROM folders WHERE scan_id <> 0"), 0);
        // Every folder it stored as synced has rows for all its subfolders, each one once.
        EXPECT_EQ(db.scalarInt("SELECT COUNT(*) FROM folders AS p WHERE p.scan_id <> 0 AND p.direct_dirs <> "
                               "(SELECT COUNT(*) FROM folders AS c WHERE c.parent_id = p.id)"),
                  0);
        EXPECT_EQ(db.scalarInt("SELECT COUNT(*) FROM (SELECT path FROM folders GROUP BY path HAVING COUNT(*) > 1)"), 0);
        EXPECT_EQ(db.scalarInt("SELECT COUNT(*) FROM folders WHERE parent_id IS NOT NULL AND parent_id NOT IN "
                               "(SELECT id FROM folders)"),
                  0);
    }

    // With room again, a scan stores the whole tree.
    fileSystem.onRead = nullptr;
    StorageDatabase database(cache);
    FileScanner scanner(database, configuration, fileSystem);
    EXPECT_EQ(scanner.scan(std::nullopt, {}, {}).status, ScanRecord::Status::completed);
    const auto root = database.folder(tree.file("root"));
    ASSERT_TRUE(root);
    EXPECT_EQ(root->fileCount, files);
    EXPECT_EQ(root->folderCount, 6 + 36);
}
