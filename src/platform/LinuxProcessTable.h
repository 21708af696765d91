#pragma once

#include "platform/ProcessTable.h"

#include <string>

// The process table read from /proc (or a folder laid out like it).
// Process-time units are clock ticks (sysconf(_SC_CLK_TCK) per second).
class LinuxProcessTable : public ProcessTable {
public:
    explicit LinuxProcessTable(std::string procRoot = "/proc");

    std::vector<std::int32_t> listAllPIDs() override;
    std::optional<ProcBSDInfo> bsdInfo(std::int32_t pid) override;
    std::optional<std::string> executablePath(std::int32_t pid) override;
    std::optional<std::string> name(std::int32_t pid) override;
    std::optional<ProcTaskInfo> taskInfo(std::int32_t pid) override;
    std::optional<ProcRusageInfo> rusage(std::int32_t pid) override;
    std::optional<std::string> accountName(std::uint32_t uid) override;
    std::optional<std::string> controlGroup(std::int32_t pid) override;

    // The fields of /proc/PID/stat that matter here.
    struct Stat {
        std::string name;
        char state = '?';
        std::int32_t parentPID = 0;
        std::uint64_t userTicks = 0;
        std::uint64_t systemTicks = 0;
        std::int32_t threadCount = 0;
        std::uint64_t startTicks = 0; // since boot
        std::uint64_t flags = 0;
    };
    static constexpr std::uint64_t kernelThreadFlag = 0x00200000; // PF_KTHREAD
    // The command name sits in brackets and may itself hold blanks and ')',
    // so the fixed fields are read after the last ')'.
    static std::optional<Stat> parseStat(std::string_view text);
    static std::uint32_t bsdStatus(char state);

private:
    std::string file(std::int32_t pid, const char* name) const;
    std::optional<Stat> readStat(std::int32_t pid) const;

    std::string root_;
};
