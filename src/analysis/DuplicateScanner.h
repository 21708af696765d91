#pragma once

#include "analysis/DuplicateRecords.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

class StorageDatabase;

// Finds files with identical content among the files of the index: same size and extension
// first, then the same partial hash, then the same SHA-256 of the whole content.
// Reads the disk only for files that share a size; changes nothing on disk or in the index.
class DuplicateScanner {
public:
    using ProgressCallback = std::function<void(const DuplicateScanProgress&)>;
    using HashedCallback = std::function<void(std::int64_t)>;

    explicit DuplicateScanner(StorageDatabase& database) : database_(&database) {}

    // Largest reclaimable space first. Throws CancellationError when `stop` is requested before a
    // size or a file, and SQLiteError when the index fails; no report follows either.
    // `progress` is called on the calling thread and must return at once. Blocks; files are read
    // on a pool of threads of its own.
    std::vector<DuplicateGroup> findDuplicates(const ProgressCallback& progress, std::stop_token stop = {}) const;

    // SHA-256 over up to `bytes` from the start and from the end, then the size as 8 little-endian
    // bytes; absent when the file cannot be opened or read.
    static std::optional<std::string> partialHash(const std::string& path, std::int64_t size, int bytes);
    // SHA-256 of the whole file; absent when it cannot be read or `stop` is requested meanwhile.
    static std::optional<std::string> fullHash(const std::string& path, std::stop_token stop = {});
    // Groups among files of one size and extension; `hashed` then receives the bytes read for
    // them. Files are read on several threads. Throws CancellationError only.
    static std::vector<DuplicateGroup> confirm(const std::vector<FileItem>& files, int partialBytes,
                                               const HashedCallback& hashed, std::stop_token stop = {});

    DuplicateScanOptions options;

private:
    StorageDatabase* database_;
};
