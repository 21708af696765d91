#pragma once

#include "index/ScanRecords.h"
#include "platform/Paths.h"

#include <cstdint>
#include <optional>
#include <string>

// Folder listings written by hand, for filling a temporary scan cache through its directory
// sync as the scanner would.
namespace ScanSnapshots {

inline DirectorySnapshot folder(const std::string& path, std::optional<std::int64_t> parentID,
                                std::int64_t folderID, int depth, double modified = 1000)
{
    DirectorySnapshot snapshot;
    snapshot.path = path;
    snapshot.name = Paths::lastComponent(path);
    snapshot.parentID = parentID;
    snapshot.folderID = folderID;
    snapshot.depth = depth;
    snapshot.modified = modified;
    return snapshot;
}

// The extension is taken from the name, lower-cased, as the scanner stores it.
inline ScannedFile file(const std::string& name, std::int64_t size, std::int64_t alloc, double modified = 1000,
                        StorageCategory category = StorageCategory::other)
{
    ScannedFile file;
    file.name = name;
    file.fileExtension = Paths::asciiLowercased(Paths::extension(name));
    file.size = size;
    file.allocatedSize = alloc;
    file.countedAllocatedSize = alloc;
    file.modified = file.created = file.accessed = modified;
    file.category = category;
    return file;
}

} // namespace ScanSnapshots
