#include "index/FolderDigests.h"

#include "index/SQLiteConnection.h"

#include <array>
#include <bit>
#include <cstring>
#include <random>
#include <string>
#include <string_view>

namespace FolderDigests {
namespace {

// A strong 64-bit finalizer: every input bit moves every output bit.
std::uint64_t mixed(std::uint64_t x)
{
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    x ^= x >> 33;
    return x;
}

// Folds values in order into one key, from the cache's own seed, so that no listing can be
// made on purpose to match rows it differs from.
class Key {
public:
    explicit Key(std::uint64_t seed) : state_(seed) {}

    Key& add(std::uint64_t value)
    {
        state_ = mixed((state_ ^ value) + 0x9e3779b97f4a7c15ULL);
        return *this;
    }
    Key& add(std::int64_t value) { return add(static_cast<std::uint64_t>(value)); }
    Key& add(double value) { return add(std::bit_cast<std::uint64_t>(value)); }
    Key& add(std::string_view text)
    {
        add(static_cast<std::uint64_t>(text.size()));
        std::size_t at = 0;
        for (; at + 8 <= text.size(); at += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, text.data() + at, 8);
            add(word);
        }
        if (at < text.size()) {
            std::uint64_t word = 0;
            std::memcpy(&word, text.data() + at, text.size() - at);
            add(word);
        }
        return *this;
    }
    std::uint64_t value() const { return state_; }

private:
    std::uint64_t state_;
};

constexpr std::string_view seedKey = "folder_digest_seed";
// The row of the sums mark; rows marks are below it.
constexpr std::int64_t sumsRow = 0;

// Each drops the digest of the folder whose rows it sees written (only the columns a digest
// covers count), the sums mark where file rows may change, and every writer's rows mark on any
// write that a scan's view of the cache rests on.
struct Trigger {
    std::string_view name;
    std::string_view body;
    // Left out by a bulk load: it would cost each row written as much as the row itself, and
    // whoever else inserts rows writes their folder's row too.
    bool onInsert = false;
};
constexpr std::array<Trigger, 7> triggers = {{
    {"folder_digests_file_added",
     "AFTER INSERT ON files BEGIN DELETE FROM folder_digests WHERE folder_id <= 0 OR folder_id = NEW.folder_id; END",
     true},
    {"folder_digests_file_removed",
     "AFTER DELETE ON files BEGIN DELETE FROM folder_digests WHERE folder_id <= 0 OR folder_id = OLD.folder_id; END"},
    {"folder_digests_file_changed",
     "AFTER UPDATE ON files BEGIN DELETE FROM folder_digests WHERE folder_id <= 0 OR folder_id = OLD.folder_id "
     "OR folder_id = NEW.folder_id; END"},
    {"folder_digests_folder_added", "AFTER INSERT ON folders BEGIN DELETE FROM folder_digests WHERE folder_id < 0; END",
     true},
    // A folder row that goes may leave file rows behind, which the sums would still count.
    {"folder_digests_folder_removed",
     "AFTER DELETE ON folders BEGIN DELETE FROM folder_digests WHERE folder_id <= 0 OR folder_id = OLD.id; END"},
    {"folder_digests_folder_changed",
     "AFTER UPDATE OF id, path, depth, modified, restricted, category, direct_alloc, direct_size, direct_files, "
     "direct_dirs ON folders BEGIN DELETE FROM folder_digests WHERE folder_id < 0 OR folder_id = OLD.id "
     "OR folder_id = NEW.id; END"},
    {"folder_digests_folder_moved",
     "AFTER UPDATE OF parent_id, name, scan_id ON folders BEGIN DELETE FROM folder_digests WHERE folder_id < 0; END"},
}};

// The figures of one file row that a sync compares with a listing.
std::uint64_t fileKey(std::uint64_t seed, const ScannedFile& file)
{
    return Key(seed)
        .add(file.name)
        .add(file.size)
        .add(file.allocatedSize)
        .add(file.modified)
        .add(file.countedAllocatedSize)
        .add(static_cast<std::int64_t>(file.flags.rawValue))
        .add(static_cast<std::int64_t>(file.inode))
        .value();
}

void createTriggers(SQLiteConnection& db)
{
    for (const auto& trigger : triggers)
        db.execute("CREATE TRIGGER IF NOT EXISTS " + std::string(trigger.name) + " " + std::string(trigger.body) + ";");
}

} // namespace

void FileSum::add(std::uint64_t seed, const std::vector<ScannedFile>& more)
{
    for (const auto& file : more) {
        directAlloc += file.countedAllocatedSize;
        directSize += file.size;
        // A sum of the files' keys, which does not depend on their order.
        keys += fileKey(seed, file);
    }
    files += static_cast<std::int64_t>(more.size());
}

std::uint64_t of(std::uint64_t seed, const DirectorySnapshot& snapshot, FileSum parted)
{
    FileSum& sum = parted;
    sum.add(seed, snapshot.files);
    const std::uint64_t row = Key(seed)
                                  .add(snapshot.path)
                                  .add(static_cast<std::int64_t>(snapshot.depth))
                                  .add(snapshot.modified)
                                  .add(static_cast<std::int64_t>(snapshot.isRestricted ? 1 : 0))
                                  .add(static_cast<std::int64_t>(rawValue(snapshot.category)))
                                  .add(sum.directAlloc)
                                  .add(sum.directSize)
                                  .add(sum.files)
                                  .add(static_cast<std::int64_t>(snapshot.subdirectories.size()))
                                  .value();
    const std::uint64_t digest = Key(seed).add(row).add(sum.keys).add(static_cast<std::uint64_t>(sum.files)).value();
    return digest == unknown ? 1 : digest;
}

void create(SQLiteConnection& db)
{
    db.execute("CREATE TABLE IF NOT EXISTS folder_digests(folder_id INTEGER PRIMARY KEY, digest INTEGER NOT NULL);");
    db.run("INSERT OR IGNORE INTO meta(key, value) VALUES(?, random())", {seedKey});
    track(db);
}

std::uint64_t seed(SQLiteConnection& db)
{
    return static_cast<std::uint64_t>(db.scalarInt("SELECT value FROM meta WHERE key = ?", {seedKey}));
}

std::uint64_t stored(SQLiteConnection& db, std::int64_t folderID)
{
    return static_cast<std::uint64_t>(db.scalarInt("SELECT digest FROM folder_digests WHERE folder_id = ?", {folderID}));
}

void store(SQLiteConnection& db, std::int64_t folderID, std::uint64_t digest)
{
    if (digest == unknown)
        db.runValues("DELETE FROM folder_digests WHERE folder_id = ?", folderID);
    else
        db.runValues("INSERT OR REPLACE INTO folder_digests(folder_id, digest) VALUES(?, ?)", folderID,
                     static_cast<std::int64_t>(digest));
}

namespace {

// Whether every trigger is there, or every one but those on inserts.
bool present(SQLiteConnection& db, bool insertsToo)
{
    for (const auto& trigger : triggers) {
        if (trigger.onInsert && !insertsToo)
            continue;
        if (db.scalarInt("SELECT COUNT(*) FROM sqlite_master WHERE type = 'trigger' AND name = ?", {trigger.name}) == 0)
            return false;
    }
    return true;
}

void drop(SQLiteConnection& db, bool insertsOnly)
{
    for (const auto& trigger : triggers)
        if (trigger.onInsert || !insertsOnly)
            db.execute("DROP TRIGGER IF EXISTS " + std::string(trigger.name) + ";");
    db.execute("DELETE FROM folder_digests;");
}

} // namespace

bool tracksRewrites(SQLiteConnection& db) { return present(db, false); }

void track(SQLiteConnection& db)
{
    if (!present(db, true))
        resumeTracking(db, false);
}

void stopTracking(SQLiteConnection& db) { drop(db, false); }

void stopTrackingInserts(SQLiteConnection& db) { drop(db, true); }

void resumeTracking(SQLiteConnection& db, bool digestsHold)
{
    if (!digestsHold)
        db.execute("DELETE FROM folder_digests;");
    createTriggers(db);
}

namespace {

bool marked(SQLiteConnection& db, std::int64_t row)
{
    return db.scalarInt("SELECT EXISTS(SELECT 1 FROM folder_digests WHERE folder_id = ?)", {row}) != 0;
}

void mark(SQLiteConnection& db, std::int64_t row)
{
    db.runValues("INSERT OR REPLACE INTO folder_digests(folder_id, digest) VALUES(?, 0)", row);
}

} // namespace

bool sumsMarked(SQLiteConnection& db) { return marked(db, sumsRow); }

void markSums(SQLiteConnection& db) { mark(db, sumsRow); }

std::int64_t newRowsMark()
{
    std::random_device random;
    const std::uint64_t bits = (static_cast<std::uint64_t>(random()) << 32) ^ random();
    return -static_cast<std::int64_t>(bits >> 2) - 1;
}

bool rowsMarked(SQLiteConnection& db, std::int64_t mark) { return marked(db, mark); }

void markRows(SQLiteConnection& db, std::int64_t markRow) { mark(db, markRow); }

} // namespace FolderDigests
