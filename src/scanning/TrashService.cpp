#include "scanning/TrashService.h"

#include "index/StorageDatabase.h"
#include "platform/FileSystem.h"
#include "platform/FileTrasher.h"
#include "platform/Paths.h"
#include "platform/SystemPaths.h"
#include "scanning/SecurityUtils.h"

#include <exception>
#include <optional>
#include <string>

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

} // namespace

TrashOutcome moveToTrash(const std::vector<TrashCandidate>& candidates, StorageDatabase* database,
                         FileTrasher& trasher)
{
    TrashOutcome outcome;
    for (const TrashCandidate& candidate : candidates) {
        // Looked up for every item, so that a change between items is honoured.
        const std::string home = SystemPaths::homeDirectory();
        const std::vector<std::string> ownPaths = SecurityUtils::appOwnedPaths();
        const auto refuse = [&](std::string reason) { outcome.failures.push_back({candidate.path, std::move(reason)}); };

        const PathSafety verdict = SecurityUtils::evaluate(candidate.path, home, ownPaths, true);
        if (verdict.isProtected()) {
            refuse(verdict.reason());
            continue;
        }
        // Index paths are resolved paths: one that resolves elsewhere now is no longer the picked
        // item. The Trash then opens the folders on the way without following links, so a swap
        // after this check is refused as well.
        std::string picked =
            SecurityUtils::normalized(SecurityUtils::droppingDataVolumePrefix(candidate.path), false);
        if (const std::string resolved = SecurityUtils::normalized(picked, true); resolved != picked) {
            const auto throughHome = reachedThroughHomeLink(picked, resolved, home);
            if (!throughHome) {
                refuse(FileTrasher::locationChangedReason);
                continue;
            }
            picked = *throughHome;
        }
        std::optional<std::string> failure;
        try {
            failure = trasher.moveToTrash(picked);
        } catch (const std::exception&) {
            // One item's trouble must not lose the outcome of the items already moved.
            failure = couldNotMoveReason;
        }
        if (failure) {
            refuse(std::move(*failure));
            continue;
        }
        outcome.moved.push_back(candidate.path);
    }

    if (database && !outcome.moved.empty()) {
        try {
            database->removeItems(outcome.moved);
        } catch (...) {
            // The items are in the Trash already; the next scan brings the index back in line.
        }
    }
    return outcome;
}

} // namespace TrashService
