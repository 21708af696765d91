#include "scanning/ReaderConnections.h"

#include "index/SQLiteConnection.h"
#include "index/StorageDatabase.h"

#include <exception>
#include <string>

namespace {

// Page cache of each reader's own connection to the cache, in KiB: room for the upper levels of
// the indexes and tables it looks folders up in; a folder's own rows lie together, a page or two
// read once.
constexpr int readerCacheKiB = 512;

std::unique_ptr<StoredRowsReader> openReader(StorageDatabase& database)
{
    try {
        auto db = std::make_unique<SQLiteConnection>(database.path(), SQLiteConnection::Access::readAlongside);
        db->execute("PRAGMA cache_size=-" + std::to_string(readerCacheKiB) + ";");
        return std::make_unique<StoredRowsReader>(std::move(db));
    } catch (const std::exception&) {
        return nullptr;
    }
}

} // namespace

ReaderConnections::ReaderConnections(StorageDatabase& database, std::size_t readers, bool wanted)
{
    if (!wanted || database.isReadOnly())
        return;
    for (std::size_t i = 0; i < readers; ++i) {
        auto reader = openReader(database);
        if (!reader)
            return;
        readers_.push_back(std::move(reader));
    }
}

void ReaderConnections::endReads()
{
    for (auto& reader : readers_) {
        reader->end();
        try {
            reader->connection().execute("PRAGMA shrink_memory;");
        } catch (const std::exception&) {
            // Only memory is at stake.
        }
    }
}
