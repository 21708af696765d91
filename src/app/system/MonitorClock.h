#pragma once

#include <chrono>
#include <stop_token>

// The clock the sampling loop waits on between passes.
class MonitorClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~MonitorClock() = default;
    virtual TimePoint now() = 0;
    // Returns at `deadline`, or early once `stop` is requested.
    virtual void sleepUntil(TimePoint deadline, std::stop_token stop) = 0;
};

class SteadyMonitorClock : public MonitorClock {
public:
    TimePoint now() override;
    void sleepUntil(TimePoint deadline, std::stop_token stop) override;
};
