#pragma once

#include "platform/ProcessTable.h"

#include <functional>
#include <string>
#include <string_view>

// The process table read from /proc (or a folder laid out like it). Each file of a
// process is read once per description, /proc/stat once per sample.
// Process-time units are clock ticks (sysconf(_SC_CLK_TCK) per second).
class LinuxProcessTable : public ProcessTable {
public:
    // Reads a whole file, or gives nothing.
    using FileReader = std::function<std::optional<std::string>(const std::string& path)>;

    explicit LinuxProcessTable(std::string procRoot = "/proc", FileReader read = {});

    std::vector<std::int32_t> listAllPIDs() override;
    ProcSampleContext sampleContext() override;
    ProcFacts describe(std::int32_t pid, const ProcSampleContext& context) override;
    std::optional<std::string> accountName(std::uint32_t uid) override;

    // The executable the process runs, without the kernel's mark of a replaced file.
    std::optional<std::string> executablePath(std::int32_t pid) const;

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
    // "0::/path" of the unified hierarchy; without it, the last hierarchy listed.
    static std::optional<std::string> parseControlGroup(std::string_view text);

private:
    std::string file(std::int32_t pid, const char* name) const;

    std::string root_;
    FileReader read_;
};
