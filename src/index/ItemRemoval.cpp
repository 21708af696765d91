#include "index/ItemRemoval.h"

#include "index/DirectorySync.h"
#include "index/IndexQueries.h"
#include "index/SQLiteConnection.h"
#include "index/SQLiteError.h"
#include "index/ScanFinish.h"
#include "index/WriteBatch.h"
#include "platform/Paths.h"

#include <exception>

namespace ItemRemoval {

namespace {

constexpr int maximumAncestorUpdates = 4096;

void removeFolder(WriteBatch& batch, const FolderItem& folder)
{
    SQLiteConnection& db = batch.connection();
    // The folder itself is one of the folders that go.
    adjustAncestors(db, folder.parentID, -folder.totalAllocated, -folder.totalSize, -folder.fileCount,
                    -(folder.folderCount + 1));
    if (folder.parentID)
        db.run("UPDATE folders SET direct_dirs = MAX(direct_dirs - 1, 0) WHERE id = ?", {*folder.parentID});
    DirectorySync::deleteSubtree(batch, folder.path);
}

void removeFile(SQLiteConnection& db, const std::string& path)
{
    std::optional<std::int64_t> parentID;
    db.query("SELECT id FROM folders WHERE path = ?", {Paths::deletingLastComponent(path)},
             [&](SQLiteConnection::Statement& row) {
                 if (!parentID)
                     parentID = row.integer(0);
             });
    if (!parentID)
        return;

    struct Row {
        std::int64_t id = 0;
        std::int64_t countedAlloc = 0;
        std::int64_t size = 0;
    };
    std::optional<Row> file;
    db.query("SELECT id, counted_alloc, size FROM files WHERE folder_id = ? AND name = ?",
             {*parentID, Paths::lastComponent(path)}, [&](SQLiteConnection::Statement& row) {
                 if (!file)
                     file = Row{.id = row.integer(0), .countedAlloc = row.integer(1), .size = row.integer(2)};
             });
    if (!file)
        return;

    db.run("DELETE FROM files WHERE id = ?", {file->id});
    db.run("UPDATE folders SET direct_alloc = direct_alloc - ?, direct_size = direct_size - ?, "
           "direct_files = direct_files - 1 WHERE id = ?",
           {file->countedAlloc, file->size, *parentID});
    adjustAncestors(db, parentID, -file->countedAlloc, -file->size, -1, 0);
}

} // namespace

void remove(WriteBatch& batch, const std::vector<std::string>& paths)
{
    // Every item has left the disk already: one that cannot be forgotten must not keep
    // the others in the index, nor the category totals from matching what is left.
    std::exception_ptr firstFailure;
    for (const std::string& path : paths) {
        try {
            removeRows(batch, path);
        } catch (const SQLiteError&) {
            if (!firstFailure)
                firstFailure = std::current_exception();
            // SQLite may have rolled the whole batch back; go on in a new one.
            batch.resynchronize();
        }
    }
    batch.beginIfNeeded();
    ScanFinish::rebuildCategoryTotals(batch.connection());
    batch.commit();
    if (firstFailure)
        std::rethrow_exception(firstFailure);
}

void removeRows(WriteBatch& batch, const std::string& path)
{
    batch.beginIfNeeded();
    batch.noteRewrite();
    if (const auto folder = IndexQueries::folder(batch.connection(), path))
        removeFolder(batch, *folder);
    else
        removeFile(batch.connection(), path);
}

void adjustAncestors(SQLiteConnection& db, std::optional<std::int64_t> from, std::int64_t alloc, std::int64_t size,
                     std::int64_t files, std::int64_t dirs)
{
    if (!from)
        return;
    std::int64_t current = *from;
    for (int updates = 1;; ++updates) {
        db.run("UPDATE folders SET total_alloc = total_alloc + ?, total_size = total_size + ?, "
               "total_files = total_files + ?, total_dirs = total_dirs + ? WHERE id = ?",
               {alloc, size, files, dirs, current});
        std::optional<std::int64_t> parent;
        bool found = false;
        db.query("SELECT parent_id FROM folders WHERE id = ?", {current}, [&](SQLiteConnection::Statement& row) {
            if (found)
                return;
            found = true;
            if (!row.isNull(0))
                parent = row.integer(0);
        });
        if (!parent || updates >= maximumAncestorUpdates)
            return;
        current = *parent;
    }
}

} // namespace ItemRemoval
