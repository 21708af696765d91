#pragma once

#include <cerrno>
#include <functional>
#include <stop_token>
#include <thread>
#include <utility>

#include <sys/resource.h>
#include <unistd.h>

// The thread that runs one scan. Cancelling only asks the scan to stop; the scan
// then ends through its normal path. Destroying the task cancels it and waits.
class ScanTask {
public:
    // How much nicer than the thread that starts it the scan runs.
    static constexpr int niceness = 5;

    explicit ScanTask(std::function<void(std::stop_token)> body)
        : thread_([body = std::move(body)](std::stop_token stop) {
              yieldToTheInterface();
              body(std::move(stop));
          })
    {
    }
    ScanTask(const ScanTask&) = delete;
    ScanTask& operator=(const ScanTask&) = delete;

    void cancel() { thread_.request_stop(); }

private:
    // A scan keeps every core busy with its readers, which start from this thread and
    // inherit its priority; at the same priority they held the window's thread off the
    // processor for 20 ms at a time. Nicer, they still get every core nobody else wants.
    static void yieldToTheInterface()
    {
        const auto self = static_cast<id_t>(::gettid());
        errno = 0;
        const int current = ::getpriority(PRIO_PROCESS, self);
        if (errno == 0)
            ::setpriority(PRIO_PROCESS, self, current + niceness);
    }

    std::jthread thread_;
};
