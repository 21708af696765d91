#include "index/IndexBuilder.h"

#include "index/SQLiteConnection.h"
#include "index/SQLiteError.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <sqlite3.h>   // result codes

namespace {

double nowSeconds()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

} // namespace

IndexBuilder::IndexBuilder(std::string path, std::vector<std::string> statements)
    : path_(std::move(path)),
      statements_(std::move(statements)),
      job_("cache-index", path_, [this](SQLiteConnection& db, const std::atomic<bool>& stopping) { run(db, stopping); })
{
}

void IndexBuilder::run(SQLiteConnection& db, const std::atomic<bool>& stopping)
{
    // Sorting in temporary files lets SQLite use several threads with little memory; each
    // holds one small sorted run (about 1.5 MB of cache: at 2 MB the sort held a third
    // more memory over a million files).
    const unsigned cores = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
    db.execute("PRAGMA temp_store=FILE; PRAGMA threads=" + std::to_string(cores) +
               "; PRAGMA cache_size=-1500; PRAGMA journal_size_limit=67108864;");
    for (const auto& statement : statements_) {
        if (stopping)
            break;
        try {
            execute(db, statement, stopping);
        } catch (const SQLiteError& error) {
            if (!stopping)
                logFailure(db, error.description());
            break;
        }
    }
}

void IndexBuilder::execute(SQLiteConnection& db, const std::string& statement, const std::atomic<bool>& stopping)
{
    try {
        db.execute(statement);
    } catch (const SQLiteError& error) {
        const int code = error.code() & 0xff;
        if (stopping || (code != SQLITE_FULL && code != SQLITE_IOERR && code != SQLITE_CANTOPEN))
            throw;
        // No temporary file could be written (a full or read-only temporary folder): the
        // sort goes back to memory, slower and on one thread, rather than never done.
        db.execute("PRAGMA temp_store=MEMORY;");
        db.execute(statement);
    }
}

void IndexBuilder::logFailure(SQLiteConnection& db, const std::string& description) noexcept
{
    // The indexes missing now are built again when the cache is next opened or a scan ends.
    try {
        db.run("INSERT INTO errors(timestamp, path, message) VALUES(?, ?, ?)",
               {nowSeconds(), path_, "Cache write failed: " + description});
    } catch (...) {
        // A full disk may refuse the entry too.
    }
}
