#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What a scan reader found when it set one folder's listing against the rows the cache had
// committed for it, so that the writer need not read those rows again. It holds only while
// no other write has touched the folder's rows since it was read (see WriteBatch::noteRewrite).
struct FolderDifferences {
    struct StoredChild {
        std::int64_t id = 0;
        std::string name;
        std::string path;
    };

    std::int64_t folderID = 0;
    std::uint64_t rewritesSeen = 0;   // WriteBatch::rewritesCommitted() before the rows were read
    // The row's parent as stored; name and depth are compared already.
    std::optional<std::int64_t> storedParentID;
    bool sameNameAndDepth = false;
    // Its date, restricted flag, category and direct figures are what the sync would write.
    bool rowCurrent = false;
    // A listed file that differs from its stored row, or has none.
    struct ChangedFile {
        // Indexed columns of a stored row: only those that moved are written, so that an
        // index whose key stays is not touched.
        enum Key : std::uint8_t { size = 1, alloc = 2, category = 4 };

        std::size_t position = 0;               // in the listing
        std::optional<std::int64_t> storedID;   // absent for a new file
        std::uint8_t movedKeys = 0;
        // What the stored row counted, taken out of the category sums when it is rewritten.
        std::int64_t storedCategory = 0;
        std::int64_t storedCounted = 0;
    };
    // A stored row no listed file matched.
    struct GoneFile {
        std::int64_t id = 0;
        std::int64_t category = 0;
        std::int64_t counted = 0;
    };
    // In listing order.
    std::vector<ChangedFile> files;
    std::vector<GoneFile> goneFiles;
    std::vector<StoredChild> children;   // every stored row whose parent is the folder
    std::uint64_t storedDigest = 0;      // the folder's digest as stored (FolderDigests), or unknown

    // Set by the sync when the folder's visit stamp was all it had to write and it left that
    // to the caller, who writes many at once with DirectorySync::stampVisited.
    bool stampLeft = false;

    bool filesUnchanged() const { return files.empty() && goneFiles.empty(); }
};
