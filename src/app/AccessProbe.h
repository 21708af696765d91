#pragma once

#include "app/system/ProtectedLocation.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class BackgroundWorker;
class QObject;
class QTimer;

// Checks which places can be read, one place at a time, on a worker of its own. A
// place whose file system does not answer (a hung network mount) counts as denied
// after a short limit: its worker is left behind and the check goes on with a new
// one. Main thread only.
class AccessProbe {
public:
    struct Result {
        std::map<std::string, AccessStatus> statuses; // by path
        std::optional<bool> fullDiskAccess;

        friend bool operator==(const Result&, const Result&) = default;
    };
    using Probe = std::function<AccessStatus(const std::string& path)>;
    using FullDiskAccessProbe = std::function<std::optional<bool>(const std::string& home)>;

    explicit AccessProbe(std::chrono::milliseconds limit = std::chrono::seconds(2));
    AccessProbe(std::chrono::milliseconds limit, Probe probe, FullDiskAccessProbe fullDiskAccess);
    // Ends the running check without telling anyone.
    ~AccessProbe();
    AccessProbe(const AccessProbe&) = delete;
    AccessProbe& operator=(const AccessProbe&) = delete;

    // Starts a check of `paths`, then of Full Disk Access for `home`; `done` runs on
    // the main thread. False, and nothing started, while a check is running.
    bool start(std::vector<std::string> paths, std::string home, std::function<void(Result)> done);
    bool isRunning() const { return check_ != nullptr; }

private:
    struct Check;
    // Asks the worker for the check's next answer, or ends the check.
    void askNext();
    void answered(std::optional<AccessStatus> status, std::optional<bool> fullDiskAccess);

    std::chrono::milliseconds limit_;
    Probe probe_;
    FullDiskAccessProbe fullDiskAccess_;
    std::unique_ptr<Check> check_;
    // Receives the answers and the limit's time-outs; they end with the probe.
    std::unique_ptr<QObject> context_;
    QTimer* limitTimer_;
    // Last, so that it goes first.
    std::unique_ptr<BackgroundWorker> worker_;
};
