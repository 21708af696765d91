#pragma once

#include "index/FolderDifferences.h"
#include "index/FolderDigests.h"
#include "index/ScanRecords.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class SQLiteConnection;
class StorageDatabase;

// One scan's writes to the cache, from its begin or resume (StorageDatabase::startScan,
// resumeScan) to its finish. Every write a scan makes while it runs goes through here; like
// the cache's other members, each call takes the cache's lock. A session is a handle: it must
// not outlive its cache, and ending it without finish() leaves the scan "running", to be
// marked cancelled at the next start and resumed.
//
// Terms used here and by the scanner:
// - a visit: a folder synced by this scan, its row stamped with the scan's id (scan_id);
// - a lost folder write: a folder sync that failed, or that a lost batch took with it (see
//   WriteBatch); after any, the finish removes nothing the scan did not visit;
// - a bulk load: a first scan into an empty cache, which fills the tables with some of their
//   indexes dropped, and with the rows of new subfolders waiting (see PendingFolderRows);
// - folder digests: see FolderDigests, kept in the cache with the rows they stand for;
// - another writer: any other connection that commits to the cache while the session is
//   open (another program, or another cache object of this one). Its rows may have moved
//   what the scan compared and visited, so the finish then removes nothing and ends the scan
//   cancelled, its visits forgotten, for its resume to read every folder again.
class ScanSession {
public:
    struct ChildFolder {
        std::int64_t id = 0;
        std::string path;
        std::string name;
        friend bool operator==(const ChildFolder&, const ChildFolder&) = default;
    };
    // What the index already holds of a folder that this scan has synced.
    struct VisitedFolder {
        std::int64_t files = 0;         // direct file count
        std::int64_t bytes = 0;         // direct counted allocated bytes
        std::int64_t linkedFiles = 0;   // direct files with the hardLink flag
        std::vector<ChildFolder> children{};
    };
    // What the scan holds in the index of the folders it has synced so far, with the figures
    // its record kept when it last stopped.
    struct VisitedTotals {
        std::int64_t folders = 0;
        std::int64_t files = 0;   // direct files of those folders
        std::int64_t bytes = 0;   // their direct counted allocated bytes
        std::int64_t restrictedFolders = 0;
        std::int64_t newFiles = 0;
        std::int64_t changedFiles = 0;
        std::int64_t deletedFiles = 0;
    };
    // How a scan ends, and what its record and history point keep.
    struct FinishRequest {
        ScanRecord::Status status = ScanRecord::Status::completed;
        std::vector<std::string> roots{};
        std::int64_t volumeTotal = 0;
        std::int64_t volumeUsed = 0;
        std::int64_t newFiles = 0;
        std::int64_t changedFiles = 0;
        std::int64_t deletedFiles = 0;
    };

    // How the finish ended the scan: the status stored and the index totals.
    struct Finished {
        ScanRecord::Status status = ScanRecord::Status::completed;
        ScanTotals totals{};
    };

    ScanSession(ScanSession&&) = default;
    ScanSession& operator=(ScanSession&&) = default;
    ScanSession(const ScanSession&) = delete;
    ScanSession& operator=(const ScanSession&) = delete;

    std::int64_t id() const { return id_; }

    // The folder row of a root, made or moved to the top; returns its id.
    std::int64_t ensureRoot(const std::string& path, double modified);
    // When the index holds no file rows (a first scan into a new or cleared cache), starts a
    // bulk load: drops the indexes that would fill in no particular order, which the finish
    // has built again once it has stored the scan. Returns whether it started one. When the
    // folders table holds root rows alone, the rows of new subfolders then wait for their own
    // syncs (PendingFolderRows) until the finish.
    bool beginBulkLoad();

    // The stored figures and children of a folder this scan visited already; nothing when it
    // did not, and the folder must be read again.
    std::optional<VisitedFolder> visitedChildren(std::int64_t folderID);
    VisitedTotals visitedTotals();

    // Writes one folder's differences. Commits between folders when the batch is due. With
    // `read`, a comparison made through another connection (DirectorySync::compare) spares
    // reading the stored rows again while it still holds.
    // `digest`: the listing's folder digest under digestSeed(), stored with its rows.
    // `parted`: the files its parts wrote before (insertPart).
    DirectorySyncResult syncDirectory(const DirectorySnapshot& snapshot, FolderDifferences* read = nullptr,
                                      std::uint64_t digest = 0, const FolderDigests::FileSum& parted = {});
    // A folder whose listing only summed its files, found as stored by the reader's `read`;
    // nothing when that no longer holds (DirectorySync::syncSummed).
    std::optional<DirectorySyncResult> syncSummed(const DirectorySnapshot& snapshot, FolderDifferences& read,
                                                  std::uint64_t digest, const FolderDigests::FileSum& summed);
    // A folder whose files are written in parts while it is listed: before its first part, its
    // row's id, or nothing when the row holds file rows (DirectorySync::beginParts); then each
    // part's files, returning the rows written. Each fails like syncDirectory.
    std::optional<std::int64_t> beginParts(const DirectorySnapshot& snapshot);
    std::int64_t insertPart(std::int64_t folderID, const std::vector<ScannedFile>& files);
    // Writes the visit stamps such syncs left to the caller (DirectorySync::stampVisited).
    void stampVisited(const std::vector<std::int64_t>& folderIDs);
    // Writes only the rows of a folder and of its subfolders, for a folder whose files are
    // synced later; returns their ids. Fails like syncDirectory.
    DirectorySyncResult syncSubfolders(const DirectorySnapshot& snapshot);
    // Logs a folder that the scan lost before writing it; it counts as a lost folder write.
    void logLostFolder(const std::string& path, const std::string& message) noexcept;

    // Folder writes that the scan failed or gave up since it began or was resumed, and batches
    // lost meanwhile: above 0, the index lacks folders the scan reached.
    std::int64_t lostFolderWrites();
    // True while writes wait in an open batch, not yet stored.
    bool writesPending();
    // Batches lost so far in this cache (see WriteBatch).
    std::uint64_t lostBatches();

    // The seed of the cache's folder digests.
    std::uint64_t digestSeed();

    // Ends the scan: for a completed scan whose writes all succeeded while no other writer
    // committed, removes what it did not visit; then recomputes every total and closes the
    // scan record, cancelled where another writer committed meanwhile.
    Finished finish(const FinishRequest& request);

private:
    friend class StorageDatabase;
    ScanSession(StorageDatabase& database, std::int64_t id) : database_(&database), id_(id) {}
    // A write of one folder's rows, which counts as a lost folder write when it fails.
    template <class Write>
    auto writeFolder(Write&& write);

    StorageDatabase* database_;
    std::int64_t id_;
};
