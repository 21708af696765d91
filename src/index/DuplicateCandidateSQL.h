#pragma once

#include "index/FileRecords.h"
#include "index/ScanRecords.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class SQLiteConnection;

// One indexed file of a candidate size with its stored inode (0 when the scanner kept none).
struct DuplicateCandidateFile {
    FileItem file;
    std::uint64_t inode = 0;

    friend bool operator==(const DuplicateCandidateFile&, const DuplicateCandidateFile&) = default;
};

// The queries that narrow a duplicate search before any file is read: sizes shared by two or more
// files, then the files of one size. Symbolic links never take part. Fails with SQLiteError.
// The caller commits the open write batch first.
class DuplicateCandidateSQL {
public:
    explicit DuplicateCandidateSQL(SQLiteConnection& connection) : connection_(connection) {}

    // Largest size first, at most `limit` sizes.
    std::vector<DuplicateCandidateSize> candidateSizes(std::int64_t minimumSize,
                                                       const std::optional<std::string>& within,
                                                       const std::vector<std::string>& excluding, int limit);
    // In no particular order; hard links come back once per name.
    std::vector<DuplicateCandidateFile> files(std::int64_t size, const std::optional<std::string>& within,
                                              const std::vector<std::string>& excluding);

private:
    SQLiteConnection& connection_;
};
