#pragma once

#include "support/TempDir.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unistd.h>

// A folder laid out like /proc, with processes written as the kernel writes them.
class ProcFixture {
public:
    struct Process {
        std::int32_t pid = 0;
        std::string name;                     // as in stat and comm
        char state = 'S';
        std::int32_t parentPID = 1;
        std::uint64_t userTicks = 0;
        std::uint64_t systemTicks = 0;
        int threads = 1;
        std::uint64_t startTicks = 0;         // since boot
        std::uint32_t uid = 1000;             // effective
        std::uint32_t realUID = 1000;
        std::uint64_t residentKilobytes = 40;
        std::optional<std::uint64_t> anonKilobytes = 64; // absent, with the other memory lines, for kernel threads
        std::uint64_t swapKilobytes = 0;
        std::optional<std::string> executable;           // the exe link's target
    };

    static Process process(std::int32_t pid, std::string name)
    {
        Process p;
        p.pid = pid;
        p.name = std::move(name);
        return p;
    }

    std::string root() const { return dir.path() + "/proc"; }

    void writeProcess(const Process& p) const
    {
        const std::string folder = "proc/" + std::to_string(p.pid) + "/";
        dir.write(folder + "stat", std::to_string(p.pid) + " (" + p.name + ") " + p.state + " "
                                       + std::to_string(p.parentPID) + " 1 1 0 -1 4194560 100 0 0 0 "
                                       + std::to_string(p.userTicks) + " " + std::to_string(p.systemTicks)
                                       + " 0 0 20 0 " + std::to_string(p.threads) + " 0 "
                                       + std::to_string(p.startTicks) + " 1000000 250 18446744073709551615\n");
        std::string status = "Name:\t" + p.name + "\nState:\t" + p.state + " (x)\nPPid:\t" + std::to_string(p.parentPID)
                             + "\nUid:\t" + std::to_string(p.realUID) + "\t" + std::to_string(p.uid) + "\t"
                             + std::to_string(p.uid) + "\t" + std::to_string(p.uid) + "\n";
        if (p.anonKilobytes)
            status += "VmRSS:\t     " + std::to_string(p.residentKilobytes) + " kB\nRssAnon:\t"
                      + std::to_string(*p.anonKilobytes) + " kB\nVmSwap:\t" + std::to_string(p.swapKilobytes) + " kB\n";
        status += "Threads:\t" + std::to_string(p.threads) + "\n";
        dir.write(folder + "status", status);
        dir.write(folder + "comm", p.name + "\n");
        const std::string link = dir.file(folder + "exe");
        ::unlink(link.c_str());
        if (p.executable) (void)::symlink(p.executable->c_str(), link.c_str());
    }

    void writeBootTime(std::uint64_t seconds) const { dir.write("proc/stat", "cpu 1 2 3 4\nbtime " + std::to_string(seconds) + "\n"); }
    void write(const std::string& relative, const std::string& contents) const { dir.write(relative, contents); }

    TempDir dir;
};
