#pragma once

#include "index/FileRecords.h"
#include "index/Hashing.h"
#include "index/StorageCategory.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One row of the scans table.
struct ScanRecord {
    enum class Status { running, completed, cancelled, failed };

    std::int64_t id = 0;
    double started = 0;
    std::optional<double> finished;   // absent while running
    Status status = Status::running;
    std::vector<std::string> roots;
    std::int64_t fileCount = 0;
    std::int64_t folderCount = 0;
    std::int64_t bytes = 0;
    std::int64_t newFiles = 0;
    std::int64_t changedFiles = 0;
    std::int64_t deletedFiles = 0;

    friend bool operator==(const ScanRecord&, const ScanRecord&) = default;
};

// The words the scans table stores.
std::string_view rawValue(ScanRecord::Status status);
// Exact, case-sensitive match; no status for any other text.
std::optional<ScanRecord::Status> scanStatusFromRawValue(std::string_view text);

struct ScanTotals {
    std::int64_t fileCount = 0;
    std::int64_t folderCount = 0;
    std::int64_t allocatedBytes = 0;
    std::int64_t restrictedFolders = 0;

    friend bool operator==(const ScanTotals&, const ScanTotals&) = default;
};

struct CategoryUsage {
    StorageCategory category = StorageCategory::other;
    std::int64_t bytes = 0;
    int fileCount = 0;

    int id() const { return rawValue(category); }
    friend bool operator==(const CategoryUsage&, const CategoryUsage&) = default;
};

struct StorageHistoryPoint {
    std::int64_t id = 0;
    double date = 0;
    std::int64_t volumeTotal = 0;
    std::int64_t volumeUsed = 0;
    std::int64_t scannedBytes = 0;

    friend bool operator==(const StorageHistoryPoint&, const StorageHistoryPoint&) = default;
};

struct ScanErrorEntry {
    std::int64_t id = 0;
    double date = 0;
    std::string path;
    std::string message;

    friend bool operator==(const ScanErrorEntry&, const ScanErrorEntry&) = default;
};

// One file of a folder listing.
struct ScannedFile {
    std::string name;
    std::string fileExtension;
    std::int64_t size = 0;
    std::int64_t allocatedSize = 0;
    // allocatedSize for a file seen first, 0 for a further hard link to an already counted file.
    std::int64_t countedAllocatedSize = 0;
    double modified = 0;
    double created = 0;
    double accessed = 0;
    FileItem::Flags flags;
    std::uint64_t inode = 0;
    StorageCategory category = StorageCategory::other;

    friend bool operator==(const ScannedFile&, const ScannedFile&) = default;
};

struct ScannedSubdirectory {
    std::string name;
    double modified = 0;

    friend bool operator==(const ScannedSubdirectory&, const ScannedSubdirectory&) = default;
};

// One folder as the scanner read it.
struct DirectorySnapshot {
    std::string path;
    std::string name;
    std::optional<std::int64_t> parentID;   // absent for a root
    std::optional<std::int64_t> folderID;   // absent when unknown: the sync finds or creates the row by path
    int depth = 0;
    double modified = 0;
    bool isRestricted = false;
    std::vector<ScannedFile> files{};
    std::vector<ScannedSubdirectory> subdirectories{};
    StorageCategory category = StorageCategory::other;
    // Its row was made by this scan's sync of the parent (inserted, or waiting for this sync
    // to insert it): it holds no files and no subfolders yet, so the sync looks none up.
    bool isNewRow = false;
    // Its row holds no file rows (nothing was stored when the scan began), so the sync
    // writes its files without looking stored ones up, whatever the row's subfolders.
    bool holdsNoFiles = false;
};

struct DirectorySyncResult {
    std::int64_t folderID = 0;
    std::map<std::string, std::int64_t> childIDs{};   // by subfolder name
    int newFiles = 0;
    int changedFiles = 0;
    int deletedFiles = 0;
    int deletedFolders = 0;   // whole subtrees counted
    std::vector<std::int64_t> newChildIDs{};   // rows made by this sync (maybe still waiting), ascending

    friend bool operator==(const DirectorySyncResult&, const DirectorySyncResult&) = default;
};

// A parsed search.
struct SearchQuery {
    enum class Kind { all, files, folders };

    std::optional<std::string> nameGlob;
    std::optional<std::string> nameContains;
    std::optional<std::string> fileExtension;
    std::optional<std::string> folderContains;
    // A folder and everything below it, compared byte for byte.
    std::optional<std::string> folderSubtree;
    std::optional<std::int64_t> minSize;
    std::optional<std::int64_t> maxSize;
    std::optional<double> modifiedBefore;
    std::optional<double> modifiedAfter;
    std::optional<StorageCategory> category;
    Kind kind = Kind::all;
    std::optional<std::string> applicationName;
    int limit = 0;

    // Only size, date, folder and category filters make a search advanced.
    bool isAdvanced() const
    {
        return minSize || maxSize || modifiedBefore || modifiedAfter || folderContains || folderSubtree || category;
    }
    // The kind and the limit alone ask for nothing.
    bool isEmpty() const
    {
        return !nameGlob && !nameContains && !fileExtension && !folderContains && !folderSubtree && !minSize &&
               !maxSize &&
               !modifiedBefore && !modifiedAfter && !category && !applicationName;
    }

    friend bool operator==(const SearchQuery&, const SearchQuery&) = default;
};

// "All", "Files", "Folders".
std::string_view rawValue(SearchQuery::Kind kind);
const std::array<SearchQuery::Kind, 3>& allSearchKinds();

// One size shared by several files.
struct DuplicateCandidateSize {
    std::int64_t size = 0;
    int count = 0;

    friend bool operator==(const DuplicateCandidateSize&, const DuplicateCandidateSize&) = default;
};

template <>
struct std::hash<CategoryUsage> {
    std::size_t operator()(const CategoryUsage& u) const noexcept { return Hashing::of(u.category, u.bytes, u.fileCount); }
};

template <>
struct std::hash<StorageHistoryPoint> {
    std::size_t operator()(const StorageHistoryPoint& p) const noexcept
    {
        return Hashing::of(p.id, p.date, p.volumeTotal, p.volumeUsed, p.scannedBytes);
    }
};

template <>
struct std::hash<ScanErrorEntry> {
    std::size_t operator()(const ScanErrorEntry& e) const noexcept { return Hashing::of(e.id, e.date, e.path, e.message); }
};

template <>
struct std::hash<DuplicateCandidateSize> {
    std::size_t operator()(const DuplicateCandidateSize& d) const noexcept { return Hashing::of(d.size, d.count); }
};
