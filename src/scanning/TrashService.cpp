#include "scanning/TrashService.h"

#include "index/StorageDatabase.h"
#include "platform/FileTrasher.h"
#include "platform/SystemPaths.h"
#include "scanning/SecurityUtils.h"

#include <exception>
#include <optional>
#include <string>

namespace TrashService {

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
        // The verdict is on the item with its folder resolved; that exact path is what moves,
        // so a folder link swapped since cannot redirect the move elsewhere.
        const std::string judged =
            SecurityUtils::normalized(SecurityUtils::droppingDataVolumePrefix(candidate.path), true);
        if (judged != candidate.path) {
            const PathSafety again = SecurityUtils::evaluate(judged, home, ownPaths, true);
            if (again.isProtected()) {
                refuse(again.reason());
                continue;
            }
        }
        if (SecurityUtils::normalized(judged, true) != judged) {
            refuse(changedWhileMovingReason);
            continue;
        }
        std::optional<std::string> failure;
        try {
            failure = trasher.moveToTrash(judged);
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
