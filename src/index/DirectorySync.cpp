#include "index/DirectorySync.h"

#include "index/FolderDigests.h"
#include "index/IndexRows.h"
#include "index/ReadTransaction.h"
#include "index/SQLiteConnection.h"
#include "index/ScanErrorLog.h"
#include "index/WriteBatch.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <set>
#include <stdexcept>
#include <sqlite3.h>
#include <unordered_map>

namespace DirectorySync {
namespace {

constexpr double modifiedTolerance = 0.0005;

struct CachedFile {
    std::int64_t id = 0;
    std::string name;
    std::int64_t size = 0;
    std::int64_t alloc = 0;
    double modified = 0;
    std::int64_t counted = 0;
    std::int64_t flags = 0;
    std::int64_t inode = 0;
    std::int64_t category = 0;
    bool taken = false;
};

struct CachedChild {
    std::int64_t id = 0;
    std::string_view path;
};

using Statement = SQLiteConnection::Statement;

// Names repaired from invalid bytes can repeat, so one name may hold several rows;
// each row is matched at most once.
using CachedChildren = std::multimap<std::string_view, CachedChild>;

constexpr std::string_view insertFilesSQL =
    "INSERT OR FAIL INTO files(folder_id, name, ext, size, alloc, counted_alloc, modified, created, accessed, flags, inode, "
    "category, scanned_at)\nVALUES";
constexpr std::string_view updateFileSQL =
    "UPDATE files SET size = ?, alloc = ?, counted_alloc = ?, modified = ?, created = ?, accessed = ?,\n"
    "    flags = ?, inode = ?, category = ?, scanned_at = ? WHERE id = ?";
constexpr std::string_view selectFilesSQL =
    "SELECT id, name, size, alloc, modified, counted_alloc, flags, inode, category FROM files WHERE folder_id = ?";
constexpr std::string_view insertChildSQL =
    "INSERT OR IGNORE INTO folders(id, parent_id, path, name, depth, modified) VALUES(?, ?, ?, ?, ?, ?)";
constexpr std::string_view insertNewFolderSQL =
    "INSERT INTO folders(id, parent_id, path, name, depth, modified, restricted, scan_id, scanned_at, category,\n"
    "    direct_alloc, direct_size, direct_files, direct_dirs, total_alloc, total_size, total_files)\n"
    "VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

bool unchanged(const ScannedFile& file, const CachedFile& cached)
{
    return file.size == cached.size && file.allocatedSize == cached.alloc &&
           std::fabs(file.modified - cached.modified) <= modifiedTolerance &&
           file.countedAllocatedSize == cached.counted &&
           // A link added or removed changes only the link count (and ctime): the flags
           // and the inode recorded with them show it.
           file.flags.rawValue == cached.flags && static_cast<std::int64_t>(file.inode) == cached.inode;
}

// The rows of the folder at `path` and below it, with their files; returns the folder rows deleted.
std::int64_t deleteRows(WriteBatch& batch, std::string_view path)
{
    auto& db = batch.connection();
    const auto bounds = IndexRows::subtreeValues(path);
    db.run("DELETE FROM files WHERE folder_id IN (SELECT id FROM folders WHERE path = ? OR (path >= ? AND path < ?))",
           bounds);
    const std::int64_t deleted = db.run("DELETE FROM folders WHERE path = ? OR (path >= ? AND path < ?)", bounds);
    batch.count(deleted);
    return deleted;
}

// The nine values of a file the file statements bind after their leading ones, from `first`
// on, of which an update leaves out the indexed columns not in `keys`; returns the next index.
int bindFileValues(Statement& statement, int first, const ScannedFile& file, std::uint8_t keys = 7)
{
    using Key = FolderDifferences::ChangedFile::Key;
    int index = first;
    const auto bind = [&](const auto& value) { statement.bindAt(index++, value); };
    if (keys & Key::size) bind(file.size);
    if (keys & Key::alloc) bind(file.allocatedSize);
    bind(file.countedAllocatedSize);
    bind(file.modified);
    bind(file.created);
    bind(file.accessed);
    bind(file.flags.rawValue);
    bind(static_cast<std::int64_t>(file.inode));
    if (keys & Key::category) bind(rawValue(file.category));
    return index;
}

// Inserts files of one folder, many rows per statement: a statement's cursors stay where its
// last row went, so the rows of a chunk cost no descent from the roots of the table and its
// index each. OR FAIL keeps the rows before a failing one, as one statement per row would, and
// spares the statement journal, which would copy every page the statement touches.
class FileInserter {
public:
    static constexpr std::size_t chunkRows = 32;

    FileInserter(WriteBatch& batch, std::int64_t folderID, double now) : batch_(batch), folderID_(folderID), now_(now) {}

    // The file must outlive the next flush(); returns the rows written by this call.
    std::int64_t add(const ScannedFile& file)
    {
        pending_[count_++] = &file;
        return count_ == chunkRows ? flush() : 0;
    }

    // Writes what was added since the last flush and counts each row as one write.
    std::int64_t flush()
    {
        const std::size_t rows = count_;
        if (rows == 0) return 0;
        // Every parameter is bound below; the folder and the time once for all rows.
        Statement statement = batch_.connection().prepareToRebind(insertSQL(rows));
        statement.bindAt(1, folderID_);
        statement.bindAt(2, now_);
        for (std::size_t row = 0; row < rows; ++row) {
            const int first = static_cast<int>(shared + 1 + row * perRow);
            statement.bindTextInPlace(first, pending_[row]->name);
            statement.bindTextInPlace(first + 1, pending_[row]->fileExtension);
            bindFileValues(statement, first + 2, *pending_[row]);
        }
        count_ = 0;
        statement.runOnce();
        for (std::size_t row = 0; row < rows; ++row)
            batch_.noteFileRowAdded(rawValue(pending_[row]->category), pending_[row]->countedAllocatedSize);
        batch_.count(static_cast<std::int64_t>(rows));
        return static_cast<std::int64_t>(rows);
    }

private:
    // ?1 is the folder and ?2 the time of every row; then each row's own values.
    static constexpr std::size_t shared = 2;
    static constexpr std::size_t perRow = 11;

    static const std::string& insertSQL(std::size_t rows)
    {
        static const std::array<std::string, chunkRows + 1> texts = [] {
            std::array<std::string, chunkRows + 1> all;
            std::string text(insertFilesSQL);
            for (std::size_t n = 1; n <= chunkRows; ++n) {
                text += n > 1 ? ", (?1" : "(?1";
                const std::size_t first = shared + 1 + (n - 1) * perRow;
                for (std::size_t index = first; index < first + perRow; ++index) text += ", ?" + std::to_string(index);
                text += ", ?2)";
                all[n] = text;
            }
            return all;
        }();
        return texts[rows];
    }

    WriteBatch& batch_;
    std::int64_t folderID_;
    double now_;
    std::array<const ScannedFile*, chunkRows> pending_{};
    std::size_t count_ = 0;
};

// The stored file rows of one folder, matched against its listing. An unchanged folder
// lists its files in the order they were stored, so rows are taken by position, straight
// from the query, until the first difference; from then on by name. Nothing may be written
// to the cache until finish().
class StoredFiles {
public:
    StoredFiles(SQLiteConnection& db, std::int64_t folderID) : statement_(db.prepare(selectFilesSQL))
    {
        statement_.bindAt(1, folderID);
        advance();
    }
    ~StoredFiles() { statement_.reset(); }
    StoredFiles(const StoredFiles&) = delete;
    StoredFiles& operator=(const StoredFiles&) = delete;

    // The row stored for the file, or null. Of rows under a repeated name an unchanged one
    // is preferred, so that such names do not trade rows on every rescan.
    const CachedFile* take(const ScannedFile& file)
    {
        if (!indexed_) {
            if (hasRow_) {
                // Only names repaired to U+FFFD can repeat within one folder.
                const bool mayRepeat = file.name.find("\xEF\xBF\xBD") != std::string::npos;
                if (currentName() == file.name && (!mayRepeat || unchanged(file, current_))) {
                    taken_ = current_;
                    advance();
                    return &taken_;
                }
            }
            while (hasRow_) {
                current_.name.assign(currentName());
                rows_.push_back(current_);
                advance();
            }
            for (std::size_t i = 0; i < rows_.size(); ++i) byName_.emplace(rows_[i].name, i);
            indexed_ = true;
        }
        auto [first, last] = byName_.equal_range(file.name);
        if (first == last) return nullptr;
        auto chosen = first;
        for (auto it = first; it != last; ++it) {
            if (unchanged(file, rows_[it->second])) {
                chosen = it;
                break;
            }
        }
        CachedFile& row = rows_[chosen->second];
        byName_.erase(chosen);
        row.taken = true;
        return &row;
    }

    // Ends the query; the rows no file was matched to.
    std::vector<FolderDifferences::GoneFile> finish()
    {
        std::vector<FolderDifferences::GoneFile> untaken;
        for (; hasRow_; advance())
            untaken.push_back({.id = current_.id, .category = current_.category, .counted = current_.counted});
        for (const auto& row : rows_)
            if (!row.taken) untaken.push_back({.id = row.id, .category = row.category, .counted = row.counted});
        statement_.reset();
        return untaken;
    }

private:
    std::string_view currentName() const { return statement_.textView(1); }

    void advance()
    {
        hasRow_ = statement_.step();
        if (!hasRow_) return;
        current_.id = statement_.integer(0);
        current_.size = statement_.integer(2);
        current_.alloc = statement_.integer(3);
        current_.modified = statement_.real(4);
        current_.counted = statement_.integer(5);
        current_.flags = statement_.integer(6);
        current_.inode = statement_.integer(7);
        current_.category = statement_.integer(8);
    }

    Statement statement_;
    bool hasRow_ = false;
    CachedFile current_;   // its name only when materialized
    CachedFile taken_;
    std::vector<CachedFile> rows_;
    bool indexed_ = false;
    std::unordered_multimap<std::string_view, std::size_t> byName_;
};

// The caller's id is trusted only while its row still holds this path: after a removal or a
// cleared cache the id may be gone, or taken by another folder.
struct ResolvedFolder {
    std::int64_t id = 0;
    bool placed = false;   // the row already holds the snapshot's parent, name and depth
};

std::optional<std::int64_t> folderIDAtPath(SQLiteConnection& db, const std::string& path)
{
    std::optional<std::int64_t> id;
    db.query("SELECT id FROM folders WHERE path = ?", {path}, [&](Statement& row) {
        if (!id) id = row.integer(0);
    });
    return id;
}


bool samePlace(const Statement& row, const DirectorySnapshot& snapshot)
{
    const std::optional<std::int64_t> parent =
        row.isNull(1) ? std::nullopt : std::optional<std::int64_t>(row.integer(1));
    return parent == snapshot.parentID && row.textView(2) == snapshot.name && row.integer(3) == snapshot.depth;
}

// Before a sync reads folder rows, the rows that wait go in. A row its parent's sync left
// waiting is not read; it is only trusted while its batch was not lost.
void insertWaitingRowsFor(WriteBatch& batch, const DirectorySnapshot& snapshot)
{
    if (!snapshot.isNewRow || !snapshot.folderID) {
        batch.insertPendingFolderRows();
        return;
    }
    const PendingFolderRows& pending = batch.pendingFolderRows();
    if (!pending.waiting(*snapshot.folderID) && pending.wasLost(*snapshot.folderID))
        throw SQLiteError(SQLITE_ABORT, "the folder row for " + snapshot.path + " was lost with an earlier write");
}

ResolvedFolder resolveFolder(WriteBatch& batch, const DirectorySnapshot& snapshot)
{
    auto& db = batch.connection();
    if (snapshot.folderID) {
        if (snapshot.isNewRow) return {.id = *snapshot.folderID, .placed = true};
        std::optional<ResolvedFolder> stored;
        db.query("SELECT path, parent_id, name, depth FROM folders WHERE id = ?", {*snapshot.folderID},
                 [&](Statement& row) {
                     if (!stored && row.textView(0) == snapshot.path)
                         stored = ResolvedFolder{.id = *snapshot.folderID, .placed = samePlace(row, snapshot)};
                 });
        if (stored) return *stored;
    }
    if (auto id = folderIDAtPath(db, snapshot.path)) return {.id = *id, .placed = false};
    auto& pending = batch.pendingFolderRows();
    db.runValues("INSERT INTO folders(id, parent_id, path, name, depth) VALUES(?, ?, ?, ?, ?)", pending.nextID(),
                 snapshot.parentID, snapshot.path, snapshot.name, snapshot.depth);
    const std::int64_t id = db.lastInsertRowID();
    pending.used(id);
    return {.id = id, .placed = true};
}

// What differs, in listing order: a stored row id to update, or none for a new file; and the
// ids of the stored rows no listed file matched.
using ChangedFile = FolderDifferences::ChangedFile;

struct FileDifferences {
    std::vector<ChangedFile> changed;
    std::vector<FolderDifferences::GoneFile> gone;
};

std::uint8_t movedKeys(const ScannedFile& file, const CachedFile& cached)
{
    std::uint8_t keys = 0;
    if (file.size != cached.size) keys |= ChangedFile::size;
    if (file.allocatedSize != cached.alloc) keys |= ChangedFile::alloc;
    if (rawValue(file.category) != cached.category) keys |= ChangedFile::category;
    return keys;
}

// The update of a changed file that writes the indexed columns in `keys` and every other one.
const std::string& updateSQL(std::uint8_t keys)
{
    static const std::array<std::string, 8> texts = [] {
        std::array<std::string, 8> all;
        for (std::uint8_t k = 0; k < 8; ++k) {
            std::string text = "UPDATE files SET ";
            if (k & ChangedFile::size) text += "size = ?, ";
            if (k & ChangedFile::alloc) text += "alloc = ?, ";
            text += "counted_alloc = ?, modified = ?, created = ?, accessed = ?, flags = ?, inode = ?, ";
            if (k & ChangedFile::category) text += "category = ?, ";
            all[k] = text + "scanned_at = ? WHERE id = ?";
        }
        all[7] = std::string(updateFileSQL);
        return all;
    }();
    return texts[keys & 7];
}

void updateFile(WriteBatch& batch, const ScannedFile& file, const ChangedFile& changed, double now)
{
    Statement update = batch.connection().prepare(updateSQL(changed.movedKeys));
    const int last = bindFileValues(update, 1, file, changed.movedKeys);
    update.bindAt(last, now);
    update.bindAt(last + 1, *changed.storedID);
    update.runOnce();
    batch.noteFileRowReplaced(changed.storedCategory, changed.storedCounted, rawValue(file.category),
                              file.countedAllocatedSize);
}

std::int64_t insertFiles(WriteBatch& batch, std::int64_t folderID, const std::vector<ScannedFile>& files, double now)
{
    FileInserter inserter(batch, folderID, now);
    std::int64_t written = 0;
    for (const auto& file : files) written += inserter.add(file);
    return written + inserter.flush();
}

FileDifferences compareFiles(SQLiteConnection& db, std::int64_t folderID, const std::vector<ScannedFile>& files)
{
    FileDifferences differences;
    StoredFiles stored(db, folderID);
    for (std::size_t i = 0; i < files.size(); ++i) {
        const CachedFile* cached = stored.take(files[i]);
        if (!cached)
            differences.changed.push_back({.position = i, .storedID = std::nullopt});
        else if (!unchanged(files[i], *cached))
            differences.changed.push_back({.position = i,
                                           .storedID = cached->id,
                                           .movedKeys = movedKeys(files[i], *cached),
                                           .storedCategory = cached->category,
                                           .storedCounted = cached->counted});
    }
    differences.gone = stored.finish();
    return differences;
}

void syncFiles(WriteBatch& batch, std::int64_t folderID, const DirectorySnapshot& snapshot, double now,
               FolderDifferences* read, DirectorySyncResult& result)
{
    auto& db = batch.connection();
    if (snapshot.isNewRow || snapshot.holdsNoFiles) {
        result.newFiles += static_cast<int>(insertFiles(batch, folderID, snapshot.files, now));
        return;
    }
    FileDifferences queried;
    if (!read) queried = compareFiles(db, folderID, snapshot.files);
    const auto& differences = read ? read->files : queried.changed;
    const auto& gone = read ? read->goneFiles : queried.gone;
    FileInserter inserter(batch, folderID, now);
    for (const auto& changed : differences) {
        const ScannedFile& file = snapshot.files[changed.position];
        if (!changed.storedID) {
            result.newFiles += static_cast<int>(inserter.add(file));
        } else {
            updateFile(batch, file, changed, now);
            ++result.changedFiles;
            batch.count();
        }
    }
    result.newFiles += static_cast<int>(inserter.flush());
    for (const auto& row : gone) {
        db.runValues("DELETE FROM files WHERE id = ?", row.id);
        batch.noteFileRowRemoved(row.category, row.counted);
        ++result.deletedFiles;
        batch.count();
    }
}

constexpr std::string_view selectChildrenSQL = "SELECT id, name, path FROM folders WHERE parent_id = ?";

// New subfolders' rows wait for their own syncs when `rowsMayWait` (see PendingFolderRows).
void syncChildren(WriteBatch& batch, std::int64_t folderID, const DirectorySnapshot& snapshot,
                  FolderDifferences* read, DirectorySyncResult& result, std::vector<std::string>& duplicates,
                  bool rowsMayWait)
{
    auto& db = batch.connection();
    // The reader's rows are looked at in place: what a reader allocated, the writer does not free.
    std::vector<FolderDifferences::StoredChild> queried;
    if (!read && !snapshot.isNewRow) {
        db.query(selectChildrenSQL, {folderID}, [&](Statement& row) {
            queried.push_back({.id = row.integer(0), .name = row.text(1), .path = row.text(2)});
        });
    }
    CachedChildren stored;
    for (const auto& child : read ? read->children : queried)
        stored.emplace(child.name, CachedChild{.id = child.id, .path = child.path});

    const std::int64_t childDepth = snapshot.depth + 1;
    auto& pending = batch.pendingFolderRows();
    std::set<std::string_view> seen;
    std::string path;
    for (const auto& subfolder : snapshot.subdirectories) {
        if (!seen.insert(subfolder.name).second) {
            duplicates.push_back(childPath(snapshot.path, subfolder.name));
            continue;
        }
        if (auto known = stored.find(subfolder.name); known != stored.end()) {
            result.childIDs[subfolder.name] = known->second.id;
            stored.erase(known);
            continue;
        }
        path = childPath(snapshot.path, subfolder.name);
        if (rowsMayWait && pending.mayWait(path)) {
            // Its own sync inserts its row whole.
            const std::int64_t id = pending.add(folderID, path, subfolder.name.size(), childDepth, subfolder.modified);
            result.childIDs[subfolder.name] = id;
            result.newChildIDs.push_back(id);
            batch.count();
            continue;
        }
        // Ignored when the path has a row already, which costs no lookup of its own.
        if (db.runValues(insertChildSQL, pending.nextID(), folderID, path, subfolder.name, childDepth,
                         subfolder.modified) > 0) {
            const std::int64_t id = db.lastInsertRowID();
            pending.used(id);
            result.childIDs[subfolder.name] = id;
            result.newChildIDs.push_back(id);
        } else {
            // The rows below the one found may be waiting.
            batch.insertPendingFolderRows();
            std::optional<std::pair<std::int64_t, std::int64_t>> existing;   // id, depth
            db.query("SELECT id, depth FROM folders WHERE path = ?", {path}, [&](Statement& row) {
                if (!existing) existing = std::pair{row.integer(0), row.integer(1)};
            });
            if (!existing) throw SQLiteError(SQLITE_CONSTRAINT, "folder row for " + path + " was refused");
            // A folder known from elsewhere (a former root) moves under this one.
            db.runValues("UPDATE folders SET parent_id = ? WHERE id = ?", folderID, existing->first);
            batch.noteRewrite();
            if (existing->second != childDepth) shiftDepth(db, path, childDepth - existing->second);
            result.childIDs[subfolder.name] = existing->first;
        }
        batch.count();
    }
    std::sort(result.newChildIDs.begin(), result.newChildIDs.end());
    // A subfolder gone from the listing takes with it only rows that no later listing of this
    // scan can meet, so comparisons made before stay good: it is not noted as a rewrite.
    for (const auto& [name, gone] : stored) result.deletedFolders += static_cast<int>(deleteRows(batch, gone.path));
}

// The reader's rows are the folder's rows only while nothing but this sync has written
// them since, and only for the row the writer resolved.
bool holds(const WriteBatch& batch, const DirectorySnapshot& snapshot, const FolderDifferences& read)
{
    return !snapshot.isNewRow && snapshot.folderID == read.folderID && read.rewritesSeen == batch.rewrites();
}

} // namespace

std::string childPath(std::string_view folder, std::string_view name)
{
    std::string path(folder == "/" ? "" : folder);
    path += '/';
    path += name;
    return path;
}

DirectorySyncResult sync(WriteBatch& batch, const DirectorySnapshot& snapshot, std::int64_t scanID, double now,
                         FolderDifferences* read, std::uint64_t digest, const FolderDigests::FileSum& parted)
{
    batch.beginIfNeeded();
    insertWaitingRowsFor(batch, snapshot);
    auto& db = batch.connection();
    if (read && !holds(batch, snapshot, *read))
        read = nullptr;
    // A listing whose files were only summed holds none of them: set against the rows, it
    // would take every stored file for gone.
    if (!read && parted.files > 0 && !snapshot.holdsNoFiles)
        throw std::logic_error("a folder listed in part was to be compared with its rows: " + snapshot.path);
    DirectorySyncResult result;
    const ResolvedFolder folder = read ? ResolvedFolder{.id = read->folderID,
                                                      .placed = read->storedParentID == snapshot.parentID &&
                                                                read->sameNameAndDepth}
                                       : resolveFolder(batch, snapshot);
    result.folderID = folder.id;

    std::int64_t directAlloc = parted.directAlloc;
    std::int64_t directSize = parted.directSize;
    for (const auto& file : snapshot.files) {
        directAlloc += file.countedAllocatedSize;
        directSize += file.size;
    }

    syncFiles(batch, result.folderID, snapshot, now, read, result);
    std::vector<std::string> duplicates;
    syncChildren(batch, result.folderID, snapshot, read, result, duplicates, true);

    // Stamped last: a folder whose files or children failed to write keeps its old scan id,
    // so a resumed scan reads it again and the finish does not mistake it for visited.
    const std::int64_t fileCount = parted.files + static_cast<std::int64_t>(snapshot.files.size());
    const std::int64_t subfolderCount = static_cast<std::int64_t>(snapshot.subdirectories.size());
    const int restricted = snapshot.isRestricted ? 1 : 0;
    const auto category = rawValue(snapshot.category);
    const bool onlyVisited = read && folder.placed && read->rowCurrent && read->filesUnchanged() &&
                             result.newChildIDs.empty() && result.deletedFolders == 0 && duplicates.empty() &&
                             result.childIDs.size() == read->children.size();
    if (onlyVisited) {
        read->stampLeft = true;
        // Rows found unchanged by reading them get their digest, so that the next scan need not.
        if (digest != FolderDigests::unknown && digest != read->storedDigest) {
            FolderDigests::store(db, result.folderID, digest);
            batch.count();
        }
        batch.commitIfNeeded();
        return result;
    }
    if (read && folder.placed && read->rowCurrent) {
        // Only the visit is new.
        db.runValues("UPDATE folders SET scan_id = ?, scanned_at = ? WHERE id = ?", scanID, now, result.folderID);
    } else if (const auto* waiting =
                   snapshot.isNewRow ? batch.pendingFolderRows().waiting(result.folderID) : nullptr) {
        // The row its parent's sync left waiting goes in once, whole, with a new leaf's totals.
        db.runValues(insertNewFolderSQL, result.folderID, waiting->parentID, waiting->path, waiting->name(),
                     waiting->depth, snapshot.modified, restricted, scanID, now, category, directAlloc, directSize,
                     fileCount, subfolderCount, directAlloc, directSize, fileCount);
        batch.pendingFolderRows().inserted(result.folderID);
    } else if (folder.placed && snapshot.isNewRow) {
        // A row made by this scan has no totals yet. Its own figures are all of a leaf's, so
        // the finish finds most folders' totals already right and leaves them alone.
        db.runValues("UPDATE folders SET modified = ?, restricted = ?, scan_id = ?, scanned_at = ?, category = ?,\n"
                     "    direct_alloc = ?, direct_size = ?, direct_files = ?, direct_dirs = ?,\n"
                     "    total_alloc = ?, total_size = ?, total_files = ?\nWHERE id = ?",
                     snapshot.modified, restricted, scanID, now, category, directAlloc, directSize, fileCount,
                     subfolderCount, directAlloc, directSize, fileCount, result.folderID);
    } else if (folder.placed) {
        // Leaving parent, name and depth out spares rewriting their index entries on every rescan.
        db.runValues("UPDATE folders SET modified = ?, restricted = ?, scan_id = ?, scanned_at = ?, category = ?,\n"
                     "    direct_alloc = ?, direct_size = ?, direct_files = ?, direct_dirs = ?\nWHERE id = ?",
                     snapshot.modified, restricted, scanID, now, category, directAlloc, directSize, fileCount,
                     subfolderCount, result.folderID);
    } else {
        db.runValues("UPDATE folders SET parent_id = ?, name = ?, depth = ?, modified = ?, restricted = ?, scan_id = ?,\n"
                     "    scanned_at = ?, category = ?, direct_alloc = ?, direct_size = ?, direct_files = ?, "
                     "direct_dirs = ?\nWHERE id = ?",
                     snapshot.parentID, snapshot.name, snapshot.depth, snapshot.modified, restricted, scanID, now,
                     category, directAlloc, directSize, fileCount, subfolderCount, result.folderID);
    }
    batch.count();
    // Last, once the rows it stands for are written: any write to them before this one dropped it.
    if (digest != FolderDigests::unknown && duplicates.empty()) {
        FolderDigests::store(db, result.folderID, digest);
        batch.count();
    }

    for (const auto& path : duplicates) ScanErrorLog::log(batch, path, std::string(duplicateFolderMessage), now);
    batch.commitIfNeeded();
    return result;
}

std::optional<DirectorySyncResult> syncSummed(WriteBatch& batch, const DirectorySnapshot& snapshot, std::int64_t scanID,
                                              double now, FolderDifferences& read, std::uint64_t digest,
                                              const FolderDigests::FileSum& summed)
{
    // Seen as it begins: the commits of other writers since the batch before.
    batch.beginIfNeeded();
    if (!holds(batch, snapshot, read) || !read.filesUnchanged() || digest == FolderDigests::unknown ||
        read.storedDigest != digest)
        return std::nullopt;
    return sync(batch, snapshot, scanID, now, &read, digest, summed);
}

bool holdsFileRows(SQLiteConnection& db, const std::string& path)
{
    return db.scalarInt("SELECT EXISTS(SELECT 1 FROM files WHERE folder_id = (SELECT id FROM folders WHERE path = ?))",
                        {path}) != 0;
}

std::optional<std::int64_t> beginParts(WriteBatch& batch, const DirectorySnapshot& snapshot)
{
    batch.beginIfNeeded();
    insertWaitingRowsFor(batch, snapshot);
    const std::int64_t id = resolveFolder(batch, snapshot).id;
    // A row this scan made holds none; one of a bulk load is trusted as its other rows are.
    if (snapshot.isNewRow || snapshot.holdsNoFiles) return id;
    if (batch.connection().scalarInt("SELECT EXISTS(SELECT 1 FROM files WHERE folder_id = ?)", {id}) != 0)
        return std::nullopt;
    return id;
}

std::int64_t insertPart(WriteBatch& batch, std::int64_t folderID, const std::vector<ScannedFile>& files, double now)
{
    batch.beginIfNeeded();
    const std::int64_t written = insertFiles(batch, folderID, files, now);
    batch.commitIfNeeded();
    return written;
}

DirectorySyncResult syncSubfolders(WriteBatch& batch, const DirectorySnapshot& snapshot)
{
    batch.beginIfNeeded();
    insertWaitingRowsFor(batch, snapshot);
    DirectorySyncResult result;
    result.folderID = resolveFolder(batch, snapshot).id;
    // Repeated names are logged by the folder's full sync. The subfolder rows go in at once:
    // one that cannot fails this sync, so that the folder's files stay out of the cache.
    std::vector<std::string> duplicates;
    syncChildren(batch, result.folderID, snapshot, nullptr, result, duplicates, false);
    batch.commitIfNeeded();
    return result;
}

std::int64_t deleteSubtree(WriteBatch& batch, std::string_view path)
{
    batch.beginIfNeeded();
    batch.insertPendingFolderRows();
    batch.noteRewrite();
    return deleteRows(batch, path);
}

void stampVisited(WriteBatch& batch, const std::vector<std::int64_t>& folderIDs, std::int64_t scanID, double now)
{
    if (folderIDs.empty()) return;
    // One text for every chunk: a short last chunk repeats its last id.
    constexpr std::size_t chunk = stampChunk;
    static const std::string sql = [] {
        std::string text = "UPDATE folders SET scan_id = ?, scanned_at = ? WHERE id IN (?";
        for (std::size_t i = 1; i < chunk; ++i) text += ", ?";
        return text + ")";
    }();
    batch.beginIfNeeded();
    auto& db = batch.connection();
    for (std::size_t first = 0; first < folderIDs.size(); first += chunk) {
        Statement statement = db.prepare(sql);
        statement.bindAt(1, scanID);
        statement.bindAt(2, now);
        const std::size_t count = std::min(chunk, folderIDs.size() - first);
        for (std::size_t i = 0; i < chunk; ++i)
            statement.bindAt(static_cast<int>(i) + 3, folderIDs[first + std::min(i, count - 1)]);
        statement.runOnce();
        batch.count(static_cast<std::int64_t>(count));
    }
    batch.commitIfNeeded();
}

std::optional<FolderDifferences> compare(SQLiteConnection& db, const DirectorySnapshot& snapshot,
                                         std::uint64_t rewritesSeen, std::uint64_t digest,
                                         const FolderDigests::FileSum& summed)
{
    const ReadTransaction transaction(db);
    std::optional<FolderDifferences> read;
    db.query("SELECT f.id, f.parent_id, f.name, f.depth, f.modified, f.restricted, f.category, f.direct_alloc, "
             "f.direct_size, f.direct_files, f.direct_dirs, IFNULL(d.digest, 0) FROM folders AS f "
             "LEFT JOIN folder_digests AS d ON d.folder_id = f.id WHERE f.path = ?",
             {snapshot.path}, [&](Statement& row) {
                 if (read) return;
                 read.emplace();
                 read->folderID = row.integer(0);
                 if (!row.isNull(1)) read->storedParentID = row.integer(1);
                 read->sameNameAndDepth = row.textView(2) == snapshot.name && row.integer(3) == snapshot.depth;
                 std::int64_t directAlloc = summed.directAlloc;
                 std::int64_t directSize = summed.directSize;
                 for (const auto& file : snapshot.files) {
                     directAlloc += file.countedAllocatedSize;
                     directSize += file.size;
                 }
                 read->rowCurrent = !row.isNull(4) && row.real(4) == snapshot.modified &&
                                    row.integer(5) == (snapshot.isRestricted ? 1 : 0) &&
                                    row.integer(6) == rawValue(snapshot.category) && row.integer(7) == directAlloc &&
                                    row.integer(8) == directSize &&
                                    row.integer(9) == summed.files + static_cast<std::int64_t>(snapshot.files.size()) &&
                                    row.integer(10) == static_cast<std::int64_t>(snapshot.subdirectories.size());
                 read->storedDigest = static_cast<std::uint64_t>(row.integer(11));
             });
    if (!read) return std::nullopt;
    read->rewritesSeen = rewritesSeen;
    const bool sameDigest = digest != FolderDigests::unknown && digest == read->storedDigest;
    if (summed.files > 0 && !sameDigest) return std::nullopt;
    if (!sameDigest) {
        FileDifferences files = compareFiles(db, read->folderID, snapshot.files);
        read->files = std::move(files.changed);
        read->goneFiles = std::move(files.gone);
    }
    db.query(selectChildrenSQL, {read->folderID}, [&](Statement& row) {
        read->children.push_back({.id = row.integer(0), .name = row.text(1), .path = row.text(2)});
    });
    return read;
}

void shiftDepth(SQLiteConnection& db, std::string_view path, std::int64_t delta)
{
    auto values = IndexRows::subtreeValues(path);
    values.insert(values.begin(), delta);
    db.run("UPDATE folders SET depth = depth + ? WHERE path = ? OR (path >= ? AND path < ?)", values);
}

} // namespace DirectorySync
