#include "scanning/FolderReaders.h"

#include "index/CaseFolding.h"
#include "index/DirectorySync.h"
#include "index/StorageCategorizer.h"
#include "index/ScanSession.h"
#include "index/StorageDatabase.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "scanning/DirectoryReader.h"
#include "scanning/FolderHandoff.h"
#include "scanning/HardLinkTracker.h"
#include "scanning/LostFolders.h"
#include "scanning/PauseGate.h"
#include "scanning/ReaderConnections.h"
#include "scanning/ScanCounters.h"
#include "scanning/ScanPlan.h"
#include "scanning/SecurityUtils.h"
#include "scanning/StoredRowsReader.h"

#include <algorithm>
#include <functional>
#include <set>
#include <string_view>
#include <system_error>

namespace {

std::string systemErrorText(int code) { return std::generic_category().message(code); }

} // namespace

// One reader's own state.
struct FolderReaders::Reader {
    // Folders handed over at once, at most: each hand-over takes the handoff's lock and may
    // wake the writer.
    static constexpr std::size_t foldersPerHandover = 16;
    static constexpr std::size_t entriesPerHandover = 4096;

    std::size_t index = 0;
    // Its connection to the cache, if any, through which it sets listings against stored rows.
    StoredRowsReader* stored = nullptr;
    std::vector<ListedFolder> listed{};   // in listing order
    std::size_t listedEntries = 0;
    std::vector<Job> kept{};
    std::vector<ListedFolder> freed{};   // room for what the writer gives back, freed here

    // Ends the open read of the cache, if any: the writer may wait for every read to end.
    void endRead() const
    {
        if (stored)
            stored->end();
    }
    bool handoverDue() const { return listed.size() >= foldersPerHandover || listedEntries >= entriesPerHandover; }
    // Hands what it listed to the writer, waiting for room without a read open.
    void handOver(FolderHandoff& handoff)
    {
        handoff.handOver(listed, listedEntries, [this] { endRead(); });
        listedEntries = 0;
    }
};

FolderReaders::FolderReaders(Parts parts, const ScanPlan& plan, DirectoryWorkQueue& queue, FolderHandoff& handoff,
                             LostFolders& lost, const ReaderConnections& connections)
    : parts_(parts), plan_(plan), queue_(queue), handoff_(handoff), lost_(lost), connections_(connections)
{
}

void FolderReaders::work(std::size_t index)
{
    Reader reader{.index = index, .stored = connections_.of(index)};
    const std::function<void()> endRead = [&] { reader.endRead(); };
    std::optional<Job> job = queue_.next();
    while (job) {
        handoff_.freeReturned(index, reader.freed);
        if (plan_.stop.stop_requested()) {
            reader.handOver(handoff_);
            reader.endRead();
            queue_.complete();
            return;
        }
        // A folder given up here is neither synced nor entered, so the scan must not take
        // its stored rows for gone.
        std::vector<Job> children;
        try {
            children = process(*job, reader);
        } catch (...) {
            reader.endRead();   // the loss is logged under the cache's lock
            lost_.lose(job->path, LostFolders::handledFailure());
        }
        job.reset();   // its folder handles go before this reader waits for the next
        for (auto& child : children)
            reader.kept.push_back(std::move(child));
        // Its own subfolders first, as the walk goes deeper; the others get them once their
        // parents are with the writer.
        if (!reader.kept.empty() && !reader.handoverDue() && !queue_.hasWaitingWorkers()) {
            job = std::move(reader.kept.back());
            reader.kept.pop_back();
            continue;
        }
        reader.handOver(handoff_);
        job = queue_.completeAndNext(std::move(reader.kept), endRead);
        reader.kept.clear();
    }
}

std::optional<std::vector<FolderReaders::Job>> FolderReaders::takeFromIndex(
    const Job& job, std::map<std::string, std::int64_t>& storedChildren,
    std::optional<ListedFolder::Figures>& countedBefore)
{
    std::optional<StorageDatabase::VisitedFolder> visited;
    try {
        visited = parts_.session.visitedChildren(*job.folderID);
    } catch (const std::exception&) {
        return std::nullopt;   // read the folder as if it had not been visited
    }
    if (!visited)
        return std::nullopt;
    // Stored paths hold repaired names that cannot be opened; such a folder is read again.
    const auto repaired = [](const StorageDatabase::ChildFolder& child) {
        return SecurityUtils::hasRepairedName(child.path);
    };
    // Either way its figures are in the earlier ones the counters started from.
    countedBefore = ListedFolder::Figures{.files = visited->files, .bytes = visited->bytes};
    // Which link of a file carries its bytes is decided among the links this scanner meets,
    // so a folder holding links is read again.
    if (visited->linkedFiles > 0 || std::any_of(visited->children.begin(), visited->children.end(), repaired)) {
        // Its subfolders keep their ids, so that those this scan has synced are not read again.
        for (const auto& child : visited->children)
            storedChildren.emplace(child.name, child.id);
        return std::nullopt;
    }
    std::vector<Job> jobs;
    for (const auto& child : visited->children) {
        if (plan_.exclusions.excludes(child.path))
            continue;
        jobs.push_back(Job{.path = child.path,
                           .name = child.name,
                           .parentID = job.folderID,
                           .folderID = child.id,
                           .depth = job.depth + 1,
                           .device = job.device});
    }
    return jobs;
}

std::vector<FolderReaders::Job> FolderReaders::process(const Job& job, Reader& reader)
{
    const std::function<void()> endRead = [&] { reader.endRead(); };
    // What it listed goes to the writer before it waits, so that a pause or a stall holds none back.
    const std::function<void()> beforeWait = [&] {
        reader.handOver(handoff_);
        reader.endRead();
    };
    parts_.pauseGate.waitIfPaused(plan_.stop, beforeWait);
    if (plan_.stop.stop_requested())
        return {};
    // The writer drops what lies below a folder it failed to write; reading it is wasted.
    if (job.parentSlot && job.parentSlot->failed.load(std::memory_order_relaxed))
        return {};
    parts_.counters.folderStarted(job.path);

    Listing listing;
    if (plan_.resuming && job.folderID) {
        endRead();   // the index is read under the cache's lock
        if (auto jobs = takeFromIndex(job, listing.storedChildren, listing.countedBefore))
            return std::move(*jobs);
    }
    listing.parting = plan_.filesPerPart > 0 ? Parting::undecided : Parting::whole;
    std::vector<Job> children = list(job, reader, listing, beforeWait);
    // Its files were only summed, and are not the stored ones: read whole, it is set against
    // its rows as any other.
    if (listing.parting == Parting::readAgain) {
        listing.parting = Parting::whole;
        children = list(job, reader, listing, beforeWait);
    }
    return children;
}

std::vector<FolderReaders::Job> FolderReaders::list(const Job& job, Reader& reader, Listing& listing,
                                                    const std::function<void()>& beforeWait)
{
    const std::function<void()> endRead = [&] { reader.endRead(); };
    StorageCategorizer::Trail trail;
    const StorageCategorizer::FolderContext context =
        parts_.categorizer.context(job.path, job.trail ? &*job.trail : nullptr, trail);
    const std::string prefix = job.path == "/" ? std::string("/") : job.path + "/";

    ListedFolder folder{.snapshot = {.path = job.path,
                                     .name = job.name,
                                     .parentID = job.parentID,
                                     .folderID = job.folderID,
                                     .depth = job.depth},
                        .parentSlot = job.parentSlot,
                        .slot = std::make_shared<FolderSlot>(),
                        .reader = reader.index};
    DirectorySnapshot& snapshot = folder.snapshot;
    std::vector<SubfolderOnDisk> onDisk;
    bool repairedNames = false;   // an entry's name could not be kept as it is on disk
    std::vector<std::pair<std::size_t, std::string>> repairedFiles;   // position, name on disk
    std::string childPath;
    const FolderLocation location{.parent = job.parent,
                                  .path = job.pathOnDisk(),
                                  .followsLink = !job.parent && job.depth == 0,
                                  .device = job.device,
                                  .inode = job.inode,
                                  .budget = job.parent ? nullptr : plan_.budget};
    // A large folder goes to the writer in parts as it is listed, or is only summed, where it
    // may (partingOf); one given up half way (stopped, or dropped by the writer) is not handed
    // over at all.
    Parting& parting = listing.parting;
    std::size_t keptFiles = 0;   // at the front of snapshot.files: those that stay for the last piece
    const auto handPart = [&] {
        if (parting == Parting::undecided)
            parting = partingOf(job, reader);
        if (parting != Parting::parts && parting != Parting::summed)
            return;
        if (plan_.stop.stop_requested() || folder.slot->failed.load(std::memory_order_relaxed)) {
            parting = Parting::givenUp;
            std::vector<ScannedFile>().swap(snapshot.files);
            return;
        }
        std::vector<ScannedFile> plain = takePlainFiles(snapshot.files, folder.links, repairedFiles);
        keptFiles = snapshot.files.size();
        folder.parted.add(plan_.digestSeed, plain);
        if (parting == Parting::summed) {
            parts_.pauseGate.waitIfPaused(plan_.stop, beforeWait);
            return;
        }
        ListedFolder part{.snapshot = {.path = snapshot.path,
                                       .name = snapshot.name,
                                       .parentID = snapshot.parentID,
                                       .folderID = snapshot.folderID,
                                       .depth = snapshot.depth,
                                       .files = std::move(plain)},
                          .parentSlot = folder.parentSlot,
                          .slot = folder.slot,
                          .reader = reader.index,
                          .isPart = true};
        reader.listedEntries += part.entries();
        reader.listed.push_back(std::move(part));
        reader.handOver(handoff_);
        // The parts written meanwhile go now, not once the folder is listed.
        handoff_.freeReturned(reader.index, reader.freed);
        parts_.pauseGate.waitIfPaused(plan_.stop, beforeWait);
    };
    FolderRead opened;
    const DirectoryReader::Visitor visit = [&](const RawDirectoryEntry& entry) {
        if (parting == Parting::givenUp)
            return;
        if (!entry.hasValidName)
            repairedNames = true;
        switch (entry.kind) {
        case RawDirectoryEntry::Kind::other:
            return;
        case RawDirectoryEntry::Kind::directory:
            if (entry.device != job.device)
                return;
            if (!plan_.exclusions.empty() && plan_.exclusions.excludes(childPath.assign(prefix).append(entry.name)))
                return;
            snapshot.subdirectories.push_back(ScannedSubdirectory{.name = entry.name, .modified = entry.modified});
            onDisk.push_back(SubfolderOnDisk{
                .diskName = entry.diskName, .inode = entry.inode, .mayBeMount = entry.isMountRoot.value_or(true)});
            return;
        case RawDirectoryEntry::Kind::file:
        case RawDirectoryEntry::Kind::symlink:
            break;
        }
        const bool isLink = entry.kind == RawDirectoryEntry::Kind::symlink;
        // Room for a small folder's files at its first file, and none for a folder without files.
        if (snapshot.files.empty())
            snapshot.files.reserve(16);
        const std::size_t position = snapshot.files.size();
        ScannedFile& file = snapshot.files.emplace_back();
        file.name = entry.name;
        if (entry.name.front() == '.')
            file.flags.insert(FileItem::Flags::hidden);
        if (isLink)
            file.flags.insert(FileItem::Flags::symlink);
        if (!entry.hasValidName) {
            file.flags.insert(FileItem::Flags::invalidName);
            repairedFiles.emplace_back(position, entry.diskName);
        }
        if (!isLink)
            file.fileExtension = CaseFolding::lowercased(Paths::extension(entry.name));
        file.size = entry.size;
        file.allocatedSize = entry.allocatedSize;
        file.countedAllocatedSize = entry.allocatedSize;
        if (!isLink && entry.linkCount >= 2) {
            file.flags.insert(FileItem::Flags::hardLink);
            file.inode = entry.inode;
            folder.links.push_back(ListedFolder::Link{
                .position = position, .key = HardLinkTracker::Key{.device = entry.device, .inode = entry.inode}});
        } else {
            folder.countedBytes += entry.allocatedSize;
        }
        file.modified = entry.modified;
        file.created = entry.created;
        file.accessed = entry.accessed;
        file.category = StorageCategorizer::category(file.fileExtension, context);
        if (snapshot.files.size() - keptFiles >= plan_.filesPerPart && parting != Parting::whole)
            handPart();
    };
    const auto failure =
        parts_.directoryReader.readPatiently(location, visit, opened, plan_.stop, beforeWait);
    if (failure && failure->lacksDescriptors()) {
        if (!plan_.stop.stop_requested()) {
            endRead();
            lost_.lose(job.path, systemErrorText(failure->code()));
        }
        return {};
    }
    if (parting == Parting::givenUp)
        return {};
    // Such a listing is set against the stored rows by its digest alone, which it must then
    // have: nothing is done with it yet that a listing again would repeat.
    if (parting == Parting::summed && (failure || opened.gaps.any() || repairedNames || !folder.links.empty())) {
        parting = Parting::readAgain;
        return {};
    }
    if (failure && folder.parted.files > 0) {
        // Its parts are written: as a folder refused now it would keep their rows. Its resume reads it again.
        endRead();
        lost_.lose(job.path, systemErrorText(failure->code()));
        return {};
    }
    if (failure) {
        if (failure->kind() == DirectoryReadError::Kind::vanished)
            return {};
        // Refused or failed: synced as known in part, with nothing in it.
        snapshot.files.clear();
        snapshot.subdirectories.clear();
        onDisk.clear();
        folder.links.clear();
        folder.countedBytes = 0;
        repairedNames = false;
    }
    if (repairedNames)
        keepNamesDistinct(snapshot, onDisk, repairedFiles);
    for (const auto& link : folder.links)
        parts_.hardLinks.record(link.key.device, link.key.inode,
                                childPath.assign(prefix).append(snapshot.files[link.position].name));
    const auto above = job.parent || job.depth == 0 || job.inodesAbove ? job.inodesAbove : inodesAbove(job);
    std::vector<Loop> loops;
    if (!failure)
        loops = dropLoops(job, opened, above.get(), snapshot, onDisk);
    snapshot.modified = opened.self ? opened.self->modified : 0.0;
    // Entries it holds but that could not be read leave it known in part, like a refused one.
    snapshot.isRestricted = failure.has_value() || opened.gaps.any();
    snapshot.category = context.forcedCategory.value_or(context.fallbackCategory.value_or(StorageCategory::other));
    folder.failure = failure;
    if (!failure)
        folder.gaps = opened.gaps;
    folder.countedBefore = listing.countedBefore;
    folder.summed = parting == Parting::summed;
    compare(folder, repairedNames, reader);
    if (folder.summed && !folder.differences) {
        parting = Parting::readAgain;
        return {};
    }
    for (const auto& loop : loops) {
        parts_.counters.folderFailed();
        parts_.database.logError(loop.path, "File system loop detected: the same folder as " + loop.ancestor +
                                                "; not entered");
    }

    std::vector<Job> children = childJobs(job, folder, onDisk, opened.handle, above, trail);
    for (auto& child : children) {
        if (const auto stored = listing.storedChildren.find(child.name); stored != listing.storedChildren.end()) {
            child.parentID = job.folderID;
            child.folderID = stored->second;
        }
    }

    // Handed over before any other reader can read its subfolders, so the writer meets it before them.
    reader.listedEntries += folder.entries();
    reader.listed.push_back(std::move(folder));
    return children;
}

void FolderReaders::keepNamesDistinct(DirectorySnapshot& snapshot, std::vector<SubfolderOnDisk>& onDisk,
                                      const std::vector<std::pair<std::size_t, std::string>>& repairedFiles)
{
    std::vector<DirectoryReader::ListedName> names;
    for (std::size_t i = 0; i < onDisk.size(); ++i)
        if (!onDisk[i].diskName.empty())
            names.push_back({.name = &snapshot.subdirectories[i].name, .diskName = onDisk[i].diskName});
    DirectoryReader::keepRepairedNamesDistinct(names);
    names.clear();
    for (const auto& [position, diskName] : repairedFiles)
        names.push_back({.name = &snapshot.files[position].name, .diskName = diskName});
    DirectoryReader::keepRepairedNamesDistinct(names);
}

void FolderReaders::compare(ListedFolder& folder, bool repairedNames, Reader& reader)
{
    const DirectorySnapshot& snapshot = folder.snapshot;
    // Rows of a folder known in part, or under repaired names, may differ from its listing;
    // the digest of a folder holding links is taken once their bytes are known.
    folder.digestKnown = !snapshot.isRestricted && !repairedNames;
    if (folder.digestKnown && folder.links.empty())
        folder.digest = FolderDigests::of(plan_.digestSeed, snapshot, folder.parted);
    // A folder holding links is synced after the walk, against the rows as they are then; the
    // rows of a folder handed in parts are its parts' own.
    if (!reader.stored || !folder.links.empty() || snapshot.isNewRow || (folder.parted.files > 0 && !folder.summed))
        return;
    const FolderDigests::FileSum summed = folder.summed ? folder.parted : FolderDigests::FileSum{};
    try {
        const std::uint64_t rewrites = reader.stored->begin(parts_.database.rewritesCommitted());
        folder.differences =
            DirectorySync::compare(reader.stored->connection(), snapshot, rewrites, folder.digest, summed);
        reader.stored->folderCompared();
    } catch (const std::exception&) {
        reader.endRead();
        folder.differences.reset();   // the writer compares it itself
    }
}

FolderReaders::Parting FolderReaders::partingOf(const Job& job, Reader& reader)
{
    // Where the writer only inserts the folder's files: no stored row of them can be doubled.
    if (plan_.fillsEmptyIndex)
        return Parting::parts;
    if (!reader.stored)
        return Parting::whole;
    reader.endRead();   // a read left open would show rows as they were when it began
    try {
        return DirectorySync::holdsFileRows(reader.stored->connection(), job.path) ? Parting::summed : Parting::parts;
    } catch (const std::exception&) {
        return Parting::whole;
    }
}

std::vector<ScannedFile> FolderReaders::takePlainFiles(std::vector<ScannedFile>& files,
                                                       std::vector<ListedFolder::Link>& links,
                                                       std::vector<std::pair<std::size_t, std::string>>& repairedFiles)
{
    std::vector<ScannedFile> plain;
    plain.reserve(files.size() - links.size());
    // Links and repaired names stay, moved to the front in their order; their positions follow.
    std::size_t link = 0;
    std::size_t repaired = 0;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const bool isLink = link < links.size() && links[link].position == i;
        const bool isRepaired = repaired < repairedFiles.size() && repairedFiles[repaired].first == i;
        if (!isLink && !isRepaired) {
            plain.push_back(std::move(files[i]));
            continue;
        }
        if (isLink)
            links[link++].position = kept;
        if (isRepaired)
            repairedFiles[repaired++].first = kept;
        if (kept != i)
            files[kept] = std::move(files[i]);
        ++kept;
    }
    files.resize(kept);
    return plain;
}

FolderReaders::InodesAbove FolderReaders::inodesAbove(const Job& job) const
{
    auto inodes = std::make_shared<std::vector<std::uint64_t>>(static_cast<std::size_t>(job.depth), 0);
    std::string path = job.pathOnDisk();
    for (int depth = job.depth - 1; depth >= 0; --depth) {
        const auto slash = path.rfind('/');
        if (slash == std::string::npos)
            break;
        path.resize(std::max<std::size_t>(slash, 1));
        // The root may be reached through links, as the scan opened it.
        const std::string resolved = depth == 0 ? parts_.fileSystem.realPath(path).value_or(path) : path;
        FileStatus status;
        if (parts_.fileSystem.linkStatus(resolved, status) == 0 && status.device == job.device)
            (*inodes)[static_cast<std::size_t>(depth)] = status.inode;
    }
    return inodes;
}

std::vector<FolderReaders::Loop> FolderReaders::dropLoops(const Job& job, const FolderRead& opened,
                                                          const std::vector<std::uint64_t>* inodesAbove,
                                                          DirectorySnapshot& snapshot, std::vector<SubfolderOnDisk>& onDisk)
{
    std::vector<Loop> loops;
    const auto stepsUp = [&](std::uint64_t inode) -> std::optional<int> {
        if (opened.handle)
            if (const auto steps = opened.handle->stepsUpTo(job.device, inode))
                return steps;
        if (inodesAbove)
            for (std::size_t depth = 0; depth < inodesAbove->size(); ++depth)
                if ((*inodesAbove)[depth] == inode)
                    return job.depth - static_cast<int>(depth);
        return std::nullopt;
    };
    auto& subdirectories = snapshot.subdirectories;
    for (std::size_t i = subdirectories.size(); i-- > 0;) {
        if (!onDisk[i].mayBeMount)
            continue;
        const auto steps = stepsUp(onDisk[i].inode);
        if (!steps)
            continue;
        std::string ancestor = job.path;
        for (int step = 0; step < *steps; ++step)
            ancestor.resize(std::max<std::size_t>(ancestor.rfind('/'), 1));
        loops.push_back(Loop{.path = DirectorySync::childPath(job.path, subdirectories[i].name), .ancestor = ancestor});
        subdirectories.erase(subdirectories.begin() + static_cast<std::ptrdiff_t>(i));
        onDisk.erase(onDisk.begin() + static_cast<std::ptrdiff_t>(i));
    }
    return loops;
}

std::vector<FolderReaders::Job> FolderReaders::childJobs(const Job& job, const ListedFolder& folder,
                                                         const std::vector<SubfolderOnDisk>& onDisk,
                                                         const std::shared_ptr<const FolderHandle>& handle,
                                                         const InodesAbove& inodesAbove,
                                                         const StorageCategorizer::Trail& trail) const
{
    const auto& subdirectories = folder.snapshot.subdirectories;
    std::vector<Job> jobs;
    jobs.reserve(subdirectories.size());
    // The sync keeps the first of names that repeat once repaired and logs the others;
    // reading those would fill the first one's row.
    std::set<std::string_view> names;
    for (std::size_t i = 0; i < subdirectories.size(); ++i) {
        const auto& subdirectory = subdirectories[i];
        if (!names.insert(subdirectory.name).second)
            continue;
        Job child{.path = DirectorySync::childPath(job.path, subdirectory.name),
                  .name = subdirectory.name,
                  .depth = job.depth + 1,
                  .device = job.device,
                  .parent = handle,
                  .inode = onDisk[i].inode,
                  .parentSlot = folder.slot,
                  .inodesAbove = inodesAbove,
                  .trail = trail};
        const std::string& diskName = onDisk[i].diskName;
        if (!job.diskPath.empty() || !diskName.empty())
            child.diskPath =
                DirectorySync::childPath(job.pathOnDisk(), diskName.empty() ? subdirectory.name : diskName);
        jobs.push_back(std::move(child));
    }
    return jobs;
}
