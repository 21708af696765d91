#include "scanning/FileScanner.h"
#include "scanning/FinderActions.h"
#include "scanning/SecurityUtils.h"
#include "scanning/TrashService.h"

#include "index/StorageDatabase.h"
#include "platform/DesktopServices.h"
#include "platform/FreedesktopTrasher.h"
#include "support/PrivateMount.h"
#include "support/RecordingDesktop.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"
#include "DeepTree.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <stdexcept>
#include <stop_token>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The path rules protect /tmp and /var, so the items to trash live in a folder the rules
// allow: beside the test program, else in /mnt, /srv or /opt.
std::unique_ptr<TempDir> allowedScratch()
{
    std::unique_ptr<TempDir> scratch;
    for (const std::string& parent : {fs::current_path().string(), std::string("/mnt"), std::string("/srv"),
                                      std::string("/opt")}) {
        const PathSafety verdict = SecurityUtils::evaluate(parent + "/probe/item", parent + "/probe", {}, false);
        if (verdict.isProtected() || ::access(parent.c_str(), W_OK) != 0)
            continue;
        ScopedEnvironment temporary("TMPDIR", parent);
        try {
            scratch = std::make_unique<TempDir>();
        } catch (...) {
        }
        if (scratch)
            break;
    }
    return scratch;
}

TrashCandidate candidate(const std::string& path)
{
    return {path, fs::path(path).filename().string(), std::nullopt, fs::is_directory(fs::symlink_status(path)),
            std::nullopt};
}

struct FolderTotals {
    std::int64_t allocated, size, files, folders, directAllocated, directFiles;
    friend bool operator==(const FolderTotals&, const FolderTotals&) = default;
};

std::ostream& operator<<(std::ostream& out, const FolderTotals& t)
{
    return out << t.allocated << "/" << t.size << "/" << t.files << "/" << t.folders << " direct " << t.directAllocated
               << "/" << t.directFiles;
}

std::map<std::string, FolderTotals> everyFolder(StorageDatabase& db)
{
    std::map<std::string, FolderTotals> result;
    std::vector<FolderItem> pending = db.rootFolders();
    while (!pending.empty()) {
        const FolderItem folder = pending.back();
        pending.pop_back();
        result[folder.path] = {folder.totalAllocated, folder.totalSize, folder.fileCount,
                               folder.folderCount, folder.directAllocated, folder.directFileCount};
        for (auto& child : db.childFolders(folder.id, 1'000'000))
            pending.push_back(std::move(child));
    }
    return result;
}

class TrashServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        scratch = allowedScratch();
        if (!scratch)
            GTEST_SKIP() << "no folder that the path rules allow to change";
        home = scratch->makeFolder("home");
        homeVariable = std::make_unique<ScopedEnvironment>("HOME", home);
        dataVariable = std::make_unique<ScopedEnvironment>("XDG_DATA_HOME", home + "/.local/share");
    }

    ScanOutcome scan(StorageDatabase& db, const std::string& root)
    {
        ScanConfiguration configuration;
        configuration.roots = {root};
        configuration.maxConcurrency = 2;
        configuration.homeDirectory = home;
        FileScanner scanner(db, configuration);
        return scanner.scan(std::nullopt, [] { return FileScanner::VolumeUsage{}; }, {});
    }

    std::unique_ptr<TempDir> scratch;
    std::string home;
    std::unique_ptr<ScopedEnvironment> homeVariable;
    std::unique_ptr<ScopedEnvironment> dataVariable;
    FreedesktopTrasher trasher;
};

} // namespace

TEST_F(TrashServiceTest, JudgesEveryItemAgainBeforeMovingIt)
{
    const std::string plain = scratch->write("home/Downloads/setup.bin", 5000);
    const std::string key = scratch->write("home/.ssh/id_old", "key");   // a caution, moved all the same
    const std::string documents = scratch->makeFolder("home/Documents");
    const std::string gone = scratch->file("home/Downloads/deleted-since.txt");
    const std::string own = SecurityUtils::appOwnedPaths().back() + "/ScanCache.sqlite";
    // A folder that became a link to a system folder after the list was made.
    const std::string swapped = scratch->file("home/Downloads/swapped");
    ASSERT_EQ(::symlink("/etc", swapped.c_str()), 0);
    std::vector<TrashCandidate> candidates{candidate(documents), candidate(plain), candidate(gone),
                                           candidate(swapped + "/hostname"), candidate(key), candidate("relative/x"),
                                           candidate(own)};
    ASSERT_TRUE(own.rfind(home, 0) == 0) << own;
    scratch->write(own.substr(scratch->path().size() + 1), "cache");

    const TrashOutcome outcome = TrashService::moveToTrash(candidates, nullptr, trasher);

    EXPECT_EQ(outcome.moved, (std::vector<std::string>{plain, key}));
    const std::vector<TrashOutcome::Failure> failures{
        {documents, "Protected by the system: this is a standard folder your system expects to exist. You can remove items "
                    "inside it instead."},
        {gone, "The item no longer exists or cannot be read."},
        {swapped + "/hostname", "Protected by the system: items in /etc are part of the operating system."},
        {"relative/x", "Only absolute paths can be modified."},
        {own, "Kestrelmoor does not modify its own application or database files."},
    };
    EXPECT_EQ(outcome.failures, failures);
    EXPECT_TRUE(fs::exists(documents));
    EXPECT_TRUE(fs::exists(own));
    EXPECT_TRUE(fs::exists("/etc/hostname") || !fs::exists(fs::symlink_status("/etc/hostname")));
    EXPECT_FALSE(fs::exists(plain));
    EXPECT_TRUE(fs::exists(home + "/.local/share/Trash/files/setup.bin"));
    EXPECT_TRUE(fs::exists(home + "/.local/share/Trash/info/id_old.trashinfo"));

    EXPECT_EQ(TrashService::moveToTrash({}, nullptr, trasher), TrashOutcome{});
}

TEST_F(TrashServiceTest, TheIndexAfterwardsMatchesARescan)
{
    const std::string root = scratch->makeFolder("data");
    scratch->write("data/keep.txt", 10'000);
    const std::string movie = scratch->write("data/media/movie.mp4", 300'000);
    scratch->write("data/media/song.mp3", 40'000);
    const std::string project = scratch->makeFolder("data/work/project");
    scratch->write("data/work/project/src/main.c", 2'000);
    scratch->write("data/work/project/src/lib/util.c", 3'000);
    scratch->write("data/work/project/README", 500);
    scratch->write("data/work/notes.md", 700);
    const std::string bundle = scratch->write("data/work/bundle.tar", 50'000);
    const std::string symlink = scratch->file("data/work/to-keep");
    ASSERT_EQ(::symlink("../keep.txt", symlink.c_str()), 0);

    StorageDatabase trashed(scratch->file("trashed.sqlite"));
    ASSERT_EQ(scan(trashed, root).status, ScanRecord::Status::completed);
    const auto before = trashed.totals();

    const TrashOutcome outcome = TrashService::moveToTrash(
        {candidate(movie), candidate(project), candidate(symlink), candidate(bundle)}, &trashed, trasher);
    ASSERT_TRUE(outcome.failures.empty()) << outcome.failures.front().reason;
    EXPECT_EQ(outcome.moved.size(), 4u);
    EXPECT_TRUE(fs::exists(scratch->file("data/keep.txt")));   // the symbolic link's target stays

    StorageDatabase rescanned(scratch->file("rescanned.sqlite"));
    ASSERT_EQ(scan(rescanned, root).status, ScanRecord::Status::completed);

    EXPECT_EQ(everyFolder(trashed), everyFolder(rescanned));
    EXPECT_EQ(trashed.totals(), rescanned.totals());
    EXPECT_LT(trashed.totals().allocatedBytes, before.allocatedBytes);
    auto categories = [](StorageDatabase& db) {
        std::map<StorageCategory, std::pair<std::int64_t, int>> result;
        for (const auto& usage : db.categoryTotals())
            result[usage.category] = {usage.bytes, usage.fileCount};
        return result;
    };
    EXPECT_EQ(categories(trashed), categories(rescanned));
    EXPECT_FALSE(trashed.folder(project));
}

namespace {

// The platform's Trash failing in an unexpected way on one item.
struct ThrowingTrasher : FileTrasher {
    FileTrasher& real;
    std::string throwsOn;
    ThrowingTrasher(FileTrasher& real, std::string throwsOn) : real(real), throwsOn(std::move(throwsOn)) {}
    std::optional<std::string> moveToTrash(const std::string& path, const Expected& expected = {}) override
    {
        if (path == throwsOn)
            throw std::runtime_error("broken");
        return real.moveToTrash(path, expected);
    }
};

} // namespace

TEST_F(TrashServiceTest, AnItemThatFailsUnexpectedlyStopsNeitherTheOthersNorTheIndexUpdate)
{
    const std::string root = scratch->makeFolder("data");
    const std::string first = scratch->write("data/first.bin", 5000);
    const std::string odd = scratch->write("data/odd.bin", 5000);
    const std::string last = scratch->write("data/last.bin", 5000);
    StorageDatabase db(scratch->file("index.sqlite"));
    ASSERT_EQ(scan(db, root).status, ScanRecord::Status::completed);

    ThrowingTrasher throwing(trasher, odd);
    const TrashOutcome outcome =
        TrashService::moveToTrash({candidate(first), candidate(odd), candidate(last)}, &db, throwing);

    EXPECT_EQ(outcome.moved, (std::vector<std::string>{first, last}));
    EXPECT_EQ(outcome.failures, (std::vector<TrashOutcome::Failure>{{odd, TrashService::couldNotMoveReason}}));
    EXPECT_EQ(db.folder(root)->fileCount, 1);
}

TEST_F(TrashServiceTest, RevealsOnlyWhatExistsAndOpensTheTrashFiles)
{
    const std::string present = scratch->write("home/a.txt", "a");
    const std::string broken = scratch->file("home/broken");
    ASSERT_EQ(::symlink("/nonexistent", broken.c_str()), 0);
    RecordingDesktop desktop;

    FinderActions::reveal({broken, scratch->file("home/missing")}, desktop);
    EXPECT_EQ(desktop.beeps, 1);
    EXPECT_TRUE(desktop.revealed.empty());

    FinderActions::reveal({scratch->file("home/missing"), present, home}, desktop);
    EXPECT_EQ(desktop.revealed, (std::vector<std::vector<std::string>>{{present, home}}));

    FinderActions::openTrash(desktop, trasher);
    EXPECT_EQ(desktop.openedFolders.back(), home + "/.local/share/Trash");
    ASSERT_FALSE(TrashService::moveToTrash({candidate(present)}, nullptr, trasher).moved.empty());
    FinderActions::openTrash(desktop, trasher);
    EXPECT_EQ(desktop.openedFolders.back(), home + "/.local/share/Trash/files");
}

namespace {

const std::string unreadableName =
    "A name on this item's path could not be read exactly, so Kestrelmoor cannot be sure which item it would "
    "move. Rename it in your file manager first.";

std::string contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST_F(TrashServiceTest, ARepairedNameOnThePathNeverLetsAnotherItemMove)
{
    // "a\xFF" repairs to "a\uFFFD", the very name of its sibling, and is kept apart as "a\uFFFD (ff)":
    // neither path names the item it is shown for safely enough to move it.
    const std::string root = scratch->makeFolder("data");
    const std::string picked = scratch->write("data/a\xFF/victim", 303'000);
    const std::string sibling = scratch->write("data/a\xEF\xBF\xBD/victim", 50'000);
    const std::string ownName = scratch->write("data/plain/bad\xFE.txt", 700);
    StorageDatabase db(scratch->file("index.sqlite"));
    ASSERT_EQ(scan(db, root).status, ScanRecord::Status::completed);
    std::vector<TrashCandidate> shown;
    for (const FileItem& file : db.largestFiles(10))
        if (file.name != "index.sqlite")
            shown.push_back(candidate((file.folderPath == "/" ? "" : file.folderPath) + "/" + file.name));
    ASSERT_EQ(shown.size(), 3u);

    const TrashOutcome outcome = TrashService::moveToTrash(shown, &db, trasher);

    EXPECT_TRUE(outcome.moved.empty());
    ASSERT_EQ(outcome.failures.size(), 3u);
    for (const auto& failure : outcome.failures)
        EXPECT_EQ(failure.reason, unreadableName) << failure.path;
    EXPECT_EQ(fs::file_size(picked), 303'000u);
    EXPECT_EQ(fs::file_size(sibling), 50'000u);
    EXPECT_EQ(fs::file_size(ownName), 700u);
    EXPECT_EQ(db.largestFiles(10).size(), 3u);
}

TEST_F(TrashServiceTest, AFolderSwappedForALinkAfterThePickIsRefused)
{
    const std::string root = scratch->makeFolder("data");
    const std::string picked = scratch->write("data/sub/file.txt", 4000);
    const std::string outside = scratch->write("outside/sub/file.txt", "not picked");
    StorageDatabase db(scratch->file("index.sqlite"));
    ASSERT_EQ(scan(db, root).status, ScanRecord::Status::completed);
    ASSERT_EQ(::rename(scratch->file("data/sub").c_str(), scratch->file("data/sub.old").c_str()), 0);
    ASSERT_EQ(::symlink(scratch->file("outside/sub").c_str(), scratch->file("data/sub").c_str()), 0);

    const TrashOutcome outcome = TrashService::moveToTrash({candidate(picked)}, &db, trasher);

    EXPECT_TRUE(outcome.moved.empty());
    EXPECT_EQ(outcome.failures,
              (std::vector<TrashOutcome::Failure>{{picked, FileTrasher::locationChangedReason}}));
    EXPECT_EQ(contents(outside), "not picked");
    EXPECT_TRUE(db.folder(scratch->file("data/sub")));
}

TEST_F(TrashServiceTest, AHomeKeptBehindALinkStillLetsItsItemsGo)
{
    // The home folder is a link to a folder elsewhere, as when homes live on another volume.
    const std::string realHome = scratch->makeFolder("disk/ann");
    const std::string linkedHome = scratch->file("ann");
    ASSERT_EQ(::symlink(realHome.c_str(), linkedHome.c_str()), 0);
    ScopedEnvironment homeLink("HOME", linkedHome);
    ScopedEnvironment data("XDG_DATA_HOME", realHome + "/.local/share");
    scratch->write("disk/ann/Downloads/setup.bin", 5000);
    scratch->write("disk/ann/Downloads/sub/file.txt", "picked");
    const std::string outside = scratch->write("outside/sub/file.txt", "not picked");
    ASSERT_EQ(::rename((realHome + "/Downloads/sub").c_str(), (realHome + "/Downloads/sub.old").c_str()), 0);
    ASSERT_EQ(::symlink(scratch->file("outside/sub").c_str(), (realHome + "/Downloads/sub").c_str()), 0);

    const TrashOutcome outcome = TrashService::moveToTrash(
        {candidate(linkedHome + "/Downloads/setup.bin"), candidate(linkedHome + "/Downloads/sub/file.txt")}, nullptr,
        trasher);

    EXPECT_EQ(outcome.moved, (std::vector<std::string>{linkedHome + "/Downloads/setup.bin"}));
    EXPECT_EQ(outcome.failures, (std::vector<TrashOutcome::Failure>{
                                    {linkedHome + "/Downloads/sub/file.txt", FileTrasher::locationChangedReason}}));
    EXPECT_TRUE(fs::exists(realHome + "/.local/share/Trash/files/setup.bin"));
    EXPECT_EQ(contents(outside), "not picked");
}

TEST_F(TrashServiceTest, TheTrashAndItsRecordsCannotBeTrashed)
{
    const std::string old = scratch->write("home/old.txt", "old");
    ASSERT_EQ(TrashService::moveToTrash({candidate(old)}, nullptr, trasher).moved.size(), 1u);
    const std::string trash = home + "/.local/share/Trash";
    const std::string record = trash + "/info/old.txt.trashinfo";
    const std::string recordText = contents(record);
    ASSERT_FALSE(recordText.empty());

    const TrashOutcome outcome = TrashService::moveToTrash(
        {candidate(trash + "/info"), candidate(trash), candidate(trash + "/files"), candidate(record),
         candidate(trash + "/files/old.txt")},
        nullptr, trasher);

    EXPECT_TRUE(outcome.moved.empty());
    ASSERT_EQ(outcome.failures.size(), 5u);
    for (const auto& failure : outcome.failures)
        EXPECT_EQ(failure.reason, "This is the Trash or part of it. Kestrelmoor cannot remove the Trash itself; empty "
                                  "it in your file manager instead.")
            << failure.path;
    EXPECT_EQ(contents(record), recordText);
    EXPECT_EQ(contents(trash + "/files/old.txt"), "old");
}

TEST_F(TrashServiceTest, APathBeyondTheKernelLimitIsRefusedWithItsRealReason)
{
    const std::string top = scratch->file("deep");
    DeepTree::buildPastTheLimits(top);
    std::string deepest = top;
    for (int level = 0; level < DeepTree::levels - 1; ++level)
        deepest += "/" + DeepTree::longLevel;
    const std::string file = deepest + "/file.txt";
    ASSERT_GT(file.size(), 4096u);

    const TrashOutcome outcome =
        TrashService::moveToTrash({{file, "file.txt", 3000, false, std::nullopt}}, nullptr, trasher);

    EXPECT_TRUE(outcome.moved.empty());
    EXPECT_EQ(outcome.failures,
              (std::vector<TrashOutcome::Failure>{
                  {file, "This item's path is too long for it to be moved to the Trash safely."}}));
    // The Trash itself reaches the item through its folders, so it still moves when asked directly.
    EXPECT_EQ(trasher.moveToTrash(file), std::nullopt);
    EXPECT_EQ(contents(home + "/.local/share/Trash/files/file.txt").size(), 3000u);
    DeepTree::remove(top);
}

namespace {

// The real Trash, with a hook that runs before each item moves.
struct HookedTrasher : FileTrasher {
    FileTrasher& real;
    std::function<void(std::size_t)> before;   // with the item's number, from 0
    std::size_t calls = 0;
    HookedTrasher(FileTrasher& real, std::function<void(std::size_t)> before) : real(real), before(std::move(before)) {}
    std::optional<std::string> moveToTrash(const std::string& path, const Expected& expected = {}) override
    {
        before(calls++);
        return real.moveToTrash(path, expected);
    }
};

} // namespace

TEST_F(TrashServiceTest, TheIndexForgetsMovedItemsAsItGoesAndAStopLeavesItCaughtUp)
{
    const std::string root = scratch->makeFolder("data");
    std::vector<TrashCandidate> candidates;
    const std::size_t count = 3 * TrashService::forgetBatchSize;
    for (std::size_t i = 0; i < count; ++i)
        candidates.push_back(candidate(scratch->write("data/item" + std::to_string(i) + ".bin", 100)));
    StorageDatabase db(scratch->file("index.sqlite"));
    ASSERT_EQ(scan(db, root).status, ScanRecord::Status::completed);

    // Well into the batch, the items moved a full batch earlier are no longer counted; then
    // the program is told to end.
    const std::size_t stopAt = 2 * TrashService::forgetBatchSize + 3;
    std::stop_source stop;
    std::int64_t countedMidway = -1;
    HookedTrasher hooked(trasher, [&](std::size_t item) {
        if (item == stopAt - 1)
            countedMidway = db.folder(root)->fileCount;
        if (item == stopAt - 1)
            stop.request_stop();
    });
    const TrashOutcome outcome = TrashService::moveToTrash(candidates, &db, hooked, stop.get_token());

    // At most a batch waits, whether batches close by size or, on a slow machine, by age.
    EXPECT_LE(countedMidway, static_cast<std::int64_t>(count - (stopAt - 1 - TrashService::forgetBatchSize)));
    // The item under way finished; nothing after it was touched, and the index holds exactly the rest.
    EXPECT_EQ(outcome.moved.size(), stopAt);
    EXPECT_TRUE(outcome.failures.empty());
    EXPECT_EQ(db.folder(root)->fileCount, static_cast<std::int64_t>(count - stopAt));
    EXPECT_TRUE(fs::exists(candidates[stopAt].path));
    EXPECT_FALSE(fs::exists(candidates[stopAt - 1].path));
}

TEST_F(TrashServiceTest, WhatIsGoneSinceTheScanIsReportedAndForgotten)
{
    const std::string root = scratch->makeFolder("data");
    const std::string file = scratch->write("data/deleted.bin", 5000);
    const std::string folder = scratch->makeFolder("data/removed");
    scratch->write("data/removed/inner.bin", 7000);
    const std::string kept = scratch->write("data/kept.bin", 3000);
    StorageDatabase db(scratch->file("index.sqlite"));
    ASSERT_EQ(scan(db, root).status, ScanRecord::Status::completed);
    fs::remove(file);
    fs::remove_all(folder);

    const TrashOutcome outcome =
        TrashService::moveToTrash({candidate(file), candidate(folder)}, &db, trasher);

    ASSERT_EQ(outcome.failures.size(), 2u);
    EXPECT_TRUE(outcome.moved.empty());
    EXPECT_EQ(outcome.forgotten, (std::vector<std::string>{file, folder}));
    EXPECT_FALSE(db.folder(folder));
    EXPECT_EQ(db.folder(root)->fileCount, 1);
    EXPECT_EQ(db.folder(root)->folderCount, 0);
    EXPECT_TRUE(fs::exists(kept));
}

TEST_F(TrashServiceTest, AnotherItemInThePickedItemsPlaceIsRefused)
{
    const std::string root = scratch->makeFolder("data");
    const std::string picked = scratch->write("data/project/report.pdf", 5000);
    const std::string pickedFolder = scratch->makeFolder("data/project/assets");
    scratch->write("data/other/report.pdf", 4000);
    scratch->write("data/other/assets", 10);
    StorageDatabase db(scratch->file("index.sqlite"));
    ASSERT_EQ(scan(db, root).status, ScanRecord::Status::completed);
    // The file is told apart by what stood there at the pick, the folder by what the index holds.
    const auto atPick = ItemIdentity::at(picked);
    // The picked items' folder is swapped for another real folder holding the same names.
    fs::rename(scratch->file("data/project"), scratch->file("data/project-old"));
    fs::rename(scratch->file("data/other"), scratch->file("data/project"));

    const TrashOutcome outcome =
        TrashService::moveToTrash({candidate(picked), candidate(pickedFolder)}, &db, trasher, {}, {atPick});

    EXPECT_TRUE(outcome.moved.empty());
    EXPECT_EQ(outcome.failures, (std::vector<TrashOutcome::Failure>{{picked, FileTrasher::replacedReason},
                                                                      {pickedFolder, FileTrasher::replacedReason}}));
    EXPECT_TRUE(fs::exists(picked));
    EXPECT_TRUE(fs::exists(pickedFolder));

    // An item the index does not hold: what stood at its place when it was picked decides.
    const std::string loose = scratch->write("loose/notes.txt", 10);
    const auto looseAtPick = ItemIdentity::at(loose);
    fs::rename(loose, loose + ".old");
    scratch->write("loose/notes.txt", 20);
    const TrashOutcome unindexed = TrashService::moveToTrash({candidate(loose)}, nullptr, trasher, {}, {looseAtPick});
    EXPECT_EQ(unindexed.failures, (std::vector<TrashOutcome::Failure>{{loose, FileTrasher::replacedReason}}));
    EXPECT_EQ(
        TrashService::moveToTrash({candidate(loose + ".old")}, nullptr, trasher, {}, {looseAtPick}).moved.size(), 1u);
}

TEST_F(TrashServiceTest, AnItemOnAReadOnlyMountIsRefusedAsSuch)
{
    const std::string folder = scratch->makeFolder("readonly");
    const std::string item = scratch->write("readonly/item.bin", 100);
    const PrivateMount::Result result = PrivateMount::run({}, [&] {
        if (!PrivateMount::bindReadOnly(folder))
            return std::string("no read-only bind mount");
        const PrivateMount::Unmounted unmount{folder};
        const TrashOutcome outcome = TrashService::moveToTrash({candidate(item)}, nullptr, trasher);
        if (outcome.failures.size() != 1)
            return std::string("the item was not refused");
        if (outcome.failures.front().reason != "This item is on a read-only volume.")
            return "refused for another reason: " + outcome.failures.front().reason;
        return std::string();
    });
    if (!result.ran)
        GTEST_SKIP() << "no private mounts here (" << result.skipReason << ")";
    EXPECT_EQ(result.failure, "");
}
