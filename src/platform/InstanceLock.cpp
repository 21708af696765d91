#include "platform/InstanceLock.h"

#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <string_view>
#include <sys/file.h>
#include <unistd.h>

namespace {

std::optional<pid_t> readPid(int fd)
{
    char text[32] = {};
    const ssize_t length = ::pread(fd, text, sizeof text - 1, 0);
    if (length <= 0)
        return std::nullopt;
    std::string_view digits(text, static_cast<std::size_t>(length));
    while (!digits.empty() && (digits.back() == '\n' || digits.back() == ' ')) digits.remove_suffix(1);
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
    if (error != std::errc() || end != digits.data() + digits.size() || pid <= 0)
        return std::nullopt;
    return pid;
}

} // namespace

InstanceLock::InstanceLock(const std::string& path)
{
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0)
        return;   // no lock to be had: this instance runs
    int locked;
    do {
        locked = ::flock(fd_, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        first_ = errno != EWOULDBLOCK;
        if (!first_) {
            // The holder writes its pid right after taking the lock; give it a moment.
            for (int attempt = 0; attempt < 50 && !holder_; ++attempt) {
                holder_ = readPid(fd_);
                if (!holder_)
                    ::usleep(10'000);
            }
        }
        ::close(fd_);
        fd_ = -1;
        return;
    }
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd_, 0) != 0 || ::pwrite(fd_, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
        // Still held: a later start finds it taken, only without a window to raise.
    }
}

InstanceLock::~InstanceLock()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool InstanceLock::bringHolderToFront(ProcessWindows& windows) const
{
    if (!holder_ || windows.activationRefusal())
        return false;
    bool raised = false;
    for (const ProcessWindows::Window window : windows.windowsOf(*holder_))
        raised = windows.activate(window) || raised;
    return raised;
}
