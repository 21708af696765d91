#pragma once

#include "index/ScanRecords.h"
#include "index/WriteBatch.h"

#include <cstdint>
#include <string>
#include <vector>

class SQLiteConnection;

// Bringing the index to a consistent state at the end of a scan.
namespace ScanFinish {

// The folder rows at the end of scan `scanID`. With `prune` (a completed scan whose writes
// all went in) the folders it did not visit and those no tree reaches go first, and with
// `indexFiles` the file rows' folder index is built before that: without it each deletion
// reads every file row. Then every folder's subtree totals, in one walk down each tree that
// holds only the folders on its way; only the rows whose totals changed are written. Returns
// the totals of the index as IndexQueries::totals reads them.
ScanTotals pruneAndTotalFolders(WriteBatch& batch, std::int64_t scanID, const std::vector<std::string>& roots,
                                bool prune, bool indexFiles);

// category_totals from the file rows.
void rebuildCategoryTotals(SQLiteConnection& db);
// In one pass over the file rows: deletes those whose folder row is gone and rebuilds
// category_totals from the others.
void removeOrphanFilesAndRebuildCategoryTotals(WriteBatch& batch);
// category_totals as the stored ones (or none, `fromEmpty`) with `changes` added. False, with
// nothing written, when the result cannot be the file rows' sums (a category left with fewer
// than no files, or with bytes and no file): the caller then rebuilds them from the rows.
bool addCategoryChanges(SQLiteConnection& db, bool fromEmpty, const WriteBatch::CategoryChanges& changes);

} // namespace ScanFinish
