#pragma once

#include "platform/FileTrasher.h"

#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <vector>

// The desktop's Trash, replaced: records what it was asked to move, removes it,
// and refuses the paths it is told to.
class RecordingTrasher : public FileTrasher {
public:
    std::optional<std::string> moveToTrash(const std::string& path, const Expected& = {}) override
    {
        std::lock_guard lock(mutex);
        if (refused.count(path))
            return std::string("You don't have permission to move this item.");
        moved.push_back(path);
        std::filesystem::remove(path);
        return std::nullopt;
    }

    std::vector<std::string> movedSoFar()
    {
        std::lock_guard lock(mutex);
        return moved;
    }

    std::mutex mutex;
    std::set<std::string> refused;
    std::vector<std::string> moved;
};
