#pragma once

#include "index/ScanRecords.h"

#include <cstdint>
#include <string>
#include <vector>

class SQLiteConnection;
class WriteBatch;

// Bringing the index to a consistent state at the end of a scan.
namespace ScanFinish {

// Deletes the folders under `roots` that scan `scanID` did not sync, and every root row
// that is not one of `roots`.
void pruneUnvisited(WriteBatch& batch, std::int64_t scanID, const std::vector<std::string>& roots);

// After a completed scan, deletes every folder whose parent row is gone, with its subtree:
// no tree reaches them, so nothing else would remove them, and the category totals would
// count files the folder totals do not.
void removeOrphanFolders(WriteBatch& batch);

// Every folder's direct figures, in id order, read in one pass with what the finish must
// know of the rows before it adds them up.
struct FolderFigures {
    struct Row {
        std::int64_t id = 0;
        std::int64_t parent = 0;   // 0 for a root
        std::int64_t depth = 0;
        std::int64_t alloc = 0;
        std::int64_t size = 0;
        std::int64_t files = 0;
        std::int64_t dirs = 0;
    };
    std::vector<Row> rows;
    bool unvisited = false;   // a row that scan `scanID` did not sync
    bool orphaned = false;    // a row whose parent row is gone
};
FolderFigures readFolders(SQLiteConnection& db, std::int64_t scanID);

// Every folder's subtree totals from its direct figures, deepest folders first; writes only
// the rows whose totals changed.
void recomputeTotals(SQLiteConnection& db, FolderFigures figures);

// category_totals from the file rows.
void rebuildCategoryTotals(SQLiteConnection& db);
// In one pass over the file rows: deletes those whose folder row is gone and rebuilds
// category_totals from the others.
void removeOrphanFilesAndRebuildCategoryTotals(WriteBatch& batch);

} // namespace ScanFinish
