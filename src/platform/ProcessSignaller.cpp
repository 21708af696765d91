#include "platform/ProcessSignaller.h"

#include <cerrno>
#include <csignal>
#include <cstring>

#include <sys/syscall.h>
#include <unistd.h>

namespace {

std::string systemText(int error)
{
    return std::strerror(error);
}

// Nothing when the process at the pid is still the one named.
std::optional<std::string> changed(const ProcessIdentity& named, const std::string& procRoot)
{
    const auto now = ProcessIdentity::read(named.pid, procRoot);
    if (!now || now->hasEnded) return ProcessSignaller::endedText;
    if (*now != named) return ProcessSignaller::replacedText;
    return std::nullopt;
}

} // namespace

namespace ProcessSignaller {

std::optional<std::string> signal(const ProcessIdentity& named, bool force, const std::string& procRoot)
{
    const int number = force ? SIGKILL : SIGTERM;
    if (named.pid <= 0) return endedText;
    const long fd = ::syscall(SYS_pidfd_open, named.pid, 0);
    if (fd < 0) {
        const int error = errno;
        if (error == ESRCH) return endedText;
        if (error != ENOSYS) return systemText(error);
        // A kernel without pidfds: the check and the signal are as close as they can be.
        if (auto reason = changed(named, procRoot)) return reason;
        if (::kill(named.pid, number) != 0) return errno == ESRCH ? endedText : systemText(errno);
        return std::nullopt;
    }
    std::optional<std::string> result = changed(named, procRoot);
    if (!result && ::syscall(SYS_pidfd_send_signal, static_cast<int>(fd), number, nullptr, 0) != 0)
        result = errno == ESRCH ? std::string(endedText) : systemText(errno);
    ::close(static_cast<int>(fd));
    return result;
}

} // namespace ProcessSignaller
