#pragma once

#include "index/ScanRecords.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

class SQLiteConnection;

// The folder digests: one digest per folder of its row and its file rows, as a scan synced them
// from a listing, so that a reader whose listing gives the same digest needs no query of the
// folder's file rows. They live in the cache's folder_digests table, written in the same
// transaction as the rows they stand for, and SQLite itself drops a folder's digest (by
// triggers) whenever any connection of any program writes its row or its file rows otherwise:
// every process and every restart can take them as they are, and no baseline can go stale.
//
// Rows of the table under ids no folder has are marks. The sums mark (0), present, says the
// category totals are the sums of the file rows: any write of a file row drops it. A rows mark
// (below 0, one per writing connection) is set by its connection as it commits, and any write
// of the rows a scan's view rests on (file rows, and folder rows but for their totals) drops
// every one: gone while another connection committed, it says that connection wrote such rows.
//
// A bulk load writes without the triggers on inserts (each would cost as much as the row
// itself); the digests it writes hold only if nothing else wrote meanwhile, which its finish
// tells.
namespace FolderDigests {

// Stands for a folder whose rows no listing is taken to match; no digest has this value.
inline constexpr std::uint64_t unknown = 0;

// A folder's files summed in any order, part by part: their share of its digest, and the
// figures of its row.
struct FileSum {
    std::uint64_t keys = 0;
    std::int64_t files = 0;
    std::int64_t directAlloc = 0;   // counted bytes
    std::int64_t directSize = 0;

    void add(std::uint64_t seed, const std::vector<ScannedFile>& more);
};

// What a listing's rows give as their digest once synced, under `seed`: of its files, and of
// `parted`, the sum of those it handed over before in parts.
std::uint64_t of(std::uint64_t seed, const DirectorySnapshot& snapshot, FileSum parted = {});

// The table and the cache's seed, when missing; then tracking as by track(). Fails with SQLiteError.
void create(SQLiteConnection& db);
// The seed the cache's digests are taken under. Fails with SQLiteError.
std::uint64_t seed(SQLiteConnection& db);

// The digest stored for a folder, or unknown.
std::uint64_t stored(SQLiteConnection& db, std::int64_t folderID);
// Stores a folder's digest for the rows just written; unknown drops it.
void store(SQLiteConnection& db, std::int64_t folderID, std::uint64_t digest);

// Whether the triggers on updates and deletes are there, which a bulk load keeps.
bool tracksRewrites(SQLiteConnection& db);
// The triggers, made again where missing; digests kept while they were missing may stand for
// rows another connection changed since, so then they all go.
void track(SQLiteConnection& db);
// For emptying the tables at once: drops the triggers and every digest.
void stopTracking(SQLiteConnection& db);
// For a bulk load: drops the triggers on inserts and every digest.
void stopTrackingInserts(SQLiteConnection& db);
// After either: the triggers again, keeping the digests written meanwhile when `digestsHold`
// (nothing else wrote to the cache meanwhile).
void resumeTracking(SQLiteConnection& db, bool digestsHold);
// Those that a bulk load leaves out.
inline constexpr std::size_t bulkLoadDroppedTriggers = 2;

// The marks (see above).
bool sumsMarked(SQLiteConnection& db);
void markSums(SQLiteConnection& db);
// A writing connection's own rows mark, chosen at random.
std::int64_t newRowsMark();
bool rowsMarked(SQLiteConnection& db, std::int64_t mark);
void markRows(SQLiteConnection& db, std::int64_t mark);

} // namespace FolderDigests
