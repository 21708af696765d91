#pragma once

#include "scanning/StoredRowsReader.h"

#include <cstddef>
#include <memory>
#include <vector>

class SQLiteConnection;
class StorageDatabase;

// The readers' own connections to the cache, through which they set their listings against
// the stored rows and their folder digests. Reader i has one when i < count(): opening stops at the first that fails,
// and the writer reads the stored rows of the others itself.
class ReaderConnections {
public:
    ReaderConnections() = default;
    // None for a read-only cache or when `wanted` is false (nothing stored to compare with).
    ReaderConnections(StorageDatabase& database, std::size_t readers, bool wanted);

    std::size_t count() const { return readers_.size(); }
    // Reader `reader`'s connection, or nothing.
    StoredRowsReader* of(std::size_t reader) const
    {
        return reader < readers_.size() ? readers_[reader].get() : nullptr;
    }
    // Ends their reads and lets their pages go: the finish's reads take each page once.
    void endReads();
    void close() { readers_.clear(); }

private:
    std::vector<std::unique_ptr<StoredRowsReader>> readers_;
};
