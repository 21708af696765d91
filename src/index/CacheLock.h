#pragma once

#include <mutex>

// The one lock of the scan cache's actor. Holding it is shown by a Held value, which only
// acquire() makes: a helper that must run under the lock takes one, so that no caller can
// reach it without the lock.
class CacheLock {
public:
    class Held {
    public:
        Held(Held&&) = default;
        Held& operator=(Held&&) = delete;
        Held(const Held&) = delete;
        Held& operator=(const Held&) = delete;

    private:
        friend class CacheLock;
        explicit Held(std::mutex& mutex) : lock_(mutex, std::adopt_lock) {}
        std::unique_lock<std::mutex> lock_;
    };

    // Workers hold the lock for well under a millisecond per folder; waiting for it briefly
    // in user space beats sleeping in the kernel and being woken long after it came free.
    Held acquire();

private:
    std::mutex mutex_;
};
