#include "platform/InstanceLock.h"

#include "platform/RegularFile.h"

#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
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
    // Without following a link, and never blocking on a FIFO; a read-only data folder still
    // lets an existing file be locked.
    constexpr int flags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | flags, 0600);
    if (fd < 0 && (errno == EACCES || errno == EROFS))
        fd = ::open(path.c_str(), O_RDONLY | flags);
    const int openError = errno;
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        std::string what;
        if (::lstat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode))
            what = "is " + RegularFile::kindName(status.st_mode) + ", not a file of its own";
        else
            what = "cannot be opened (" + std::generic_category().message(openError) + ")";
        refusal_ = "Kestrelmoor's lock file " + path + " " + what +
                   ", so Kestrelmoor cannot make sure that it runs only once. Remove it and start Kestrelmoor again.";
        return;
    }
    int locked;
    do {
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        if (errno == EWOULDBLOCK) {
            // The holder writes its pid right after taking the lock; give it a moment.
            for (int attempt = 0; attempt < 50 && !holder_; ++attempt) {
                holder_ = readPid(fd);
                if (!holder_)
                    ::usleep(10'000);
            }
        } else {
            refusal_ = "Kestrelmoor's lock file " + path + " cannot be locked (" +
                       std::generic_category().message(errno) + "). Start Kestrelmoor again.";
        }
        ::close(fd);
        return;
    }
    fd_ = fd;
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd_, 0) != 0 || ::pwrite(fd_, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
        // Still held: a later start finds it taken, only without a window to raise.
    }
}

InstanceLock::~InstanceLock()
{
    release();
}

void InstanceLock::release()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
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
