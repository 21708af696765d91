#include "index/DirectorySync.h"
#include "index/StorageDatabase.h"
#include "scanning/FileScanner.h"
#include "support/TempDir.h"
#include "ScanTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

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
    return {folder->fileCount, folder->folderCount, folder->totalAllocated};
}

// Every folder's totals are the sums over its subtree; returns the subtree's figures.
Totals checkSubtreeSums(StorageDatabase& database, const FolderItem& folder)
{
    Totals sums{folder.directFileCount, 0, folder.directAllocated};
    for (const auto& child : database.childFolders(folder.id, 1'000'000)) {
        const Totals below = checkSubtreeSums(database, child);
        sums.files += below.files;
        sums.folders += below.folders + 1;
        sums.allocated += below.allocated;
    }
    EXPECT_EQ((Totals{folder.fileCount, folder.folderCount, folder.totalAllocated}), sums) << folder.path;
    return sums;
}

class FileScannerTest : public ::testing::Test {
protected:
    FileScannerTest() : database(cacheDir.file("ScanCache.sqlite")) {}

    ScanConfiguration configuration(int workers = 8, std::vector<std::string> excluded = {}) const
    {
        return ScanConfiguration{{root()}, std::move(excluded), workers, "/home/nobody"};
    }

    ScanOutcome scan(const ScanConfiguration& config, const FileSystem& fileSystem = FileSystem::standard(),
                     std::optional<std::int64_t> resume = std::nullopt, std::stop_token stop = {})
    {
        FileScanner scanner(database, config, fileSystem);
        return scanner.scan(resume, {}, {}, stop);
    }

    std::string root() const { return tree.file("root"); }
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
    const ScanOutcome first = scan(configuration());
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
        const ScanOutcome again = scan(configuration());
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
    const ScanOutcome changed = scan(configuration());
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

    std::set<std::pair<std::string, std::string>> logged;
    for (const auto& entry : database.recentErrors(100))
        logged.insert({entry.path, entry.message});
    const std::set<std::pair<std::string, std::string>> expected = {
        {at("a1/b1"), "Input/output error"},
        {plainFile, "Scan location is not a folder"},
        {tree.file("refused-root"), "Access restricted"},
    };
    EXPECT_EQ(logged, expected);
}

TEST_F(FileScannerTest, ACancelledScanIsResumedWithoutReadingFinishedFoldersAgain)
{
    buildTree();
    const int folders = static_cast<int>(walk(root()).folders) + 1;
    std::stop_source stopper;
    ScriptedFileSystem fileSystem;
    std::atomic<int> started{0};
    fileSystem.onRead = [&](const std::string&) {
        if (++started == 8)
            stopper.request_stop();
    };
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
    std::atomic<int> readsAtPause{-1};
    fileSystem.onRead = [&](const std::string&) {
        int unset = -1;
        const int reads = fileSystem.totalReads();
        if (reads >= 5 && readsAtPause.compare_exchange_strong(unset, reads))
            scanner.pause();
    };
    std::mutex phasesLock;
    std::vector<ScanPhase::Kind> phases;
    std::optional<ScanOutcome> outcome;
    std::jthread running([&] {
        outcome = scanner.scan(std::nullopt, {}, [&](const ScanProgress& p) {
            std::lock_guard guard(phasesLock);
            phases.push_back(p.phase.kind());
        });
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_LE(fileSystem.totalReads(), readsAtPause + workers);
    {
        std::lock_guard guard(phasesLock);
        EXPECT_EQ(phases.back(), ScanPhase::Kind::paused);
    }
    scanner.resume();
    running.join();
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->status, ScanRecord::Status::completed);
    EXPECT_EQ(indexed(database, root()), walk(root()));

    FileScanner paused(database, configuration(workers), fileSystem);
    paused.pause();
    fileSystem.onRead = nullptr;
    fileSystem.forgetReads();
    std::stop_source stopper;
    std::jthread cancelling([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stopper.request_stop();
    });
    const ScanOutcome ended = paused.scan(std::nullopt, {}, {}, stopper.get_token());
    EXPECT_EQ(ended.status, ScanRecord::Status::cancelled);
    EXPECT_EQ(fileSystem.totalReads(), 0);
}

TEST_F(FileScannerTest, RootsThatDifferOnlyInLetterCaseAreBothKept)
{
    tree.write("root/Data/upper.txt", 1000);
    tree.write("root/data/lower.txt", 2000);
    ScanConfiguration config{{at("Data"), at("data")}, {}, 2, "/home/nobody"};
    for (int round = 0; round < 2; ++round) {
        scan(config);
        ASSERT_TRUE(database.folder(at("Data"))) << round;
        ASSERT_TRUE(database.folder(at("data"))) << round;
        EXPECT_EQ(database.folder(at("Data"))->fileCount, 1);
        EXPECT_EQ(database.folder(at("data"))->fileCount, 1);
    }
}

TEST_F(FileScannerTest, SubfoldersWhoseRepairedNamesCollideAreReadOnce)
{
    tree.write("root/x\xFF/one.txt", 1000);
    tree.write("root/x\xFE/one.txt", 2000);
    tree.write("root/x\xFE/two.txt", 3000);
    tree.write("root/x\xFE/below/three.txt", 4000);
    ScriptedFileSystem fileSystem;
    for (int round = 0; round < 2; ++round) {
        fileSystem.forgetReads();
        const ScanOutcome outcome = scan(configuration(4), fileSystem);
        EXPECT_EQ(outcome.status, ScanRecord::Status::completed);
        EXPECT_EQ(fileSystem.reads(at("x\xFF")) + fileSystem.reads(at("x\xFE")), 1) << round;
        // Whichever came first owns the row, with its own files only.
        const auto kept = database.folder(at("x\xEF\xBF\xBD"));
        ASSERT_TRUE(kept) << round;
        const bool firstIsFF = fileSystem.reads(at("x\xFF")) == 1;
        EXPECT_EQ(kept->fileCount, firstIsFF ? 1 : 3) << round;
        EXPECT_EQ(outcome.progress.filesScanned, kept->fileCount) << round;
        EXPECT_EQ(outcome.progress.foldersScanned, firstIsFF ? 2 : 3) << round;
        EXPECT_EQ(outcome.progress.errors, 0) << round;
    }
    const auto logged = database.recentErrors(10);
    ASSERT_FALSE(logged.empty());
    EXPECT_EQ(logged.front().message, DirectorySync::duplicateFolderMessage);
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
    EXPECT_EQ(outcome.status, ScanRecord::Status::completed);
    EXPECT_EQ(outcome.progress.errors, 2);
    // Nothing below the lost folders was visited, yet nothing of them is forgotten.
    EXPECT_EQ(indexed(database, root()), before);
    EXPECT_TRUE(database.folder(at("a1/b0")));
    EXPECT_TRUE(database.folder(at("a2/b3")));
    std::set<std::string> logged;
    for (const auto& entry : database.recentErrors(10))
        logged.insert(entry.path);
    EXPECT_EQ(logged, (std::set<std::string>{at("a1"), at("a2/b3")}));

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
