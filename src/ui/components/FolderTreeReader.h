#pragma once

#include "index/FileRecords.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class StorageDatabase;

// The three index reads the folder tree makes. They run off the main thread and may
// throw; tests replace them to decide when and how each read answers.
struct FolderTreeReader {
    std::function<std::optional<FolderItem>(const std::string& path)> folder;
    std::function<std::vector<FolderItem>()> rootFolders;
    std::function<std::vector<FolderItem>(std::int64_t folderID, std::int64_t limit)> childFolders;

    // Reads from `database`, which the reads keep alive while they run.
    static FolderTreeReader of(std::shared_ptr<StorageDatabase> database);
};
