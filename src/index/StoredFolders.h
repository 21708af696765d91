#pragma once

#include "index/FolderDifferences.h"
#include "index/ScanRecords.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

class SQLiteConnection;

// What the cache had committed for every folder when a rescan began, condensed to what tells
// an unchanged folder from a changed one: where the folder is (its parent and name) and one
// digest of its own row and of its file rows. A reader whose listing gives the same digest
// needs no query of the cache for that folder; any difference sends it to the full comparison,
// which finds what changed.
class StoredFolders {
public:
    // A folder's position; stable for the life of the object.
    using Entry = std::uint32_t;

    // Reads the folders and files tables, one share per connection, each on a thread of its own
    // (the caller's for the first); the connections must read alongside the cache's writer and
    // have no read open. `rewritesSeen` is WriteBatch::rewritesCommitted() as loaded before this
    // call. Fails with SQLiteError.
    static StoredFolders load(const std::vector<SQLiteConnection*>& connections, std::uint64_t rewritesSeen);

    // The root row with this id.
    std::optional<Entry> root(std::int64_t id) const;
    // The row of the subfolder `name` of the folder at `parent`.
    std::optional<Entry> child(Entry parent, std::string_view name) const;

    // What the comparison with the stored rows would give when the listing matches the folder's
    // rows in every figure the sync writes: nothing to write but the visit. Nothing otherwise.
    std::optional<FolderDifferences> unchanged(Entry folder, const DirectorySnapshot& snapshot) const;

    std::size_t size() const { return folders_.size(); }

private:
    static constexpr std::int64_t noParent = std::numeric_limits<std::int64_t>::min();

    struct Folder {
        std::int64_t id = 0;
        std::int64_t parent = noParent;
        std::uint64_t nameKey = 0;
        std::uint64_t digest = 0;
    };

    // The folders whose parent is `parent`, as positions.
    std::pair<Entry, Entry> childrenOf(std::int64_t parent) const;
    // The one folder called `name` among those positions.
    std::optional<Entry> named(Entry first, Entry last, std::string_view name) const;

    std::vector<Folder> folders_;   // by parent, then name key
    std::uint64_t seed_ = 0;
    std::uint64_t rewritesSeen_ = 0;
};
