#pragma once

#include <cstdint>
#include <optional>
#include <string>

// What names one process for good: a pid is reused, a pid with its start time is not.
struct ProcessIdentity {
    std::int32_t pid = 0;
    std::uint64_t startTicks = 0;
    std::uint32_t uid = 0;
    std::optional<std::string> executable;
    bool isKernelThread = false;
    bool hasEnded = false; // a zombie waiting for its parent

    friend bool operator==(const ProcessIdentity&, const ProcessIdentity&) = default;

    // Read now from the process table; nothing for a process that is gone.
    static std::optional<ProcessIdentity> read(std::int32_t pid, const std::string& procRoot = "/proc");

    // The kernel marks an executable replaced by an upgrade with " (deleted)".
    static std::string withoutDeletedMarker(std::string path);
};
