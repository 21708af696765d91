#pragma once

#include "support/Eventually.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// Holds the calls that come to it while it is closed and counts them, so that a test
// decides when a background call answers: a read of a file system that does not answer,
// say. A held call keeps the gate's state (`passage`), so that one waking after its test
// ended touches nothing freed; the gate opens as it goes, so that no thread stays held.
class HeldGate {
public:
    explicit HeldGate(bool open = false) { state_->open = open; }
    ~HeldGate() { open(); }
    HeldGate(const HeldGate&) = delete;
    HeldGate& operator=(const HeldGate&) = delete;

    // What a held call runs: it counts itself in, then waits while the gate is closed.
    std::function<void()> passage() const
    {
        return [state = state_] {
            std::unique_lock lock(state->mutex);
            ++state->arrivals;
            state->changed.notify_all();
            state->changed.wait(lock, [&] { return state->open; });
        };
    }

    void open() { setOpen(true); }
    void close() { setOpen(false); }

    // The calls that came to the gate so far.
    int arrivals() const
    {
        std::lock_guard lock(state_->mutex);
        return state_->arrivals;
    }

    // Waits until `count` calls came to the gate in all; false once waitLimit has passed.
    bool waitForArrivals(int count) const
    {
        std::unique_lock lock(state_->mutex);
        return state_->changed.wait_for(lock, waitLimit, [&] { return state_->arrivals >= count; });
    }

    // Whether every passage handed out has gone, with the work that held it: a call that
    // answers posts its answer before its work is dropped.
    bool unheld() const { return state_.use_count() == 1; }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        bool open = false;
        int arrivals = 0;
    };

    void setOpen(bool open)
    {
        std::lock_guard lock(state_->mutex);
        state_->open = open;
        state_->changed.notify_all();
    }

    std::shared_ptr<State> state_ = std::make_shared<State>();
};
