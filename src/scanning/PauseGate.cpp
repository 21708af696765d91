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

void PauseGate::waitIfPaused(std::stop_token stop, const std::function<void()>& beforeWait)
{
    // Every worker passes here once per folder: an open gate costs no lock.
    if (!paused_)
        return;
    if (beforeWait)
        beforeWait();
    std::unique_lock lock(mutex_);
    if (!paused_)
        return;
    const std::uint64_t seen = resumptions_;
    ++waiting_;
    opened_.wait(lock, stop, [&] { return resumptions_ != seen; });
    --waiting_;
}

bool PauseGate::isPaused() const { return paused_; }

std::size_t PauseGate::waitingCount() const
{
    std::lock_guard guard(mutex_);
    return waiting_;
}
