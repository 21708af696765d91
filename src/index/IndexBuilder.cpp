#include "index/IndexBuilder.h"

#include "index/SQLiteConnection.h"
#include "index/SQLiteError.h"

#include <algorithm>
#include <chrono>
#include <pthread.h>
#include <sqlite3.h>   // result codes

namespace {

double nowSeconds()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

} // namespace

IndexBuilder::IndexBuilder(std::string path, std::vector<std::string> statements)
    : path_(std::move(path)), statements_(std::move(statements))
{
    thread_ = std::thread([this] { run(); });
}

IndexBuilder::~IndexBuilder() { stop(); }

void IndexBuilder::stop()
{
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
}

void IndexBuilder::wait()
{
    std::unique_lock lock(mutex_);
    ended_.wait(lock, [&] { return finished_; });
}

bool IndexBuilder::isFinished()
{
    std::lock_guard lock(mutex_);
    return finished_;
}

void IndexBuilder::run()
{
    ::pthread_setname_np(::pthread_self(), "cache-index");
    try {
        SQLiteConnection db(path_);
        // Asked between virtual machine steps, so that a stop never waits for a whole sort.
        db.interruptWhen(stopping_);
        // Sorting in temporary files lets SQLite use several threads with little memory; each
        // holds one small sorted run (about 1.5 MB of cache: at 2 MB the sort held a third
        // more memory over a million files).
        const unsigned cores = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
        db.execute("PRAGMA temp_store=FILE; PRAGMA threads=" + std::to_string(cores) +
                   "; PRAGMA cache_size=-1500; PRAGMA journal_size_limit=67108864;");
        for (const auto& statement : statements_) {
            if (stopping_)
                break;
            try {
                execute(db, statement);
            } catch (const SQLiteError& error) {
                if (!stopping_)
                    logFailure(db, error.description());
                break;
            }
        }
    } catch (...) {
        // No connection: nowhere to log; the next opening tries again.
    }
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
    }
    ended_.notify_all();
}

void IndexBuilder::execute(SQLiteConnection& db, const std::string& statement)
{
    try {
        db.execute(statement);
    } catch (const SQLiteError& error) {
        const int code = error.code() & 0xff;
        if (stopping_ || (code != SQLITE_FULL && code != SQLITE_IOERR && code != SQLITE_CANTOPEN))
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
