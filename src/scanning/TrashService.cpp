#include "scanning/TrashService.h"

#include "index/StorageDatabase.h"
#include "platform/FileSystem.h"
#include "platform/FileTrasher.h"
#include "platform/Paths.h"
#include "platform/SystemPaths.h"
#include "scanning/SecurityUtils.h"

#include <cerrno>
#include <exception>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace TrashService {

namespace {

// A home folder reached through a link (one kept on another volume) is the user's own
// setting, unlike a link met below it: when that link alone makes `picked` resolve to
// `resolved`, the resolved path is the same item.
std::optional<std::string> reachedThroughHomeLink(const std::string& picked, const std::string& resolved,
                                                  const std::string& home)
{
    const std::string writtenHome = SecurityUtils::normalized(home, false);
    if (writtenHome == "/" || picked == writtenHome || !Paths::isWithin(picked, writtenHome))
        return std::nullopt;
    const auto realHome = FileSystem::standard().realPath(writtenHome);
    if (!realHome || *realHome == "/" || resolved != *realHome + picked.substr(writtenHome.size()))
        return std::nullopt;
    return resolved;
}

// What the item at the candidate's path must still be: what the index recorded of it (the
// item the screen showed), and what stood there when it was picked.
FileTrasher::Expected expectedItem(const TrashCandidate& candidate, StorageDatabase* database,
                                   const std::optional<FileTrasher::Expected>& picked)
{
    using Kind = FileTrasher::Expected::Kind;
    FileTrasher::Expected expected = picked.value_or(
        FileTrasher::Expected{.kind = candidate.isDirectory ? Kind::folder : Kind::any});
    std::optional<RecordedItem> recorded;
    try {
        if (database)
            recorded = database->recordedItem(candidate.path);
    } catch (...) {
        // An index that cannot answer leaves what the pick saw.
    }
    if (!recorded)
        return expected;
    switch (recorded->kind) {
    case RecordedItem::Kind::folder: expected.kind = Kind::folder; break;
    case RecordedItem::Kind::symbolicLink: expected.kind = Kind::symbolicLink; break;
    case RecordedItem::Kind::file: expected.kind = Kind::file; break;
    }
    // The index's inode wins: an item replaced between the scan and the pick is another one too.
    if (recorded->inode)
        expected.inode = recorded->inode;
    return expected;
}

// Gone from the disk, not merely unreadable: its folder is there and it is not.
bool isGone(const std::string& path)
{
    struct stat status {};
    return ::lstat(path.c_str(), &status) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

// The paths the index is to forget, written out in small batches.
class Forgetting {
public:
    explicit Forgetting(StorageDatabase* database) : database_(database) {}
    ~Forgetting() { flush(); }

    void add(const std::string& path)
    {
        if (!database_)
            return;
        pending_.push_back(path);
        if (pending_.size() >= forgetBatchSize || std::chrono::steady_clock::now() - lastFlush_ >= forgetBatchAge)
            flush();
    }

    void flush()
    {
        lastFlush_ = std::chrono::steady_clock::now();
        if (pending_.empty())
            return;
        try {
            database_->removeItems(pending_);
        } catch (...) {
            // The items are in the Trash already; the next scan brings the index back in line.
        }
        pending_.clear();
    }

private:
    StorageDatabase* database_;
    std::vector<std::string> pending_;
    std::chrono::steady_clock::time_point lastFlush_ = std::chrono::steady_clock::now();
};

} // namespace

TrashOutcome moveToTrash(const std::vector<TrashCandidate>& candidates, StorageDatabase* database,
                         FileTrasher& trasher, std::stop_token stop,
                         const std::vector<std::optional<FileTrasher::Expected>>& picked)
{
    TrashOutcome outcome;
    Forgetting forgetting(database);
    for (std::size_t index = 0; index < candidates.size(); ++index) {
        const TrashCandidate& candidate = candidates[index];
        if (stop.stop_requested())
            break;
        // Looked up for every item, so that a change between items is honoured.
        const std::string home = SystemPaths::homeDirectory();
        const std::vector<std::string> ownPaths = SecurityUtils::appOwnedPaths();
        const auto refuse = [&](std::string reason) {
            outcome.failures.push_back({candidate.path, std::move(reason)});
            // A repaired name is no path on the disk: its item is not gone for being missing there.
            if (database && !SecurityUtils::hasRepairedName(candidate.path) && isGone(candidate.path)) {
                outcome.forgotten.push_back(candidate.path);
                forgetting.add(candidate.path);
            }
        };

        const PathSafety verdict = SecurityUtils::evaluate(candidate.path, home, ownPaths, true);
        if (verdict.isProtected()) {
            refuse(verdict.reason());
            continue;
        }
        // Index paths are resolved paths: one that resolves elsewhere now is no longer the picked
        // item. The Trash then opens the folders on the way without following links, so a swap
        // after this check is refused as well.
        std::string path =
            SecurityUtils::normalized(SecurityUtils::droppingDataVolumePrefix(candidate.path), false);
        if (const std::string resolved = SecurityUtils::normalized(path, true); resolved != path) {
            const auto throughHome = reachedThroughHomeLink(path, resolved, home);
            if (!throughHome) {
                refuse(FileTrasher::locationChangedReason);
                continue;
            }
            path = *throughHome;
        }
        std::optional<std::string> failure;
        try {
            failure = trasher.moveToTrash(
                path, expectedItem(candidate, database, index < picked.size() ? picked[index] : std::nullopt));
        } catch (const std::exception&) {
            // One item's trouble must not lose the outcome of the items already moved.
            failure = couldNotMoveReason;
        }
        if (failure) {
            refuse(std::move(*failure));
            continue;
        }
        outcome.moved.push_back(candidate.path);
        forgetting.add(candidate.path);
    }
    forgetting.flush();
    return outcome;
}

} // namespace TrashService
