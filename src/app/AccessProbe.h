#pragma once

#include "app/system/ProtectedLocation.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Checks which places can be read, one check at a time, on a thread of its own.
// A place whose file system does not answer (a hung network mount) counts as
// denied after a short limit instead of holding up the check.
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
    // Stops the running check at its next place without waiting for it.
    ~AccessProbe();
    AccessProbe(const AccessProbe&) = delete;
    AccessProbe& operator=(const AccessProbe&) = delete;

    // Starts a check of `paths`, then of Full Disk Access for `home`; `done` runs on
    // the probe's thread. False, and nothing started, while a check is running.
    bool start(std::vector<std::string> paths, std::string home, std::function<void(Result)> done);
    bool isRunning() const;

    // The probe's answer for one place, or `denied` when it takes longer than `limit`.
    static AccessStatus within(const Probe& probe, const std::string& path, std::chrono::milliseconds limit);

private:
    struct State;
    std::chrono::milliseconds limit_;
    Probe probe_;
    FullDiskAccessProbe fullDiskAccess_;
    std::shared_ptr<State> state_;
};
