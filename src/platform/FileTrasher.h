#pragma once

#include <optional>
#include <string>

// Moves items to the user's Trash; never deletes and never copies.
class FileTrasher {
public:
    static constexpr const char* locationChangedReason =
        "The item's location changed since it was picked: a folder on its path now leads somewhere else.";

    virtual ~FileTrasher() = default;

    // Moves the item at `path` itself (a symbolic link as the link) into the Trash of its
    // volume, with its restore information. Absent on success, else a sentence for the user.
    virtual std::optional<std::string> moveToTrash(const std::string& path) = 0;

    // The user's home Trash folder (TrashFolders::home); absent when it cannot be named.
    virtual std::optional<std::string> trashFolder() const;
};
