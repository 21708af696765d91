#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

// The administrator reads every folder, so a case about a folder that cannot be read
// calls this first. Run as root, it runs the current case again in a child process of
// the unprivileged account "nobody", reports that run's result as its own and returns
// true: the caller returns at once. Run by anyone else it returns false and the caller
// goes on with the case itself.
inline bool runAgainUnprivileged()
{
    // The run again tells its parent that the case itself was found and started.
    static constexpr const char* startedVariable = "KESTREL_UNPRIVILEGED_STARTED_FD";
    if (::geteuid() != 0) {
        if (const char* fd = std::getenv(startedVariable)) {
            (void)!::write(std::atoi(fd), "1", 1);
            ::close(std::atoi(fd));
        }
        return false;
    }
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
    const passwd* nobody = ::getpwnam("nobody");
    const uid_t uid = nobody ? nobody->pw_uid : 65534;
    const gid_t gid = nobody ? nobody->pw_gid : 65534;
    // Opened while still privileged: the build folder may be closed to nobody.
    const int program = ::open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    if (program < 0) {
        ADD_FAILURE() << "cannot open the test program";
        return true;
    }
    int started[2];
    if (::pipe2(started, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "cannot make a pipe";
        ::close(program);
        return true;
    }
    // Temporary files and the home of the run again go to a folder of the account's own:
    // TMPDIR and HOME may lie in folders only root can write. /tmp is open to every account.
    std::string scratch = "/tmp/kestrel-unprivileged-XXXXXX";
    if (!::mkdtemp(scratch.data()) || ::chown(scratch.c_str(), uid, gid) != 0) {
        ADD_FAILURE() << "cannot make a temporary folder for uid " << uid;
        ::close(program);
        ::close(started[0]);
        ::close(started[1]);
        return true;
    }
    std::string name = "unprivileged";
    char* argv[] = {name.data(), const_cast<char*>(filter.c_str()), nullptr};
    std::string startedEntry = std::string(startedVariable) + "=" + std::to_string(started[1]);
    std::string temporaryEntry = "TMPDIR=" + scratch;
    std::string homeEntry = "HOME=" + scratch;
    std::vector<char*> environment;
    for (char** entry = environ; *entry; ++entry)
        if (std::strncmp(*entry, "TMPDIR=", 7) != 0 && std::strncmp(*entry, "HOME=", 5) != 0)
            environment.push_back(*entry);
    environment.push_back(startedEntry.data());
    environment.push_back(temporaryEntry.data());
    environment.push_back(homeEntry.data());
    environment.push_back(nullptr);
    std::cout.flush();
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        // Raw system calls: only these are safe between fork and exec in a threaded program.
        if (::syscall(SYS_setgroups, 0, nullptr) != 0 || ::syscall(SYS_setresgid, gid, gid, gid) != 0
            || ::syscall(SYS_setresuid, uid, uid, uid) != 0)
            ::_exit(125);
        if (::fcntl(started[1], F_SETFD, 0) != 0) ::_exit(126);
        ::fexecve(program, argv, environment.data());
        ::_exit(126);
    }
    ::close(program);
    ::close(started[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    char mark = 0;
    const bool ran = ::read(started[0], &mark, 1) == 1;
    ::close(started[0]);
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
    EXPECT_TRUE(ran) << "the case did not run as uid " << uid;
    const bool passed = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    EXPECT_TRUE(passed) << "the case failed when run as uid " << uid << " ("
        << (WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                              : "signal " + std::to_string(WTERMSIG(status)))
        << "; 125: could not drop privileges, 126: could not start)";
    return true;
}
