#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

// Stops a scan's workers before their next folder while the scan is paused.
class PauseGate {
public:
    void pause();
    // Opens the gate and lets every waiting worker go, even if pause() follows at once.
    void resume();
    // Returns at once when open; otherwise blocks until the next resume().
    void waitIfPaused();

    bool isPaused() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable opened_;
    bool paused_ = false;
    std::uint64_t resumptions_ = 0;
};
