#include "scanning/StoredRowsReader.h"

#include "index/SQLiteConnection.h"

#include <exception>

StoredRowsReader::StoredRowsReader(std::unique_ptr<SQLiteConnection> connection) : connection_(std::move(connection))
{
}

StoredRowsReader::~StoredRowsReader() { end(); }

std::uint64_t StoredRowsReader::begin(std::uint64_t rewritesCommitted)
{
    if (!reading_) {
        // Deferred: the snapshot is taken by the first query, after the rewrites were noted.
        connection_->runValues("BEGIN");
        reading_ = true;
        folders_ = 0;
        rewrites_ = rewritesCommitted;
    }
    return rewrites_;
}

void StoredRowsReader::folderCompared()
{
    if (reading_ && ++folders_ >= foldersPerRead)
        end();
}

void StoredRowsReader::end() noexcept
{
    if (!reading_)
        return;
    reading_ = false;
    // It only read: nothing is lost if the end fails, and SQLite may have ended it already.
    try {
        if (!connection_->isAutocommit())
            connection_->runValues("COMMIT");
    } catch (const std::exception&) {
    }
}
