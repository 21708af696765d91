#pragma once

#include "platform/ItemIdentity.h"

#include <optional>
#include <string>

// Moves items to the user's Trash; never deletes and never copies.
class FileTrasher {
public:
    static constexpr const char* locationChangedReason =
        "The item's location changed since it was picked: a folder on its path now leads somewhere else.";

    static constexpr const char* replacedReason =
        "Another item has taken this item's place since it was scanned or picked, so nothing was moved. Scan again "
        "to see what is there now.";

    // What the item to move must be: what the index recorded of it, and what was seen at the pick.
    using Expected = ItemIdentity;

    virtual ~FileTrasher() = default;

    // Moves the item at `path` itself (a symbolic link as the link) into the Trash of its
    // volume, with its restore information, unless the item found there is not `expected`
    // (replacedReason). Absent on success, else a sentence for the user.
    virtual std::optional<std::string> moveToTrash(const std::string& path, const Expected& expected = {}) = 0;

    // The user's home Trash folder (TrashFolders::home); absent when it cannot be named.
    virtual std::optional<std::string> trashFolder() const;
};
