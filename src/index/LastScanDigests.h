#pragma once

#include "index/StoredFolders.h"

#include <cstdint>
#include <optional>

class SQLiteConnection;

// The folder digests (see StoredFolders) that the last scan recorded as its writer synced each
// folder, kept after its finish so that the next scan of this process need not read them back
// from the cache. They stand for the cache only while nothing else has written to it: a row
// written through this connection, or a commit of another one, drops them at the next scan's
// begin, except the commits of the index build that the scan's finish started, which write no row.
class LastScanDigests {
public:
    // `indexBuildRunning`: whether the build that the finish started is still running.
    // Fails with SQLiteError, keeping none.
    void keep(StoredFolders digests, SQLiteConnection& db, bool indexBuildRunning);
    // Drops them unless nothing has written to the cache since they were kept.
    void dropUnlessCurrent(SQLiteConnection& db) noexcept;
    std::optional<StoredFolders> take();
    void drop() { digests_.reset(); }

private:
    static std::int64_t dataVersion(SQLiteConnection& db);

    std::optional<StoredFolders> digests_;
    // How the cache stood when they were kept: the rows this connection had written and the
    // version that other connections' commits move on.
    std::int64_t changesAtKeeping_ = 0;
    std::int64_t versionAtKeeping_ = 0;
    bool keptDuringIndexBuild_ = false;
};
