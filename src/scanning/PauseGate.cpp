#include "scanning/PauseGate.h"

void PauseGate::pause()
{
    std::lock_guard guard(mutex_);
    paused_ = true;
}

void PauseGate::resume()
{
    {
        std::lock_guard guard(mutex_);
        paused_ = false;
        ++resumptions_;
    }
    opened_.notify_all();
}

void PauseGate::waitIfPaused(std::stop_token stop)
{
    std::unique_lock lock(mutex_);
    if (!paused_)
        return;
    const std::uint64_t seen = resumptions_;
    opened_.wait(lock, stop, [&] { return resumptions_ != seen; });
}

bool PauseGate::isPaused() const
{
    std::lock_guard guard(mutex_);
    return paused_;
}
