#pragma once

#include "platform/FileTrasher.h"
#include "scanning/TrashCandidate.h"
#include "scanning/TrashOutcome.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <stop_token>
#include <vector>

class StorageDatabase;

// The only code that takes anything off the disk, and only into the Trash.
namespace TrashService {

inline constexpr const char* couldNotMoveReason = "The item could not be moved to the Trash.";

// The index forgets moved items in batches of at most this many, or this old, so that an
// interrupted removal leaves no moved item counted.
inline constexpr std::size_t forgetBatchSize = 64;
inline constexpr std::chrono::milliseconds forgetBatchAge{1000};

// Judges every candidate again against the file system (the program's own files count as
// protected), moves each one that is not protected and still the item the index recorded at
// its path, and makes the index forget the moved ones, and those already gone from the disk,
// as it goes. A stop request ends it after the item under way, with the index caught up.
// Runs off the main thread; never fails as a whole. `database` may be null.
// `picked` holds, per candidate, what stood at its path when it was picked.
TrashOutcome moveToTrash(const std::vector<TrashCandidate>& candidates, StorageDatabase* database,
                         FileTrasher& trasher, std::stop_token stop = {},
                         const std::vector<std::optional<FileTrasher::Expected>>& picked = {});

} // namespace TrashService
