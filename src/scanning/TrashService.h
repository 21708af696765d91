#pragma once

#include "scanning/TrashCandidate.h"
#include "scanning/TrashOutcome.h"

#include <vector>

class FileTrasher;
class StorageDatabase;

// The only code that takes anything off the disk, and only into the Trash.
namespace TrashService {

inline constexpr const char* couldNotMoveReason = "The item could not be moved to the Trash.";

// Judges every candidate again against the file system (the program's own files count as
// protected), moves each one that is not protected, then makes the index forget the moved
// ones in one pass. Runs off the main thread; never fails as a whole. `database` may be null.
TrashOutcome moveToTrash(const std::vector<TrashCandidate>& candidates, StorageDatabase* database,
                         FileTrasher& trasher);

} // namespace TrashService
