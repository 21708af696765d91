#include "index/ScanFinish.h"

#include "index/DirectorySync.h"
#include "index/FolderDigests.h"
#include "index/IndexRows.h"
#include "index/ScanCacheSchema.h"
#include "index/SQLiteConnection.h"
#include "index/WriteBatch.h"
#include "platform/Paths.h"

#include <algorithm>
#include <map>
#include <optional>

namespace ScanFinish {
namespace {

using Statement = SQLiteConnection::Statement;

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

// A folder's figures: direct ones or those of its whole subtree.
struct Figures {
    std::int64_t alloc = 0;
    std::int64_t size = 0;
    std::int64_t files = 0;
    std::int64_t dirs = 0;
    friend bool operator==(const Figures&, const Figures&) = default;
};

// A folder on the way down the tree: its figures as its subtree is added in, the totals it
// has stored, and its subfolders, entered one after the other.
struct Frame {
    Figures sum{};
    Figures stored{};
    std::int64_t id = 0;
    bool isRoot = false;
    std::vector<std::int64_t> children{};
    std::size_t next = 0;
};

Frame enter(SQLiteConnection& db, std::int64_t id, bool isRoot)
{
    Frame frame{.id = id, .isRoot = isRoot};
    auto row = db.prepare("SELECT direct_alloc, direct_size, direct_files, total_alloc, total_size, total_files, "
                          "total_dirs FROM folders WHERE id = ?");
    row.bindValues(id);
    if (row.step()) {
        frame.sum = {.alloc = row.integer(0), .size = row.integer(1), .files = row.integer(2)};
        frame.stored = {.alloc = row.integer(3), .size = row.integer(4), .files = row.integer(5), .dirs = row.integer(6)};
    }
    row.reset();
    auto children = db.prepare("SELECT id FROM folders WHERE parent_id = ?");
    children.bindValues(id);
    while (children.step()) frame.children.push_back(children.integer(0));
    children.reset();
    return frame;
}

// Writes a folder's subtree totals where they changed, leaving the index on the allocated
// total alone where that total stayed.
void store(SQLiteConnection& db, const Frame& frame)
{
    const Figures& sum = frame.sum;
    if (sum.alloc != frame.stored.alloc)
        db.runValues("UPDATE folders SET total_alloc = ?, total_size = ?, total_files = ?, total_dirs = ? WHERE id = ?",
                     sum.alloc, sum.size, sum.files, sum.dirs, frame.id);
    else if (sum != frame.stored)
        db.runValues("UPDATE folders SET total_size = ?, total_files = ?, total_dirs = ? WHERE id = ?", sum.size,
                     sum.files, sum.dirs, frame.id);
}

// The folders that head a tree: the roots, and the folders whose parent row is gone, which
// a finish that prunes removes first.
std::vector<std::pair<std::int64_t, bool>> treeTops(SQLiteConnection& db)
{
    std::vector<std::pair<std::int64_t, bool>> tops;
    db.query("SELECT id, parent_id IS NULL FROM folders AS f WHERE parent_id IS NULL OR "
             "NOT EXISTS (SELECT 1 FROM folders AS p WHERE p.id = f.parent_id)",
             {}, [&](Statement& row) { tops.emplace_back(row.integer(0), row.integer(1) != 0); });
    return tops;
}

// Every folder's subtree totals from its direct figures, walking each tree depth first so
// that only the folders on the way down are held, whatever the size of the index: a
// folder's totals are complete once its last subfolder is left. Returns the index-wide totals.
ScanTotals recomputeTotals(SQLiteConnection& db)
{
    ScanTotals totals;
    totals.restrictedFolders = db.scalarInt("SELECT COUNT(*) FROM folders WHERE restricted = 1");
    std::vector<Frame> path;
    for (const auto& [top, isRoot] : treeTops(db)) {
        path.push_back(enter(db, top, isRoot));
        while (!path.empty()) {
            Frame& frame = path.back();
            if (frame.next < frame.children.size()) {
                const std::int64_t child = frame.children[frame.next++];
                path.push_back(enter(db, child, false));
                continue;
            }
            store(db, frame);
            const Frame done = std::move(frame);
            path.pop_back();
            if (done.isRoot) {
                totals.fileCount += done.sum.files;
                totals.folderCount += done.sum.dirs + 1;   // the roots themselves count as folders
                totals.allocatedBytes += done.sum.alloc;
            }
            if (path.empty()) continue;
            Figures& parent = path.back().sum;
            parent.alloc += done.sum.alloc;
            parent.size += done.sum.size;
            parent.files += done.sum.files;
            parent.dirs += done.sum.dirs + 1;
        }
    }
    return totals;
}

} // namespace

ScanTotals pruneAndTotalFolders(WriteBatch& batch, std::int64_t scanID, const std::vector<std::string>& roots,
                                bool prune, bool indexFiles)
{
    auto& db = batch.connection();
    if (prune) {
        const bool unvisited = db.scalarInt("SELECT EXISTS (SELECT 1 FROM folders WHERE scan_id <> ?)", {scanID}) != 0;
        const bool orphaned = unvisited || db.scalarInt("SELECT EXISTS (SELECT 1 FROM folders AS f WHERE parent_id IS NOT "
                                                        "NULL AND NOT EXISTS (SELECT 1 FROM folders AS p WHERE "
                                                        "p.id = f.parent_id))") != 0;
        if (unvisited || orphaned) {
            if (indexFiles && unvisited) db.execute(ScanCacheSchema::rescanIndex);
            pruneUnvisited(batch, scanID, roots);
            removeOrphanFolders(batch);
        }
    }
    return recomputeTotals(db);
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
