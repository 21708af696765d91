#include "app/system/MonitorClock.h"

#include <condition_variable>
#include <mutex>

MonitorClock::TimePoint SteadyMonitorClock::now()
{
    return std::chrono::steady_clock::now();
}

void SteadyMonitorClock::sleepUntil(TimePoint deadline, std::stop_token stop)
{
    std::mutex mutex;
    std::condition_variable_any wake;
    std::unique_lock lock(mutex);
    wake.wait_until(lock, stop, deadline, [] { return false; });
}
