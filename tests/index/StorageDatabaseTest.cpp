#include "index/StorageDatabase.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

ScannedFile scannedFile(std::string name, std::int64_t alloc, double modified = 1000.0)
{
    ScannedFile file;
    file.name = std::move(name);
    file.size = alloc - 1;
    file.allocatedSize = alloc;
    file.countedAllocatedSize = alloc;
    file.modified = modified;
    file.created = modified;
    file.accessed = modified;
    return file;
}

DirectorySnapshot snapshot(std::string path, std::optional<std::int64_t> parentID, int depth,
                           std::vector<ScannedFile> files = {}, std::vector<std::string> subfolders = {})
{
    DirectorySnapshot s;
    s.name = path == "/" ? "/" : path.substr(path.rfind('/') + 1);
    s.path = std::move(path);
    s.parentID = parentID;
    s.depth = depth;
    s.modified = 500.0;
    s.files = std::move(files);
    for (auto& name : subfolders) s.subdirectories.push_back({std::move(name), 600.0});
    return s;
}

} // namespace

TEST(StorageDatabase, ScanWritesTreeAndFinishSumsTotals)
{
    TempDir dir;
    StorageDatabase db(dir.file("ScanCache.sqlite"));
    const auto scanID = db.beginScan({"/r"});
    const auto rootID = db.ensureRoot("/r", 100.0);
    auto root = snapshot("/r", std::nullopt, 0, {scannedFile("a", 4096)}, {"sub"});
    root.folderID = rootID;
    const auto rootResult = db.syncDirectory(root, scanID);
    ASSERT_EQ(rootResult.childIDs.count("sub"), 1u);
    auto sub = snapshot("/r/sub", rootID, 1, {scannedFile("b", 8192), scannedFile("c", 100)});
    sub.folderID = rootResult.childIDs.at("sub");
    const auto subResult = db.syncDirectory(sub, scanID);
    EXPECT_EQ(subResult.newFiles, 2);

    const auto totals = db.finishScan(scanID, {"/r"}, ScanRecord::Status::completed, 1000, 500, 3, 0, 0);
    EXPECT_EQ(totals, (ScanTotals{3, 2, 4096 + 8192 + 100, 0}));
    const auto folder = db.folder("/r");
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->totalAllocated, 4096 + 8192 + 100);
    EXPECT_EQ(folder->folderCount, 1);
}
