#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

// Runs `work`; should it block opening one of `fifos`, a writer lets it go after five seconds,
// and after ten the FIFOs go (for a file tried again and again), so that the case fails
// instead of hanging. Whether a FIFO had to be let go.
inline bool blocksOnFifos(const std::vector<std::string>& fifos, const std::function<void()>& work)
{
    std::atomic<bool> answered = false;
    std::atomic<bool> released = false;
    std::jthread watchdog([&] {
        for (int tick = 0; !answered; ++tick) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (tick < 50 || answered) continue;
            released = true;
            for (const std::string& fifo : fifos) {
                ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
                if (tick == 100) ::unlink(fifo.c_str());
            }
        }
    });
    work();
    answered = true;
    return released;
}
