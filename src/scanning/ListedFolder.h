#pragma once

#include "index/FolderDifferences.h"
#include "index/ScanRecords.h"
#include "index/FolderDigests.h"
#include "platform/FileSystem.h"
#include "scanning/DirectoryReadError.h"
#include "scanning/FolderSlot.h"
#include "scanning/HardLinkTracker.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// One folder as a reader listed it, from the reader to the writer, which syncs it at once or,
// when it holds multiply linked files, keeps it until the walk is over. It is moved from
// stage to stage, never copied field by field. A large folder whose files the writer only
// inserts comes in parts while it is listed: its plain files a part at a time, then its last
// piece, which holds the rest with the figures of the whole folder. A large folder whose row
// holds file rows comes whole only where its files differ from them: its reader sums its
// plain files as it lists them, and where their digest is the stored one, hands over only
// what is left, with its comparison saying the files are as stored.
struct ListedFolder {
    // A folder's direct files and counted bytes.
    struct Figures {
        std::int64_t files = 0;
        std::int64_t bytes = 0;
    };
    // A multiply linked file of the listing: which of its links carries its bytes is known
    // only once the walk is over.
    struct Link {
        std::size_t position = 0;   // in snapshot.files
        HardLinkTracker::Key key{};
    };

    DirectorySnapshot snapshot{};                // its ids come from parentSlot when that is set
    std::shared_ptr<FolderSlot> parentSlot{};
    std::shared_ptr<FolderSlot> slot{};          // for the jobs of its subfolders
    std::int64_t countedBytes = 0;               // of the files that are not links
    std::vector<Link> links{};
    std::optional<DirectoryReadError> failure{}; // of the listing; the snapshot is then empty
    ListingGaps gaps{};                          // of a listing that succeeded in part
    std::optional<Figures> countedBefore{};      // what a resumed scan's counters hold of it already
    // Its listing set against the stored rows by the reader, which read no file row when the
    // folder's stored digest matched.
    std::optional<FolderDifferences> differences{};
    // Whether its rows once synced are what its listing says, and then their digest; that of a
    // folder holding links is taken once their bytes are known.
    bool digestKnown = false;
    std::uint64_t digest = FolderDigests::unknown;
    std::size_t reader = 0;                      // the reader that listed it, which frees it
    // A part: files of a folder still being listed, to be inserted under its row. A part has
    // the folder's slots, and of its snapshot only the folder's place and the part's files.
    bool isPart = false;
    // In a last piece: the files its parts held, or those only summed. countedBytes, counts
    // and digest are of the whole folder.
    FolderDigests::FileSum parted{};
    // Its plain files were only summed, and `differences` found them as stored: synced through
    // those alone, never compared again (its listing is not whole).
    bool summed = false;
    // The writer's, for a last piece: the batches the cache had lost before its first part
    // was written; another lost since may have taken the parts' rows.
    std::uint64_t lostBatchesBeforeParts = 0;

    // What it weighs in the handoff: its files and subfolders.
    std::size_t entries() const { return 1 + snapshot.files.size() + snapshot.subdirectories.size(); }
};
