#pragma once

#include <chrono>
#include <csignal>
#include <optional>
#include <string>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

// A program started for a test, running until it ends or the value goes away.
class ChildProcess {
public:
    // Runs `program` with one argument; returns once the program itself runs.
    explicit ChildProcess(const std::string& program, const std::string& argument = "30")
    {
        pid_ = ::fork();
        if (pid_ == 0) {
            ::execl(program.c_str(), program.c_str(), argument.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        char target[4096];
        const std::string link = "/proc/" + std::to_string(pid_) + "/exe";
        while (std::chrono::steady_clock::now() < deadline) {
            const ssize_t n = ::readlink(link.c_str(), target, sizeof target);
            if (n > 0 && std::string(target, static_cast<size_t>(n)) == program) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    ~ChildProcess()
    {
        if (!reaped_) {
            ::kill(pid_, SIGKILL);
            reap();
        }
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

    // The signal that ended it, waiting up to five seconds; nothing if it did not end by a signal.
    std::optional<int> endingSignal()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (isRunning() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (isRunning()) return std::nullopt;
        const int status = reap();
        if (!WIFSIGNALED(status)) return std::nullopt;
        return WTERMSIG(status);
    }

    int reap()
    {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        reaped_ = true;
        return status;
    }

    // Ends it without waiting for it, leaving a zombie until reaped.
    void endWithoutReaping()
    {
        ::kill(pid_, SIGKILL);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (isRunning() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }

private:
    pid_t pid_ = -1;
    bool reaped_ = false;
};
