#pragma once

#include <cerrno>
#include <functional>

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

// Mounts made for a test stay out of the rest of the system: `body` runs in a child process
// with a mount namespace of its own, whose mounts vanish with it. Returns the body's result,
// `unavailable` when the namespace could not be made (it takes root or CAP_SYS_ADMIN), or -1
// when the child died.
namespace PrivateMountNamespace {

constexpr int unavailable = 77;

inline int run(const std::function<int()>& body)
{
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
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
