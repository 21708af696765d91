#include "scanning/FolderAnalyzer.h"

#include "index/StorageDatabase.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "support/PrivateMount.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"
#include "DeepTree.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <fstream>
#include <set>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::int64_t allocatedBytes(const std::string& path)
{
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0);
    return static_cast<std::int64_t>(info.st_blocks) * 512;
}

std::int64_t logicalBytes(const std::string& path)
{
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0);
    return info.st_size;
}

// The real file system, except that chosen folders refuse listing and chosen folders (and
// everything in them) appear to lie on another device. Folders are known by name: the walk
// opens them inside their parents.
struct PartlyForeignFileSystem : FileSystem {
    std::map<std::string, int> refusals;    // folder name -> errno
    std::set<std::string> foreignFolders;   // folder names
    static constexpr std::uint64_t shift = 1000;

    FolderRead readFolder(const FolderLocation& location, const EntryVisitor& visit) const override
    {
        const std::string name = Paths::lastComponent(location.path);
        if (const auto refusal = refusals.find(name); refusal != refusals.end())
            return FolderRead{refusal->second, std::nullopt, nullptr, {}};
        FolderLocation real = location;
        const bool foreign = shifted_.count(location.inode) > 0;
        if (foreign)
            real.device -= shift;
        return FileSystem::readFolder(real, [&](std::string_view entry, const FileStatus& status) {
            FileStatus changed = status;
            if (foreign || foreignFolders.count(std::string(entry))) {
                changed.device += shift;
                shifted_.insert(status.inode);
            }
            visit(entry, changed);
        });
    }

private:
    mutable std::set<std::uint64_t> shifted_;   // inodes of the folders shown on another device
};

} // namespace

TEST(FolderAnalyzer, SingleItemsAndMissingPaths)
{
    TempDir dir;
    const auto file = dir.write("ten-blocks.bin", 5000);
    const auto empty = dir.makeFolder("empty");
    dir.write("big/a.bin", 100000);
    const auto link = dir.file("link-to-big");
    fs::create_directory_symlink(dir.file("big"), link);

    EXPECT_EQ(FolderAnalyzer::size(dir.file("missing"), true), FolderSizeResult{});

    const auto one = FolderAnalyzer::size(file, true);
    EXPECT_EQ(one, (FolderSizeResult{allocatedBytes(file), 5000, 1, 0, 0, true, false}));

    const auto linked = FolderAnalyzer::size(link, true);
    EXPECT_EQ(linked, (FolderSizeResult{allocatedBytes(link), logicalBytes(link), 1, 0, 0, true, false}));

    EXPECT_EQ(FolderAnalyzer::size(empty, true), (FolderSizeResult{0, 0, 0, 0, 0, true, false}));

    const auto fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(FolderAnalyzer::size(fifo, true), (FolderSizeResult{0, 0, 0, 0, 0, true, false}));
}

TEST(FolderAnalyzer, CountsHardLinksOnceAndUnreadableFolders)
{
    TempDir dir;
    const auto original = dir.write("tree/one.bin", 1 << 20);
    ASSERT_EQ(::link(original.c_str(), dir.file("tree/two.bin").c_str()), 0);
    dir.write("tree/locked/hidden.bin", 4096);
    dir.write("tree/open/small.txt", "hello");
    fs::create_symlink("one.bin", dir.file("tree/alias"));

    PartlyForeignFileSystem system;
    system.refusals["locked"] = EACCES;
    system.refusals["open"] = ENOENT;   // vanished while walking: not restricted
    const auto result = FolderAnalyzer::size(dir.file("tree"), true, {}, DirectoryReader(system));

    EXPECT_EQ(result.fileCount, 3);
    EXPECT_EQ(result.logicalSize, 2 * (1 << 20) + logicalBytes(dir.file("tree/alias")));
    EXPECT_EQ(result.allocatedSize, allocatedBytes(original) + allocatedBytes(dir.file("tree/alias")));
    EXPECT_EQ(result.folderCount, 2);
    EXPECT_EQ(result.restrictedFolderCount, 1);
    EXPECT_TRUE(result.exists);
    EXPECT_FALSE(result.wasCancelled);
}

TEST(FolderAnalyzer, AFolderThatCanBeListedButNotEnteredCountsAsRestricted)
{
    if (runAgainUnprivileged())
        return;
    TempDir dir;
    dir.write("tree/seen.bin", 4096);
    dir.write("tree/listed-only/unseen.bin", 4096);
    ASSERT_EQ(::chmod(dir.file("tree/listed-only").c_str(), 0644), 0);
    const auto result = FolderAnalyzer::size(dir.file("tree"), true);
    ::chmod(dir.file("tree/listed-only").c_str(), 0755);
    EXPECT_EQ(result.fileCount, 1);
    EXPECT_EQ(result.folderCount, 1);
    EXPECT_EQ(result.restrictedFolderCount, 1);
}

TEST(FolderAnalyzer, AFolderMountedInsideItselfIsCountedOnce)
{
    TempDir dir;
    dir.write("tree/sub/only.bin", 4096);
    dir.makeFolder("tree/sub/loop");
    const std::string figures = dir.file("figures");
    const PrivateMount::Result result = PrivateMount::run({}, [&]() -> std::string {
        if (::mount(dir.file("tree").c_str(), dir.file("tree/sub/loop").c_str(), nullptr, MS_BIND, nullptr) != 0)
            return "the bind mount failed";
        const auto sized = FolderAnalyzer::size(dir.file("tree"), true);
        std::ofstream(figures) << sized.fileCount << " " << sized.folderCount << " " << sized.restrictedFolderCount;
        return "";
    });
    if (!result.ran)
        GTEST_SKIP() << "bind mounts need a private mount namespace (" << result.skipReason << ")";
    ASSERT_EQ(result.failure, "");
    std::int64_t files = -1, folders = -1, restricted = -1;
    std::ifstream(figures) >> files >> folders >> restricted;
    EXPECT_EQ(files, 1);
    EXPECT_EQ(folders, 1);
    EXPECT_EQ(restricted, 0);
}

TEST(FolderAnalyzer, OtherVolumesAndTheirInodes)
{
    TempDir dir;
    const auto file = dir.write("tree/a.bin", 64 * 1024);
    dir.write("tree/mounted/b.bin", 32 * 1024);
    // The same inode number behind a mount point is a different file.
    ASSERT_EQ(::link(file.c_str(), dir.file("tree/mounted/a-again.bin").c_str()), 0);

    PartlyForeignFileSystem system;
    system.foreignFolders = {"mounted"};
    const DirectoryReader reader(system);

    const auto staying = FolderAnalyzer::size(dir.file("tree"), true, {}, reader);
    EXPECT_EQ(staying.fileCount, 1);
    EXPECT_EQ(staying.folderCount, 0);
    EXPECT_EQ(staying.allocatedSize, allocatedBytes(file));

    const auto crossing = FolderAnalyzer::size(dir.file("tree"), false, {}, reader);
    EXPECT_EQ(crossing.fileCount, 3);
    EXPECT_EQ(crossing.folderCount, 1);
    EXPECT_EQ(crossing.allocatedSize,
              2 * allocatedBytes(file) + allocatedBytes(dir.file("tree/mounted/b.bin")));

    // On one device the second link is not counted again.
    EXPECT_EQ(FolderAnalyzer::size(dir.file("tree"), false).allocatedSize,
              allocatedBytes(file) + allocatedBytes(dir.file("tree/mounted/b.bin")));
}

TEST(FolderAnalyzer, StopsEvery256FoldersWithWhatItCounted)
{
    TempDir dir;
    for (int i = 0; i < 300; ++i)
        dir.write("tree/f" + std::to_string(i) + "/x", "1");

    std::stop_source stopped;
    stopped.request_stop();
    // The top folder is the first taken; 254 subfolders are read before the 256th is taken.
    const auto partial = FolderAnalyzer::size(dir.file("tree"), true, stopped.get_token());
    EXPECT_TRUE(partial.wasCancelled);
    EXPECT_TRUE(partial.exists);
    EXPECT_EQ(partial.fileCount, 254);
    EXPECT_EQ(partial.folderCount, 300);

    const auto whole = FolderAnalyzer::size(dir.file("tree"), true);
    EXPECT_FALSE(whole.wasCancelled);
    EXPECT_EQ(whole.fileCount, 300);
}

TEST(FolderAnalyzer, ScannedFoldersComeFromTheIndex)
{
    TempDir dir;
    StorageDatabase database(dir.file("cache.sqlite"));
    const std::string root = "/nowhere-on-disk/Tool.app";
    const auto scanID = database.beginScan({root});
    DirectorySnapshot snapshot;
    snapshot.path = root;
    snapshot.name = "Tool.app";
    snapshot.isRestricted = true;
    snapshot.files.push_back({"Tool", "", 700, 4096, 4096, 1, 1, 1, {}, 11, StorageCategory::applications});
    snapshot.subdirectories.push_back({"Contents", 1});
    database.syncDirectory(snapshot, scanID);
    database.finishScan(scanID, {root}, ScanRecord::Status::cancelled, 0, 0, 0, 0, 0);

    const auto row = database.folder(root);
    ASSERT_TRUE(row && row->lastScanned);
    const FolderSizeResult fromRow{row->totalAllocated, row->totalSize, row->fileCount, row->folderCount, 1, true, false};
    EXPECT_EQ(fromRow.fileCount, 1);
    EXPECT_EQ(FolderAnalyzer::cachedOrCalculatedSize(root, &database), fromRow);
    EXPECT_EQ(FolderAnalyzer::indexedSize(root, database), fromRow);

    // Known but never read, or not known at all: measured on disk.
    ASSERT_TRUE(database.folder(root + "/Contents"));
    EXPECT_EQ(FolderAnalyzer::cachedOrCalculatedSize(root + "/Contents", &database), FolderSizeResult{});
    const auto onDisk = dir.write("real/file.txt", "abc");
    EXPECT_EQ(FolderAnalyzer::cachedOrCalculatedSize(dir.file("real"), &database).fileCount, 1);
    EXPECT_EQ(FolderAnalyzer::cachedOrCalculatedSize(dir.file("real"), nullptr).logicalSize, 3);
}

TEST(FolderAnalyzer, SizesDeepTreesWhole)
{
    TempDir dir;
    const std::string top = dir.file("deep");
    DeepTree::buildPastTheLimits(top);
    const DeepTree::Totals expected = DeepTree::walk(top);
    FolderSizeResult sized;
    {
        const DeepTree::LowDescriptorLimit limit(128);
        sized = FolderAnalyzer::size(top, true);
    }
    EXPECT_EQ((DeepTree::Totals{sized.fileCount, sized.folderCount, sized.allocatedSize}), expected);
    EXPECT_EQ(sized.restrictedFolderCount, 0);
    EXPECT_EQ(sized.logicalSize, expected.files * 3000);
    EXPECT_TRUE(sized.exists);
    EXPECT_FALSE(sized.wasCancelled);
    DeepTree::remove(top);
}
