#include "index/DirectorySync.h"
#include "index/SQLiteConnection.h"
#include "index/StorageDatabase.h"
#include "platform/Paths.h"
#include "scanning/DirectoryReader.h"
#include "scanning/FileScanner.h"
#include "support/CategorySums.h"
#include "support/Eventually.h"
#include "support/PrivateMount.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"
#include "support/ScriptedFileSystem.h"
#include "DeepTree.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <tuple>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The scan error log as (path, message) pairs.
using ErrorLog = std::set<std::pair<std::string, std::string>>;

ErrorLog errorLog(StorageDatabase& database)
{
    ErrorLog logged;
    for (const auto& entry : database.recentErrors(1000))
        logged.insert({entry.path, entry.message});
    return logged;
}

struct Totals {
    std::int64_t files = 0;
    std::int64_t folders = 0;   // below the root
    std::int64_t allocated = 0;
    friend bool operator==(const Totals&, const Totals&) = default;
};

std::ostream& operator<<(std::ostream& out, const Totals& t)
{
    return out << t.files << " files, " << t.folders << " folders, " << t.allocated << " bytes";
}

// What the tree holds, walked without the scanner's code: every file and link
// once, a multiply linked file's blocks once.
Totals walk(const std::string& root, const std::set<std::string>& skipped = {})
{
    Totals totals;
    std::set<std::pair<dev_t, ino_t>> seen;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        if (skipped.count(it->path().string())) {
            it.disable_recursion_pending();
            continue;
        }
        struct stat info {};
        if (::lstat(it->path().c_str(), &info) != 0)
            continue;
        if (S_ISDIR(info.st_mode)) {
            ++totals.folders;
        } else if (S_ISREG(info.st_mode) || S_ISLNK(info.st_mode)) {
            ++totals.files;
            if (!S_ISREG(info.st_mode) || info.st_nlink < 2 || seen.insert({info.st_dev, info.st_ino}).second)
                totals.allocated += info.st_blocks * 512;
        }
    }
    return totals;
}

Totals indexed(StorageDatabase& database, const std::string& root)
{
    const auto folder = database.folder(root);
    if (!folder)
        return {};
    return {.files = folder->fileCount, .folders = folder->folderCount, .allocated = folder->totalAllocated};
}

// Every folder's totals are the sums over its subtree; returns the subtree's figures.
Totals checkSubtreeSums(StorageDatabase& database, const FolderItem& folder)
{
    Totals sums{.files = folder.directFileCount, .allocated = folder.directAllocated};
    for (const auto& child : database.childFolders(folder.id, 1'000'000)) {
        const Totals below = checkSubtreeSums(database, child);
        sums.files += below.files;
        sums.folders += below.folders + 1;
        sums.allocated += below.allocated;
    }
    EXPECT_EQ((Totals{.files = folder.fileCount, .folders = folder.folderCount, .allocated = folder.totalAllocated}),
              sums) << folder.path;
    return sums;
}

// Removes the folder `name` inside the open folder `parent` with everything in it, relative
// to descriptors, so that paths longer than the system's limit go too.
void removeTree(int parent, const std::string& name)
{
    const int folder = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    if (folder < 0) {
        ::unlinkat(parent, name.c_str(), 0);
        return;
    }
    std::vector<std::pair<std::string, bool>> entries;
    if (DIR* listing = ::fdopendir(::dup(folder))) {
        while (const dirent* entry = ::readdir(listing)) {
            const std::string child = entry->d_name;
            if (child != "." && child != "..")
                entries.emplace_back(child, entry->d_type == DT_DIR);
        }
        ::closedir(listing);
    }
    for (const auto& [child, isFolder] : entries) {
        if (isFolder)
            removeTree(folder, child);
        else
            ::unlinkat(folder, child.c_str(), 0);
    }
    ::close(folder);
    ::unlinkat(parent, name.c_str(), AT_REMOVEDIR);
}

// Asks the scan to stop as its `read`th folder read begins.
void stopAtRead(ScriptedFileSystem& fileSystem, std::stop_source& stopper, int read)
{
    fileSystem.onRead = [&stopper, read, started = std::make_shared<std::atomic<int>>(0)](const std::string&) {
        if (++*started == read)
            stopper.request_stop();
    };
}

// A scan on a thread of its own, paused as its fifth folder read begins.
struct PausedScan {
    PausedScan(StorageDatabase& database, const ScanConfiguration& configuration)
        : scanner(database, configuration, fileSystem)
    {
        fileSystem.pauseAtRead(5, [this] { scanner.pause(); });
        running = std::jthread([this] { outcome = scanner.scan(std::nullopt, {}, {}); });
    }
    // Resumes it and waits for its end.
    void finish()
    {
        scanner.resume();
        running.join();
    }

    ScriptedFileSystem fileSystem;
    FileScanner scanner;
    std::optional<ScanOutcome> outcome;
    std::jthread running;
};

class FileScannerTest : public ::testing::Test {
protected:
    FileScannerTest() : database(cachePath()) {}

    ScanConfiguration configuration(int workers = 8, std::vector<std::string> excluded = {}) const
    {
        return ScanConfiguration{.roots = {root()},
                                 .excludedPaths = std::move(excluded),
                                 .maxConcurrency = workers,
                                 .homeDirectory = "/home/nobody"};
    }

    ScanOutcome scan(const ScanConfiguration& config, const FileSystem& fileSystem = FileSystem::standard(),
                     std::optional<std::int64_t> resume = std::nullopt, std::stop_token stop = {})
    {
        FileScanner scanner(database, config, fileSystem);
        return scanner.scan(resume, {}, {}, stop);
    }

    // The scan ran to its end with one error, the failed write of the folder at `path`, and
    // so ended incomplete, saying so at the root.
    void expectOneFailedWrite(const ScanOutcome& outcome, const std::string& path)
    {
        EXPECT_EQ(outcome.status, ScanRecord::Status::cancelled);
        EXPECT_EQ(outcome.progress.phase, ScanPhase(ScanPhase::Kind::cancelled));
        EXPECT_EQ(outcome.lostFolders, 1);
        EXPECT_EQ(outcome.progress.errors, 1);
        const auto logged = database.recentErrors(10);
        ASSERT_EQ(logged.size(), 2u);
        EXPECT_EQ(logged[0].path, root());
        EXPECT_EQ(logged[0].message, FileScanner::incompleteScanMessage);
        EXPECT_EQ(logged[1].path, path);
        EXPECT_EQ(logged[1].message.rfind("Cache write failed: ", 0), 0u) << logged[1].message;
        EXPECT_EQ(database.lastScan()->status, ScanRecord::Status::cancelled);
    }

    // A scan through `fileSystem` that loses the large folder `folder`, saying `message` and
    // leaving `rowsLeft` rows of its files, and its resume, with nothing in its way, which
    // stores the folder's 40 files once.
    void expectLostThenStoredByItsResume(ScriptedFileSystem& fileSystem, const std::string& folder,
                                         std::string_view message, std::int64_t rowsLeft);

    std::string root() const { return tree.file("root"); }
    std::string cachePath() const { return cacheDir.file("ScanCache.sqlite"); }
    std::string at(const std::string& relative) const { return tree.file("root/" + relative); }

    // Nested folders with hidden files, links and a name that is not UTF-8.
    void buildTree() const
    {
        for (int a = 0; a < 4; ++a)
            for (int b = 0; b < 5; ++b)
                for (int f = 0; f < 6; ++f)
                    tree.write("root/a" + std::to_string(a) + "/b" + std::to_string(b) + "/f" + std::to_string(f) +
                                   ".txt",
                               static_cast<size_t>(100 + 997 * f + 31 * b));
        tree.write("root/.hidden", "secret");
        tree.write("root/photo.JPG", 6000);
        tree.write("root/a0/bad\xFF name.txt", 10);
        tree.makeFolder("root/a1/bad\xFE folder");
        tree.write("root/a1/bad\xFE folder/inside.txt", 5000);
        ::symlink(at("a0").c_str(), at("link-to-a0").c_str());
        ::symlink("/nowhere", at("a2/dangling").c_str());
        tree.makeFolder("root/empty");
    }

    TempDir tree;
    TempDir cacheDir;
    StorageDatabase database;
};

} // namespace

TEST_F(FileScannerTest, FirstScanMatchesAnIndependentWalkAndRescansWriteOnlyChanges)
{
    buildTree();
    // The temporary folder lies in a system tree (/tmp); as the home, it is the user's.
    ScanConfiguration inHome = configuration();
    inHome.homeDirectory = tree.path();
    const ScanOutcome first = scan(inHome);
    EXPECT_EQ(first.status, ScanRecord::Status::completed);
    EXPECT_EQ(first.progress.phase, ScanPhase(ScanPhase::Kind::completed));
    EXPECT_EQ(indexed(database, root()), walk(root()));
    EXPECT_EQ(first.progress.filesScanned, walk(root()).files);
    EXPECT_EQ(first.progress.foldersScanned, walk(root()).folders + 1);
    EXPECT_EQ(first.progress.newFiles, walk(root()).files);
    EXPECT_EQ(first.progress.bytesAnalyzed, walk(root()).allocated);
    EXPECT_EQ(first.totals.fileCount, walk(root()).files);
    checkSubtreeSums(database, *database.folder(root()));

    // The folder whose name is not UTF-8 was entered under its real bytes.
    const auto badFolder = database.folder(at("a1/bad\xEF\xBF\xBD folder"));
    ASSERT_TRUE(badFolder);
    EXPECT_EQ(badFolder->fileCount, 1);
    const auto files = database.largestFiles(1000, std::nullopt, root());
    std::map<std::string, FileItem> byName;
    for (const auto& file : files)
        byName[file.name] = file;
    ASSERT_TRUE(byName.count("bad\xEF\xBF\xBD name.txt"));
    EXPECT_TRUE(byName["bad\xEF\xBF\xBD name.txt"].flags.contains(FileItem::Flags::invalidName));
    EXPECT_TRUE(byName[".hidden"].flags.contains(FileItem::Flags::hidden));
    EXPECT_TRUE(byName["link-to-a0"].flags.contains(FileItem::Flags::symlink));
    EXPECT_EQ(byName["link-to-a0"].fileExtension, "");
    EXPECT_EQ(byName["photo.JPG"].fileExtension, "jpg");
    EXPECT_EQ(byName["photo.JPG"].category, StorageCategory::photos);
    EXPECT_FALSE(database.folder(at("link-to-a0")));   // a link to a folder is not entered

    for (int round = 0; round < 3; ++round) {
        const ScanOutcome again = scan(inHome);
        EXPECT_EQ(again.progress.newFiles + again.progress.changedFiles + again.progress.deletedFiles, 0) << round;
        EXPECT_EQ(indexed(database, root()), walk(root()));
    }

    tree.write("root/a0/added.txt", 3000);                        // new
    tree.write("root/a0/b0/f0.txt", 9000);                        // changed
    fs::rename(at("a0/b1/f1.txt"), at("a0/b1/renamed.txt"));      // new + deleted
    fs::remove(at("a0/b2/f2.txt"));                               // deleted
    tree.write("root/fresh/one.txt", 10);                         // new folder, 2 new
    tree.write("root/fresh/two.txt", 10);
    fs::remove_all(at("a3/b4"));                                  // gone with its subtree
    fs::rename(at("a2/b0"), at("a2/moved"));                      // 6 new under the new name
    const ScanOutcome changed = scan(inHome);
    EXPECT_EQ(changed.progress.newFiles, 1 + 1 + 2 + 6);
    EXPECT_EQ(changed.progress.changedFiles, 1);
    EXPECT_EQ(changed.progress.deletedFiles, 2);
    EXPECT_EQ(indexed(database, root()), walk(root()));
    EXPECT_FALSE(database.folder(at("a3/b4")));
    EXPECT_FALSE(database.folder(at("a2/b0")));
    checkSubtreeSums(database, *database.folder(root()));
}

TEST_F(FileScannerTest, HardLinkedFilesCountOnceAndTheSameLinkEveryTime)
{
    const std::string original = tree.write("root/c/big.bin", 64 * 1024);
    tree.makeFolder("root/a");
    tree.makeFolder("root/b/deep");
    ASSERT_EQ(::link(original.c_str(), at("a/big.bin").c_str()), 0);
    ASSERT_EQ(::link(original.c_str(), at("b/deep/big.bin").c_str()), 0);
    for (int i = 0; i < 20; ++i)
        tree.write("root/b/filler" + std::to_string(i), 100);
    struct stat info {};
    ASSERT_EQ(::stat(original.c_str(), &info), 0);
    const std::int64_t size = info.st_blocks * 512;

    for (int round = 0; round < 6; ++round) {
        const ScanOutcome outcome = scan(configuration(8));
        EXPECT_EQ(indexed(database, root()), walk(root()));
        if (round > 0) {
            EXPECT_EQ(outcome.progress.changedFiles, 0) << round;
        }
        EXPECT_EQ(outcome.progress.bytesAnalyzed, walk(root()).allocated);
        EXPECT_EQ(database.folder(at("a"))->directAllocated, size);
        EXPECT_EQ(database.folder(at("b/deep"))->directAllocated, 0);
        EXPECT_EQ(database.folder(at("c"))->directAllocated, 0);
    }
    const auto files = database.largestFiles(10, std::nullopt, at("a"));
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(files[0].flags.contains(FileItem::Flags::hardLink));

    // When the carrying link goes, another takes over.
    fs::remove(at("a/big.bin"));
    scan(configuration(8));
    EXPECT_EQ(database.folder(at("b/deep"))->directAllocated, size);
    EXPECT_EQ(indexed(database, root()), walk(root()));
}

TEST_F(FileScannerTest, LinkedFilesInsideAFolderThatWaitsForItsOwnLinksKeepTheirRows)
{
    // outer and outer/inner both hold links, so both wait for the end of the walk.
    const std::string original = tree.write("root/data/blob.bin", 8192);
    tree.makeFolder("root/outer/inner");
    ASSERT_EQ(::link(original.c_str(), at("outer/blob.bin").c_str()), 0);
    ASSERT_EQ(::link(original.c_str(), at("outer/inner/blob.bin").c_str()), 0);
    tree.write("root/outer/inner/plain.txt", 100);

    scan(configuration(4));
    const auto before = database.largestFiles(10, std::nullopt, at("outer/inner"));
    for (int round = 0; round < 3; ++round) {
        const ScanOutcome again = scan(configuration(4));
        EXPECT_EQ(again.progress.newFiles + again.progress.changedFiles + again.progress.deletedFiles, 0) << round;
        EXPECT_EQ(database.largestFiles(10, std::nullopt, at("outer/inner")), before) << round;
        EXPECT_EQ(indexed(database, root()), walk(root()));
    }
}

TEST_F(FileScannerTest, NestedFoldersOfLinksAreRescannedInOneBatchAndKeepTheirRows)
{
    // A backup-like tree: every folder on the chain holds a link and waits for the end of
    // the walk below a folder that waits too; beside each, a plain folder is synced at once.
    const std::string original = tree.write("root/data/blob.bin", 8192);
    std::string chain;
    for (int level = 0; level < 5; ++level) {
        ASSERT_EQ(::link(original.c_str(), at(chain + "blob.bin").c_str()), 0);
        tree.write("root/" + chain + "plain/own.txt", 100 + level);
        chain += "l" + std::to_string(level) + "/";
        tree.makeFolder("root/" + chain);
    }
    // A batch clock that never moves: only a read or the finish commits.
    StorageDatabase cache(cacheDir.file("Frozen.sqlite"), [] { return std::chrono::steady_clock::time_point{}; });
    std::optional<std::int64_t> committedBeforeFinish;
    const auto rescan = [&] {
        committedBeforeFinish.reset();
        FileScanner scanner(cache, configuration(4));
        return scanner.scan(std::nullopt, {}, [&](const ScanProgress& progress) {
            if (progress.phase == ScanPhase(ScanPhase::Kind::finalizing)) {
                SQLiteConnection observer(cache.path());
                committedBeforeFinish =
                    observer.scalarInt("SELECT COUNT(*) FROM folders WHERE scan_id = (SELECT MAX(id) FROM scans)");
            }
        });
    };

    const ScanOutcome first = rescan();
    EXPECT_EQ(first.progress.newFiles, walk(root()).files);
    EXPECT_EQ(indexed(cache, root()), walk(root()));
    const auto before = cache.largestFiles(100, std::nullopt, root());
    for (int round = 0; round < 2; ++round) {
        const ScanOutcome again = rescan();
        EXPECT_EQ(again.progress.newFiles + again.progress.changedFiles + again.progress.deletedFiles, 0) << round;
        // No folder's stamp was committed during the walk: no lookup flushed the batch.
        EXPECT_EQ(committedBeforeFinish, 0) << round;
        EXPECT_EQ(cache.largestFiles(100, std::nullopt, root()), before) << round;
        EXPECT_EQ(indexed(cache, root()), walk(root()));
    }

    // Subfolders come and go below folders that wait: a new waiting folder inside a new one,
    // a new plain folder, a plain folder and a link gone.
    tree.makeFolder("root/l0/l1/fresh/deeper");
    ASSERT_EQ(::link(original.c_str(), at("l0/l1/fresh/blob.bin").c_str()), 0);
    ASSERT_EQ(::link(original.c_str(), at("l0/l1/fresh/deeper/blob.bin").c_str()), 0);
    tree.write("root/l0/l1/other/new.txt", 10);
    fs::remove_all(at("l0/l1/l2/plain"));
    fs::remove(at("l0/l1/l2/l3/blob.bin"));
    const ScanOutcome changed = rescan();
    EXPECT_EQ(changed.progress.newFiles, 3);
    EXPECT_EQ(changed.progress.changedFiles, 0);
    EXPECT_EQ(changed.progress.deletedFiles, 1);   // the link; the plain folder goes as a subtree
    EXPECT_EQ(committedBeforeFinish, 0);
    EXPECT_EQ(changed.progress.errors, 0);
    EXPECT_EQ(indexed(cache, root()), walk(root()));
    EXPECT_FALSE(cache.folder(at("l0/l1/l2/plain")));
    ASSERT_TRUE(cache.folder(at("l0/l1/fresh/deeper")));
    EXPECT_EQ(cache.folder(at("l0/l1/fresh/deeper"))->parentID, cache.folder(at("l0/l1/fresh"))->id);
    checkSubtreeSums(cache, *cache.folder(root()));
}

TEST_F(FileScannerTest, AWaitingFolderWhoseSubfoldersCannotBeWrittenDropsItsSubtree)
{
    const std::string original = tree.write("root/data/blob.bin", 8192);
    tree.makeFolder("root/w");
    ASSERT_EQ(::link(original.c_str(), at("w/blob.bin").c_str()), 0);
    tree.write("root/w/poison/deep/inside.txt", 10);
    tree.write("root/w/poison/here.txt", 10);
    {
        SQLiteConnection outside(cachePath());
        outside.execute("CREATE TRIGGER poison BEFORE INSERT ON folders WHEN NEW.name = 'poison' BEGIN "
                        "SELECT RAISE(ABORT, 'poisoned'); END;");
    }
    const ScanOutcome outcome = scan(configuration(4));
    expectOneFailedWrite(outcome, at("w"));
    // Neither the folder's files nor anything below it was written; the rest of the tree was.
    EXPECT_FALSE(database.folder(at("w/poison/deep")));
    EXPECT_TRUE(database.largestFiles(10, std::nullopt, at("w")).empty());
    EXPECT_EQ(database.largestFiles(10, std::nullopt, at("data")).size(), 1u);
}

TEST_F(FileScannerTest, ExcludedFoldersAndOtherVolumesAreLeftOut)
{
    buildTree();
    scan(configuration());
    ASSERT_TRUE(database.folder(at("a1/b2")));

    ScriptedFileSystem fileSystem;
    fileSystem.devices[at("a3")] = 4242;   // a volume mounted there
    const ScanOutcome outcome = scan(configuration(4, {at("A1/B2/"), at("a2/b1") + "x"}), fileSystem);
    EXPECT_EQ(outcome.status, ScanRecord::Status::completed);
    EXPECT_FALSE(database.folder(at("a1/b2")));
    EXPECT_FALSE(database.folder(at("a3")));
    EXPECT_TRUE(database.folder(at("a2/b1")));
    EXPECT_EQ(fileSystem.reads(at("a1/b2")), 0);
    EXPECT_EQ(fileSystem.reads(at("a3")), 0);
    EXPECT_EQ(indexed(database, root()), walk(root(), {at("a1/b2"), at("a3")}));
    checkSubtreeSums(database, *database.folder(root()));
}

TEST_F(FileScannerTest, RefusedAndFailingFoldersAndUnusableRoots)
{
    buildTree();
    scan(configuration());
    ASSERT_GT(database.folder(at("a0"))->fileCount, 0);

    ScriptedFileSystem fileSystem;
    fileSystem.readFailures[at("a0")] = EACCES;
    fileSystem.readFailures[at("a1/b1")] = EIO;
    const std::string plainFile = tree.write("not-a-folder.txt", "x");
    ScanConfiguration config = configuration();
    config.roots.push_back(plainFile);
    config.roots.push_back(tree.file("missing-root"));   // left out when normalizing
    tree.makeFolder("refused-root");
    fileSystem.statFailures[tree.file("refused-root")] = EACCES;
    config.roots.push_back(tree.file("refused-root"));

    const ScanOutcome outcome = scan(config, fileSystem);
    EXPECT_EQ(outcome.status, ScanRecord::Status::completed);
    EXPECT_EQ(outcome.progress.restrictedFolders, 1);
    EXPECT_EQ(outcome.progress.errors, 1);
    const auto refused = database.folder(at("a0"));
    ASSERT_TRUE(refused);
    EXPECT_TRUE(refused->isRestricted);
    EXPECT_EQ(refused->fileCount, 0);            // what it held is gone from the index
    EXPECT_FALSE(database.folder(at("a0/b0")));
    EXPECT_TRUE(database.folder(at("a1/b1"))->isRestricted);

    const ErrorLog logged = errorLog(database);
    const ErrorLog expected = {
        {at("a1/b1"), "Input/output error"},
        {plainFile, "Scan location is not a folder"},
        {tree.file("refused-root"), "Access restricted"},
    };
    EXPECT_EQ(logged, expected);
}

TEST_F(FileScannerTest, AFolderThatCanBeListedButNotEnteredIsRestricted)
{
    if (runAgainUnprivileged())
        return;
    buildTree();
    tree.write("root/closed/kept.txt", 4000);
    tree.write("root/closed/inner/deeper.txt", 4000);
    ASSERT_EQ(scan(configuration()).status, ScanRecord::Status::completed);
    ASSERT_EQ(database.folder(at("closed"))->fileCount, 2);

    // Its names can be read, but none of its entries examined.
    ASSERT_EQ(::chmod(at("closed").c_str(), 0644), 0);
    const ScanOutcome outcome = scan(configuration());
    ::chmod(at("closed").c_str(), 0755);
    EXPECT_EQ(outcome.status, ScanRecord::Status::completed);
    EXPECT_EQ(outcome.progress.restrictedFolders, 1);
    EXPECT_EQ(outcome.progress.errors, 0);
    const auto closed = database.folder(at("closed"));
    ASSERT_TRUE(closed);
    EXPECT_TRUE(closed->isRestricted);
    EXPECT_FALSE(database.folder(at("a0"))->isRestricted);
    EXPECT_TRUE(database.recentErrors(10).empty());   // refused, as a folder that cannot be opened
}

TEST_F(FileScannerTest, EntriesThatCouldNotBeReadAreLoggedAndTheFolderRestricted)
{
    buildTree();
    ScriptedFileSystem fileSystem;
    fileSystem.listingGaps[at("a1/b1")] = ListingGaps{.unreadEntries = 2, .entryFailure = EIO};
    fileSystem.listingGaps[at("a2")] = ListingGaps{.listingFailure = EIO};
    fileSystem.listingGaps[at("a3/b0")] = ListingGaps{.unreadEntries = 1, .entryFailure = EACCES};
    const ScanOutcome outcome = scan(configuration(), fileSystem);
    EXPECT_EQ(outcome.status, ScanRecord::Status::completed);
    EXPECT_EQ(outcome.progress.errors, 2);
    EXPECT_EQ(outcome.progress.restrictedFolders, 1);
    for (const char* path : {"a1/b1", "a2", "a3/b0"})
        EXPECT_TRUE(database.folder(at(path))->isRestricted) << path;
    // What could be read is kept.
    EXPECT_EQ(database.folder(at("a1/b1"))->fileCount, 6);
    EXPECT_TRUE(database.folder(at("a2/b0")));

    const ErrorLog logged = errorLog(database);
    const ErrorLog expected = {
        {at("a1/b1"), "2 items could not be read: Input/output error"},
        {at("a2"), "The folder could be listed only in part: Input/output error"},
    };
    EXPECT_EQ(logged, expected);
}

TEST_F(FileScannerTest, ACancelledScanIsResumedWithoutReadingFinishedFoldersAgain)
{
    buildTree();
    const int folders = static_cast<int>(walk(root()).folders) + 1;
    std::stop_source stopper;
    ScriptedFileSystem fileSystem;
    stopAtRead(fileSystem, stopper, 8);
    const ScanOutcome cancelled = scan(configuration(3), fileSystem, std::nullopt, stopper.get_token());
    EXPECT_EQ(cancelled.status, ScanRecord::Status::cancelled);
    EXPECT_EQ(cancelled.progress.phase, ScanPhase(ScanPhase::Kind::cancelled));
    EXPECT_LT(fileSystem.totalReads(), folders);
    EXPECT_EQ(database.lastScan()->status, ScanRecord::Status::cancelled);

    fileSystem.onRead = nullptr;
    std::vector<ScanProgress> reports;
    FileScanner scanner(database, configuration(3), fileSystem);
    const ScanOutcome resumed = scanner.scan(cancelled.scanID, {}, [&](const ScanProgress& p) { reports.push_back(p); });
    EXPECT_EQ(resumed.scanID, cancelled.scanID);
    EXPECT_EQ(resumed.status, ScanRecord::Status::completed);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.front().phase, ScanPhase(ScanPhase::Kind::preparing));
    EXPECT_TRUE(reports.front().isResumed);
    ASSERT_GE(reports.size(), 3u);
    EXPECT_EQ(reports[reports.size() - 2].phase, ScanPhase(ScanPhase::Kind::finalizing));
    EXPECT_EQ(reports.back().phase, ScanPhase(ScanPhase::Kind::completed));
    EXPECT_EQ(reports.back().foldersScanned, resumed.progress.foldersScanned);
    // Every folder read exactly once over both runs; the index keeps a repaired
    // name that cannot be opened, so the folder holding it may be read again.
    for (auto it = fs::recursive_directory_iterator(root()); it != fs::recursive_directory_iterator(); ++it) {
        if (it->is_directory() && !it->is_symlink() && it->path() != at("a1")) {
            EXPECT_EQ(fileSystem.reads(it->path().string()), 1) << it->path();
        }
    }
    EXPECT_LE(fileSystem.reads(at("a1")), 2);
    EXPECT_EQ(fileSystem.reads(root()), 1);
    EXPECT_EQ(resumed.progress.foldersScanned, folders);
    EXPECT_EQ(indexed(database, root()), walk(root()));
    checkSubtreeSums(database, *database.folder(root()));
}

TEST_F(FileScannerTest, PauseHoldsEveryWorkerWithinOneFolderAndCancelEndsAPausedScan)
{
    buildTree();
    const int workers = 4;
    ScriptedFileSystem fileSystem;
    FileScanner scanner(database, configuration(workers), fileSystem);
    fileSystem.pauseAtRead(5, [&] { scanner.pause(); });
    std::mutex phasesLock;
    std::vector<ScanPhase::Kind> phases;
    std::optional<ScanOutcome> outcome;
    std::jthread running([&] {
        outcome = scanner.scan(std::nullopt, {}, [&](const ScanProgress& p) {
            std::lock_guard guard(phasesLock);
            phases.push_back(p.phase.kind());
        });
    });
    // Once every reader waits, at the gate or for a job, none can go on: by then each has
    // finished at most the folder it was reading.
    const auto lastPhase = [&] {
        std::lock_guard guard(phasesLock);
        return phases.empty() ? ScanPhase::Kind::idle : phases.back();
    };
    ASSERT_TRUE(eventually([&] { return lastPhase() == ScanPhase::Kind::paused; }));
    ASSERT_TRUE(eventually([&] { return scanner.waitingReaders() == workers; }));
    EXPECT_LE(fileSystem.totalReads(), fileSystem.readsAtPause() + workers);
    EXPECT_EQ(lastPhase(), ScanPhase::Kind::paused);
    scanner.resume();
    running.join();
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->status, ScanRecord::Status::completed);
    EXPECT_EQ(indexed(database, root()), walk(root()));

    FileScanner paused(database, configuration(workers), fileSystem);
    paused.pause();
    fileSystem.onRead = nullptr;
    fileSystem.forgetReads();
    // Stopped once its readers wait: the one holding the root's job at the gate.
    std::stop_source stopper;
    std::jthread cancelling([&] {
        eventually([&] { return paused.waitingReaders() == workers; });
        stopper.request_stop();
    });
    const ScanOutcome ended = paused.scan(std::nullopt, {}, {}, stopper.get_token());
    EXPECT_EQ(ended.status, ScanRecord::Status::cancelled);
    EXPECT_EQ(fileSystem.totalReads(), 0);
}

TEST_F(FileScannerTest, ARescanStoresTheFoldersItFoundUnchangedAsVisitedBeforeItStopsOrWaits)
{
    // More folders than one statement of visit stamps holds, so that stamps are written
    // both on the way and at the end of the cancelled run.
    for (int a = 0; a < 10; ++a)
        for (int b = 0; b < 10; ++b)
            tree.write("root/a" + std::to_string(a) + "/b" + std::to_string(b) + "/f.txt", 100 + a + b);
    scan(configuration(3));
    const int folders = static_cast<int>(walk(root()).folders) + 1;

    std::stop_source stopper;
    ScriptedFileSystem fileSystem;
    stopAtRead(fileSystem, stopper, 90);
    const ScanOutcome cancelled = scan(configuration(3), fileSystem, std::nullopt, stopper.get_token());
    ASSERT_EQ(cancelled.status, ScanRecord::Status::cancelled);
    EXPECT_GE(fileSystem.totalReads(), 90);
    EXPECT_LT(fileSystem.totalReads(), folders);

    fileSystem.onRead = nullptr;
    const ScanOutcome resumed = scan(configuration(3), fileSystem, cancelled.scanID);
    EXPECT_EQ(resumed.status, ScanRecord::Status::completed);
    for (auto it = fs::recursive_directory_iterator(root()); it != fs::recursive_directory_iterator(); ++it) {
        if (it->is_directory()) {
            EXPECT_EQ(fileSystem.reads(it->path().string()), 1) << it->path();
        }
    }
    EXPECT_EQ(fileSystem.reads(root()), 1);
    EXPECT_EQ(indexed(database, root()), walk(root()));

    // What a rescan found unchanged before a pause is stored as visited while it waits.
    {
        ScriptedFileSystem pausing;
        FileScanner scanner(database, configuration(2), pausing);
        pausing.pauseAtRead(30, [&] { scanner.pause(); });
        std::jthread running([&] { scanner.scan(std::nullopt, {}, {}); });
        ASSERT_TRUE(pausing.waitForPause());
        SQLiteConnection other(cachePath());
        const std::string visited = "SELECT COUNT(*) FROM folders WHERE scan_id = (SELECT MAX(id) FROM scans)";
        std::int64_t stamped = 0;
        eventually([&] { return (stamped = other.scalarInt(visited)) >= 20; });
        scanner.resume();
        EXPECT_GE(stamped, 20);
    }
}

TEST_F(FileScannerTest, APausedScanStoresWhatItWroteAndHoldsNoWriteLock)
{
    buildTree();
    PausedScan paused(database, configuration(2));
    ASSERT_TRUE(paused.fileSystem.waitForPause());

    // Another writer gets the cache at once, without waiting on a lock, while the scan stays
    // paused (soon after the pause, later on a loaded machine); and it sees the folders
    // written before the pause.
    SQLiteConnection other(cachePath());
    sqlite3_busy_timeout(other.handle(), 0);
    const bool began =
        eventually([&] { return sqlite3_exec(other.handle(), "BEGIN IMMEDIATE;", nullptr, nullptr, nullptr) == SQLITE_OK; });
    if (!began)
        paused.scanner.resume();   // so that the scan can end
    ASSERT_TRUE(began);
    EXPECT_GT(other.scalarInt("SELECT COUNT(*) FROM folders WHERE scan_id <> 0"), 0);
    other.execute("INSERT INTO errors(timestamp, path, message) VALUES(1, '/elsewhere', 'written while paused');");
    other.execute("COMMIT;");

    paused.finish();
    ASSERT_TRUE(paused.outcome);
    EXPECT_EQ(paused.outcome->status, ScanRecord::Status::completed);
    EXPECT_EQ(indexed(database, root()), walk(root()));
}

TEST_F(FileScannerTest, AFirstScanStoppedMidWalkHoldsARowForEveryListedSubfolderAndItsResumeCompletesIt)
{
    buildTree();
    // Synced folders (stamped with the scan) whose listed subfolders lack rows; and folders
    // listed but not synced yet.
    const auto committedState = [&](std::int64_t scanID) {
        SQLiteConnection observer(cachePath());
        const std::string scan = std::to_string(scanID);
        return std::pair{observer.scalarInt("SELECT COUNT(*) FROM folders AS p WHERE p.scan_id = " + scan +
                                            " AND p.direct_dirs <> (SELECT COUNT(*) FROM folders AS c "
                                            "WHERE c.parent_id = p.id)"),
                         observer.scalarInt("SELECT COUNT(*) FROM folders WHERE scan_id <> " + scan)};
    };
    ScriptedFileSystem fileSystem;
    FileScanner scanner(database, configuration(2), fileSystem);
    fileSystem.pauseAtRead(6, [&] { scanner.pause(); });
    std::stop_source stopper;
    std::optional<ScanOutcome> stopped;
    std::jthread running([&] { stopped = scanner.scan(std::nullopt, {}, {}, stopper.get_token()); });
    ASSERT_TRUE(fileSystem.waitForPause());

    // What the paused writer committed, as a screen would read it, once the root's sync is
    // among it: the root's row is there before, unsynced, and a loaded machine may be slow.
    const std::int64_t scanID = database.lastScan()->id;
    const auto rootSynced = [&] {
        SQLiteConnection observer(cachePath());
        return observer.scalarInt("SELECT COUNT(*) FROM folders WHERE parent_id IS NULL AND scan_id = " +
                                  std::to_string(scanID)) > 0;
    };
    ASSERT_TRUE(eventually(rootSynced));
    const std::pair<std::int64_t, std::int64_t> paused = committedState(scanID);
    EXPECT_EQ(paused.first, 0);
    EXPECT_GT(paused.second, 0);
    const auto rootRow = database.folder(root());
    ASSERT_TRUE(rootRow);
    EXPECT_EQ(database.childFolders(rootRow->id, 100).size(), 5u);   // a0 to a3 and empty

    stopper.request_stop();
    running.join();
    ASSERT_TRUE(stopped);
    ASSERT_EQ(stopped->status, ScanRecord::Status::cancelled);
    EXPECT_EQ(committedState(scanID).first, 0);

    fileSystem.onRead = nullptr;
    const ScanOutcome resumed = scan(configuration(2), fileSystem, stopped->scanID);
    EXPECT_EQ(resumed.status, ScanRecord::Status::completed);
    EXPECT_EQ(indexed(database, root()), walk(root()));
    EXPECT_EQ(committedState(scanID), (std::pair<std::int64_t, std::int64_t>{0, 0}));
    checkSubtreeSums(database, *database.folder(root()));
}

TEST_F(FileScannerTest, RootsThatDifferOnlyInLetterCaseAreBothKept)
{
    tree.write("root/Data/upper.txt", 1000);
    tree.write("root/data/lower.txt", 2000);
    ScanConfiguration config{.roots = {at("Data"), at("data")}, .maxConcurrency = 2, .homeDirectory = "/home/nobody"};
    for (int round = 0; round < 2; ++round) {
        scan(config);
        ASSERT_TRUE(database.folder(at("Data"))) << round;
        ASSERT_TRUE(database.folder(at("data"))) << round;
        EXPECT_EQ(database.folder(at("Data"))->fileCount, 1);
        EXPECT_EQ(database.folder(at("data"))->fileCount, 1);
    }
}

// A volume mounted below a root, as under /media with the system folders and the external
// volumes both included, is scanned as a root of its own, and every rescan keeps its rows.
TEST_F(FileScannerTest, AVolumeMountedBelowAnotherRootIsScannedAsARootOfItsOwn)
{
    KESTREL_IN_PRIVATE_MOUNTS();
    tree.write("root/media/ann/note.txt", 1000);
    const std::string volume = tree.makeFolder("root/media/ann/USB");
    ASSERT_TRUE(PrivateMount::mountTmpfs(volume, 8ll << 20));
    const PrivateMount::Unmounted unmounted{volume};
    tree.write("root/media/ann/USB/photos/one.jpg", 3000);
    tree.write("root/media/ann/USB/two.txt", 2000);
    const ScanConfiguration config{
        .roots = {at("media"), volume}, .maxConcurrency = 4, .homeDirectory = "/home/nobody"};
    for (int round = 0; round < 2; ++round) {
        const ScanOutcome outcome = scan(config);
        EXPECT_EQ(outcome.status, ScanRecord::Status::completed) << round;
        const auto scanned = database.folder(volume);
        ASSERT_TRUE(scanned) << round;
        EXPECT_EQ(scanned->fileCount, 2) << round;
        EXPECT_FALSE(scanned->parentID) << round;
        // The enclosing root's walk stays on its own device.
        EXPECT_EQ(database.folder(at("media"))->fileCount, 1) << round;
        EXPECT_EQ(outcome.totals.fileCount, 3) << round;
    }
}

// Folders and files whose names differ only in bytes that are not UTF-8 keep a row each, the
// same rows in every scan, and the index counts what an independent walk counts.
TEST_F(FileScannerTest, ItemsWhoseRepairedNamesCollideKeepARowEach)
{
    tree.write("root/x\xFF/one.txt", 1000);
    tree.write("root/x\xFE/one.txt", 2000);
    tree.write("root/x\xFE/two.txt", 3000);
    tree.write("root/x\xFE/below/three.txt", 4000);
    tree.write("root/f\xFF.txt", 10);
    tree.write("root/f\xFE.txt", 20);
    const std::string repaired = "\xEF\xBF\xBD";
    ScriptedFileSystem fileSystem;
    std::set<std::int64_t> folderIDs;
    for (int round = 0; round < 2; ++round) {
        fileSystem.forgetReads();
        const ScanOutcome outcome = scan(configuration(4), fileSystem);
        EXPECT_EQ(outcome.status, ScanRecord::Status::completed);
        EXPECT_EQ(fileSystem.reads(at("x\xFF")), 1) << round;
        EXPECT_EQ(fileSystem.reads(at("x\xFE")), 1) << round;
        // The smaller bytes keep the plain repaired name.
        const auto fe = database.folder(at("x" + repaired));
        const auto ff = database.folder(at("x" + repaired + " (ff)"));
        ASSERT_TRUE(fe && ff) << round;
        EXPECT_EQ(fe->fileCount, 3) << round;
        EXPECT_EQ(ff->fileCount, 1) << round;
        folderIDs.insert({fe->id, ff->id});
        std::set<std::string> names;
        for (const auto& file : database.largestFiles(100))
            if (file.folderPath == root())
                names.insert(file.name);
        EXPECT_EQ(names, (std::set<std::string>{"f" + repaired + ".txt", "f" + repaired + ".txt (ff)"})) << round;
        EXPECT_EQ(indexed(database, root()), walk(root())) << round;
        EXPECT_EQ(outcome.progress.errors, 0) << round;
        EXPECT_EQ(outcome.progress.changedFiles + outcome.progress.deletedFiles, 0) << round;
    }
    EXPECT_EQ(folderIDs.size(), 2u);
    EXPECT_TRUE(database.recentErrors(10).empty());
}

TEST_F(FileScannerTest, FoldersLostToUnexpectedFailuresAreLoggedAndKeepTheirRows)
{
    buildTree();
    scan(configuration());
    const Totals before = indexed(database, root());

    ScriptedFileSystem fileSystem;
    fileSystem.onRead = [&](const std::string& path) {
        if (path == at("a1"))
            throw std::bad_alloc();
        if (path == at("a2/b3"))
            throw std::system_error(EAGAIN, std::generic_category(), "worker");
    };
    const ScanOutcome outcome = scan(configuration(4), fileSystem);
    EXPECT_EQ(outcome.status, ScanRecord::Status::cancelled);
    EXPECT_EQ(outcome.lostFolders, 2);
    EXPECT_EQ(outcome.progress.errors, 2);
    // Nothing below the lost folders was visited, yet nothing of them is forgotten.
    EXPECT_EQ(indexed(database, root()), before);
    EXPECT_TRUE(database.folder(at("a1/b0")));
    EXPECT_TRUE(database.folder(at("a2/b3")));
    std::set<std::string> logged;
    for (const auto& entry : database.recentErrors(10))
        logged.insert(entry.path);
    EXPECT_EQ(logged, (std::set<std::string>{root(), at("a1"), at("a2/b3")}));

    // Its resume reads what it lost, and only that.
    fileSystem.onRead = nullptr;
    fileSystem.forgetReads();
    const ScanOutcome resumed = scan(configuration(4), fileSystem, outcome.scanID);
    EXPECT_EQ(resumed.status, ScanRecord::Status::completed);
    EXPECT_EQ(resumed.lostFolders, 0);
    EXPECT_EQ(fileSystem.reads(at("a1")), 1);
    EXPECT_EQ(fileSystem.reads(at("a1/b0")), 1);
    EXPECT_EQ(fileSystem.reads(at("a0")), 0);
    EXPECT_EQ(fileSystem.reads(at("a2/b2")), 0);
    EXPECT_EQ(indexed(database, root()), walk(root()));
    EXPECT_EQ(resumed.progress.filesScanned, walk(root()).files);
    EXPECT_EQ(resumed.progress.foldersScanned, walk(root()).folders + 1);

    fs::remove_all(at("a1/b0"));
    const ScanOutcome clean = scan(configuration(4));
    EXPECT_EQ(clean.progress.errors, 0);
    EXPECT_FALSE(database.folder(at("a1/b0")));
    EXPECT_EQ(indexed(database, root()), walk(root()));
}

TEST_F(FileScannerTest, AResumedScanCountsAHardLinkedFileOnce)
{
    const std::string first = tree.write("root/a/linked.bin", 64 * 1024);
    tree.makeFolder("root/b");
    ASSERT_EQ(::link(first.c_str(), at("b/linked.bin").c_str()), 0);
    tree.write("root/c/plain.txt", 100);

    // The first run never gets to a; b is read and the run is cancelled.
    ScriptedFileSystem fileSystem;
    fileSystem.readFailures[at("a")] = ENOENT;
    std::stop_source stopper;
    fileSystem.onRead = [&](const std::string& path) {
        if (path == at("b"))
            stopper.request_stop();
    };
    const ScanOutcome cancelled = scan(configuration(1), fileSystem, std::nullopt, stopper.get_token());
    ASSERT_EQ(cancelled.status, ScanRecord::Status::cancelled);
    ASSERT_TRUE(database.folder(at("b")));

    fileSystem.readFailures.clear();
    fileSystem.onRead = nullptr;
    const ScanOutcome resumed = scan(configuration(1), fileSystem, cancelled.scanID);
    EXPECT_EQ(resumed.status, ScanRecord::Status::completed);
    EXPECT_EQ(indexed(database, root()), walk(root()));
    EXPECT_EQ(resumed.progress.bytesAnalyzed, walk(root()).allocated);
}

TEST_F(FileScannerTest, TheWriterSyncsParentsFirstAndDropsTheSubtreeOfAFolderItFailedToWrite)
{
    for (int a = 0; a < 8; ++a)
        for (int b = 0; b < 4; ++b)
            for (int c = 0; c < 3; ++c)
                tree.write("root/a" + std::to_string(a) + "/b" + std::to_string(b) + "/c" + std::to_string(c) + "/f.txt",
                           100);
    tree.write("root/a3/poison", 10);
    {
        SQLiteConnection outside(cachePath());
        // A folder stamped before its parent (its row updated or inserted whole), or a file named
        // poison, fails its sync.
        outside.execute("CREATE TRIGGER parent_first BEFORE UPDATE OF scan_id ON folders WHEN NEW.parent_id IS NOT "
                        "NULL AND (SELECT scan_id FROM folders WHERE id = NEW.parent_id) <> NEW.scan_id BEGIN "
                        "SELECT RAISE(ABORT, 'child before parent'); END;"
                        "CREATE TRIGGER parent_first_whole BEFORE INSERT ON folders WHEN NEW.parent_id IS NOT NULL "
                        "AND NEW.scan_id <> 0 AND IFNULL((SELECT scan_id FROM folders WHERE id = NEW.parent_id), 0) "
                        "<> NEW.scan_id BEGIN SELECT RAISE(ABORT, 'child before parent'); END;"
                        "CREATE TRIGGER poison BEFORE INSERT ON files WHEN NEW.name = 'poison' BEGIN "
                        "SELECT RAISE(ABORT, 'poisoned'); END;");
    }
    const ScanOutcome outcome = scan(configuration(8));
    expectOneFailedWrite(outcome, at("a3"));

    // Nothing below the failed folder was written; everything else was, each folder once.
    EXPECT_FALSE(database.folder(at("a3/b0")));
    Totals expected = walk(root(), {at("a3")});
    expected.folders += 1;   // a3's own row, written by its parent
    EXPECT_EQ(indexed(database, root()), expected);
    EXPECT_EQ(outcome.progress.foldersScanned, expected.folders);
}

TEST_F(FileScannerTest, PauseAndCancelHoldWhileTheWriterIsBehind)
{
    buildTree();
    {
        // Every folder write takes milliseconds, so the readers soon wait on a full handoff.
        SQLiteConnection outside(cachePath());
        outside.execute("CREATE TRIGGER slow AFTER UPDATE OF scan_id ON folders BEGIN "
                        "SELECT length(hex(randomblob(2000000))); END;");
    }
    const int workers = 4;
    ScriptedFileSystem fileSystem;
    {
        FileScanner scanner(database, configuration(workers), fileSystem, 1);
        fileSystem.pauseAtRead(6, [&] { scanner.pause(); });
        std::optional<ScanOutcome> outcome;
        std::jthread running([&] { outcome = scanner.scan(std::nullopt, {}, {}); });
        ASSERT_TRUE(fileSystem.waitForPause());
        ASSERT_TRUE(eventually([&] { return scanner.waitingReaders() == workers; }));
        EXPECT_LE(fileSystem.totalReads(), fileSystem.readsAtPause() + workers);
        scanner.resume();
        running.join();
        ASSERT_TRUE(outcome);
        EXPECT_EQ(outcome->status, ScanRecord::Status::completed);
        EXPECT_EQ(indexed(database, root()), walk(root()));
    }

    // Cancelled with folders still waiting for the writer: each folder read is written.
    fileSystem.forgetReads();
    std::stop_source stopper;
    fileSystem.onRead = [&](const std::string&) {
        if (fileSystem.totalReads() >= 6)
            stopper.request_stop();
    };
    FileScanner scanner(database, configuration(workers), fileSystem, 1);
    const ScanOutcome cancelled = scanner.scan(std::nullopt, {}, {}, stopper.get_token());
    EXPECT_EQ(cancelled.status, ScanRecord::Status::cancelled);
    SQLiteConnection observer(cachePath());
    EXPECT_EQ(observer.scalarInt("SELECT COUNT(*) FROM folders WHERE scan_id = ?", {cancelled.scanID}),
              fileSystem.totalReads());
    EXPECT_EQ(cancelled.progress.foldersScanned, fileSystem.totalReads());
    EXPECT_LT(fileSystem.totalReads(), static_cast<int>(walk(root()).folders) + 1);
}

TEST_F(FileScannerTest, AFolderReplacedAfterItsParentListedItIsNotFollowed)
{
    struct Case {
        const char* what;
        bool asLink;   // else another folder is moved into its place
    };
    const Case cases[] = {{"a link to a folder elsewhere", true}, {"another folder", false}};
    for (const auto& c : cases) {
        TempDir place;
        const std::string caseRoot = place.file("root");
        place.write("root/sub/own.txt", 100);
        place.write("root/keep.txt", 100);
        for (int i = 0; i < 5; ++i)
            place.write("elsewhere/secret" + std::to_string(i) + ".txt", 1000);
        ScriptedFileSystem fileSystem;
        fileSystem.onRead = [&](const std::string& path) {
            if (path != caseRoot + "/sub")
                return;
            fs::rename(path, place.file("sub-moved"));
            if (c.asLink)
                fs::create_directory_symlink(place.file("elsewhere"), path);
            else
                fs::rename(place.file("elsewhere"), path);
        };
        const ScanConfiguration config{.roots = {caseRoot}, .maxConcurrency = 2, .homeDirectory = "/home/nobody"};
        const ScanOutcome outcome = scan(config, fileSystem);
        EXPECT_EQ(outcome.status, ScanRecord::Status::completed) << c.what;
        EXPECT_EQ(outcome.progress.errors, 0) << c.what;
        // Only keep.txt: the folder's place held something else by the time it was opened.
        struct stat kept {};
        ::lstat(place.file("root/keep.txt").c_str(), &kept);
        EXPECT_EQ(indexed(database, caseRoot), (Totals{.files = 1, .allocated = kept.st_blocks * 512})) << c.what;
        EXPECT_FALSE(database.folder(caseRoot + "/sub")) << c.what;
        for (const auto& file : database.largestFiles(100))
            EXPECT_EQ(file.name.rfind("secret", 0), std::string::npos) << c.what;

        // The next scan sees the folder's place as it is now.
        fileSystem.onRead = nullptr;
        scan(config, fileSystem);
        EXPECT_EQ(indexed(database, caseRoot), walk(caseRoot)) << c.what;
    }
}

TEST_F(FileScannerTest, FoldersBeyondTheSystemsPathLengthAreScanned)
{
    tree.makeFolder("root");
    const std::string name(200, 'n');
    constexpr int levels = 24;
    std::string deep = root();
    int folder = ::open(root().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(folder, 0);
    for (int level = 0; level < levels; ++level) {
        ASSERT_EQ(::mkdirat(folder, name.c_str(), 0755), 0);
        const int next = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(folder);
        ASSERT_GE(next, 0);
        folder = next;
        deep += "/" + name;
    }
    const int file = ::openat(folder, "deep.txt", O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(file, 0);
    const std::string contents(5000, 'd');
    ASSERT_EQ(::write(file, contents.data(), contents.size()), static_cast<ssize_t>(contents.size()));
    struct stat info {};
    ::fstat(file, &info);
    ::close(file);
    ::close(folder);
    ASSERT_GT(deep.size(), 4096u);

    for (int round = 0; round < 2; ++round) {
        const ScanOutcome outcome = scan(configuration(4));
        EXPECT_EQ(outcome.progress.errors, 0) << round;
        EXPECT_EQ(outcome.progress.foldersScanned, levels + 1) << round;
        EXPECT_EQ(outcome.progress.newFiles, round == 0 ? 1 : 0) << round;
        EXPECT_EQ(indexed(database, root()), (Totals{.files = 1, .folders = levels, .allocated = info.st_blocks * 512})) << round;
        const auto stored = database.folder(deep);
        ASSERT_TRUE(stored) << round;
        EXPECT_EQ(stored->directFileCount, 1) << round;
    }
    const int top = ::open(root().c_str(), O_RDONLY | O_DIRECTORY);
    removeTree(top, name);
    ::close(top);
}

TEST_F(FileScannerTest, AFirstScanWritesExactlyTheRowsOfItsTree)
{
    buildTree();
    const std::string linked = tree.write("root/a2/b3/linked.bin", 20000);
    ASSERT_EQ(::link(linked.c_str(), at("a0/also-linked.bin").c_str()), 0);
    const ScanOutcome outcome = scan(configuration(8));

    // The rows expected, from a walk of the tree that shares nothing with the scanner.
    using FolderRow = std::tuple<std::string, std::int64_t, std::int64_t, std::int64_t, std::int64_t, std::int64_t,
                                 std::int64_t, std::int64_t, std::int64_t, std::int64_t, std::int64_t>;
    using FileRow = std::tuple<std::int64_t, std::int64_t, std::int64_t, std::int64_t, std::int64_t, std::int64_t>;
    std::map<std::string, FolderRow> folders;   // path -> parent, depth, restricted, scan, direct, total figures
    std::map<std::pair<std::string, std::string>, FileRow> files;   // size, alloc, counted, flags, inode, ms
    std::map<std::pair<dev_t, ino_t>, std::string> carriers;       // the smallest path of each linked file
    std::map<std::string, std::pair<dev_t, ino_t>> linkedFiles;     // path -> its file
    const auto repaired = [](const std::string& bytes) {
        bool valid = false;
        return std::pair{DirectoryReader::decodedName(bytes, valid), valid};
    };
    struct Sums { std::int64_t files = 0, dirs = 0, alloc = 0, size = 0; };
    std::function<Sums(const std::string&, const std::string&, const std::string&, int)> visit =
        [&](const std::string& disk, const std::string& path, const std::string& parent, int depth) -> Sums {
            Sums direct, total;
            std::vector<std::pair<std::string, std::string>> subfolders;
            for (const auto& entry : fs::directory_iterator(disk)) {
                const std::string bytes = entry.path().filename().string();
                const auto [name, valid] = repaired(bytes);
                struct stat info {};
                EXPECT_EQ(::lstat(entry.path().c_str(), &info), 0) << entry.path();
                if (S_ISDIR(info.st_mode)) {
                    subfolders.emplace_back(bytes, name);
                    continue;
                }
                std::int64_t flags = (name.front() == '.' ? 1 : 0) | (S_ISLNK(info.st_mode) ? 2 : 0) |
                                     (valid ? 0 : 8);
                const bool hardLink = S_ISREG(info.st_mode) && info.st_nlink >= 2;
                const std::string filePath = path + "/" + name;
                if (hardLink) {
                    flags |= 4;
                    auto [carrier, added] = carriers.try_emplace({info.st_dev, info.st_ino}, filePath);
                    if (!added && filePath < carrier->second)
                        carrier->second = filePath;
                    linkedFiles[filePath] = {info.st_dev, info.st_ino};
                }
                const std::int64_t alloc = info.st_blocks * 512;
                files[{path, name}] = {info.st_size, alloc, alloc, flags, hardLink ? std::int64_t(info.st_ino) : 0,
                                       // Milliseconds rounded on both sides: truncating a double can land
                                       // one below a time just under the next millisecond.
                                       std::llround((double(info.st_mtim.tv_sec) + info.st_mtim.tv_nsec / 1e9) * 1000)};
                ++direct.files;
                direct.size += info.st_size;
            }
            total = direct;
            total.size = 0;
            for (const auto& [bytes, name] : subfolders) {
                const Sums below = visit(disk + "/" + bytes, path + "/" + name, path, depth + 1);
                total.files += below.files;
                total.dirs += below.dirs + 1;
                total.alloc += below.alloc;
                total.size += below.size;
            }
            total.size += direct.size;
            folders[path] = {parent, depth, 0, outcome.scanID, direct.files,
                             static_cast<std::int64_t>(subfolders.size()), direct.size, total.files, total.dirs, 0,
                             total.size};
            return total;
        };
    visit(root(), root(), "", 0);
    // Counted bytes: a linked file's go to its smallest path only; then the folders' sums.
    std::map<std::string, std::int64_t> directAlloc;
    for (auto& [key, row] : files) {
        const std::string filePath = key.first + "/" + key.second;
        if (const auto link = linkedFiles.find(filePath); link != linkedFiles.end() && carriers[link->second] != filePath)
            std::get<2>(row) = 0;
        directAlloc[key.first] += std::get<2>(row);
    }
    for (auto& [path, row] : folders) {
        std::int64_t below = 0;
        for (const auto& [other, alloc] : directAlloc)
            if (Paths::isWithin(other, path))
                below += alloc;
        std::get<9>(row) = below;
    }

    SQLiteConnection stored(cachePath());
    std::map<std::string, FolderRow> storedFolders;
    stored.query("SELECT d.path, IFNULL(p.path, ''), d.depth, d.restricted, d.scan_id, d.direct_files, d.direct_dirs, "
                 "d.direct_size, d.total_files, d.total_dirs, d.total_alloc, d.total_size, d.direct_alloc "
                 "FROM folders d LEFT JOIN folders p ON p.id = d.parent_id",
                 {}, [&](SQLiteConnection::Statement& r) {
                     storedFolders[r.text(0)] = {r.text(1),    r.integer(2), r.integer(3),  r.integer(4),
                                                 r.integer(5), r.integer(6), r.integer(7),  r.integer(8),
                                                 r.integer(9), r.integer(10), r.integer(11)};
                     EXPECT_EQ(r.integer(12), directAlloc[r.text(0)]) << r.text(0);
                 });
    EXPECT_EQ(storedFolders, folders);
    std::map<std::pair<std::string, std::string>, FileRow> storedFiles;
    stored.query("SELECT d.path, f.name, f.size, f.alloc, f.counted_alloc, f.flags, f.inode, f.modified "
                 "FROM files f JOIN folders d ON d.id = f.folder_id",
                 {}, [&](SQLiteConnection::Statement& r) {
                     storedFiles[{r.text(0), r.text(1)}] = {r.integer(2), r.integer(3), r.integer(4), r.integer(5),
                                                            r.integer(6),
                                                            std::llround(r.real(7) * 1000)};
                 });
    EXPECT_EQ(storedFiles, files);

    // The schema at rest is the one a new cache has.
    TempDir other;
    { StorageDatabase fresh(other.file("fresh.sqlite")); }
    SQLiteConnection freshCache(other.file("fresh.sqlite"));
    const auto schema = [](SQLiteConnection& db) {
        std::vector<std::string> rows;
        db.query("SELECT type || ' ' || name || ' ' || IFNULL(sql, '') FROM sqlite_master ORDER BY name", {},
                 [&](SQLiteConnection::Statement& r) { rows.push_back(r.text(0)); });
        return rows;
    };
    EXPECT_EQ(schema(stored), schema(freshCache));
}

TEST_F(FileScannerTest, DeepTreesKeepEveryFolderUnderALowDescriptorLimit)
{
    // Every level with two folders waiting beside it, and the root.
    DeepTree::buildPastTheLimits(root());
    const DeepTree::Totals expected = DeepTree::walk(root());
    ASSERT_EQ(expected.folders + 1, 3 * DeepTree::levels + 1);
    for (const int workers : {1, 8}) {
        TempDir cacheFolder;
        StorageDatabase cache(cacheFolder.file("ScanCache.sqlite"));
        ScanOutcome outcome;
        {
            const DeepTree::LowDescriptorLimit limit(128);
            FileScanner scanner(cache, configuration(workers));
            outcome = scanner.scan(std::nullopt, {}, {});
        }
        EXPECT_EQ(outcome.status, ScanRecord::Status::completed) << workers;
        EXPECT_EQ(outcome.lostFolders, 0) << workers;
        EXPECT_EQ(outcome.progress.errors, 0) << workers;
        EXPECT_EQ(outcome.progress.restrictedFolders, 0) << workers;
        EXPECT_EQ(outcome.progress.foldersScanned, expected.folders + 1) << workers;
        EXPECT_EQ(outcome.progress.filesScanned, expected.files) << workers;
        EXPECT_EQ(outcome.progress.bytesAnalyzed, expected.allocated) << workers;
        const Totals stored = indexed(cache, root());
        EXPECT_EQ((DeepTree::Totals{.files = stored.files, .folders = stored.folders, .allocated = stored.allocated}),
                  expected)
            << workers;
        EXPECT_EQ(cache.totals().folderCount, expected.folders + 1) << workers;
        EXPECT_EQ(cache.totals().restrictedFolders, 0) << workers;
        EXPECT_TRUE(cache.recentErrors(10).empty()) << workers;
    }
    DeepTree::remove(root());
}

TEST_F(FileScannerTest, AFolderOpenedWithoutADescriptorIsTriedAgainAndNeverTakenForGone)
{
    buildTree();
    scan(configuration());
    const Totals before = indexed(database, root());

    // The system runs out for a moment: the folders are read once descriptors come free.
    ScriptedFileSystem fileSystem;
    fileSystem.passingFailures[at("a0")] = {EMFILE, 3};
    fileSystem.passingFailures[at("a1/b2")] = {ENFILE, 5};
    const ScanOutcome passing = scan(configuration(4), fileSystem);
    EXPECT_EQ(passing.status, ScanRecord::Status::completed);
    EXPECT_EQ(passing.lostFolders, 0);
    EXPECT_EQ(passing.progress.errors, 0);
    EXPECT_EQ(fileSystem.reads(at("a0")), 4);
    EXPECT_EQ(indexed(database, root()), walk(root()));
    EXPECT_TRUE(database.recentErrors(10).empty());

    // It stays out: the folder is lost, not gone; its rows stay and the scan says it is
    // incomplete, in its outcome and in the log.
    fileSystem.passingFailures[at("a2")] = {EMFILE, 1000};
    const ScanOutcome lost = scan(configuration(4), fileSystem);
    EXPECT_EQ(lost.status, ScanRecord::Status::cancelled);
    EXPECT_EQ(lost.progress.phase, ScanPhase(ScanPhase::Kind::cancelled));
    EXPECT_EQ(lost.lostFolders, 1);
    EXPECT_EQ(lost.progress.errors, 1);
    EXPECT_EQ(lost.progress.restrictedFolders, 0);
    EXPECT_EQ(indexed(database, root()), before);
    EXPECT_TRUE(database.folder(at("a2/b0")));
    EXPECT_FALSE(database.folder(at("a2"))->isRestricted);
    EXPECT_EQ(database.lastScan()->status, ScanRecord::Status::cancelled);
    EXPECT_EQ(database.history(10).size(), 2u);   // no point for the incomplete scan
    const ErrorLog logged = errorLog(database);
    const ErrorLog expected = {
        {at("a2"), "Too many open files"},
        {root(), std::string(FileScanner::incompleteScanMessage)},
    };
    EXPECT_EQ(logged, expected);

    // Resuming it reads the lost folder.
    fileSystem.passingFailures.clear();
    const ScanOutcome resumed = scan(configuration(4), fileSystem, lost.scanID);
    EXPECT_EQ(resumed.status, ScanRecord::Status::completed);
    EXPECT_EQ(indexed(database, root()), walk(root()));
}

TEST_F(FileScannerTest, ProgressNeverGoesBackThroughPausesStopsAndResumes)
{
    buildTree();
    ScriptedFileSystem fileSystem;
    std::mutex reportsLock;
    std::vector<ScanProgress> reports;
    const auto record = [&](const ScanProgress& progress) {
        std::lock_guard guard(reportsLock);
        reports.push_back(progress);
    };

    // Paused after a few folders for four reports of the ticker, 250 ms apart, so for more
    // than 750 ms; then stopped after a few more folders.
    FileScanner first(database, configuration(2), fileSystem);
    fileSystem.pauseAtRead(4, [&] { first.pause(); });
    std::stop_source stopper;
    std::optional<ScanOutcome> stopped;
    const auto started = std::chrono::steady_clock::now();
    std::jthread running([&] { stopped = first.scan(std::nullopt, {}, record, stopper.get_token()); });
    ASSERT_TRUE(fileSystem.waitForPause());
    ASSERT_TRUE(eventually([&] {
        std::lock_guard guard(reportsLock);
        return std::count_if(reports.begin(), reports.end(), [](const ScanProgress& report) {
                   return report.phase.kind() == ScanPhase::Kind::paused;
               }) >= 4;
    }));
    fileSystem.replaceOnRead([&](const std::string&) {
        if (fileSystem.totalReads() >= 12)
            stopper.request_stop();
    });
    first.resume();
    running.join();
    const double wallClock = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    ASSERT_TRUE(stopped);
    ASSERT_EQ(stopped->status, ScanRecord::Status::cancelled);
    // The time paused is not running time: what the reports show while paused stands still.
    EXPECT_LT(stopped->progress.elapsedSeconds, wallClock - 0.5);
    std::vector<double> whilePaused;
    for (const auto& report : reports)
        if (report.phase.kind() == ScanPhase::Kind::paused)
            whilePaused.push_back(report.elapsedSeconds);
    ASSERT_GE(whilePaused.size(), 2u);
    EXPECT_EQ(whilePaused.front(), whilePaused.back());

    // The resumed scan goes on from there, as the coordinator hands it the stopped progress.
    fileSystem.onRead = nullptr;
    FileScanner second(database, configuration(2), fileSystem);
    second.continueFrom(stopped->progress);
    const ScanOutcome resumed = second.scan(stopped->scanID, {}, record);
    EXPECT_EQ(resumed.status, ScanRecord::Status::completed);
    EXPECT_EQ(indexed(database, root()), walk(root()));
    EXPECT_EQ(resumed.progress.filesScanned, walk(root()).files);
    EXPECT_EQ(resumed.progress.newFiles, walk(root()).files);
    EXPECT_EQ(resumed.progress.bytesAnalyzed, walk(root()).allocated);

    using Field = std::int64_t ScanProgress::*;
    const std::pair<const char*, Field> fields[] = {
        {"files", &ScanProgress::filesScanned},   {"folders", &ScanProgress::foldersScanned},
        {"bytes", &ScanProgress::bytesAnalyzed},  {"new", &ScanProgress::newFiles},
        {"changed", &ScanProgress::changedFiles}, {"deleted", &ScanProgress::deletedFiles},
        {"errors", &ScanProgress::errors},
    };
    for (std::size_t i = 1; i < reports.size(); ++i) {
        for (const auto& [name, field] : fields)
            EXPECT_GE(reports[i].*field, reports[i - 1].*field) << name << " at report " << i;
        EXPECT_GE(reports[i].elapsedSeconds, reports[i - 1].elapsedSeconds) << "at report " << i;
    }
}

namespace {

// Every stored column a scan determines from the tree, keyed by path: row ids, scan ids and
// times of writing left out, parents by path.
std::map<std::string, std::string> storedRows(const std::string& cache)
{
    SQLiteConnection stored(cache);
    std::map<std::string, std::string> rows;
    stored.query("SELECT d.path, IFNULL(p.path, '-'), d.name, d.depth, d.modified, d.restricted, d.category, "
                 "d.direct_alloc, d.direct_size, d.direct_files, d.direct_dirs, d.total_alloc, d.total_size, "
                 "d.total_files, d.total_dirs FROM folders d LEFT JOIN folders p ON p.id = d.parent_id",
                 {}, [&](SQLiteConnection::Statement& r) {
                     std::string row = "folder parent=" + r.text(1) + " name=" + r.text(2);
                     for (int column = 3; column <= 14; ++column) {
                         const bool time = column == 4;
                         row += " " + std::to_string(time ? std::llround(r.real(column) * 1000) : r.integer(column));
                     }
                     rows["D " + r.text(0)] = row;
                 });
    stored.query("SELECT d.path, f.name, f.ext, f.size, f.alloc, f.counted_alloc, f.modified, f.created, f.accessed, "
                 "f.flags, f.inode, f.category FROM files f JOIN folders d ON d.id = f.folder_id",
                 {}, [&](SQLiteConnection::Statement& r) {
                     std::string row = "file ext=" + r.text(2);
                     for (int column = 3; column <= 11; ++column)
                         row += " " + std::to_string(column >= 6 && column <= 8 ? std::llround(r.real(column) * 1000)
                                                                                : r.integer(column));
                     const auto [at, added] = rows.emplace("F " + r.text(0) + "/" + r.text(1), row);
                     EXPECT_TRUE(added) << "two rows for " << at->first;
                 });
    return rows;
}

} // namespace

TEST_F(FileScannerTest, ARescanOfAChangedTreeStoresWhatAFreshScanStores)
{
    // Run without privileges, so that folders closed meanwhile are closed to the scan too.
    if (runAgainUnprivileged())
        return;
    buildTree();
    const std::string shared = tree.write("root/a2/b3/shared.bin", 20000);
    ASSERT_EQ(::link(shared.c_str(), at("a0/shared-too.bin").c_str()), 0);
    const std::string triple = tree.write("root/a3/b0/triple.bin", 9000);
    ASSERT_EQ(::link(triple.c_str(), at("a3/b1/triple.bin").c_str()), 0);
    ASSERT_EQ(::link(triple.c_str(), at("a3/b2/triple.bin").c_str()), 0);
    tree.write("root/a1/single.bin", 7000);
    tree.write("root/a1/b0/loner.bin", 3000);
    ASSERT_EQ(scan(configuration(4)).status, ScanRecord::Status::completed);

    // Link changes leave a file's size and times alone: only its link count moves.
    ASSERT_EQ(::unlink(shared.c_str()), 0);                                             // survivor alone
    ASSERT_EQ(::link(at("a1/single.bin").c_str(), at("a2/single-link.bin").c_str()), 0);  // gains a link
    ASSERT_EQ(::link(at("a1/b0/loner.bin").c_str(), at("a1/b0/loner-too.bin").c_str()), 0);
    ASSERT_EQ(::unlink(at("a3/b0/triple.bin").c_str()), 0);                             // carrier goes
    tree.write("root/a0/added.txt", 3000);
    tree.write("root/new/inside/deep.txt", 12);
    fs::remove(at("a0/b2/f2.txt"));
    tree.write("root/a0/b0/f0.txt", 50000);                                             // grown
    fs::rename(at("a0/b1/f1.txt"), at("a0/b1/renamed.txt"));
    fs::rename(at("a2/b0"), at("a3/moved-b0"));                                        // a folder moved
    fs::rename(at("a1/b4"), at("a1/b4-renamed"));
    fs::remove_all(at("a3/b4"));
    ASSERT_EQ(::chmod(at("a0/b3/f3.txt").c_str(), 0600), 0);
    ASSERT_EQ(::chmod(at("a2/b1").c_str(), 0500), 0);
    ASSERT_EQ(::chmod(at("a2/b2").c_str(), 0), 0);                                      // refused
    ASSERT_EQ(::chmod(at("a2/b3").c_str(), 0644), 0);                                   // listed only
    ASSERT_EQ(scan(configuration(4)).status, ScanRecord::Status::completed);

    TempDir freshFolder;
    {
        StorageDatabase fresh(freshFolder.file("fresh.sqlite"));
        FileScanner scanner(fresh, configuration(4));
        ASSERT_EQ(scanner.scan(std::nullopt, {}, {}).status, ScanRecord::Status::completed);
    }
    const auto rescanned = storedRows(cachePath());
    const auto fresh = storedRows(freshFolder.file("fresh.sqlite"));
    for (const char* folder : {"a2/b1", "a2/b2", "a2/b3"})
        ::chmod(at(folder).c_str(), 0755);
    EXPECT_TRUE(fresh.count("D " + at("a2/b2")));
    for (const auto& [key, row] : fresh) {
        const auto found = rescanned.find(key);
        if (found == rescanned.end())
            ADD_FAILURE() << "the rescan lacks " << key;
        else
            EXPECT_EQ(found->second, row) << key;
    }
    for (const auto& [key, row] : rescanned)
        EXPECT_TRUE(fresh.count(key)) << "the rescan kept " << key;
}

TEST_F(FileScannerTest, AFirstScanStoresWhatAScanIntoACacheHoldingFilesStores)
{
    buildTree();
    const std::string linked = tree.write("root/a2/b3/linked.bin", 20000);
    ASSERT_EQ(::link(linked.c_str(), at("a0/linked-too.bin").c_str()), 0);
    ASSERT_EQ(::link(linked.c_str(), at("a0/b1/linked-again.bin").c_str()), 0);
    tree.write("root/a0/b1/deeper/inside.txt", 300);
    tree.write("elsewhere/kept.txt", 100);

    // A first scan, after one of a folder inside the tree that held no files: its row is the
    // one root row stored, at the path of a subfolder the scan lists.
    const auto scanInto = [&](StorageDatabase& cache, const std::string& first) {
        FileScanner before(cache,
                           ScanConfiguration{.roots = {first}, .maxConcurrency = 4, .homeDirectory = "/home/nobody"});
        ASSERT_EQ(before.scan(std::nullopt, {}, {}).status, ScanRecord::Status::completed);
        FileScanner scanner(cache, configuration(4));
        ASSERT_EQ(scanner.scan(std::nullopt, {}, {}).status, ScanRecord::Status::completed);
    };
    scanInto(database, at("empty"));
    // The same tree into a cache that held files: every folder row is inserted by its parent's
    // sync and updated by its own.
    TempDir otherFolder;
    const std::string other = otherFolder.file("other.sqlite");
    {
        StorageDatabase cache(other);
        scanInto(cache, tree.file("elsewhere"));
    }
    const auto first = storedRows(cachePath());
    EXPECT_TRUE(first.count("D " + at("a0/b1/deeper")));
    EXPECT_EQ(first, storedRows(other));
    const CategorySums sums = categorySums(cachePath());
    EXPECT_EQ(sums.stored, sums.ofFileRows);
    EXPECT_EQ(sums.stored, categorySums(other).stored);
    EXPECT_EQ(indexed(database, root()), walk(root()));
}

TEST_F(FileScannerTest, AFolderMountedInsideItselfIsReadOnceAndTheLoopLogged)
{
    tree.write("root/sub/only.txt", 100);
    tree.makeFolder("root/sub/loop");
    tree.makeFolder("root/sub/deeper/up");
    // A bind mount keeps the device number, so only the folder's inode shows the loop.
    const std::string insideCache = cacheDir.file("inside.sqlite");
    const PrivateMount::Result result = PrivateMount::run({}, [&]() -> std::string {
        if (::mount(at("sub").c_str(), at("sub/loop").c_str(), nullptr, MS_BIND, nullptr) != 0
            || ::mount(root().c_str(), at("sub/deeper/up").c_str(), nullptr, MS_BIND, nullptr) != 0)
            return "the bind mounts failed";
        StorageDatabase inside(insideCache);
        FileScanner scanner(inside, configuration());
        return scanner.scan(std::nullopt, {}, {}).status == ScanRecord::Status::completed ? "" : "the scan did not complete";
    });
    if (!result.ran)
        GTEST_SKIP() << "bind mounts need a private mount namespace (" << result.skipReason << ")";
    ASSERT_EQ(result.failure, "");

    StorageDatabase inside(insideCache);
    const auto top = inside.folder(root());
    ASSERT_TRUE(top);
    EXPECT_EQ(top->fileCount, 1);
    EXPECT_EQ(top->folderCount, 2);   // sub and deeper
    EXPECT_FALSE(inside.folder(at("sub/loop")));
    EXPECT_FALSE(inside.folder(at("sub/deeper/up")));
    const ErrorLog logged = errorLog(inside);
    const ErrorLog expected = {
        {at("sub/loop"), "File system loop detected: the same folder as " + at("sub") + "; not entered"},
        {at("sub/deeper/up"), "File system loop detected: the same folder as " + root() + "; not entered"},
    };
    EXPECT_EQ(logged, expected);
    EXPECT_EQ(inside.lastScan()->status, ScanRecord::Status::completed);
}

TEST_F(FileScannerTest, AResumedScanKnowsTheFoldersAboveOneItOpensByPath)
{
    tree.write("root/sub/only.txt", 100);
    tree.makeFolder("root/sub/deeper/up");
    const std::string insideCache = cacheDir.file("inside.sqlite");
    const PrivateMount::Result result = PrivateMount::run({}, [&]() -> std::string {
        if (::mount(root().c_str(), at("sub/deeper/up").c_str(), nullptr, MS_BIND, nullptr) != 0)
            return "the bind mount failed";
        StorageDatabase inside(insideCache);
        // The first run stops before it has read deeper, so the resumed one opens it by path,
        // with none of the folders above it open.
        ScriptedFileSystem fileSystem;
        std::stop_source stopper;
        fileSystem.passingFailures[at("sub/deeper")] = {ENOENT, 1};
        fileSystem.onRead = [&](const std::string& path) {
            if (path == at("sub/deeper"))
                stopper.request_stop();
        };
        FileScanner first(inside, configuration(1), fileSystem);
        const ScanOutcome stopped = first.scan(std::nullopt, {}, {}, stopper.get_token());
        if (stopped.status != ScanRecord::Status::cancelled || !inside.folder(at("sub/deeper")))
            return "the first run did not stop as planned";
        fileSystem.onRead = nullptr;
        FileScanner resumed(inside, configuration(1), fileSystem);
        return resumed.scan(stopped.scanID, {}, {}).status == ScanRecord::Status::completed
                   ? ""
                   : "the resumed scan did not complete";
    });
    if (!result.ran)
        GTEST_SKIP() << "bind mounts need a private mount namespace (" << result.skipReason << ")";
    ASSERT_EQ(result.failure, "");

    StorageDatabase inside(insideCache);
    EXPECT_EQ(inside.folder(root())->folderCount, 2);
    EXPECT_FALSE(inside.folder(at("sub/deeper/up")));
    const ErrorLog expected = {
        {at("sub/deeper/up"), "File system loop detected: the same folder as " + root() + "; not entered"}};
    EXPECT_EQ(errorLog(inside), expected);
}

TEST_F(FileScannerTest, CategoryTotalsAreTheSumsOfTheFileRowsAfterEveryKindOfScan)
{
    const auto expectSums = [&](const char* after) {
        const CategorySums sums = categorySums(cachePath());
        EXPECT_EQ(sums.stored, sums.ofFileRows) << after;
        EXPECT_GE(sums.stored.size(), 3u) << after;
    };
    // With the tree as the home, its files fall in the categories of their extensions.
    const ScanConfiguration asHome{.roots = {root()}, .maxConcurrency = 4, .homeDirectory = root()};
    buildTree();
    const std::string shared = tree.write("root/a2/b3/shared.bin", 20000);
    ASSERT_EQ(::link(shared.c_str(), at("a0/shared-too.bin").c_str()), 0);
    ASSERT_EQ(scan(asHome).status, ScanRecord::Status::completed);
    expectSums("the first scan");

    // Files only: grown, added, removed, and moved to another category by a new extension.
    tree.write("root/a0/b0/f0.txt", 50000);
    tree.write("root/a1/added.zip", 3000);
    fs::remove(at("a0/b2/f2.txt"));
    fs::rename(at("a0/b1/f1.txt"), at("a0/b1/f1.jpg"));
    fs::rename(at("photo.JPG"), at("photo.txt"));
    ASSERT_EQ(::unlink(shared.c_str()), 0);
    ASSERT_EQ(scan(asHome).status, ScanRecord::Status::completed);
    expectSums("a rescan of changed files");

    ASSERT_EQ(scan(asHome).status, ScanRecord::Status::completed);
    expectSums("an unchanged rescan");

    // Folders gone, with the files in them, and one added.
    fs::remove_all(at("a3"));
    tree.write("root/new/inside/deep.mp4", 12000);
    ASSERT_EQ(scan(asHome).status, ScanRecord::Status::completed);
    expectSums("a rescan without a subtree");

    // A removal between scans, then more changes.
    database.removeItem(at("a1/added.zip"));
    tree.write("root/a2/b0/f0.txt", 1);
    ASSERT_EQ(scan(asHome).status, ScanRecord::Status::completed);
    expectSums("a rescan after a removal");

    // A cache cleared and filled again in the same session.
    database.clearAll();
    ASSERT_EQ(scan(asHome).status, ScanRecord::Status::completed);
    expectSums("a scan into the cleared cache");
}

TEST_F(FileScannerTest, EveryFolderKeepsTheDigestOfItsListingExceptThoseWithRepairedNames)
{
    buildTree();
    const std::string shared = tree.write("root/a2/b3/shared.bin", 20000);
    ASSERT_EQ(::link(shared.c_str(), at("a0/shared-too.bin").c_str()), 0);
    // Folders holding names that had to be repaired are compared with their rows every time.
    const std::set<std::string> repaired = {at("a0"), at("a1")};
    const auto undigested = [&] {
        SQLiteConnection reader(cachePath());
        std::set<std::string> paths;
        reader.query("SELECT path FROM folders WHERE id NOT IN (SELECT folder_id FROM folder_digests)", {},
                     [&](SQLiteConnection::Statement& row) { paths.insert(row.text(0)); });
        return paths;
    };

    ASSERT_EQ(scan(configuration(4)).status, ScanRecord::Status::completed);
    EXPECT_EQ(undigested(), repaired) << "after the first scan";
    tree.write("root/a0/added.txt", 3000);
    tree.write("root/a3/b0/f0.txt", 9000);
    fs::rename(at("a3/b1/f1.txt"), at("a3/b1/renamed.txt"));
    fs::remove_all(at("a3/b4"));
    fs::rename(at("a2/b0"), at("a2/moved"));
    ASSERT_EQ(::unlink(shared.c_str()), 0);
    const ScanOutcome changed = scan(configuration(4));
    EXPECT_EQ(changed.progress.newFiles, 1 + 1 + 6);
    EXPECT_EQ(changed.progress.changedFiles, 2);   // f0 grew; the link lost its partner
    EXPECT_EQ(indexed(database, root()), walk(root()));
    EXPECT_EQ(undigested(), repaired) << "after a changed rescan";
}

TEST_F(FileScannerTest, ItemsForgottenWhileAScanRunsAreFoundAgainByEveryLaterScan)
{
    buildTree();
    ASSERT_EQ(scan(configuration(4)).status, ScanRecord::Status::completed);
    // Forgotten once every folder is written, before the finish: moved to the Trash and put back.
    FileScanner scanner(database, configuration(4));
    const ScanOutcome during = scanner.scan(std::nullopt, {}, [&](const ScanProgress& progress) {
        if (progress.phase == ScanPhase(ScanPhase::Kind::finalizing)) {
            database.removeItem(at("a1/b1/f1.txt"));
            database.removeItem(at("a2"));
        }
    });
    ASSERT_EQ(during.status, ScanRecord::Status::completed);
    for (int again = 0; again < 2; ++again) {
        const ScanOutcome later = scan(configuration(4));
        EXPECT_EQ(later.progress.newFiles, again == 0 ? 1 + 5 * 6 + 1 : 0);
        EXPECT_EQ(indexed(database, root()), walk(root())) << again;
        checkSubtreeSums(database, *database.folder(root()));
    }
}

TEST_F(FileScannerTest, ARowAnotherConnectionDeletesAfterALargeFirstScanIsFoundAgain)
{
    // Enough rows that the first scan's indexes are built behind it.
    StorageDatabase large(cachePath(), StorageDatabase::Opening{.backgroundIndexRows = 500});
    for (int folder = 0; folder < 5; ++folder) {
        const std::string path = tree.makeFolder("root/d" + std::to_string(folder));
        for (int file = 0; file < 201; ++file) {
            const int fd = ::open((path + "/f" + std::to_string(file)).c_str(), O_WRONLY | O_CREAT, 0644);
            ASSERT_GE(fd, 0);
            ::close(fd);
        }
    }
    tree.write("root/d3/data.bin", 8192);
    ASSERT_EQ(FileScanner(large, configuration(4)).scan(std::nullopt, {}, {}).status, ScanRecord::Status::completed);
    // The build holds the write lock, longer than a slow machine's busy wait.
    large.waitForIndexes();
    {
        SQLiteConnection other(cachePath());
        other.run("DELETE FROM files WHERE name = 'data.bin'");
    }
    const ScanOutcome again = FileScanner(large, configuration(4)).scan(std::nullopt, {}, {});
    EXPECT_EQ(again.progress.newFiles, 1);
    EXPECT_EQ(indexed(large, root()), walk(root()));
    EXPECT_EQ(large.folder(at("d3"))->directFileCount, 202);
}

TEST_F(FileScannerTest, APausedScanThatAnotherWriterScannedMeanwhileEndsCancelledAndItsResumeCompletesIt)
{
    buildTree();
    struct Case {
        const char* what;
        std::string otherRoot;
    };
    const Case cases[] = {{.what = "the same root", .otherRoot = root()}, {.what = "a folder of it", .otherRoot = at("a2")}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(scan(configuration(2)).status, ScanRecord::Status::completed);
        database.clearErrors();
        PausedScan paused(database, configuration(2));
        ASSERT_TRUE(paused.fileSystem.waitForPause());
        // Once what was listed before the pause is stored, the paused scan writes nothing.
        ASSERT_TRUE(eventually([&] { return paused.scanner.waitingReaders() == 2; }));
        std::this_thread::sleep_for(2 * ScanWriter::idleCommitDelay);
        ASSERT_TRUE(eventually([&] { return !database.writesPending(); }));
        {
            StorageDatabase other(cachePath());
            ScanConfiguration elsewhere = configuration(2);
            elsewhere.roots = {c.otherRoot};
            EXPECT_EQ(FileScanner(other, elsewhere).scan(std::nullopt, {}, {}).status, ScanRecord::Status::completed);
        }
        paused.finish();
        const auto& outcome = paused.outcome;
        ASSERT_TRUE(outcome);
        EXPECT_EQ(outcome->status, ScanRecord::Status::cancelled);
        EXPECT_TRUE(errorLog(database).count({root(), std::string(FileScanner::otherWriterMessage)}));
        // Nothing the other writer stored went: every folder is there, synced by one or the other.
        if (c.otherRoot == root()) {
            EXPECT_EQ(indexed(database, root()), walk(root()));
        }
        const ScanOutcome resumed = scan(configuration(2), FileSystem::standard(), outcome->scanID);
        EXPECT_EQ(resumed.status, ScanRecord::Status::completed);
        EXPECT_EQ(indexed(database, root()), walk(root()));
        checkSubtreeSums(database, *database.folder(root()));
    }
}

TEST_F(FileScannerTest, ARescanSeesWhatWasWrittenToTheCacheSinceTheLastScan)
{
    buildTree();
    ASSERT_EQ(scan(configuration(4)).status, ScanRecord::Status::completed);
    ASSERT_EQ(scan(configuration(4)).status, ScanRecord::Status::completed);

    // A removal whose item is still there: the rescan finds the file again.
    database.removeItem(at("a1/b1/f1.txt"));
    ScanOutcome again = scan(configuration(4));
    EXPECT_EQ(again.progress.newFiles, 1);
    EXPECT_EQ(indexed(database, root()), walk(root()));

    // Another connection changes a stored row: the rescan puts it right.
    {
        SQLiteConnection other(cachePath());
        other.run("UPDATE files SET alloc = alloc + 4096, counted_alloc = counted_alloc + 4096 WHERE name = 'f2.txt'");
    }
    again = scan(configuration(4));
    EXPECT_EQ(again.progress.changedFiles, 4 * 5);
    EXPECT_EQ(indexed(database, root()), walk(root()));
    checkSubtreeSums(database, *database.folder(root()));

    // An emptied cache is filled again.
    database.clearAll();
    again = scan(configuration(4));
    EXPECT_EQ(again.progress.newFiles, walk(root()).files);
    EXPECT_EQ(indexed(database, root()), walk(root()));
}

namespace {

// A scan's configuration for a tree whose large folders go to the cache in parts of ten files
// (none with 0: each folder whole).
ScanConfiguration inParts(const std::string& root, std::size_t filesPerPart = 10)
{
    return ScanConfiguration{.roots = {root}, .maxConcurrency = 4, .homeDirectory = "/home/nobody",
                             .filesPerPart = filesPerPart};
}

// The digest of each folder that has one, by path.
std::map<std::string, std::int64_t> storedDigests(const std::string& cache)
{
    SQLiteConnection db(cache);
    std::map<std::string, std::int64_t> digests;
    db.query("SELECT f.path, g.digest FROM folder_digests AS g JOIN folders AS f ON f.id = g.folder_id", {},
             [&](SQLiteConnection::Statement& row) { digests[row.text(0)] = row.integer(1); });
    return digests;
}

// The file rows of the folder at `path`, and how many names among them repeat.
std::pair<std::int64_t, std::int64_t> fileRowsIn(const std::string& cache, const std::string& path)
{
    SQLiteConnection db(cache);
    const std::string of = "FROM files WHERE folder_id = (SELECT id FROM folders WHERE path = ?)";
    return {db.scalarInt("SELECT COUNT(*) " + of, {path}),
            db.scalarInt("SELECT COUNT(*) - COUNT(DISTINCT name) " + of, {path})};
}

void FileScannerTest::expectLostThenStoredByItsResume(ScriptedFileSystem& fileSystem, const std::string& folder,
                                                      std::string_view message, std::int64_t rowsLeft)
{
    const ScanOutcome outcome = scan(inParts(root()), fileSystem);
    EXPECT_EQ(outcome.status, ScanRecord::Status::cancelled);
    EXPECT_TRUE(errorLog(database).count({folder, std::string(message)}));
    EXPECT_EQ(fileRowsIn(cachePath(), folder), (std::pair<std::int64_t, std::int64_t>{rowsLeft, 0}));

    fileSystem.onEntry = nullptr;
    fileSystem.onRead = nullptr;
    EXPECT_EQ(scan(inParts(root()), fileSystem, outcome.scanID).status, ScanRecord::Status::completed);
    EXPECT_EQ(fileRowsIn(cachePath(), folder), (std::pair<std::int64_t, std::int64_t>{40, 0}));
    EXPECT_EQ(indexed(database, root()), walk(root()));
}

// `count` files of sizes that differ, in the folder `folder` of `tree`.
void writeFiles(const TempDir& tree, const std::string& folder, int count)
{
    for (int f = 0; f < count; ++f)
        tree.write(folder + "/f" + std::to_string(f) + ".txt", static_cast<std::size_t>(1 + 613 * f));
}

} // namespace

TEST_F(FileScannerTest, AFolderHandedInPartsIsStoredAsOneHandedWhole)
{
    struct Case {
        const char* what;
        bool newInARescan;   // else in a first scan
    };
    for (const Case c : {Case{.what = "a first scan", .newInARescan = false},
                         Case{.what = "a new folder in a rescan", .newInARescan = true}}) {
        SCOPED_TRACE(c.what);
        TempDir disk;
        const std::string top = disk.file("top");
        disk.write("top/small/one.txt", 300);
        // One cache copied from the other, so that both take their digests under one seed.
        TempDir caches;
        const std::string whole = caches.file("whole.sqlite");
        const std::string parted = caches.file("parted.sqlite");
        { StorageDatabase made(whole); }
        fs::copy_file(whole, parted);
        StorageDatabase wholeCache(whole);
        StorageDatabase partedCache(parted);
        const auto scanBoth = [&] {
            const ScanOutcome one = FileScanner(wholeCache, inParts(top, 0)).scan(std::nullopt, {}, {});
            const ScanOutcome other = FileScanner(partedCache, inParts(top)).scan(std::nullopt, {}, {});
            EXPECT_EQ(one.status, ScanRecord::Status::completed);
            EXPECT_EQ(other.status, ScanRecord::Status::completed);
            const auto figures = [](const ScanProgress& p) {
                return std::vector<std::int64_t>{p.foldersScanned, p.filesScanned, p.bytesAnalyzed, p.newFiles,
                                                 p.changedFiles,   p.deletedFiles, p.errors};
            };
            EXPECT_EQ(figures(one.progress), figures(other.progress));
        };
        if (c.newInARescan)
            scanBoth();
        // Plain files; with multiply linked ones, whose digest is taken after the walk; with
        // names repaired alike, which become distinct; and a subfolder below parts.
        writeFiles(disk, "top/plain", 34);
        writeFiles(disk, "top/linked", 25);
        ASSERT_EQ(::link(disk.file("top/linked/f3.txt").c_str(), disk.file("top/linked/again.txt").c_str()), 0);
        writeFiles(disk, "top/repaired", 23);
        disk.write("top/repaired/x\xFF.txt", 10);
        disk.write("top/repaired/x\xFE.txt", 20);
        disk.write("top/plain/below/inside.txt", 40);
        scanBoth();
        EXPECT_EQ(storedRows(parted), storedRows(whole));
        const auto digests = storedDigests(parted);
        EXPECT_EQ(digests, storedDigests(whole));
        EXPECT_TRUE(digests.count(top + "/plain") && digests.count(top + "/linked"));
        EXPECT_EQ(fileRowsIn(parted, top + "/repaired"), (std::pair<std::int64_t, std::int64_t>{25, 0}));
        EXPECT_EQ(indexed(partedCache, top), walk(top));
    }
}

TEST_F(FileScannerTest, AScanStoppedInsideAFolderHandedInPartsLeavesItUnvisitedAndItsResumeStoresItOnce)
{
    for (const bool newInARescan : {false, true}) {
        SCOPED_TRACE(newInARescan ? "a new folder in a rescan" : "a first scan");
        TempDir disk;
        TempDir caches;
        const std::string top = disk.file("top");
        const std::string big = top + "/big";
        const std::string cache = caches.file("ScanCache.sqlite");
        StorageDatabase storage(cache);
        disk.write("top/small/one.txt", 300);
        if (newInARescan) {
            ASSERT_EQ(FileScanner(storage, inParts(top)).scan(std::nullopt, {}, {}).status,
                      ScanRecord::Status::completed);
        }
        writeFiles(disk, "top/big", 60);

        ScriptedFileSystem fileSystem;
        std::stop_source stopper;
        std::atomic<int> listed = 0;
        fileSystem.onEntry = [&](const std::string& path) {
            if (path.starts_with(big + "/") && ++listed == 35)
                stopper.request_stop();
        };
        const ScanOutcome stopped =
            FileScanner(storage, inParts(top), fileSystem).scan(std::nullopt, {}, {}, stopper.get_token());
        ASSERT_EQ(stopped.status, ScanRecord::Status::cancelled);
        // Its first parts are stored; the folder is not taken as visited.
        const auto [partsStored, repeated] = fileRowsIn(cache, big);
        EXPECT_GT(partsStored, 0);
        EXPECT_LT(partsStored, 60);
        SQLiteConnection db(cache);
        EXPECT_EQ(db.scalarInt("SELECT COUNT(*) FROM folders WHERE path = ? AND scan_id = ?", {big, stopped.scanID}), 0);

        fileSystem.onEntry = nullptr;
        const ScanOutcome resumed = FileScanner(storage, inParts(top), fileSystem).scan(stopped.scanID, {}, {});
        EXPECT_EQ(resumed.status, ScanRecord::Status::completed);
        EXPECT_EQ(fileRowsIn(cache, big), (std::pair<std::int64_t, std::int64_t>{60, 0}));
        EXPECT_EQ(indexed(storage, top), walk(top));
        checkSubtreeSums(storage, *storage.folder(top));
    }
}

TEST_F(FileScannerTest, AFolderWhoseRowsAnotherWriterFillsWhileItsPartsAreListedIsLostNotDoubled)
{
    const std::string big = at("big");
    tree.makeFolder("root/big");
    tree.write("root/small/one.txt", 300);   // the rescan is no bulk load, which would compare nothing
    ASSERT_EQ(scan(inParts(root())).status, ScanRecord::Status::completed);
    writeFiles(tree, "root/big", 40);

    // The other writer's row is in before the writer's first part, and after the reader looked.
    SQLiteConnection other(cachePath());
    ScriptedFileSystem fileSystem;
    std::atomic<int> listed = 0;
    fileSystem.onEntry = [&](const std::string& path) {
        if (!path.starts_with(big + "/"))
            return;
        if (++listed == 1) {
            other.execute("BEGIN IMMEDIATE;");
            other.run("INSERT INTO files(folder_id, name, ext, size, alloc, counted_alloc) "
                      "SELECT id, 'f0.txt', 'txt', 1, 4096, 4096 FROM folders WHERE path = ?",
                      {big});
        } else if (listed == 12) {
            other.execute("COMMIT;");
        }
    };
    expectLostThenStoredByItsResume(fileSystem, big, ScanWriter::rowsAddedMessage, 1);
}

TEST_F(FileScannerTest, AFolderWhosePartsABatchLostIsNeverTakenAsVisitedWithRowsMissing)
{
    const std::string big = at("big");
    const std::string other = at("other");
    tree.write("root/other/kept.txt", 300);
    tree.makeFolder("root/big");   // its row is stored, and only its parts' rows can go
    // Roots of their own, so that each waits in the queue for any reader instead of in the
    // hands of the reader that blocks in the other.
    ScanConfiguration config = inParts(big);
    config.roots = {big, other};
    ASSERT_EQ(scan(config).status, ScanRecord::Status::completed);
    writeFiles(tree, "root/big", 40);
    tree.write("root/other/boom", 10);
    SQLiteConnection outside(cachePath());
    // SQLite undoes the whole open batch, as on a full disk or an I/O error.
    outside.execute("CREATE TRIGGER failing BEFORE INSERT ON files WHEN NEW.name = 'boom' "
                    "BEGIN SELECT RAISE(ROLLBACK, 'lost'); END;");

    // The batch goes once the first part of big is written, before its last piece.
    ScriptedFileSystem fileSystem;
    std::atomic<int> listed = 0;
    fileSystem.onRead = [&](const std::string& path) {
        if (path == other) {
            EXPECT_TRUE(eventually([&] { return listed >= 15; }));
        }
    };
    fileSystem.onEntry = [&](const std::string& path) {
        if (path.starts_with(big + "/") && ++listed == 15) {
            EXPECT_TRUE(eventually([&] {
                const auto logged = database.recentErrors(10);
                return std::any_of(logged.begin(), logged.end(), [&](const auto& e) { return e.path == other; });
            }));
        }
    };
    const ScanOutcome outcome = scan(config, fileSystem);
    EXPECT_EQ(outcome.status, ScanRecord::Status::cancelled);
    const bool visited = outside.scalarInt("SELECT COUNT(*) FROM folders WHERE path = ? AND scan_id = ?",
                                           {big, outcome.scanID}) > 0;
    if (visited) {
        EXPECT_EQ(fileRowsIn(cachePath(), big), (std::pair<std::int64_t, std::int64_t>{40, 0}));
    }

    outside.execute("DROP TRIGGER failing;");
    fileSystem.onRead = nullptr;
    fileSystem.onEntry = nullptr;
    EXPECT_EQ(scan(config, fileSystem, outcome.scanID).status, ScanRecord::Status::completed);
    EXPECT_EQ(fileRowsIn(cachePath(), big), (std::pair<std::int64_t, std::int64_t>{40, 0}));
    for (const auto& path : config.roots)
        EXPECT_EQ(indexed(database, path), walk(path));
}

namespace {

// The file rows of the folder at `path` by name: id, size, and when each was written.
std::map<std::string, std::tuple<std::int64_t, std::int64_t, double>> fileRowsByName(const std::string& cache,
                                                                                   const std::string& path)
{
    SQLiteConnection db(cache);
    std::map<std::string, std::tuple<std::int64_t, std::int64_t, double>> rows;
    db.query("SELECT name, id, size, scanned_at FROM files WHERE folder_id = (SELECT id FROM folders WHERE path = ?)",
             {path}, [&](SQLiteConnection::Statement& row) {
                 rows[row.text(0)] = {row.integer(1), row.integer(2), row.real(3)};
             });
    return rows;
}

} // namespace

TEST_F(FileScannerTest, ALargeIndexedFolderIsReadWholeAgainOnlyWhereItsFilesDiffer)
{
    struct Case {
        const char* what;
        std::function<void(const TempDir&)> change;   // of the tree, before the rescan
        int reads;                                     // of the large folder by the rescan
        std::set<std::string> rewritten;               // its file rows that go or are written again
    };
    const std::vector<Case> cases = {
        {.what = "unchanged", .change = [](const TempDir&) {}, .reads = 1, .rewritten = {}},
        {.what = "a file changed",
         .change = [](const TempDir& disk) { disk.write("top/big/f5.txt", 9000); },
         .reads = 2,
         .rewritten = {"f5.txt"}},
        {.what = "a file added",
         .change = [](const TempDir& disk) { disk.write("top/big/new.txt", 70); },
         .reads = 2,
         .rewritten = {"new.txt"}},
        {.what = "a file removed",
         .change = [](const TempDir& disk) { fs::remove(disk.file("top/big/f7.txt")); },
         .reads = 2,
         .rewritten = {"f7.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir disk;
        TempDir caches;
        const std::string top = disk.file("top");
        const std::string big = top + "/big";
        const std::string cache = caches.file("ScanCache.sqlite");
        StorageDatabase storage(cache);
        disk.write("top/small/one.txt", 300);
        writeFiles(disk, "top/big", 40);
        ASSERT_EQ(FileScanner(storage, inParts(top)).scan(std::nullopt, {}, {}).status, ScanRecord::Status::completed);
        const auto rowsBefore = storedRows(cache);
        const auto filesBefore = fileRowsByName(cache, big);
        const auto digestsBefore = storedDigests(cache);
        ASSERT_TRUE(digestsBefore.count(big));

        c.change(disk);
        ScriptedFileSystem fileSystem;
        const ScanOutcome rescan = FileScanner(storage, inParts(top), fileSystem).scan(std::nullopt, {}, {});
        ASSERT_EQ(rescan.status, ScanRecord::Status::completed);
        EXPECT_EQ(fileSystem.reads(big), c.reads);
        EXPECT_EQ(indexed(storage, top), walk(top));
        checkSubtreeSums(storage, *storage.folder(top));
        SQLiteConnection db(cache);
        EXPECT_EQ(db.scalarInt("SELECT scan_id FROM folders WHERE path = ?", {big}), rescan.scanID);
        // The rows of the files left alone are untouched: neither read to be written nor written.
        const auto filesAfter = fileRowsByName(cache, big);
        std::set<std::string> rewritten;
        for (const auto& [name, row] : filesBefore)
            if (const auto after = filesAfter.find(name); after == filesAfter.end() || after->second != row)
                rewritten.insert(name);
        for (const auto& [name, row] : filesAfter)
            if (!filesBefore.count(name))
                rewritten.insert(name);
        EXPECT_EQ(rewritten, c.rewritten);
        EXPECT_EQ(static_cast<std::ptrdiff_t>(filesAfter.size()),
                  std::distance(fs::directory_iterator(big), fs::directory_iterator{}));
        if (c.rewritten.empty()) {
            EXPECT_EQ(storedRows(cache), rowsBefore);
            EXPECT_EQ(storedDigests(cache), digestsBefore);
        } else {
            EXPECT_TRUE(storedDigests(cache).count(big));
        }
    }
}

TEST_F(FileScannerTest, ALargeFolderFoundAsStoredIsLostNotComparedWhereAnotherWriterChangedItsRowsSince)
{
    const std::string big = at("big");
    tree.write("root/small/one.txt", 300);
    writeFiles(tree, "root/big", 40);
    tree.write("root/big/below/inside.txt", 10);
    ASSERT_EQ(scan(inParts(root())).status, ScanRecord::Status::completed);

    // The other writer holds the cache's write lock from the reader's listing of big on, and
    // commits once big's reader has compared it, so that the writer meets big only after.
    SQLiteConnection other(cachePath());
    ScriptedFileSystem fileSystem;
    std::atomic<int> listed = 0;
    fileSystem.onEntry = [&](const std::string& path) {
        if (path.starts_with(big + "/") && ++listed == 1) {
            other.execute("BEGIN IMMEDIATE;");
            other.run("UPDATE files SET modified = modified + 1 WHERE name = 'f0.txt' "
                      "AND folder_id = (SELECT id FROM folders WHERE path = ?)",
                      {big});
        }
    };
    fileSystem.onRead = [&](const std::string& path) {
        if (path == big + "/below")
            other.execute("COMMIT;");
    };
    expectLostThenStoredByItsResume(fileSystem, big, ScanWriter::rowsChangedMessage, 40);
}
