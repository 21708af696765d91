#pragma once

#include "index/StorageCategory.h"

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

    // `home`: the user's home folder, already lower-cased, without a trailing "/".
    explicit StorageCategorizer(std::string home);

    const std::string& home() const { return home_; }

    // Once per folder, from the folder's own full path in any letter case.
    FolderContext context(std::string_view folderPath) const;

    // `extension`: lower case, without the dot, empty when the name has none.
    static StorageCategory category(std::string_view extension, const FolderContext& context);

private:
    std::string home_;
    std::string homeTrash_;   // lower-cased
};
