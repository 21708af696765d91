#pragma once

#include "index/ScanRecords.h"
#include "scanning/ChangeLedger.h"
#include "scanning/ListedFolder.h"

#include <chrono>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class DirectoryWorkQueue;
class FolderHandoff;
class HardLinkTracker;
class LostFolders;
class ReaderConnections;
class ScanCounters;
class ScanSession;
class StorageDatabase;
struct ScanPlan;

// The one writer of a scan, on a thread of its own while the readers walk: it syncs the listed
// folders in the order they were listed (so a folder before its subfolders), keeps those
// holding multiply linked files until the walk is over, and finishes the scan. It is the only
// caller of the cache's scan-time writes, and alone owns the change ledger, the folders
// waiting for their links and the visit stamps still to write.
class ScanWriter {
public:
    // The writer commits what it wrote when no folder has come for this long.
    static constexpr std::chrono::milliseconds idleCommitDelay{250};
    // Logged at a root under which folders were lost, when the scan ends incomplete.
    static constexpr std::string_view incompleteScanMessage =
        "Scan incomplete: folders here could not be read or saved. Resume reads them again.";
    // Logged at each root when another writer committed to the cache while the scan ran.
    static constexpr std::string_view otherWriterMessage =
        "Scan stopped: another program wrote to the scan cache meanwhile. Resume reads every folder again.";

    struct Parts {
        StorageDatabase& database;
        ScanSession& session;
        ScanCounters& counters;
        const HardLinkTracker& hardLinks;
    };
    // How the scan's finish went.
    struct Ending {
        ScanRecord::Status status = ScanRecord::Status::completed;
        ScanTotals totals{};
        ChangeLedger::Changes claimed{};   // the file changes the scan may claim
        std::int64_t lostFolders = 0;
        // Why the cache could not be written, for a scan that ended failed.
        std::optional<std::string> failure{};
    };

    ScanWriter(Parts parts, const ScanPlan& plan, FolderHandoff& handoff, LostFolders& lost, DirectoryWorkQueue& queue,
               ChangeLedger ledger);

    // The writer thread's loop: until the handoff is closed and drained.
    void run();
    // After the walk: syncs the folders that waited for their links, unless the cache failed.
    void syncFoldersWithLinks();
    bool cacheFailed() const { return cacheFault_.has_value(); }
    // Finishes the scan in the cache (`stopped`: the scan was asked to stop), then closes the
    // readers' connections, which read folder rows for it. Fails with the SQLiteError of the
    // finish, or with the cache's fault when not even a failed scan could be recorded.
    Ending finish(bool stopped, std::int64_t volumeTotal, std::int64_t volumeUsed, ReaderConnections& connections);

    // Logged at a folder whose rows another writer filled between its first part's listing and write.
    static constexpr std::string_view rowsAddedMessage =
        "Files were added to this folder in the scan cache meanwhile; not saved. Resume reads it again.";
    // Logged at a folder whose files were only summed, when its rows were written by another
    // writer between its reader's comparison and its write.
    static constexpr std::string_view rowsChangedMessage =
        "Files of this folder were changed in the scan cache meanwhile; not saved. Resume reads it again.";
    // Logged at a folder whose parts a lost batch may have taken.
    static constexpr std::string_view partsLostMessage =
        "Cache write failed: files saved before were lost with a later write. Resume reads the folder again.";

private:
    // A folder handed in parts, from its first part to its last piece.
    struct PartedFolder {
        std::int64_t folderID = 0;
        std::uint64_t lostBatches = 0;   // before its first part was written
    };

    // Takes the folder's row id from its parent's slot; false, with its slot failed, when the
    // parent's write failed.
    bool place(ListedFolder& folder);
    void writeFolder(ListedFolder& folder);
    void writePart(ListedFolder& part);
    // A folder handed in parts or summed whose rows may have gone or changed: it is lost, and
    // its subtree dropped.
    void loseParted(ListedFolder& folder, std::string_view message);
    void writeStamps();
    // Its files wait for the end of the walk; its subfolder rows are made now.
    void keepUntilLinksAreKnown(ListedFolder& folder);
    // Absent when the write failed, which is counted and logged.
    std::optional<DirectorySyncResult> sync(const DirectorySnapshot& snapshot, FolderDifferences* differences,
                                            std::uint64_t digest, const FolderDigests::FileSum& parted);
    // One write of the folder at `path` through the session, whose result the ledger takes;
    // absent when it failed, which is counted and logged.
    template <class Write>
    std::optional<DirectorySyncResult> written(const std::string& path, Write&& write);
    // A failed write: a fault that every later write would meet too stops the walk.
    void noteWriteFailure(const std::exception& error);
    // The end of a scan that could not write to its cache: failed, claiming only stored changes.
    Ending endFailed(std::int64_t volumeTotal, std::int64_t volumeUsed, ReaderConnections& connections);

    Parts parts_;
    const ScanPlan& plan_;
    FolderHandoff& handoff_;
    LostFolders& lost_;
    DirectoryWorkQueue& queue_;
    ChangeLedger ledger_;
    // Set by the first write that failed for a reason every later write would meet too; the
    // walk stops there and the scan ends failed, saying why.
    std::optional<std::string> cacheFault_;
    // Folders holding multiply linked files wait with their sync until every link of the walk
    // is known (see HardLinkTracker::record).
    std::vector<ListedFolder> waitingForLinks_;
    // Folders whose parts came and whose last piece has not, by their slot.
    std::unordered_map<const FolderSlot*, PartedFolder> parted_;
    // Folders synced with nothing left to write but their visit stamp, written together.
    std::vector<std::int64_t> stampIDs_;
    std::vector<std::string> stampPaths_;
};
