#pragma once

#include "platform/ProcessWindows.h"

#include <optional>
#include <string>
#include <sys/types.h>

// One program instance per user: the first holds an exclusive lock on a file in its data
// folder, which names its process. A later start finds the lock taken, reads who holds it,
// brings that instance's window to the front and ends. The kernel lets the lock go with
// the process, so a crash leaves no stale lock. The lock never fails open: when the file
// cannot be had as a regular file of its own (a folder, a link, a FIFO stands there, or it
// cannot be made), the start is refused with a sentence that names it.
class InstanceLock {
public:
    // Tries to take the lock at `path`, creating the file when missing.
    explicit InstanceLock(const std::string& path);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this process holds the lock.
    bool isFirst() const { return fd_ >= 0; }
    // Why no lock could be had at all, naming the file; this instance must not run then.
    const std::optional<std::string>& refusal() const { return refusal_; }
    // The process that holds the lock, when another one does and has named itself.
    std::optional<pid_t> holder() const { return holder_; }

    // Raises and focuses the holder's windows; false when none could be brought to the front.
    bool bringHolderToFront(ProcessWindows& windows) const;

    // Lets the lock go before the process ends, so that a quit that still waits for its
    // workers does not keep the next start out.
    void release();

private:
    int fd_ = -1;
    std::optional<std::string> refusal_;
    std::optional<pid_t> holder_;
};
