#pragma once

#include "index/StorageCategory.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// Gives every scanned file a category from its folder's path and its extension
// alone. Immutable: the scan's workers share one without locking.
class StorageCategorizer {
public:
    struct FolderContext {
        std::optional<StorageCategory> forcedCategory;    // wins over everything
        std::optional<StorageCategory> fallbackCategory;  // unless the extension names a disk image or archive
        friend bool operator==(const FolderContext&, const FolderContext&) = default;
    };

    // What a folder hands its subfolders, so that each one's context follows from it and
    // the subfolder's own name, at the same cost at any depth: the start of its lower-cased
    // path, which the rules anchored at the top of a path read, and which of the rules that
    // look anywhere in a path hold for it, since those hold for every folder below it too.
    struct Trail {
        std::shared_ptr<const std::string> start;   // lower-cased path, its first `startLimit` bytes
        bool cut = false;                           // the path is longer than `start`
        std::uint32_t anywhere = 0;                 // one bit per such rule that holds
        friend bool operator==(const Trail&, const Trail&) = default;
    };
    static constexpr std::size_t startLimit = 4096;

    // `home`: the user's home folder, already lower-cased, without a trailing "/".
    explicit StorageCategorizer(std::string home);

    const std::string& home() const { return home_; }

    // Once per folder, from the folder's own full path in any letter case.
    FolderContext context(std::string_view folderPath) const;
    // The same, with `trail` receiving what the folder hands its subfolders. With the trail
    // of its parent, `folderPath` must be the parent's path, "/" and the folder's name; only
    // its last few components are read.
    FolderContext context(std::string_view folderPath, const Trail* parent, Trail& trail) const;

    // `extension`: lower case, without the dot, empty when the name has none.
    static StorageCategory category(std::string_view extension, const FolderContext& context);

private:
    // The context from the parent's trail, or nothing where only the whole path tells.
    std::optional<FolderContext> contextBelow(std::string_view folderPath, const Trail& parent, Trail& trail) const;

    std::string home_;
    std::string homeTrash_;   // lower-cased
};
