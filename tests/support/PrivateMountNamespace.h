#pragma once

#include <cerrno>
#include <functional>
#include <string>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

// Mounts made for a test stay out of the rest of the system: `body` runs in a child process
// with a mount namespace of its own, whose mounts vanish with it. Without root the child
// first enters a user namespace of its own, where the system allows that. Returns the body's
// result, `unavailable` when no namespace could be made, or -1 when the child died.
namespace PrivateMountNamespace {

constexpr int unavailable = 77;

// Maps the caller's user and group to root in a new user namespace.
inline bool enterUserNamespace()
{
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWUSER) != 0)
        return false;
    const auto put = [](const char* file, const std::string& text) {
        const int descriptor = ::open(file, O_WRONLY | O_CLOEXEC);
        if (descriptor < 0)
            return false;
        const bool written = ::write(descriptor, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        ::close(descriptor);
        return written;
    };
    return put("/proc/self/setgroups", "deny") && put("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1")
           && put("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
}

inline int run(const std::function<int()>& body)
{
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        if (::geteuid() != 0 && !enterUserNamespace())
            ::_exit(unavailable);
        if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            ::_exit(unavailable);
        ::_exit(body());
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace PrivateMountNamespace
