#pragma once

#include <functional>
#include <stop_token>
#include <thread>

// The thread that runs one scan. Cancelling only asks the scan to stop; the scan
// then ends through its normal path. Destroying the task cancels it and waits.
class ScanTask {
public:
    explicit ScanTask(std::function<void(std::stop_token)> body) : thread_(std::move(body)) {}
    ScanTask(const ScanTask&) = delete;
    ScanTask& operator=(const ScanTask&) = delete;

    void cancel() { thread_.request_stop(); }

private:
    std::jthread thread_;
};
