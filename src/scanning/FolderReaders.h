#pragma once

#include "scanning/DirectoryWorkQueue.h"
#include "scanning/ListedFolder.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class DirectoryReader;
class FileSystem;
class FolderHandoff;
class HardLinkTracker;
class LostFolders;
class PauseGate;
class ReaderConnections;
class ScanCounters;
class ScanSession;
class StorageCategorizer;
class StorageDatabase;
class StoredRowsReader;
struct FolderRead;
struct ScanPlan;

// The readers of one scan: each runs work() on a thread of its own, taking folder jobs from
// the queue, listing each folder, setting the listing against the stored rows where it can,
// and handing the listed folders to the writer a few at a time, a large one in parts while it
// is listed (see ListedFolder). The jobs of the subfolders it found stay with it meanwhile:
// another reader may take such a job only once the folder that holds it is with the writer,
// which writes a folder before its subfolders.
class FolderReaders {
public:
    struct Parts {
        StorageDatabase& database;
        ScanSession& session;
        const FileSystem& fileSystem;
        const DirectoryReader& directoryReader;
        ScanCounters& counters;
        PauseGate& pauseGate;
        const StorageCategorizer& categorizer;
        HardLinkTracker& hardLinks;
    };

    FolderReaders(Parts parts, const ScanPlan& plan, DirectoryWorkQueue& queue, FolderHandoff& handoff,
                  LostFolders& lost, const ReaderConnections& connections);

    // Reader `index`'s loop, until the walk is over or stopped.
    void work(std::size_t index);

private:
    using Job = DirectoryWorkQueue::Job;
    using InodesAbove = std::shared_ptr<const std::vector<std::uint64_t>>;
    struct Reader;
    // What a listing holds beside its snapshot, for the subfolders' jobs: each subfolder's
    // name as bytes on disk (empty where the name is valid), its inode, and whether it may
    // be the top of a mount, the only way a folder can meet itself again below itself.
    struct SubfolderOnDisk {
        std::string diskName{};
        std::uint64_t inode = 0;
        bool mayBeMount = true;
    };

    // How a large folder's files go as it is listed: undecided until it is large; in parts;
    // only summed, where its row holds file rows, as a folder unchanged would have them; or
    // whole. A summed listing whose files differ from the stored ones is read again whole.
    enum class Parting { undecided, parts, summed, whole, givenUp, readAgain };
    // One listing of a folder, and what a listing again starts from.
    struct Listing {
        Parting parting = Parting::whole;
        std::map<std::string, std::int64_t> storedChildren{};
        std::optional<ListedFolder::Figures> countedBefore{};
    };
    // A subfolder left out as the folder itself or one above it, and that one's path.
    struct Loop {
        std::string path;
        std::string ancestor;
    };

    // Lists the job's folder and keeps it in the reader's hands until the reader hands over
    // what it listed; returns the jobs of its subfolders.
    std::vector<Job> process(const Job& job, Reader& reader);
    // One listing of it; a summed one whose files differ leaves `listing` to be read again,
    // with nothing done.
    std::vector<Job> list(const Job& job, Reader& reader, Listing& listing, const std::function<void()>& beforeWait);
    // The jobs of a folder this resumed scan has synced already, or nothing when it must be
    // read; then `storedChildren` receives the ids its subfolders have in the index.
    // `countedBefore` receives the stored figures of a folder this resumed scan synced
    // before, read again or not: the counters started from them.
    std::optional<std::vector<Job>> takeFromIndex(const Job& job, std::map<std::string, std::int64_t>& storedChildren,
                                                  std::optional<ListedFolder::Figures>& countedBefore);
    // How a large folder's files go (asked once, at its first part): in parts only where the
    // writer inserts them all, its row holding none when the scan began or now; summed where
    // its row holds file rows.
    Parting partingOf(const Job& job, Reader& reader);
    // Moves the files that are neither multiply linked nor under repaired names out of `files`,
    // which keeps the others for the folder's last piece, and their positions there.
    static std::vector<ScannedFile> takePlainFiles(std::vector<ScannedFile>& files,
                                                   std::vector<ListedFolder::Link>& links,
                                                   std::vector<std::pair<std::size_t, std::string>>& repairedFiles);
    // Names that repeat once repaired become distinct, among the subfolders and among the files.
    static void keepNamesDistinct(DirectorySnapshot& snapshot, std::vector<SubfolderOnDisk>& onDisk,
                                  const std::vector<std::pair<std::size_t, std::string>>& repairedFiles);
    // Takes the listing's folder digest and sets the listing against the stored rows through
    // the reader's own connection (no file row read where the stored digest matches); the
    // writer compares what is left itself.
    void compare(ListedFolder& folder, bool repairedNames, Reader& reader);
    std::vector<Job> childJobs(const Job& job, const ListedFolder& folder, const std::vector<SubfolderOnDisk>& onDisk,
                               const std::shared_ptr<const FolderHandle>& handle, const InodesAbove& inodesAbove,
                               const StorageCategorizer::Trail& trail) const;
    // The inodes of the folders above a folder opened by path, by depth from the root.
    InodesAbove inodesAbove(const Job& job) const;
    // Leaves out the subfolders that are the folder itself or one above it in the walk (a bind
    // mount inside itself), to be logged: entering them would count that folder again. Only
    // mounts are looked up among the folders above, so deep trees pay nothing per level.
    std::vector<Loop> dropLoops(const Job& job, const FolderRead& opened, const std::vector<std::uint64_t>* inodesAbove,
                   DirectorySnapshot& snapshot, std::vector<SubfolderOnDisk>& onDisk);

    Parts parts_;
    const ScanPlan& plan_;
    DirectoryWorkQueue& queue_;
    FolderHandoff& handoff_;
    LostFolders& lost_;
    const ReaderConnections& connections_;
};
