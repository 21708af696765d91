#pragma once

#include <chrono>
#include <functional>
#include <thread>

// How long a test waits for what it expects to happen soon: long enough for a loaded
// machine running the sanitizer build, short enough that a failing case ends quickly.
inline constexpr std::chrono::seconds waitLimit{10};

// Checks `done` until it holds, running `between` after each miss; false once waitLimit
// has passed. The one polling loop of the tests: the event-loop wait is built on it.
inline bool eventually(const std::function<bool()>& done,
                       const std::function<void()>& between = [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); })
{
    const auto deadline = std::chrono::steady_clock::now() + waitLimit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return done();
        between();
    }
    return true;
}
