#pragma once

#include "index/CacheJob.h"

#include <atomic>
#include <string>
#include <vector>

class SQLiteConnection;

// Builds indexes of the scan cache on a thread and a connection of its own, so that the
// scan whose rows they cover is complete, and readable, before the sorting is done. Each
// statement commits on its own: a build stopped half way keeps the indexes already made.
// While it runs it holds the cache's write lock; readers go on beside it under the log.
class IndexBuilder {
public:
    // Starts at once. A failing statement ends the build; the failure goes to the cache's
    // error log (when the disk still takes that entry) under the cache's path.
    IndexBuilder(std::string path, std::vector<std::string> statements);
    // Stops the statement under way (its index is rolled back) and waits for the thread.
    ~IndexBuilder() = default;
    IndexBuilder(const IndexBuilder&) = delete;
    IndexBuilder& operator=(const IndexBuilder&) = delete;

    // As the destructor does; call from the owner's thread only.
    void stop() { job_.stop(); }
    // Returns once the thread has ended, built or not.
    void wait() { job_.wait(); }
    bool isFinished() { return job_.isFinished(); }

private:
    void run(SQLiteConnection& db, const std::atomic<bool>& stopping);
    static void execute(SQLiteConnection& db, const std::string& statement, const std::atomic<bool>& stopping);
    void logFailure(SQLiteConnection& db, const std::string& description) noexcept;

    const std::string path_;
    const std::vector<std::string> statements_;
    CacheJob job_;   // last: ends before the rest goes
};
