#include "scanning/FolderAnalyzer.h"

#include "index/StorageDatabase.h"
#include "platform/DescriptorBudget.h"
#include "platform/DescriptorLimit.h"
#include "platform/FolderHandle.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

constexpr std::uint64_t cancellationInterval = 256;

// Inode numbers repeat across volumes, so a hard link is known by both.
struct FileIdentity {
    std::uint64_t device;
    std::uint64_t inode;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

struct FileIdentityHash {
    std::size_t operator()(const FileIdentity& id) const noexcept
    {
        return std::hash<std::uint64_t>{}(id.inode) ^ (std::hash<std::uint64_t>{}(id.device) * 0x9e3779b97f4a7c15ULL);
    }
};

} // namespace

FolderSizeResult FolderAnalyzer::size(const std::string& path, bool stayOnVolume, std::stop_token stop,
                                      const DirectoryReader& reader)
{
    FolderSizeResult result;
    RawDirectoryEntry start;
    if (reader.stat(path, start))
        return result;
    result.exists = true;
    switch (start.kind) {
    case RawDirectoryEntry::Kind::file:
    case RawDirectoryEntry::Kind::symlink:
        result.allocatedSize = start.allocatedSize;
        result.logicalSize = start.size;
        result.fileCount = 1;
        return result;
    case RawDirectoryEntry::Kind::other:
        return result;
    case RawDirectoryEntry::Kind::directory:
        break;
    }

    const std::uint64_t rootDevice = start.device;
    // Folders are opened inside their open parents, so that no path has to fit the kernel's
    // length limit; the budget keeps a deep tree's waiting folders from using up descriptors.
    struct Pending {
        std::shared_ptr<const FolderHandle> parent;   // absent for the starting folder
        std::string name;                              // its path for the starting folder
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
    };
    const auto budget = std::make_shared<DescriptorBudget>(DescriptorLimit::folderBudget(8, 16, 512));
    std::vector<Pending> stack{Pending{nullptr, path, start.device, start.inode}};
    std::vector<Pending> subfolders;
    std::unordered_set<FileIdentity, FileIdentityHash> linkedFiles;
    std::uint64_t foldersTaken = 0;

    while (!stack.empty()) {
        const Pending folder = std::move(stack.back());
        stack.pop_back();
        if (++foldersTaken % cancellationInterval == 0 && stop.stop_requested()) {
            result.wasCancelled = true;
            return result;
        }
        subfolders.clear();
        const FolderLocation location{folder.parent, folder.name,  false,
                                      folder.device, folder.inode, folder.parent ? nullptr : budget};
        FolderRead opened;
        const auto failure = reader.readPatiently(location, [&](const RawDirectoryEntry& entry) {
            switch (entry.kind) {
            case RawDirectoryEntry::Kind::file:
            case RawDirectoryEntry::Kind::symlink:
                result.fileCount += 1;
                result.logicalSize += entry.size;
                if (entry.kind == RawDirectoryEntry::Kind::symlink || entry.linkCount < 2
                    || linkedFiles.insert({entry.device, entry.inode}).second)
                    result.allocatedSize += entry.allocatedSize;
                break;
            case RawDirectoryEntry::Kind::directory:
                if (stayOnVolume && entry.device != rootDevice)
                    break;
                result.folderCount += 1;
                subfolders.push_back(Pending{nullptr, entry.diskName.empty() ? entry.name : entry.diskName,
                                             entry.device, entry.inode});
                break;
            case RawDirectoryEntry::Kind::other:
                break;
            }
        }, opened, stop);
        if (failure) {
            if (failure->kind() != DirectoryReadError::Kind::vanished)
                result.restrictedFolderCount += 1;
            continue;
        }
        // Entries that are there but could not be read leave the size short, as a refused folder does.
        if (opened.gaps.any())
            result.restrictedFolderCount += 1;
        for (auto& subfolder : subfolders) {
            // The folder itself or one above it again (a bind mount inside itself): counted once.
            if (opened.handle && opened.handle->stepsUpTo(subfolder.device, subfolder.inode)) {
                result.folderCount -= 1;
                continue;
            }
            subfolder.parent = opened.handle;
            stack.push_back(std::move(subfolder));
        }
    }
    return result;
}

std::optional<FolderSizeResult> FolderAnalyzer::indexedSize(const std::string& path, StorageDatabase& database)
{
    std::optional<FolderItem> row;
    try {
        row = database.folder(path);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (!row || !row->lastScanned)
        return std::nullopt;
    FolderSizeResult result;
    result.allocatedSize = row->totalAllocated;
    result.logicalSize = row->totalSize;
    result.fileCount = row->fileCount;
    result.folderCount = row->folderCount;
    result.restrictedFolderCount = row->isRestricted ? 1 : 0;
    result.exists = true;
    return result;
}

FolderSizeResult FolderAnalyzer::cachedOrCalculatedSize(const std::string& path, StorageDatabase* database,
                                                        std::stop_token stop)
{
    if (database)
        if (auto indexed = indexedSize(path, *database))
            return *indexed;
    return size(path, true, stop);
}
