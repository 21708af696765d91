#pragma once

#include "platform/ProcessWindows.h"

#include <optional>
#include <string>
#include <sys/types.h>

// One program instance per user: the first holds an exclusive lock on a file in its data
// folder, which names its process. A later start finds the lock taken, reads who holds it,
// brings that instance's window to the front and ends. The kernel lets the lock go with
// the process, so a crash leaves no stale lock.
class InstanceLock {
public:
    // Tries to take the lock at `path`, creating the file when missing.
    explicit InstanceLock(const std::string& path);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this process holds the lock, or when no lock could be had at all (a data
    // folder that cannot be written): then nothing stops this instance.
    bool isFirst() const { return first_; }
    // The process that holds the lock, when another one does and has named itself.
    std::optional<pid_t> holder() const { return holder_; }

    // Raises and focuses the holder's windows; false when none could be brought to the front.
    bool bringHolderToFront(ProcessWindows& windows) const;

private:
    int fd_ = -1;
    bool first_ = true;
    std::optional<pid_t> holder_;
};
