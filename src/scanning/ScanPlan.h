#pragma once

#include "scanning/ScanExclusions.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

class DescriptorBudget;

// What a scan's readers and its writer read and never change once the walk has begun.
struct ScanPlan {
    std::int64_t scanID = 0;
    bool resuming = false;
    // Nothing was stored when the scan began, so no listing is set against stored rows.
    bool fillsEmptyIndex = false;
    std::vector<std::string> roots{};   // normalized
    ScanExclusions exclusions{};
    std::stop_token stop{};
    // The descriptors of the open folders whose subfolders wait to be read; it keeps its own lock.
    std::shared_ptr<DescriptorBudget> budget{};
    // The seed of the cache's folder digests (FolderDigests), which the readers take of their listings.
    std::uint64_t digestSeed = 0;
    // Files of a large folder handed to the writer at a time while it is listed (ListedFolder).
    std::size_t filesPerPart = 0;
};
