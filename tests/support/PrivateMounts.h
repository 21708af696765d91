#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

// A case that needs a small or read-only file system of its own mounts one where no one
// else sees it: the case runs again in a child process in a private mount namespace.
namespace PrivateMounts {

enum class Place {
    inside,        // this process is the run in the namespace: go on with the case
    ranElsewhere,  // the run in the namespace has reported its result: return at once
    unavailable,   // no namespace can be had here (not root, or not allowed): skip
};

inline constexpr const char* insideVariable = "KESTREL_PRIVATE_MOUNTS";

inline Place enter()
{
    if (std::getenv(insideVariable))
        return Place::inside;
    if (::geteuid() != 0)
        return Place::unavailable;
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
    const int program = ::open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    if (program < 0)
        return Place::unavailable;
    std::string name = "private-mounts";
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
        if (::unshare(CLONE_NEWNS) != 0) ::_exit(124);
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) ::_exit(124);
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

// Inside the namespace: a tmpfs of `bytes` at `folder`. Returns whether it was mounted.
inline bool mountTmpfs(const std::string& folder, long long bytes)
{
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0777";
    return ::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

// Inside the namespace: `folder` again, read-only. Returns whether it was mounted.
inline bool bindReadOnly(const std::string& folder)
{
    if (::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0)
        return false;
    return ::mount(nullptr, folder.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

} // namespace PrivateMounts

// The case runs in a private mount namespace from here on, or is skipped where none can be had.
#define KESTREL_IN_PRIVATE_MOUNTS()                                                                      \
    switch (PrivateMounts::enter()) {                                                                    \
    case PrivateMounts::Place::inside:                                                                   \
        break;                                                                                           \
    case PrivateMounts::Place::ranElsewhere:                                                             \
        return;                                                                                          \
    case PrivateMounts::Place::unavailable:                                                              \
        GTEST_SKIP() << "needs root and a private mount namespace to mount a file system of its own";   \
    }
