#pragma once

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

// Runs a check in a child process with a private mount namespace, in which small memory
// file systems are mounted on the given (existing, empty) folders, so that a test can fill
// a disk, cross a volume or bind a folder without touching the machine's mounts. Without
// root the child first enters a user namespace of its own, where the system allows that.
// The check returns "" when it holds, else what went wrong.
namespace PrivateMount {

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

struct Result {
    bool ran = false;
    std::string skipReason;   // why the namespace could not be made
    std::string failure;      // what the check reported; "" when it held
};

struct Volume {
    std::string folder;
    std::size_t bytes;
};

inline Result run(const std::vector<Volume>& volumes, const std::function<std::string()>& check)
{
    int pipe[2];
    if (::pipe(pipe) != 0)
        return {false, "no pipe for the child's report", ""};
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(pipe[0]);
        ::close(pipe[1]);
        return {false, "fork failed", ""};
    }
    if (child == 0) {
        ::close(pipe[0]);
        std::string report;
        int status = 0;
        if ((::geteuid() != 0 && !enterUserNamespace()) || ::unshare(CLONE_NEWNS) != 0
            || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            report = std::string("a private mount namespace needs root or user namespaces: ") + std::strerror(errno);
            status = 2;
        }
        for (const Volume& volume : volumes) {
            if (status != 0)
                break;
            const std::string options = "size=" + std::to_string(volume.bytes) + ",mode=0755";
            if (::mount("kestrel-test", volume.folder.c_str(), "tmpfs", 0, options.c_str()) != 0) {
                report = "tmpfs could not be mounted on " + volume.folder + ": " + std::strerror(errno);
                status = 2;
            }
        }
        if (status == 0) {
            report = check();
            status = report.empty() ? 0 : 1;
        }
        std::size_t done = 0;
        while (done < report.size()) {
            const ssize_t n = ::write(pipe[1], report.data() + done, report.size() - done);
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        ::_exit(status);
    }
    ::close(pipe[1]);
    std::string report;
    char buffer[512];
    ssize_t n;
    while ((n = ::read(pipe[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            report.append(buffer, static_cast<std::size_t>(n));
    ::close(pipe[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status))
        return {true, "", "the check ended abnormally"};
    if (WEXITSTATUS(status) == 2)
        return {false, report, ""};
    return {true, "", report};
}

} // namespace PrivateMount
