#pragma once

#include "platform/FolderHandle.h"
#include "scanning/FolderSlot.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// Hands folder jobs to a scan's workers, newest first (a depth-first walk), and
// detects the end on its own: when no job is pending and none is held, every
// waiting worker is woken with nothing.
class DirectoryWorkQueue {
public:
    struct Job {
        std::string path;
        std::string name;
        std::optional<std::int64_t> parentID{};   // absent for a root
        std::optional<std::int64_t> folderID{};   // absent while the index has no row
        int depth = 0;
        std::uint64_t device = 0;               // of the root the job descends from
        // The path's own bytes where a name on the way is not valid UTF-8 (the
        // path above has those names repaired); empty when it equals `path`.
        std::string diskPath{};
        // The open parent it is opened in, and its inode as the parent listed it; absent for
        // roots and for folders whose parent was not read.
        std::shared_ptr<const FolderHandle> parent{};
        std::uint64_t inode = 0;
        // Where the writer leaves the parent's row id; absent when parentID and folderID are known.
        std::shared_ptr<FolderSlot> parentSlot{};
        // The inodes of the folders above the nearest one opened by path, by depth from the
        // root (all on the root's device); absent when that folder is the root.
        std::shared_ptr<const std::vector<std::uint64_t>> inodesAbove = nullptr;

        const std::string& pathOnDisk() const { return diskPath.empty() ? path : diskPath; }
        friend bool operator==(const Job&, const Job&) = default;
    };

    // Ignored after cancel(). Each job goes to the most recent waiter, if any.
    void push(std::vector<Job> jobs);
    // Blocks until a job is available or the walk is over (nothing).
    std::optional<Job> next();
    // The holder of a job declares it done, after pushing its children.
    void complete();
    // push(children), complete() and next() under one lock: a worker's step from one job to
    // the next. `beforeWait`, if any, is called without the lock before the worker waits.
    std::optional<Job> completeAndNext(std::vector<Job> children, const std::function<void()>& beforeWait = {});
    // Drops the pending jobs, wakes every waiter with nothing; for good.
    void cancel();

    std::size_t activeCount() const;
    // Whether a worker waits for a job now; read without the lock, so only a hint.
    bool hasWaitingWorkers() const { return waitingWorkers_.load(std::memory_order_relaxed) > 0; }
    // Workers waiting for a job now.
    std::size_t waitingCount() const { return waitingWorkers_.load(std::memory_order_acquire); }

private:
    struct Waiter {
        std::condition_variable wake;
        std::optional<Job> job;
        bool resumed = false;
    };

    void pushLocked(std::vector<Job>& jobs);
    std::optional<Job> nextLocked(std::unique_lock<std::mutex>& lock, const std::function<void()>& beforeWait = {});
    void finishAllLocked();

    mutable std::mutex mutex_;
    std::vector<Job> jobs_;
    std::size_t active_ = 0;
    bool cancelled_ = false;
    std::vector<Waiter*> waiters_;
    std::atomic<std::size_t> waitingWorkers_{0};   // waiters_.size()
};
