#include "scanning/DirectoryWorkQueue.h"

void DirectoryWorkQueue::push(std::vector<Job> jobs)
{
    std::lock_guard guard(mutex_);
    pushLocked(jobs);
}

std::optional<DirectoryWorkQueue::Job> DirectoryWorkQueue::next()
{
    std::unique_lock lock(mutex_);
    return nextLocked(lock);
}

std::optional<DirectoryWorkQueue::Job> DirectoryWorkQueue::completeAndNext(std::vector<Job> children,
                                                                          const std::function<void()>& beforeWait)
{
    std::unique_lock lock(mutex_);
    pushLocked(children);
    if (active_ > 0)
        --active_;
    return nextLocked(lock, beforeWait);
}

void DirectoryWorkQueue::pushLocked(std::vector<Job>& jobs)
{
    if (cancelled_)
        return;
    for (auto& job : jobs) {
        if (!waiters_.empty()) {
            Waiter* waiter = waiters_.back();
            waiters_.pop_back();
            waitingWorkers_.store(waiters_.size(), std::memory_order_relaxed);
            ++active_;
            waiter->job = std::move(job);
            waiter->resumed = true;
            waiter->wake.notify_one();
        } else {
            jobs_.push_back(std::move(job));
        }
    }
}

std::optional<DirectoryWorkQueue::Job> DirectoryWorkQueue::nextLocked(std::unique_lock<std::mutex>& lock,
                                                                     const std::function<void()>& beforeWait)
{
    for (bool warned = !beforeWait;; warned = true) {
        if (cancelled_)
            return std::nullopt;
        if (!jobs_.empty()) {
            Job job = std::move(jobs_.back());
            jobs_.pop_back();
            ++active_;
            return job;
        }
        if (active_ == 0) {
            finishAllLocked();
            return std::nullopt;
        }
        if (warned)
            break;
        lock.unlock();
        beforeWait();
        lock.lock();
    }
    Waiter waiter;
    waiters_.push_back(&waiter);
    waitingWorkers_.store(waiters_.size(), std::memory_order_relaxed);
    waiter.wake.wait(lock, [&] { return waiter.resumed; });
    return std::move(waiter.job);
}

void DirectoryWorkQueue::complete()
{
    std::lock_guard guard(mutex_);
    if (active_ > 0)
        --active_;
    if (active_ == 0 && jobs_.empty())
        finishAllLocked();
}

void DirectoryWorkQueue::cancel()
{
    std::lock_guard guard(mutex_);
    cancelled_ = true;
    jobs_.clear();
    finishAllLocked();
}

std::size_t DirectoryWorkQueue::activeCount() const
{
    std::lock_guard guard(mutex_);
    return active_;
}

void DirectoryWorkQueue::finishAllLocked()
{
    for (Waiter* waiter : waiters_) {
        waiter->resumed = true;
        waiter->wake.notify_one();
    }
    waiters_.clear();
    waitingWorkers_.store(0, std::memory_order_relaxed);
}
