#pragma once

#include "support/Eventually.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

// A program started for a test, running until it ends or the value goes away.
class ChildProcess {
public:
    // Runs `program` with one argument; returns once the program itself runs, so that
    // /proc already names it and not the test program that started it.
    explicit ChildProcess(const std::string& program, const std::string& argument = "30")
    {
        // Closed by a successful exec; otherwise the child writes its errno first.
        int report[2];
        if (::pipe2(report, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
        pid_ = ::fork();
        if (pid_ < 0) throw std::runtime_error("fork failed");
        if (pid_ == 0) {
            ::close(report[0]);
            ::execl(program.c_str(), program.c_str(), argument.c_str(), static_cast<char*>(nullptr));
            const int error = errno;
            (void)!::write(report[1], &error, sizeof error);
            ::_exit(127);
        }
        ::close(report[1]);
        int error = 0;
        ssize_t n;
        while ((n = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
        }
        ::close(report[0]);
        if (n > 0) {
            reap();
            throw std::runtime_error("cannot run " + program + ": " + std::strerror(error));
        }
        pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
        // The kernel closes the pipe a moment before it renames the process.
        const std::string name = program.substr(program.rfind('/') + 1).substr(0, 15);
        const std::string commPath = "/proc/" + std::to_string(pid_) + "/comm";
        eventually([&] {
            std::string comm;
            std::getline(std::ifstream(commPath), comm);
            return comm == name || !isRunning();
        }, [] { std::this_thread::yield(); });
    }
    ~ChildProcess()
    {
        if (!reaped_) {
            ::kill(pid_, SIGKILL);
            reap();
        }
        if (pidfd_ >= 0) ::close(pidfd_);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }

    // Still running (not ended, or ended and not yet waited for as a zombie is not).
    bool isRunning() const
    {
        if (reaped_) return false;
        siginfo_t info{};
        return ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
    }

    // The signal that ended it, waiting for it to end (five seconds at most, so that a
    // process that was never signalled fails the test instead of hanging it); nothing if it
    // did not end by a signal.
    std::optional<int> endingSignal()
    {
        if (!waitForEnd()) return std::nullopt;
        const int status = reap();
        if (!WIFSIGNALED(status)) return std::nullopt;
        return WTERMSIG(status);
    }

    int reap()
    {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        reaped_ = true;
        return status;
    }

    // Ends it without waiting for it, leaving a zombie until reaped.
    void endWithoutReaping()
    {
        ::kill(pid_, SIGKILL);
        waitForEnd();
    }

private:
    // True once the process has ended (a zombie or reaped).
    bool waitForEnd() const
    {
        if (reaped_) return true;
        if (pidfd_ < 0) {
            // Without pidfds a blocking wait that leaves the zombie in place.
            siginfo_t info{};
            return ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT) == 0;
        }
        pollfd ended{pidfd_, POLLIN, 0};
        int ready;
        while ((ready = ::poll(&ended, 1, 5000)) < 0 && errno == EINTR) {
        }
        return ready > 0;
    }

    pid_t pid_ = -1;
    int pidfd_ = -1;
    bool reaped_ = false;
};
