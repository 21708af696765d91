#pragma once

#include "index/FolderDifferences.h"
#include "index/FolderDigests.h"
#include "index/ScanRecords.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class SQLiteConnection;
class WriteBatch;

// Writes the differences between one folder's listing and its stored rows.
namespace DirectorySync {

// Logged for a subfolder whose name, once repaired, repeats an earlier one of the same listing.
inline constexpr std::string_view duplicateFolderMessage = "Folder name repeats another in the same folder; skipped";

// Fails with SQLiteError; what ran before the failure stays in the open batch, and the
// folder keeps its old scan id so that a resumed scan reads it again.
// With `read`, the stored rows are taken from it instead of being queried, while it still
// holds (see FolderDifferences). A folder that only needs its
// visit stamp then is left to stampVisited().
// While the batch's PendingFolderRows is active, new subfolders get ids whose rows wait for
// their own syncs, which insert them whole; a new row whose batch was lost fails its sync.
// `digest` is the listing's folder digest (FolderDigests), stored with the rows once they are
// written; unknown where the rows once synced may differ from the listing.
// `parted`: the files of a folder written before in parts (insertPart), which are the folder's
// too; the snapshot then holds the rest, and its row holds no other file rows (holdsNoFiles).
DirectorySyncResult sync(WriteBatch& batch, const DirectorySnapshot& snapshot, std::int64_t scanID, double now,
                         FolderDifferences* read = nullptr, std::uint64_t digest = 0,
                         const FolderDigests::FileSum& parted = {});

// Syncs a folder whose listing only summed its plain files (`summed`), through the reader's
// comparison `read`, which found the folder's stored digest to be the listing's `digest`: its
// file rows are what the listing says, and none is read or written. Nothing, with nothing
// written, when that comparison no longer holds (another write since), since a listing not
// held whole cannot be set against the rows. Fails like sync().
std::optional<DirectorySyncResult> syncSummed(WriteBatch& batch, const DirectorySnapshot& snapshot, std::int64_t scanID,
                                              double now, FolderDifferences& read, std::uint64_t digest,
                                              const FolderDigests::FileSum& summed);

// A folder's files may be written in parts while it is still listed, where they are only
// inserted: its row holds no file rows. Whether the folder at `path` has a row holding file
// rows, through a connection of the caller's own. Fails with SQLiteError.
bool holdsFileRows(SQLiteConnection& db, const std::string& path);
// Before a folder's first part: its row's id, resolved as sync() resolves it, or nothing when
// the row holds file rows after all, which the parts would double. Fails like sync().
std::optional<std::int64_t> beginParts(WriteBatch& batch, const DirectorySnapshot& snapshot);
// Inserts a part's files under the folder's row; returns the rows written. Fails like sync().
std::int64_t insertPart(WriteBatch& batch, std::int64_t folderID, const std::vector<ScannedFile>& files, double now);

// Writes the visit stamps that syncs with a comparison left (FolderDifferences::stampLeft),
// counting one write each, and commits when due; `stampChunk` of them to a statement, a
// short last chunk padded. Fails with SQLiteError.
constexpr std::size_t stampChunk = 64;
void stampVisited(WriteBatch& batch, const std::vector<std::int64_t>& folderIDs, std::int64_t scanID, double now);

// Sets a listing against the rows committed for the folder at the snapshot's path, through a
// connection of the caller's own; nothing when no row is stored there. `rewritesSeen` is
// WriteBatch::rewritesCommitted() as loaded before this call. When the folder's stored digest
// is the listing's `digest`, its file rows are not read: they are what the listing says.
// `summed`: the plain files the listing only summed, which its snapshot no longer holds; such
// a listing is set against the rows only where the stored digest is its own, and otherwise
// gives nothing. Fails with SQLiteError.
std::optional<FolderDifferences> compare(SQLiteConnection& db, const DirectorySnapshot& snapshot,
                                         std::uint64_t rewritesSeen, std::uint64_t digest = 0,
                                         const FolderDigests::FileSum& summed = {});

// Writes the folder's own row and its subfolders' rows only, for a folder whose files are
// synced later: its files, figures and scan id stay as stored until then. The result holds
// the ids and no counts. Fails like sync().
DirectorySyncResult syncSubfolders(WriteBatch& batch, const DirectorySnapshot& snapshot);

// Deletes the folder rows at and below `path` with their files; returns the folder rows deleted.
std::int64_t deleteSubtree(WriteBatch& batch, std::string_view path);

// Moves the depth of the folder at `path` and of everything below it by `delta`, so that
// every folder stays deeper than its parent when a subtree changes place.
void shiftDepth(SQLiteConnection& db, std::string_view path, std::int64_t delta);

// The path of `name` inside the folder at `folder`.
std::string childPath(std::string_view folder, std::string_view name);

} // namespace DirectorySync
