#pragma once

#include "index/FolderDifferences.h"
#include "index/ScanRecords.h"

#include <atomic>
#include <barrier>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

class SQLiteConnection;

// The folder digests: what the cache had committed for every folder when a rescan began,
// condensed to what tells an unchanged folder from a changed one: where the folder is (its
// parent and name) and one digest of its own row and of its file rows, its folder digest. A
// reader whose listing gives the same digest needs no query of the cache for that folder; any difference sends it to the full comparison,
// which finds what changed.
class StoredFolders {
public:
    // A folder's position; stable for the life of the object.
    using Entry = std::uint32_t;

    class Loading;
    class Recording;

    // Stands for a folder whose rows no listing is taken to match.
    static constexpr std::uint64_t unknownDigest = 0;

    // Reads the folders and files tables, one share per connection, each on a thread of its own
    // (the caller's for the first); the connections must read alongside the cache's writer and
    // have no read open. `rewritesSeen` is WriteBatch::rewritesCommitted() as loaded before this
    // call; the digests are under `seed`. Fails with SQLiteError.
    static StoredFolders load(const std::vector<SQLiteConnection*>& connections, std::uint64_t rewritesSeen,
                              std::uint64_t seed = newSeed());

    // The root row with this id.
    std::optional<Entry> root(std::int64_t id) const;
    // The row of the subfolder `name` of the folder at `parent`.
    std::optional<Entry> child(Entry parent, std::string_view name) const;

    // What the comparison with the stored rows would give when the listing matches the folder's
    // rows in every figure the sync writes: nothing to write but the visit. Nothing otherwise.
    std::optional<FolderDifferences> unchanged(Entry folder, const DirectorySnapshot& snapshot) const;
    // As above, with the listing's digest under seed() already taken.
    std::optional<FolderDifferences> unchanged(Entry folder, const DirectorySnapshot& snapshot,
                                               std::uint64_t digest) const;

    // What a listing's rows would give as their digest once synced, under `seed`.
    static std::uint64_t digest(std::uint64_t seed, const DirectorySnapshot& snapshot);
    // A seed no listing can be made for on purpose.
    static std::uint64_t newSeed();
    std::uint64_t seed() const { return seed_; }
    // For digests kept from an earlier scan: the rewrites committed as this scan begins.
    void setRewritesSeen(std::uint64_t rewritesSeen) { rewritesSeen_ = rewritesSeen; }

    std::size_t size() const { return folders_.size(); }
    // The digest of the folder with this id, if there is one; for tests.
    std::optional<std::uint64_t> digestOf(std::int64_t id) const;

private:
    static constexpr std::int64_t noParent = std::numeric_limits<std::int64_t>::min();
    static constexpr std::uint32_t emptySlot = std::numeric_limits<std::uint32_t>::max();

    struct Folder {
        std::int64_t id = 0;
        std::int64_t parent = noParent;
        std::uint64_t nameKey = 0;
        std::uint64_t digest = 0;
    };

    // The folder with this id.
    std::optional<Entry> position(std::int64_t id) const;
    // Where a folder with this parent and name key would be in the table of slots.
    std::size_t slotOf(std::int64_t parent, std::uint64_t nameKey) const;
    // The one folder with this parent and name key; none when there are none or several.
    std::optional<Entry> find(std::int64_t parent, std::uint64_t nameKey) const;
    // Counts the folder at `entry` with its parent and gives it a slot; safe from several threads.
    void place(Entry entry);

    std::vector<Folder> folders_;          // in id order
    std::vector<std::uint32_t> children_;  // how many rows have each folder as their parent
    // Open addressing by parent and name key, at most half full: positions, or emptySlot.
    std::vector<std::uint32_t> slots_;
    std::uint64_t seed_ = 0;
    std::uint64_t rewritesSeen_ = 0;
};

// The digests of the folders a scan synced, as its writer wrote them: what a later scan
// would load from the cache, as long as nothing else writes to it meanwhile. Folders are added
// by the writer only, as each one's sync succeeds.
class StoredFolders::Recording {
public:
    explicit Recording(std::uint64_t seed) : seed_(seed) {}

    // `digest` is under the seed, or unknownDigest where the rows may differ from the listing.
    // Never fails: without memory for it, the recording is given up and finish() fails.
    void add(std::int64_t id, std::optional<std::int64_t> parent, std::string_view name,
             std::uint64_t digest) noexcept;
    // Fails with std::length_error past the folders one brief can hold, or std::bad_alloc.
    StoredFolders finish() &&;

private:
    std::uint64_t seed_;
    std::vector<Folder> folders_;
    bool broken_ = false;
};

// A load of the folder digests by threads that each read a share of them through a
// connection of their own, and that go on to other work once it is done: every one of them
// calls take() once, and none returns before all of them have read their shares.
class StoredFolders::Loading {
public:
    // `first` reads where the tables' ids begin and end now. `done` is called once, on one of
    // the threads while the others wait, with the digests, or with nothing when the load
    // failed. The digests are under `seed`. Fails with SQLiteError.
    Loading(std::size_t shares, SQLiteConnection& first, std::uint64_t rewritesSeen, std::uint64_t seed,
            std::function<void(std::optional<StoredFolders>)> done);
    Loading(const Loading&) = delete;
    Loading& operator=(const Loading&) = delete;

    // Reads share `share` through `db`, which has no read open, and returns once all are read.
    void take(std::size_t share, SQLiteConnection& db) noexcept;

private:
    // Runs on one thread once every thread has finished the step before it.
    struct Step {
        Loading* loading;
        void operator()() noexcept { loading->stepDone(); }
    };

    void readFolders(std::size_t share, SQLiteConnection& db);
    void placeFolders(std::size_t share);
    void readFiles(std::size_t share, SQLiteConnection& db);
    void finishFolders(std::size_t share);
    void stepDone() noexcept;
    // The share's positions in the folders read.
    std::pair<std::size_t, std::size_t> positions(std::size_t share) const;

    std::size_t shares_;
    std::int64_t lowFolder_ = 0;
    std::int64_t highFolder_ = -1;
    std::int64_t lowFile_ = 0;
    std::int64_t highFile_ = -1;
    StoredFolders stored_;
    std::vector<std::vector<Folder>> parts_;   // each share's folders, in id order
    std::vector<std::size_t> offsets_;         // where each share's folders go
    std::vector<std::uint64_t> sums_;          // of the file keys of each folder, by position
    std::vector<std::uint32_t> counts_;
    std::atomic<bool> failed_{false};
    int stepsDone_ = 0;
    std::function<void(std::optional<StoredFolders>)> done_;
    std::barrier<Step> steps_;
};
