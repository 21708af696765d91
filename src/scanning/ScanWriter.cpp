#include "scanning/ScanWriter.h"

#include "index/DirectorySync.h"
#include "index/SQLiteFailure.h"
#include "index/ScanSession.h"
#include "index/StorageDatabase.h"
#include "scanning/DirectoryWorkQueue.h"
#include "scanning/FolderHandoff.h"
#include "scanning/HardLinkTracker.h"
#include "scanning/LostFolders.h"
#include "scanning/ReaderConnections.h"
#include "scanning/ScanCounters.h"
#include "scanning/ScanPlan.h"

#include <algorithm>
#include <set>
#include <stdexcept>
#include <system_error>

namespace {

std::string systemErrorText(int code) { return std::generic_category().message(code); }

// Why a folder that was listed is only known in part.
std::string gapDescription(const ListingGaps& gaps)
{
    if (gaps.listingFailure != 0)
        return "The folder could be listed only in part: " + systemErrorText(gaps.listingFailure);
    const std::uint64_t count = gaps.unreadEntries;
    return std::to_string(count) + (count == 1 ? " item" : " items") +
           " could not be read: " + systemErrorText(gaps.entryFailure);
}

} // namespace

ScanWriter::ScanWriter(Parts parts, const ScanPlan& plan, FolderHandoff& handoff, LostFolders& lost,
                       DirectoryWorkQueue& queue, ChangeLedger ledger)
    : parts_(parts), plan_(plan), handoff_(handoff), lost_(lost), queue_(queue), ledger_(ledger)
{
}

void ScanWriter::run()
{
    StorageDatabase& database = parts_.database;
    std::vector<ListedFolder> batch;
    for (;;) {
        if (!handoff_.takeWithin(idleCommitDelay, batch)) {
            // Nothing to write for a while, as in a pause: what was written is stored and the
            // cache's write lock let go, so that the wait holds nothing up.
            writeStamps();
            try {
                ledger_.seeLostBatches(parts_.session.lostBatches());
                database.commit();
                ledger_.batchStored();
            } catch (const std::exception&) {
                ledger_.seeLostBatches(parts_.session.lostBatches());   // the next commit tries again
            }
            continue;
        }
        if (batch.empty()) {
            writeStamps();
            return;
        }
        for (auto& folder : batch) {
            if (folder.isPart)
                writePart(folder);
            else
                writeFolder(folder);
        }
        // Most batches hold a few folders: their stamps wait for a statement's worth, and a
        // folder whose stamp is not stored yet is only read again by a resume.
        if (stampIDs_.size() >= DirectorySync::stampChunk)
            writeStamps();
        handoff_.giveBack(batch);
    }
}

void ScanWriter::writeStamps()
{
    if (stampIDs_.empty())
        return;
    try {
        parts_.session.stampVisited(stampIDs_);
    } catch (const std::exception& error) {
        // Their subfolders are on their way already; the scan ends incomplete and its resume
        // reads these again.
        for (const auto& path : stampPaths_)
            lost_.lose(path, error.what());
        noteWriteFailure(error);
    }
    stampIDs_.clear();
    stampPaths_.clear();
}

bool ScanWriter::place(ListedFolder& folder)
{
    const auto& parent = folder.parentSlot;
    if (!parent)
        return true;
    if (parent->failed.load(std::memory_order_relaxed) || !parent->folderID) {
        folder.slot->failed.store(true, std::memory_order_relaxed);
        return false;
    }
    DirectorySnapshot& snapshot = folder.snapshot;
    snapshot.parentID = parent->folderID;
    if (const auto found = parent->childIDs.find(snapshot.name); found != parent->childIDs.end()) {
        snapshot.folderID = found->second;
        snapshot.isNewRow = std::binary_search(parent->newChildIDs.begin(), parent->newChildIDs.end(), found->second);
    }
    return true;
}

void ScanWriter::writePart(ListedFolder& part)
{
    FolderSlot& slot = *part.slot;
    if (slot.failed.load(std::memory_order_relaxed))
        return;
    DirectorySnapshot& snapshot = part.snapshot;
    snapshot.holdsNoFiles = plan_.fillsEmptyIndex;
    ScanSession& session = parts_.session;
    auto found = parted_.find(&slot);
    if (found == parted_.end()) {
        if (!place(part))
            return;
        const std::uint64_t lostBefore = session.lostBatches();
        std::optional<std::int64_t> folderID;
        const auto begun = written(snapshot.path, [&] {
            folderID = session.beginParts(snapshot);
            return DirectorySyncResult{};
        });
        if (!begun) {
            slot.failed.store(true, std::memory_order_relaxed);
            return;
        }
        if (!folderID) {
            // Another writer filled its rows since the reader looked: parts would double them.
            loseParted(part, rowsAddedMessage);
            return;
        }
        found = parted_.emplace(&slot, PartedFolder{.folderID = *folderID, .lostBatches = lostBefore}).first;
    } else if (session.lostBatches() != found->second.lostBatches) {
        parted_.erase(found);
        loseParted(part, partsLostMessage);
        return;
    }
    const std::int64_t folderID = found->second.folderID;
    const auto result = written(snapshot.path, [&] {
        return DirectorySyncResult{.newFiles = static_cast<int>(session.insertPart(folderID, snapshot.files))};
    });
    if (!result) {
        parted_.erase(found);
        slot.failed.store(true, std::memory_order_relaxed);
        return;
    }
    parts_.counters.folderSyncedAgain(*result);
}

void ScanWriter::loseParted(ListedFolder& folder, std::string_view message)
{
    if (folder.slot)
        folder.slot->failed.store(true, std::memory_order_relaxed);
    lost_.lose(folder.snapshot.path, std::string(message));
}

void ScanWriter::writeFolder(ListedFolder& folder)
{
    ScanCounters& counters = parts_.counters;
    DirectorySnapshot& snapshot = folder.snapshot;
    snapshot.holdsNoFiles = plan_.fillsEmptyIndex;
    try {
        if (!place(folder))
            return;
        if (folder.parted.files > 0 && !folder.summed) {
            const auto found = parted_.find(folder.slot.get());
            // Its parts were dropped, and the folder lost with them.
            if (found == parted_.end() || folder.slot->failed.load(std::memory_order_relaxed))
                return;
            const PartedFolder parted = found->second;
            parted_.erase(found);
            if (parts_.session.lostBatches() != parted.lostBatches) {
                loseParted(folder, partsLostMessage);
                return;
            }
            if (snapshot.folderID != parted.folderID) {
                snapshot.folderID = parted.folderID;
                snapshot.isNewRow = false;
            }
            // Its row holds its parts' rows alone.
            snapshot.holdsNoFiles = true;
            folder.lostBatchesBeforeParts = parted.lostBatches;
        }
        if (folder.failure) {
            if (folder.failure->kind() == DirectoryReadError::Kind::accessDenied) {
                counters.folderRefused();
            } else {
                counters.folderFailed();
                parts_.database.logError(snapshot.path, systemErrorText(folder.failure->code()));
            }
        } else if (folder.gaps.any()) {
            // A folder that can be listed but not searched is refused; any other gap is a fault.
            const bool refused = folder.gaps.listingFailure == 0 &&
                                 DirectoryReadError::fromErrno(folder.gaps.entryFailure).kind() ==
                                     DirectoryReadError::Kind::accessDenied;
            if (refused) {
                counters.folderRefused();
            } else {
                counters.folderFailed();
                parts_.database.logError(snapshot.path, gapDescription(folder.gaps));
            }
        }
        if (!folder.links.empty()) {
            keepUntilLinksAreKnown(folder);
            return;
        }
        std::optional<DirectorySyncResult> result;
        if (folder.summed) {
            // Its listing is not whole: only the reader's comparison, while it holds, can sync it.
            bool stale = false;
            result = written(snapshot.path, [&] {
                auto synced = folder.differences ? parts_.session.syncSummed(snapshot, *folder.differences,
                                                                             folder.digest, folder.parted)
                                                 : std::nullopt;
                stale = !synced;
                return synced.value_or(DirectorySyncResult{});
            });
            if (stale) {
                loseParted(folder, rowsChangedMessage);
                return;
            }
        } else {
            result = sync(snapshot, folder.differences ? &*folder.differences : nullptr, folder.digest, folder.parted);
        }
        if (!result) {
            folder.slot->failed.store(true, std::memory_order_relaxed);
            return;
        }
        const auto listed = folder.parted.files + static_cast<std::int64_t>(snapshot.files.size());
        if (folder.countedBefore) {
            counters.folderSyncedAgain(*result);
            counters.addFigures(0, listed - folder.countedBefore->files,
                                folder.countedBytes - folder.countedBefore->bytes);
        } else {
            counters.folderSynced(listed, folder.countedBytes, *result);
        }
        if (folder.differences && folder.differences->stampLeft) {
            stampIDs_.push_back(result->folderID);
            stampPaths_.push_back(snapshot.path);
        }
        folder.slot->folderID = result->folderID;
        folder.slot->childIDs = std::move(result->childIDs);
        folder.slot->newChildIDs = std::move(result->newChildIDs);
    } catch (const std::exception& error) {
        folder.slot->failed.store(true, std::memory_order_relaxed);
        lost_.lose(snapshot.path, error.what());
        noteWriteFailure(error);
    } catch (...) {
        folder.slot->failed.store(true, std::memory_order_relaxed);
        lost_.lose(snapshot.path, LostFolders::handledFailure());
    }
}

void ScanWriter::keepUntilLinksAreKnown(ListedFolder& folder)
{
    DirectorySnapshot& snapshot = folder.snapshot;
    // Its subfolders need their ids now, as below any other folder, so its subfolder rows are
    // made already. Files are left alone until then, so no stored row of a linked file is
    // dropped on the way.
    if (!snapshot.folderID || !snapshot.subdirectories.empty()) {
        try {
            DirectorySyncResult placed = parts_.session.syncSubfolders(snapshot);
            snapshot.folderID = placed.folderID;
            folder.slot->childIDs = std::move(placed.childIDs);
            folder.slot->newChildIDs = std::move(placed.newChildIDs);
        } catch (const std::exception& error) {
            parts_.counters.folderFailed();
            parts_.database.logError(snapshot.path, std::string("Cache write failed: ") + error.what());
            lost_.note(snapshot.path);
            noteWriteFailure(error);
            folder.slot->failed.store(true, std::memory_order_relaxed);
            return;
        }
    }
    // Its sync after the walk must look up the subfolder rows written by then.
    snapshot.isNewRow = false;
    folder.slot->folderID = snapshot.folderID;
    // What it waits with: the jobs below it have their slots, and its comparison with the
    // stored rows is made again then.
    folder.slot.reset();
    folder.parentSlot.reset();
    folder.differences.reset();
    waitingForLinks_.push_back(std::move(folder));
}

template <class Write>
std::optional<DirectorySyncResult> ScanWriter::written(const std::string& path, Write&& write)
{
    ScanSession& session = parts_.session;
    try {
        ledger_.seeLostBatches(session.lostBatches());
        DirectorySyncResult result = write();
        ledger_.add(result);
        ledger_.seeLostBatches(session.lostBatches());
        if (!session.writesPending())
            ledger_.batchStored();
        return result;
    } catch (const std::exception& error) {
        parts_.counters.folderFailed();
        parts_.database.logError(path, std::string("Cache write failed: ") + error.what());
        lost_.note(path);
        noteWriteFailure(error);
        return std::nullopt;
    }
}

std::optional<DirectorySyncResult> ScanWriter::sync(const DirectorySnapshot& snapshot,
                                                    FolderDifferences* differences, std::uint64_t digest,
                                                    const FolderDigests::FileSum& parted)
{
    return written(snapshot.path,
                   [&] { return parts_.session.syncDirectory(snapshot, differences, digest, parted); });
}

void ScanWriter::noteWriteFailure(const std::exception& error)
{
    ScanSession& session = parts_.session;
    // A failure such as a full disk rolls the whole open batch back.
    ledger_.seeLostBatches(session.lostBatches());
    if (!session.writesPending())
        ledger_.batchLost();
    if (cacheFault_)
        return;
    cacheFault_ = SQLiteFailure::lastingWriteFault(error, parts_.database.path());
    if (cacheFault_)
        queue_.cancel();
}

void ScanWriter::syncFoldersWithLinks()
{
    if (cacheFault_)
        return;
    // The figures of the pass go to the counters at once: in a resumed scan, bytes that a
    // folder read again gives up reappear with the link that carries them now, so that the
    // sum never goes down on the way.
    std::int64_t folders = 0;
    std::int64_t files = 0;
    std::int64_t bytes = 0;
    for (auto& folder : waitingForLinks_) {
        DirectorySnapshot& snapshot = folder.snapshot;
        if (folder.parted.files > 0 && parts_.session.lostBatches() != folder.lostBatchesBeforeParts) {
            loseParted(folder, partsLostMessage);
            continue;
        }
        std::int64_t counted = folder.countedBytes;
        for (const auto& link : folder.links) {
            ScannedFile& file = snapshot.files[link.position];
            const std::string path = DirectorySync::childPath(snapshot.path, file.name);
            file.countedAllocatedSize =
                parts_.hardLinks.carriesSize(link.key.device, link.key.inode, path) ? file.allocatedSize : 0;
            counted += file.countedAllocatedSize;
        }
        // With its links' counted bytes known, its digest is taken as any other's.
        const std::uint64_t digest = folder.digestKnown ? FolderDigests::of(plan_.digestSeed, snapshot, folder.parted)
                                                        : FolderDigests::unknown;
        const auto result = sync(snapshot, nullptr, digest, folder.parted);
        if (!result)
            continue;
        parts_.counters.folderSyncedAgain(*result);
        const auto listed = folder.parted.files + static_cast<std::int64_t>(snapshot.files.size());
        if (folder.countedBefore) {
            files += listed - folder.countedBefore->files;
            bytes += counted - folder.countedBefore->bytes;
        } else {
            folders += 1;
            files += listed;
            bytes += counted;
        }
    }
    writeStamps();
    parts_.counters.addFigures(folders, files, bytes);
}

ScanWriter::Ending ScanWriter::finish(bool stopped, std::int64_t volumeTotal, std::int64_t volumeUsed,
                                      ReaderConnections& connections)
{
    StorageDatabase& database = parts_.database;
    waitingForLinks_.clear();
    if (cacheFault_)
        return endFailed(volumeTotal, volumeUsed, connections);

    // A scan that lost folders of its own accord ends as an incomplete one, which its resume
    // completes: the lost folders are the ones it reads again.
    ScanSession& session = parts_.session;
    const std::int64_t lost = session.lostFolderWrites();
    if (lost > 0 && !stopped) {
        const std::set<std::string> withLosses = lost_.roots();
        const std::set<std::string> places =
            withLosses.empty() ? std::set<std::string>(plan_.roots.begin(), plan_.roots.end()) : withLosses;
        for (const auto& place : places)
            database.logError(place, std::string(incompleteScanMessage));
    }
    const ScanProgress counted = parts_.counters.snapshot();
    Ending ending{.status = stopped || lost > 0 ? ScanRecord::Status::cancelled : ScanRecord::Status::completed,
                  .claimed = {.newFiles = counted.newFiles,
                              .changedFiles = counted.changedFiles,
                              .deletedFiles = counted.deletedFiles},
                  .lostFolders = lost};
    ledger_.seeLostBatches(session.lostBatches());
    // The finish stores what waits in the open batch; nothing that was lost is claimed.
    if (ledger_.claimsStoredOnly())
        ending.claimed = ledger_.claimable();
    try {
        const ScanSession::Finished finished =
            session.finish(ScanSession::FinishRequest{.status = ending.status,
                                                      .roots = plan_.roots,
                                                      .volumeTotal = volumeTotal,
                                                      .volumeUsed = volumeUsed,
                                                      .newFiles = ending.claimed.newFiles,
                                                      .changedFiles = ending.claimed.changedFiles,
                                                      .deletedFiles = ending.claimed.deletedFiles});
        if (finished.status != ending.status)
            for (const auto& root : plan_.roots)
                database.logError(root, std::string(otherWriterMessage));
        ending.status = finished.status;
        ending.totals = finished.totals;
    } catch (const std::exception& error) {
        // The finish and the batch it closed are gone; the scan ends failed if it can say so.
        cacheFault_ = SQLiteFailure::lastingWriteFault(error, database.path());
        if (!cacheFault_)
            throw;
        ledger_.batchLost();
        return endFailed(volumeTotal, volumeUsed, connections);
    }
    connections.close();
    return ending;
}

ScanWriter::Ending ScanWriter::endFailed(std::int64_t volumeTotal, std::int64_t volumeUsed,
                                         ReaderConnections& connections)
{
    StorageDatabase& database = parts_.database;
    connections.close();
    // What the open batch holds counts only once it is stored.
    try {
        database.commit();
        ledger_.batchStored();
    } catch (const std::exception&) {
        ledger_.batchLost();
    }
    // Counted before the finish, which forgets the scan's write failures.
    Ending ending{.status = ScanRecord::Status::failed,
                  .claimed = ledger_.stored(),
                  .lostFolders = parts_.session.lostFolderWrites(),
                  .failure = cacheFault_};
    try {
        ending.totals = parts_.session.finish(ScanSession::FinishRequest{.status = ending.status,
                                                                          .roots = plan_.roots,
                                                                          .volumeTotal = volumeTotal,
                                                                          .volumeUsed = volumeUsed,
                                                                          .newFiles = ending.claimed.newFiles,
                                                                          .changedFiles = ending.claimed.changedFiles,
                                                                          .deletedFiles = ending.claimed.deletedFiles})
                           .totals;
    } catch (const std::exception&) {
        // The record stays open and the next start closes it; the reason is what matters.
        throw std::runtime_error(*cacheFault_);
    }
    return ending;
}
