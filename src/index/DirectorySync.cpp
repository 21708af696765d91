#include "index/DirectorySync.h"

#include "index/IndexRows.h"
#include "index/SQLiteConnection.h"
#include "index/ScanErrorLog.h"
#include "index/WriteBatch.h"

#include <cmath>
#include <map>
#include <set>

namespace DirectorySync {
namespace {

constexpr double modifiedTolerance = 0.0005;

struct CachedFile {
    std::int64_t id = 0;
    std::int64_t size = 0;
    std::int64_t alloc = 0;
    double modified = 0;
    std::int64_t counted = 0;
};

struct CachedChild {
    std::int64_t id = 0;
    std::string path;
};

using Statement = SQLiteConnection::Statement;

// Names repaired from invalid bytes can repeat, so one name may hold several rows;
// each row is matched at most once.
using CachedFiles = std::multimap<std::string, CachedFile>;
using CachedChildren = std::multimap<std::string, CachedChild>;

bool unchanged(const ScannedFile& file, const CachedFile& cached)
{
    return file.size == cached.size && file.allocatedSize == cached.alloc &&
           std::fabs(file.modified - cached.modified) <= modifiedTolerance &&
           file.countedAllocatedSize == cached.counted;
}

std::vector<SQLValue> fileValues(const ScannedFile& file, double now)
{
    return {file.size,     file.allocatedSize,  file.countedAllocatedSize, file.modified, file.created,
            file.accessed, file.flags.rawValue, file.inode,                rawValue(file.category), now};
}

std::optional<std::int64_t> folderIDAtPath(SQLiteConnection& db, const std::string& path)
{
    std::optional<std::int64_t> id;
    db.query("SELECT id FROM folders WHERE path = ?", {path}, [&](Statement& row) {
        if (!id) id = row.integer(0);
    });
    return id;
}

struct ResolvedFolder {
    std::int64_t id = 0;
    bool placed = false;   // the row already holds the snapshot's parent, name and depth
};

bool samePlace(const Statement& row, const DirectorySnapshot& snapshot)
{
    const std::optional<std::int64_t> parent =
        row.isNull(1) ? std::nullopt : std::optional<std::int64_t>(row.integer(1));
    return parent == snapshot.parentID && row.text(2) == snapshot.name && row.integer(3) == snapshot.depth;
}

// The caller's id is trusted only while its row still holds this path: after a removal or a
// cleared cache the id may be gone, or taken by another folder.
ResolvedFolder resolveFolder(SQLiteConnection& db, const DirectorySnapshot& snapshot)
{
    if (snapshot.folderID) {
        std::optional<ResolvedFolder> stored;
        db.query("SELECT path, parent_id, name, depth FROM folders WHERE id = ?", {*snapshot.folderID},
                 [&](Statement& row) {
                     if (!stored && row.text(0) == snapshot.path)
                         stored = ResolvedFolder{*snapshot.folderID, samePlace(row, snapshot)};
                 });
        if (stored) return *stored;
    }
    if (auto id = folderIDAtPath(db, snapshot.path)) return {*id, false};
    db.run("INSERT INTO folders(parent_id, path, name, depth) VALUES(?, ?, ?, ?)",
           {snapshot.parentID, snapshot.path, snapshot.name, snapshot.depth});
    return {db.lastInsertRowID(), true};
}

CachedFiles storedFiles(SQLiteConnection& db, std::int64_t folderID)
{
    CachedFiles files;
    db.query("SELECT id, name, size, alloc, modified, counted_alloc FROM files WHERE folder_id = ?", {folderID},
             [&](Statement& row) {
                 files.emplace(row.text(1),
                               CachedFile{row.integer(0), row.integer(2), row.integer(3), row.real(4), row.integer(5)});
             });
    return files;
}

// Of the rows stored under the file's name, an unchanged one is preferred so that repeated
// names do not trade rows on every rescan.
CachedFiles::iterator takeMatch(CachedFiles& files, const ScannedFile& file)
{
    auto [first, last] = files.equal_range(file.name);
    for (auto it = first; it != last; ++it) {
        if (unchanged(file, it->second)) return it;
    }
    return first != last ? first : files.end();
}

void syncFiles(WriteBatch& batch, std::int64_t folderID, const DirectorySnapshot& snapshot, double now,
               DirectorySyncResult& result)
{
    auto& db = batch.connection();
    CachedFiles stored = storedFiles(db, folderID);
    for (const auto& file : snapshot.files) {
        const auto match = takeMatch(stored, file);
        if (match == stored.end()) {
            auto values = fileValues(file, now);
            values.insert(values.begin(), {folderID, file.name, file.fileExtension});
            db.run("INSERT INTO files(folder_id, name, ext, size, alloc, counted_alloc, modified, created, accessed, "
                   "flags, inode, category, scanned_at)\nVALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                   values);
            ++result.newFiles;
            batch.count();
            continue;
        }
        const CachedFile cached = match->second;
        stored.erase(match);
        if (unchanged(file, cached)) continue;
        auto values = fileValues(file, now);
        values.push_back(cached.id);
        db.run("UPDATE files SET size = ?, alloc = ?, counted_alloc = ?, modified = ?, created = ?, accessed = ?,\n"
               "    flags = ?, inode = ?, category = ?, scanned_at = ? WHERE id = ?",
               values);
        ++result.changedFiles;
        batch.count();
    }
    for (const auto& [name, gone] : stored) {
        db.run("DELETE FROM files WHERE id = ?", {gone.id});
        ++result.deletedFiles;
        batch.count();
    }
}

void syncChildren(WriteBatch& batch, std::int64_t folderID, const DirectorySnapshot& snapshot,
                  DirectorySyncResult& result, std::vector<std::string>& duplicates)
{
    auto& db = batch.connection();
    CachedChildren stored;
    db.query("SELECT id, name, path FROM folders WHERE parent_id = ?", {folderID}, [&](Statement& row) {
        stored.emplace(row.text(1), CachedChild{row.integer(0), row.text(2)});
    });

    const std::int64_t childDepth = snapshot.depth + 1;
    std::set<std::string_view> seen;
    for (const auto& subfolder : snapshot.subdirectories) {
        const std::string path = childPath(snapshot.path, subfolder.name);
        if (!seen.insert(subfolder.name).second) {
            duplicates.push_back(path);
            continue;
        }
        if (auto known = stored.find(subfolder.name); known != stored.end()) {
            result.childIDs[subfolder.name] = known->second.id;
            stored.erase(known);
            continue;
        }
        std::optional<std::pair<std::int64_t, std::int64_t>> existing;   // id, depth
        db.query("SELECT id, depth FROM folders WHERE path = ?", {path}, [&](Statement& row) {
            if (!existing) existing = std::pair{row.integer(0), row.integer(1)};
        });
        if (existing) {
            // A folder known from elsewhere (a former root) moves under this one.
            db.run("UPDATE folders SET parent_id = ? WHERE id = ?", {folderID, existing->first});
            if (existing->second != childDepth) shiftDepth(db, path, childDepth - existing->second);
            result.childIDs[subfolder.name] = existing->first;
        } else {
            db.run("INSERT INTO folders(parent_id, path, name, depth, modified) VALUES(?, ?, ?, ?, ?)",
                   {folderID, path, subfolder.name, childDepth, subfolder.modified});
            result.childIDs[subfolder.name] = db.lastInsertRowID();
        }
        batch.count();
    }
    for (const auto& [name, gone] : stored) result.deletedFolders += static_cast<int>(deleteSubtree(batch, gone.path));
}

} // namespace

std::string childPath(std::string_view folder, std::string_view name)
{
    std::string path(folder == "/" ? "" : folder);
    path += '/';
    path += name;
    return path;
}

DirectorySyncResult sync(WriteBatch& batch, const DirectorySnapshot& snapshot, std::int64_t scanID, double now)
{
    batch.beginIfNeeded();
    auto& db = batch.connection();
    DirectorySyncResult result;
    const ResolvedFolder folder = resolveFolder(db, snapshot);
    result.folderID = folder.id;

    std::int64_t directAlloc = 0;
    std::int64_t directSize = 0;
    for (const auto& file : snapshot.files) {
        directAlloc += file.countedAllocatedSize;
        directSize += file.size;
    }

    syncFiles(batch, result.folderID, snapshot, now, result);
    std::vector<std::string> duplicates;
    syncChildren(batch, result.folderID, snapshot, result, duplicates);

    // Stamped last: a folder whose files or children failed to write keeps its old scan id,
    // so a resumed scan reads it again and the finish does not mistake it for visited.
    std::vector<SQLValue> stamp{snapshot.modified, snapshot.isRestricted ? 1 : 0, scanID, now,
                                rawValue(snapshot.category), directAlloc, directSize, snapshot.files.size(),
                                snapshot.subdirectories.size(), result.folderID};
    if (folder.placed) {
        // Leaving parent, name and depth out spares rewriting their index entries on every rescan.
        db.run("UPDATE folders SET modified = ?, restricted = ?, scan_id = ?, scanned_at = ?, category = ?,\n"
               "    direct_alloc = ?, direct_size = ?, direct_files = ?, direct_dirs = ?\nWHERE id = ?",
               stamp);
    } else {
        stamp.insert(stamp.begin(), {snapshot.parentID, snapshot.name, snapshot.depth});
        db.run("UPDATE folders SET parent_id = ?, name = ?, depth = ?, modified = ?, restricted = ?, scan_id = ?,\n"
               "    scanned_at = ?, category = ?, direct_alloc = ?, direct_size = ?, direct_files = ?, direct_dirs = ?\n"
               "WHERE id = ?",
               stamp);
    }
    batch.count();

    for (const auto& path : duplicates) ScanErrorLog::log(batch, path, std::string(duplicateFolderMessage), now);
    batch.commitIfNeeded();
    return result;
}

std::int64_t deleteSubtree(WriteBatch& batch, std::string_view path)
{
    batch.beginIfNeeded();
    auto& db = batch.connection();
    const auto bounds = IndexRows::subtreeValues(path);
    db.run("DELETE FROM files WHERE folder_id IN (SELECT id FROM folders WHERE path = ? OR (path >= ? AND path < ?))",
           bounds);
    const std::int64_t deleted = db.run("DELETE FROM folders WHERE path = ? OR (path >= ? AND path < ?)", bounds);
    batch.count(deleted);
    return deleted;
}

void shiftDepth(SQLiteConnection& db, std::string_view path, std::int64_t delta)
{
    auto values = IndexRows::subtreeValues(path);
    values.insert(values.begin(), delta);
    db.run("UPDATE folders SET depth = depth + ? WHERE path = ? OR (path >= ? AND path < ?)", values);
}

} // namespace DirectorySync
