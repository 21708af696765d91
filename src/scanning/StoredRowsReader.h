#pragma once

#include <cstdint>
#include <memory>

class SQLiteConnection;

// A scan worker's own connection to the cache, through which it sets its listings against the
// stored rows. One read runs over several folders: every read that starts takes the cache's
// shared-memory lock, on which all connections of the process wait. The worker ends the read
// before it may wait for anything, because the writer may be waiting for every read to end
// before it can start the log over.
class StoredRowsReader {
public:
    static constexpr int foldersPerRead = 64;

    explicit StoredRowsReader(std::unique_ptr<SQLiteConnection> connection);
    ~StoredRowsReader();
    StoredRowsReader(const StoredRowsReader&) = delete;
    StoredRowsReader& operator=(const StoredRowsReader&) = delete;

    SQLiteConnection& connection() { return *connection_; }

    // Opens a read unless one is open, noting `rewritesCommitted`, the writer's rewrites
    // committed before it. Returns the rewrites noted when the open read started: every
    // comparison in it is as old as that.
    std::uint64_t begin(std::uint64_t rewritesCommitted);
    // After each folder compared; ends the read after foldersPerRead of them.
    void folderCompared();
    // Ends the open read, if any.
    void end() noexcept;
    bool isReading() const { return reading_; }

private:
    std::unique_ptr<SQLiteConnection> connection_;
    bool reading_ = false;
    int folders_ = 0;
    std::uint64_t rewrites_ = 0;
};
