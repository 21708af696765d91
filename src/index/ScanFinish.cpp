#include "index/ScanFinish.h"

#include "index/DirectorySync.h"
#include "index/IndexRows.h"
#include "index/SQLiteConnection.h"
#include "index/WriteBatch.h"
#include "platform/Paths.h"

#include <algorithm>
#include <map>
#include <numeric>
#include <unordered_map>

namespace ScanFinish {
namespace {

using Statement = SQLiteConnection::Statement;

struct Row {
    std::int64_t id = 0;
    std::int64_t parent = 0;
    std::int64_t depth = 0;
    std::int64_t alloc = 0;
    std::int64_t size = 0;
    std::int64_t files = 0;
    std::int64_t oldAlloc = 0;
    std::int64_t oldSize = 0;
    std::int64_t oldFiles = 0;
    std::int64_t oldDirs = 0;
    std::int64_t dirs = 0;
};

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

} // namespace

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

void recomputeTotals(SQLiteConnection& db)
{
    std::vector<Row> rows;
    db.query("SELECT id, IFNULL(parent_id, 0), depth, direct_alloc, direct_size, direct_files, total_alloc, "
             "total_size, total_files, total_dirs\nFROM folders",
             {}, [&](Statement& r) {
                 rows.push_back({r.integer(0), r.integer(1), r.integer(2), r.integer(3), r.integer(4), r.integer(5),
                                 r.integer(6), r.integer(7), r.integer(8), r.integer(9), 0});
             });

    std::unordered_map<std::int64_t, size_t> positions;
    positions.reserve(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) positions.emplace(rows[i].id, i);

    std::vector<size_t> order(rows.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return rows[a].depth > rows[b].depth; });

    for (const size_t i : order) {
        const Row& row = rows[i];
        if (row.parent == 0) continue;
        const auto parent = positions.find(row.parent);
        if (parent == positions.end() || parent->second == i) continue;
        Row& target = rows[parent->second];
        target.alloc += row.alloc;
        target.size += row.size;
        target.files += row.files;
        target.dirs += row.dirs + 1;
    }

    for (const Row& row : rows) {
        if (row.alloc == row.oldAlloc && row.size == row.oldSize && row.files == row.oldFiles &&
            row.dirs == row.oldDirs) {
            continue;
        }
        db.run("UPDATE folders SET total_alloc = ?, total_size = ?, total_files = ?, total_dirs = ? WHERE id = ?",
               {row.alloc, row.size, row.files, row.dirs, row.id});
    }
}

void rebuildCategoryTotals(SQLiteConnection& db)
{
    // One pass in table order, summed here: grouping in SQL sorts every row or walks the
    // category index and looks each row up out of table order.
    std::map<std::int64_t, std::pair<std::int64_t, std::int64_t>> sums;   // category -> bytes, files
    auto rows = db.prepare("SELECT category, counted_alloc FROM files");
    while (rows.step()) {
        auto& sum = sums[rows.integer(0)];
        sum.first += rows.integer(1);
        ++sum.second;
    }
    db.run("DELETE FROM category_totals");
    for (const auto& [category, sum] : sums)
        db.run("INSERT INTO category_totals(category, bytes, files) VALUES(?, ?, ?)", {category, sum.first, sum.second});
}

} // namespace ScanFinish
