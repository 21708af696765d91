#include "index/LastScanDigests.h"

#include "index/SQLiteConnection.h"

#include <utility>

std::int64_t LastScanDigests::dataVersion(SQLiteConnection& db) { return db.scalarInt("PRAGMA data_version"); }

void LastScanDigests::keep(StoredFolders digests, SQLiteConnection& db, bool indexBuildRunning)
{
    digests_.reset();
    changesAtKeeping_ = db.totalChanges();
    versionAtKeeping_ = dataVersion(db);
    keptDuringIndexBuild_ = indexBuildRunning;
    digests_ = std::move(digests);
}

void LastScanDigests::dropUnlessCurrent(SQLiteConnection& db) noexcept
{
    if (!digests_)
        return;
    try {
        const std::int64_t version = dataVersion(db);
        // The index build the last finish started commits on a connection of its own, and writes
        // no row the digests stand for; it has ended by now.
        if (keptDuringIndexBuild_)
            versionAtKeeping_ = version;
        if (db.totalChanges() == changesAtKeeping_ && version == versionAtKeeping_)
            return;
    } catch (const SQLiteError&) {
        // Not known to be current.
    }
    digests_.reset();
}

std::optional<StoredFolders> LastScanDigests::take() { return std::exchange(digests_, std::nullopt); }
