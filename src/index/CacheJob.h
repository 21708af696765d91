#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class SQLiteConnection;

// One piece of the scan cache's upkeep, run once on a named thread over a connection of its
// own that a stop interrupts between SQLite's steps. Kept as the last member of its owner, so
// that the thread has ended before anything the work uses goes.
class CacheJob {
public:
    using Work = std::function<void(SQLiteConnection& db, const std::atomic<bool>& stopping)>;

    // Starts at once. When no connection can be had, the job ends having done nothing.
    CacheJob(const char* threadName, const std::string& path, Work work);
    // Stops the work under way (SQLite rolls back its statement) and waits for the thread.
    ~CacheJob();
    CacheJob(const CacheJob&) = delete;
    CacheJob& operator=(const CacheJob&) = delete;

    // As the destructor does; call from the owner's thread only.
    void stop();
    // Returns once the work has ended, done or not.
    void wait();
    bool isFinished();
    bool isStopping() const { return stopping_; }

private:
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::condition_variable ended_;
    bool finished_ = false;
    std::thread thread_;
};
