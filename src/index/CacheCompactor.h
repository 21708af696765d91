#pragma once

#include "index/CacheJob.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

// After a scan, on a thread and a connection of its own, compacts the scan cache once rescans
// have left too much of its file empty, and empties a log left large (CacheMaintenance).
// Measuring reads every page and stops no one; the rewrite holds the cache's write lock, so
// the cache's writes wait for it meanwhile (holdsWrites) while reads go on beside it under the
// log. A compaction stopped or failed half way leaves the file as it was.
class CacheCompactor {
public:
    // Starts at once. `mayRewrite` is called on the compactor's thread once there is work, with
    // holdsWrites() already true, so that no write begins after it answers: it says whether
    // the rewrite may begin, none being under way or due (no scan runs).
    CacheCompactor(std::string path, std::function<bool()> mayRewrite);
    // Stops the rewrite under way (it is rolled back) and waits for the thread.
    ~CacheCompactor() = default;
    CacheCompactor(const CacheCompactor&) = delete;
    CacheCompactor& operator=(const CacheCompactor&) = delete;

    // As the destructor does; call from the owner's thread only.
    void stop() { job_.stop(); }
    // Whether the cache's writes must wait now.
    bool holdsWrites();
    // Returns once the writes need not wait any longer.
    void waitForWrites();
    bool isFinished() { return job_.isFinished(); }

private:
    void run(SQLiteConnection& db, const std::atomic<bool>& stopping);
    void hold(bool writes);

    const std::string path_;
    const std::function<bool()> mayRewrite_;
    std::mutex mutex_;
    std::condition_variable released_;
    bool holdsWrites_ = false;
    CacheJob job_;   // last: ends before the rest goes
};
