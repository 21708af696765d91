#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class SQLiteConnection;

// Copies the write-ahead log back into the cache file on a thread and a connection of its own,
// so that no write waits for a checkpoint's disk flushes. It watches every commit of the
// cache's connection from its start until it is destroyed.
class LogCheckpointer {
public:
    // Past this many pages in the log a copy is asked for, as SQLite's own automatic
    // checkpoint would.
    static constexpr int logPagesLimit = 2000;
    // A log only starts over when a write begins after everything in it was copied, which a
    // writer that never pauses does not give a copy running beside it. Past this many pages
    // the writer copies the rest itself and starts the log over, as SQLite would. That waits
    // for the copy under way and for the cache file's flush to the disk, so it is kept for
    // logs that only scans of millions of files reach (512 MB at 16 KiB pages): a scan of a
    // million files writes up to about 170 MB, and its log starts over by itself between scans.
    static constexpr int restartPagesLimit = 16 * logPagesLimit;

    // The two limits in pages; a test sets small ones so that a log of a few megabytes reaches them.
    struct Limits {
        int copy = logPagesLimit;
        int restart = restartPagesLimit;
    };

    // Null when no second connection to the cache at `path` can be had: SQLite then copies
    // the log on the committing thread, as it does by default.
    static std::unique_ptr<LogCheckpointer> start(SQLiteConnection& writer, const std::string& path, Limits limits);
    // Stops watching the writer's commits, then ends the thread.
    ~LogCheckpointer();
    LogCheckpointer(const LogCheckpointer&) = delete;
    LogCheckpointer& operator=(const LogCheckpointer&) = delete;

private:
    LogCheckpointer(SQLiteConnection& writer, std::unique_ptr<SQLiteConnection> own, Limits limits);

    // After every commit of the writer, on its thread.
    void committed(int logPages);
    void run();

    SQLiteConnection& writer_;
    std::unique_ptr<SQLiteConnection> own_;
    const Limits limits_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool due_ = false;
    bool copying_ = false;      // the thread's passive copy is running
    bool restarting_ = false;   // the writer restarts the log: start no copy
    bool stopping_ = false;
    std::thread thread_;
};
