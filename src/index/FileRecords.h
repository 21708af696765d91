#pragma once

#include "index/Hashing.h"
#include "index/StorageCategory.h"
#include "index/PathSafety.h"

#include <cstdint>
#include <optional>
#include <string>

// Seconds since 1970 of 1 January of year 1, 00:00 UTC: where absent dates sort.
inline constexpr double distantPastSeconds = -62135596800.0;

struct FileItem {
    // Bits of the files table's flags column.
    struct Flags {
        std::int64_t rawValue = 0;

        static const Flags hidden;
        static const Flags symlink;
        static const Flags hardLink;
        static const Flags invalidName;

        constexpr bool isEmpty() const { return rawValue == 0; }
        constexpr bool contains(Flags other) const { return (rawValue & other.rawValue) == other.rawValue; }
        constexpr bool isSubset(Flags of) const { return (rawValue & ~of.rawValue) == 0; }
        constexpr bool isSuperset(Flags of) const { return of.isSubset(*this); }
        constexpr bool isDisjoint(Flags with) const { return (rawValue & with.rawValue) == 0; }
        constexpr void insert(Flags other) { rawValue |= other.rawValue; }
        constexpr void remove(Flags other) { rawValue &= ~other.rawValue; }

        friend constexpr Flags operator|(Flags a, Flags b) { return {.rawValue = a.rawValue | b.rawValue}; }
        friend constexpr Flags operator&(Flags a, Flags b) { return {.rawValue = a.rawValue & b.rawValue}; }
        friend constexpr Flags operator^(Flags a, Flags b) { return {.rawValue = a.rawValue ^ b.rawValue}; }
        friend constexpr Flags operator-(Flags a, Flags b) { return {.rawValue = a.rawValue & ~b.rawValue}; }
        constexpr Flags& operator|=(Flags other) { insert(other); return *this; }
        constexpr Flags& operator&=(Flags other) { rawValue &= other.rawValue; return *this; }
        constexpr Flags& operator^=(Flags other) { rawValue ^= other.rawValue; return *this; }
        constexpr Flags& operator-=(Flags other) { remove(other); return *this; }
        friend constexpr bool operator==(Flags, Flags) = default;
    };

    std::int64_t id = 0;
    std::string name;
    std::string folderPath;
    std::string fileExtension;
    std::int64_t size = 0;
    std::int64_t allocatedSize = 0;
    std::optional<double> created;
    std::optional<double> modified;
    std::optional<double> accessed;
    Flags flags;
    StorageCategory category = StorageCategory::other;

    // Files without an extension sort after every extension that starts with a letter or digit.
    std::string typeSortKey() const { return fileExtension.empty() ? std::string("~") : fileExtension; }
    double modifiedSortKey() const { return modified.value_or(distantPastSeconds); }
    double createdSortKey() const { return created.value_or(distantPastSeconds); }

    friend bool operator==(const FileItem&, const FileItem&) = default;
};

inline constexpr FileItem::Flags FileItem::Flags::hidden{.rawValue = 1};
inline constexpr FileItem::Flags FileItem::Flags::symlink{.rawValue = 2};
inline constexpr FileItem::Flags FileItem::Flags::hardLink{.rawValue = 4};
inline constexpr FileItem::Flags FileItem::Flags::invalidName{.rawValue = 8};

struct FolderItem {
    std::int64_t id = 0;
    std::optional<std::int64_t> parentID;   // absent for a scan root
    std::string path;
    std::string name;
    std::int64_t totalAllocated = 0;        // whole subtree, hard links counted once
    std::int64_t totalSize = 0;
    std::int64_t fileCount = 0;
    std::int64_t folderCount = 0;           // folders below, not the folder itself
    std::int64_t directAllocated = 0;
    std::int64_t directFileCount = 0;
    std::optional<double> modified;
    bool isRestricted = false;
    std::optional<double> lastScanned;

    friend bool operator==(const FolderItem&, const FolderItem&) = default;
};

// Facts of one path for its detail panel.
struct FileDetails {
    std::optional<std::string> typeDescription;
    std::optional<std::string> typeIdentifier;
    std::optional<double> created;
    std::optional<double> modified;
    std::optional<double> accessed;
    std::optional<std::int64_t> logicalSize;
    std::optional<std::int64_t> allocatedSize;
    bool isAlias = false;
    bool isSymlink = false;
    std::optional<std::string> symlinkDestination;
    bool isHidden = false;
    bool isPackage = false;
    std::optional<std::string> posixPermissions;
    std::optional<std::string> owner;
    std::optional<std::string> group;
    bool exists = false;
    PathSafety safety;
};

// One folder tree sized on the file system.
struct FolderSizeResult {
    std::int64_t allocatedSize = 0;
    std::int64_t logicalSize = 0;
    std::int64_t fileCount = 0;
    std::int64_t folderCount = 0;
    int restrictedFolderCount = 0;
    bool exists = false;
    bool wasCancelled = false;

    friend bool operator==(const FolderSizeResult&, const FolderSizeResult&) = default;
};

template <>
struct std::hash<FileItem::Flags> {
    std::size_t operator()(FileItem::Flags flags) const noexcept { return std::hash<std::int64_t>{}(flags.rawValue); }
};

template <>
struct std::hash<FileItem> {
    std::size_t operator()(const FileItem& f) const noexcept
    {
        return Hashing::of(f.id, f.name, f.folderPath, f.fileExtension, f.size, f.allocatedSize, f.created, f.modified,
                           f.accessed, f.flags, f.category);
    }
};

template <>
struct std::hash<FolderItem> {
    std::size_t operator()(const FolderItem& f) const noexcept
    {
        return Hashing::of(f.id, f.parentID, f.path, f.name, f.totalAllocated, f.totalSize, f.fileCount, f.folderCount,
                           f.directAllocated, f.directFileCount, f.modified, f.isRestricted, f.lastScanned);
    }
};
