#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stop_token>

// Stops a scan's workers before their next folder while the scan is paused.
class PauseGate {
public:
    void pause();
    // Opens the gate and lets every waiting worker go, even if pause() follows at once.
    void resume();
    // Returns at once when open; otherwise blocks until the next resume() or a stop
    // request, so that a pause arriving after a cancellation cannot hold a worker.
    // `beforeWait`, if any, is called first when the gate is closed.
    void waitIfPaused(std::stop_token stop = {}, const std::function<void()>& beforeWait = {});

    bool isPaused() const;
    // Callers held at the gate now.
    std::size_t waitingCount() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable_any opened_;
    std::atomic<bool> paused_{false};   // set and cleared under the lock, read without it too
    std::uint64_t resumptions_ = 0;
    std::size_t waiting_ = 0;
};
