#pragma once

#include "app/system/MonitorClock.h"
#include "support/Eventually.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>
#include <vector>

// A clock that only moves when the test says so.
class FakeMonitorClock : public MonitorClock {
public:
    TimePoint now() override
    {
        std::lock_guard lock(mutex_);
        return current_;
    }

    void sleepUntil(TimePoint deadline, std::stop_token stop) override
    {
        std::unique_lock lock(mutex_);
        requested_.push_back(deadline - current_);
        ++sleeping_;
        changed_.notify_all();
        changed_.wait(lock, stop, [&] { return current_ >= deadline; });
        --sleeping_;
        changed_.notify_all();
    }

    void advance(std::chrono::steady_clock::duration by)
    {
        std::lock_guard lock(mutex_);
        current_ += by;
        changed_.notify_all();
    }

    // Waits until the loop has gone to sleep `count` times in all.
    bool waitForSleeps(size_t count)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, waitLimit, [&] { return requested_.size() >= count && sleeping_ > 0; });
    }

    std::vector<std::chrono::steady_clock::duration> requested()
    {
        std::lock_guard lock(mutex_);
        return requested_;
    }

    int sleeping()
    {
        std::lock_guard lock(mutex_);
        return sleeping_;
    }

private:
    std::mutex mutex_;
    std::condition_variable_any changed_;
    TimePoint current_{};
    std::vector<std::chrono::steady_clock::duration> requested_;
    int sleeping_ = 0;
};

