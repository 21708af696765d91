#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

// Mounts made for a test stay out of the rest of the system: they are made in a process
// with a mount namespace of its own, so that a test can fill a disk, cross a volume or bind
// a folder without touching the machine's mounts. Without root the process first enters a
// user namespace of its own, where the system allows that. Two ways in: `run` runs a check
// in a forked child; KESTREL_IN_PRIVATE_MOUNTS() runs the whole test case again there.
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

// In a process with one thread (a fresh fork): a mount namespace of its own, mounts private.
inline bool enterNamespace()
{
    return (::geteuid() == 0 || enterUserNamespace()) && ::unshare(CLONE_NEWNS) == 0
           && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

// Inside the namespace: a tmpfs of `bytes` at `folder`. Returns whether it was mounted.
inline bool mountTmpfs(const std::string& folder, long long bytes, const char* mode = "0755")
{
    const std::string options = "size=" + std::to_string(bytes) + ",mode=" + mode;
    return ::mount("kestrel-test", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

// Inside the namespace: takes the mount at `folder` away when it goes, so that the temporary
// folder under it can be removed.
struct Unmounted {
    std::string folder;
    ~Unmounted() { ::umount2(folder.c_str(), MNT_DETACH); }
};

// Inside the namespace: `folder` again, read-only. Returns whether it was mounted.
inline bool bindReadOnly(const std::string& folder)
{
    if (::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0)
        return false;
    return ::mount(nullptr, folder.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
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
        if (!enterNamespace()) {
            report = std::string("a private mount namespace needs root or user namespaces: ") + std::strerror(errno);
            status = 2;
        }
        for (const Volume& volume : volumes) {
            if (status != 0)
                break;
            if (!mountTmpfs(volume.folder, static_cast<long long>(volume.bytes))) {
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

// The whole current test case again, in a child with a namespace of its own.
enum class Place {
    inside,        // this process is the run in the namespace: go on with the case
    ranElsewhere,  // the run in the namespace has reported its result: return at once
    unavailable,   // no namespace can be had here (not root, or not allowed): skip
};

inline constexpr const char* insideVariable = "KESTREL_PRIVATE_MOUNT";

inline Place enter()
{
    if (std::getenv(insideVariable))
        return Place::inside;
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
    const int program = ::open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    if (program < 0)
        return Place::unavailable;
    std::string name = "private-mount";
    char* argv[] = {name.data(), const_cast<char*>(filter.c_str()), nullptr};
    std::string mark = std::string(insideVariable) + "=1";
    std::vector<char*> environment;
    for (char** entry = environ; *entry; ++entry) environment.push_back(*entry);
    environment.push_back(mark.data());
    environment.push_back(nullptr);
    std::cout.flush();
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        // The child has one thread, as a new mount namespace requires.
        if (!enterNamespace())
            ::_exit(124);
        ::fexecve(program, argv, environment.data());
        ::_exit(126);
    }
    ::close(program);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 124)
        return Place::unavailable;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the case failed in its private mount namespace ("
        << (WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                              : "signal " + std::to_string(WTERMSIG(status)))
        << "; 126: could not start)";
    return Place::ranElsewhere;
}

} // namespace PrivateMount

// The case runs in a private mount namespace from here on, or is skipped where none can be had.
#define KESTREL_IN_PRIVATE_MOUNTS()                                                        \
    switch (PrivateMount::enter()) {                                                       \
    case PrivateMount::Place::inside:                                                      \
        break;                                                                             \
    case PrivateMount::Place::ranElsewhere:                                                \
        return;                                                                            \
    case PrivateMount::Place::unavailable:                                                 \
        GTEST_SKIP() << "needs root or user namespaces to mount a file system of its own"; \
    }
