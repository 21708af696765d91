#include "index/ScanFinish.h"

#include "index/DirectorySync.h"
#include "index/FolderDigests.h"
#include "index/IndexRows.h"
#include "index/ParallelReads.h"
#include "index/ScanCacheSchema.h"
#include "index/SQLiteConnection.h"
#include "index/WriteBatch.h"
#include "platform/Paths.h"

#include <algorithm>
#include <map>
#include <numeric>
#include <optional>

namespace ScanFinish {
namespace {

using Statement = SQLiteConnection::Statement;

// Every folder's figures as the totals are added up: its direct figures at first, then those
// of its whole subtree; and the totals stored now, so that only rows whose totals change are
// written. Kept small, since every folder of the index has one.
struct Row {
    std::int64_t id = 0;
    std::int64_t parent = 0;   // 0 for a root
    std::int64_t alloc = 0;
    std::int64_t size = 0;
    std::int64_t files = 0;
    std::int64_t dirs = 0;
    std::int64_t storedAlloc = 0;
    std::int64_t storedSize = 0;
    std::int64_t storedFiles = 0;
    std::int64_t storedDirs = 0;
    std::int32_t depth = 0;
    bool isRoot = false;   // no parent row at all, as opposed to one that is gone
};

// The rows in id order, read in one pass with what the finish must know of them first.
struct FolderFigures {
    std::vector<Row> rows;
    std::int64_t restricted = 0;
    bool unvisited = false;   // a row that the scan did not sync
    bool orphaned = false;    // a row whose parent row is gone
};

bool byID(const Row& a, const Row& b) { return a.id < b.id; }

// The position of the row with this id in rows sorted by id.
std::optional<std::size_t> positionOf(const std::vector<Row>& rows, std::int64_t id)
{
    Row key;
    key.id = id;
    const auto found = std::lower_bound(rows.begin(), rows.end(), key, byID);
    if (found == rows.end() || found->id != id) return std::nullopt;
    return static_cast<std::size_t>(found - rows.begin());
}

// Deletes the former root at `path` and what lies below it, except the current roots
// inside it and their subtrees: a scan of a folder inside a former root keeps that folder.
void deleteAround(WriteBatch& batch, const std::string& path, const std::vector<std::string>& kept)
{
    auto& db = batch.connection();
    std::vector<std::int64_t> doomed;
    db.query("SELECT id, path FROM folders WHERE path = ? OR (path >= ? AND path < ?)", IndexRows::subtreeValues(path),
             [&](Statement& row) {
                 const std::string folder = row.text(1);
                 const auto keeps = [&](const std::string& root) { return Paths::isWithin(folder, root); };
                 if (std::none_of(kept.begin(), kept.end(), keeps)) doomed.push_back(row.integer(0));
             });
    for (const std::int64_t id : doomed) {
        db.run("DELETE FROM files WHERE folder_id = ?", {id});
        db.run("DELETE FROM folders WHERE id = ?", {id});
    }
    batch.count(static_cast<std::int64_t>(doomed.size()));
}

// Deletes the folders under `roots` that scan `scanID` did not sync, and every root row
// that is not one of `roots`.
void pruneUnvisited(WriteBatch& batch, std::int64_t scanID, const std::vector<std::string>& roots)
{
    auto& db = batch.connection();
    for (const auto& root : roots) {
        auto values = IndexRows::subtreeValues(root);
        values.insert(values.begin(), scanID);
        std::vector<std::string> unvisited;
        db.query("SELECT path FROM folders WHERE scan_id <> ? AND (path = ? OR (path >= ? AND path < ?))", values,
                 [&](Statement& row) { unvisited.push_back(row.text(0)); });
        // Outermost first, so that a subtree goes in one deletion.
        std::stable_sort(unvisited.begin(), unvisited.end(),
                         [](const std::string& a, const std::string& b) { return a.size() < b.size(); });
        for (const auto& path : unvisited) DirectorySync::deleteSubtree(batch, path);
    }

    std::vector<std::string> formerRoots;
    db.query("SELECT path FROM folders WHERE parent_id IS NULL", {},
             [&](Statement& row) { formerRoots.push_back(row.text(0)); });
    for (const auto& path : formerRoots) {
        if (std::find(roots.begin(), roots.end(), path) != roots.end()) continue;
        std::vector<std::string> inside;
        for (const auto& root : roots)
            if (Paths::isWithin(root, path)) inside.push_back(root);
        if (inside.empty())
            DirectorySync::deleteSubtree(batch, path);
        else
            deleteAround(batch, path, inside);
    }
}

// Deletes every folder whose parent row is gone, with its subtree: no tree reaches them, so
// nothing else would remove them, and the category totals would count files the folder
// totals do not.
void removeOrphanFolders(WriteBatch& batch)
{
    auto& db = batch.connection();
    for (;;) {
        std::vector<std::string> orphans;
        db.query("SELECT path FROM folders AS f WHERE parent_id IS NOT NULL AND "
                 "NOT EXISTS (SELECT 1 FROM folders AS p WHERE p.id = f.parent_id)",
                 {}, [&](Statement& row) { orphans.push_back(row.text(0)); });
        if (orphans.empty())
            break;
        std::stable_sort(orphans.begin(), orphans.end(),
                         [](const std::string& a, const std::string& b) { return a.size() < b.size(); });
        for (const auto& path : orphans) DirectorySync::deleteSubtree(batch, path);
    }
}

constexpr std::string_view folderFiguresSQL =
    "SELECT id, parent_id, depth, direct_alloc, direct_size, direct_files, scan_id, restricted, total_alloc, "
    "total_size, total_files, total_dirs FROM folders";

// One folder row as folderFiguresSQL reads it, noting in `figures` what the finish must know.
Row readRow(FolderFigures& figures, const Statement& r, std::int64_t scanID)
{
    Row row;
    row.id = r.integer(0);
    row.isRoot = r.isNull(1);
    row.parent = row.isRoot ? 0 : r.integer(1);
    row.depth = static_cast<std::int32_t>(r.integer(2));
    row.alloc = r.integer(3);
    row.size = r.integer(4);
    row.files = r.integer(5);
    row.storedAlloc = r.integer(8);
    row.storedSize = r.integer(9);
    row.storedFiles = r.integer(10);
    row.storedDirs = r.integer(11);
    // No folder has the id 0: such a parent is gone like any other.
    if (row.parent == 0 && !row.isRoot) figures.orphaned = true;
    if (r.integer(6) != scanID) figures.unvisited = true;
    if (r.integer(7) == 1) ++figures.restricted;
    return row;
}

// The rows read side by side through `helpers`, each share counted first so that all go
// straight into one vector. False if the rows changed between the count and the read.
bool readFoldersAlongside(FolderFigures& figures, std::int64_t scanID, const std::vector<SQLiteConnection*>& helpers)
{
    auto& db = *helpers.front();
    const std::int64_t first = db.scalarInt("SELECT IFNULL(MIN(id), 0) FROM folders");
    const std::int64_t last = db.scalarInt("SELECT IFNULL(MAX(id), -1) FROM folders");
    if (last < first) return true;
    const std::size_t shares = helpers.size();
    std::vector<std::size_t> starts(shares + 1, 0);
    ParallelReads::inParallel(helpers, [&](std::size_t share, SQLiteConnection& reader) {
        const auto [low, high] = ParallelReads::range(first, last, share, shares);
        ParallelReads::eachRow(reader, "SELECT COUNT(*) FROM folders WHERE id BETWEEN ? AND ?", low, high,
                               [&](const Statement& r) { starts[share + 1] = static_cast<std::size_t>(r.integer(0)); });
    });
    for (std::size_t share = 0; share < shares; ++share) starts[share + 1] += starts[share];
    figures.rows.resize(starts.back());
    std::vector<FolderFigures> notes(shares);
    std::vector<std::size_t> ends(starts.begin(), starts.end() - 1);
    const std::string sql = std::string(folderFiguresSQL) + " WHERE id BETWEEN ? AND ?";
    ParallelReads::inParallel(helpers, [&](std::size_t share, SQLiteConnection& reader) {
        const auto [low, high] = ParallelReads::range(first, last, share, shares);
        ParallelReads::eachRow(reader, sql, low, high, [&](const Statement& r) {
            const Row row = readRow(notes[share], r, scanID);
            if (ends[share] < starts[share + 1]) figures.rows[ends[share]++] = row;
        });
    });
    bool changed = false;
    for (std::size_t share = 0; share < shares; ++share) {
        changed = changed || ends[share] != starts[share + 1];
        figures.restricted += notes[share].restricted;
        figures.unvisited = figures.unvisited || notes[share].unvisited;
        figures.orphaned = figures.orphaned || notes[share].orphaned;
    }
    return !changed;
}

// Read through `db`, or side by side through `helpers`, which see what was committed.
FolderFigures readFolders(SQLiteConnection& db, std::int64_t scanID, const std::vector<SQLiteConnection*>& helpers = {})
{
    FolderFigures figures;
    auto& rows = figures.rows;
    if (helpers.empty() || !readFoldersAlongside(figures, scanID, helpers)) {
        figures = {};
        rows.reserve(static_cast<std::size_t>(db.scalarInt("SELECT COUNT(*) FROM folders")));
        db.query(folderFiguresSQL, {}, [&](Statement& r) { rows.push_back(readRow(figures, r, scanID)); });
    }
    // A table scan gives the rows in id order, so a parent is found by a binary search.
    if (!std::is_sorted(rows.begin(), rows.end(), byID)) std::stable_sort(rows.begin(), rows.end(), byID);
    figures.orphaned = figures.orphaned || std::any_of(rows.begin(), rows.end(), [&](const Row& row) {
                           return row.parent != 0 && !positionOf(rows, row.parent);
                       });
    return figures;
}

// Every folder's subtree totals from its direct figures, deepest folders first; writes only
// the rows whose totals changed, and leaves the index on the allocated total alone where that
// total stayed. Returns the index-wide totals.
ScanTotals recomputeTotals(SQLiteConnection& db, FolderFigures figures)
{
    auto& rows = figures.rows;
    std::vector<std::uint32_t> order(rows.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return rows[a].depth > rows[b].depth; });

    for (const std::uint32_t i : order) {
        const Row& row = rows[i];
        if (row.parent == 0) continue;
        const auto parent = positionOf(rows, row.parent);
        if (!parent || *parent == i) continue;
        Row& target = rows[*parent];
        target.alloc += row.alloc;
        target.size += row.size;
        target.files += row.files;
        target.dirs += row.dirs + 1;
    }

    ScanTotals totals;
    totals.restrictedFolders = figures.restricted;
    for (const Row& row : rows) {
        if (row.isRoot) {
            totals.fileCount += row.files;
            totals.folderCount += row.dirs + 1;   // the roots themselves count as folders
            totals.allocatedBytes += row.alloc;
        }
        if (row.alloc != row.storedAlloc)
            db.runValues("UPDATE folders SET total_alloc = ?, total_size = ?, total_files = ?, total_dirs = ? WHERE id = ?",
                         row.alloc, row.size, row.files, row.dirs, row.id);
        else if (row.size != row.storedSize || row.files != row.storedFiles || row.dirs != row.storedDirs)
            db.runValues("UPDATE folders SET total_size = ?, total_files = ?, total_dirs = ? WHERE id = ?", row.size,
                         row.files, row.dirs, row.id);
    }
    return totals;
}

} // namespace

ScanTotals pruneAndTotalFolders(WriteBatch& batch, std::int64_t scanID, const std::vector<std::string>& roots,
                                bool prune, bool indexFiles, const std::vector<SQLiteConnection*>& helpers)
{
    auto& db = batch.connection();
    FolderFigures folders = readFolders(db, scanID, helpers);
    if (prune && (folders.unvisited || folders.orphaned)) {
        if (indexFiles && folders.unvisited) db.execute(ScanCacheSchema::rescanIndex);
        folders = {};
        pruneUnvisited(batch, scanID, roots);
        removeOrphanFolders(batch);
        folders = readFolders(db, scanID);
    }
    return recomputeTotals(db, std::move(folders));
}

namespace {

using CategorySums = WriteBatch::CategoryChanges;

// Only ever the sums of the file rows, so they are marked as such.
void storeCategoryTotals(SQLiteConnection& db, const CategorySums& sums)
{
    FolderDigests::markSums(db);
    db.run("DELETE FROM category_totals");
    for (const auto& [category, sum] : sums)
        db.run("INSERT INTO category_totals(category, bytes, files) VALUES(?, ?, ?)", {category, sum.bytes, sum.files});
}

} // namespace

bool addCategoryChanges(SQLiteConnection& db, bool fromEmpty, const WriteBatch::CategoryChanges& changes)
{
    CategorySums sums;
    if (!fromEmpty)
        db.query("SELECT category, bytes, files FROM category_totals", {}, [&](Statement& row) {
            auto& sum = sums[row.integer(0)];
            sum.bytes += row.integer(1);
            sum.files += row.integer(2);
        });
    for (const auto& [category, change] : changes) {
        auto& sum = sums[category];
        sum.bytes += change.bytes;
        sum.files += change.files;
    }
    for (auto it = sums.begin(); it != sums.end();) {
        const auto [bytes, files] = it->second;
        if (files < 0 || (files == 0 && bytes != 0))
            return false;
        // A pass over the rows lists no category that has none.
        it = files == 0 ? sums.erase(it) : std::next(it);
    }
    storeCategoryTotals(db, sums);
    return true;
}

void rebuildCategoryTotals(SQLiteConnection& db)
{
    // One pass in table order, summed here: grouping in SQL sorts every row or walks the
    // category index and looks each row up out of table order.
    CategorySums sums;
    auto rows = db.prepare("SELECT category, counted_alloc FROM files");
    while (rows.step()) {
        auto& sum = sums[rows.integer(0)];
        sum.bytes += rows.integer(1);
        ++sum.files;
    }
    storeCategoryTotals(db, sums);
}

void removeOrphanFilesAndRebuildCategoryTotals(WriteBatch& batch)
{
    auto& db = batch.connection();
    std::vector<std::int64_t> folders;
    folders.reserve(static_cast<std::size_t>(db.scalarInt("SELECT COUNT(*) FROM folders")));
    db.query("SELECT id FROM folders", {}, [&](Statement& row) { folders.push_back(row.integer(0)); });
    if (!std::is_sorted(folders.begin(), folders.end())) std::sort(folders.begin(), folders.end());

    CategorySums sums;
    std::vector<std::int64_t> orphaned;   // folder ids of file rows whose folder row is gone
    {
        auto rows = db.prepare("SELECT folder_id, category, counted_alloc FROM files");
        // A folder's files were mostly written together, so neighbours share their folder.
        std::optional<std::int64_t> folder;
        bool known = true;
        while (rows.step()) {
            if (const std::int64_t id = rows.integer(0); id != folder) {
                folder = id;
                known = std::binary_search(folders.begin(), folders.end(), id);
                if (!known) orphaned.push_back(id);
            }
            if (!known) continue;
            auto& sum = sums[rows.integer(1)];
            sum.bytes += rows.integer(2);
            ++sum.files;
        }
    }
    std::sort(orphaned.begin(), orphaned.end());
    orphaned.erase(std::unique(orphaned.begin(), orphaned.end()), orphaned.end());
    for (const std::int64_t id : orphaned) batch.count(db.run("DELETE FROM files WHERE folder_id = ?", {id}));
    storeCategoryTotals(db, sums);
}

} // namespace ScanFinish
