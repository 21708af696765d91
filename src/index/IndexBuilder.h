#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
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
    ~IndexBuilder();
    IndexBuilder(const IndexBuilder&) = delete;
    IndexBuilder& operator=(const IndexBuilder&) = delete;

    // As the destructor does; call from the owner's thread only.
    void stop();
    // Returns once the thread has ended, built or not.
    void wait();
    bool isFinished();

private:
    void run();
    void execute(SQLiteConnection& db, const std::string& statement);
    void logFailure(SQLiteConnection& db, const std::string& description) noexcept;

    const std::string path_;
    const std::vector<std::string> statements_;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::condition_variable ended_;
    bool finished_ = false;
    std::thread thread_;
};
