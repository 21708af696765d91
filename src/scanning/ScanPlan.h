#pragma once

#include "index/StoredFolders.h"
#include "scanning/ScanExclusions.h"

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
    // The stored folder digests: one digest per folder the cache held as the scan began, when
    // there are any to compare listings with. Digests are taken under `digestSeed`.
    std::optional<StoredFolders> storedDigests{};
    std::uint64_t digestSeed = 0;
    // This scan records the digests of the folders it syncs, for the next scan.
    bool recordsDigests = false;
};
