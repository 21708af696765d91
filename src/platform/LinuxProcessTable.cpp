#include "platform/LinuxProcessTable.h"

#include "platform/Accounts.h"
#include "platform/ProcText.h"

#include <climits>
#include <dirent.h>
#include <unistd.h>
#include <vector>

namespace {

std::uint64_t clockTicksPerSecond()
{
    const long ticks = ::sysconf(_SC_CLK_TCK);
    return ticks > 0 ? static_cast<std::uint64_t>(ticks) : 100;
}

std::uint64_t pageSize()
{
    const long size = ::sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<std::uint64_t>(size) : 4096;
}

std::optional<std::int32_t> pidNumber(std::string_view text)
{
    const auto number = ProcText::unsignedNumber(text);
    if (!number || *number > static_cast<std::uint64_t>(INT32_MAX)) return std::nullopt;
    return static_cast<std::int32_t>(*number);
}

// The fields after `key` on the line that starts with it.
std::vector<std::string_view> lineFields(std::string_view text, std::string_view key)
{
    for (const std::string_view line : ProcText::lines(text))
        if (line.starts_with(key) && line.size() > key.size() && (line[key.size()] == ' ' || line[key.size()] == '\t'))
            return ProcText::fields(line.substr(key.size()));
    return {};
}

} // namespace

LinuxProcessTable::LinuxProcessTable(std::string procRoot) : root_(std::move(procRoot)) {}

std::string LinuxProcessTable::file(std::int32_t pid, const char* name) const
{
    return root_ + "/" + std::to_string(pid) + "/" + name;
}

std::vector<std::int32_t> LinuxProcessTable::listAllPIDs()
{
    std::vector<std::int32_t> pids;
    DIR* directory = ::opendir(root_.c_str());
    if (!directory) return pids;
    while (const dirent* entry = ::readdir(directory))
        if (const auto pid = pidNumber(entry->d_name)) pids.push_back(*pid);
    ::closedir(directory);
    return pids;
}

std::optional<LinuxProcessTable::Stat> LinuxProcessTable::parseStat(std::string_view text)
{
    const size_t open = text.find('(');
    const size_t close = text.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) return std::nullopt;

    // After the name: state(0) ppid(1) ... utime(11) stime(12) ... num_threads(17) itrealvalue(18) starttime(19)
    const auto rest = ProcText::fields(text.substr(close + 1));
    if (rest.size() < 20 || rest[0].size() != 1) return std::nullopt;
    const auto parent = ProcText::unsignedNumber(rest[1]);
    const auto user = ProcText::unsignedNumber(rest[11]);
    const auto system = ProcText::unsignedNumber(rest[12]);
    const auto threads = ProcText::unsignedNumber(rest[17]);
    const auto start = ProcText::unsignedNumber(rest[19]);
    const auto flags = ProcText::unsignedNumber(rest[6]);
    if (!parent || !user || !system || !threads || !start) return std::nullopt;

    Stat stat;
    stat.name = std::string(text.substr(open + 1, close - open - 1));
    stat.state = rest[0][0];
    stat.parentPID = static_cast<std::int32_t>(*parent);
    stat.userTicks = *user;
    stat.systemTicks = *system;
    stat.threadCount = static_cast<std::int32_t>(*threads);
    stat.startTicks = *start;
    stat.flags = flags.value_or(0);
    return stat;
}

std::uint32_t LinuxProcessTable::bsdStatus(char state)
{
    switch (state) {
    case 'R': return 2;
    // Disk sleep and idle kernel threads wait like sleeping ones.
    case 'S': case 'D': case 'I': return 3;
    case 'T': case 't': return 4;
    case 'Z': return 5;
    default: return 0;
    }
}

std::optional<LinuxProcessTable::Stat> LinuxProcessTable::readStat(std::int32_t pid) const
{
    const auto text = ProcText::readFile(file(pid, "stat"));
    if (!text) return std::nullopt;
    return parseStat(*text);
}

std::optional<ProcBSDInfo> LinuxProcessTable::bsdInfo(std::int32_t pid)
{
    const auto stat = readStat(pid);
    const auto status = ProcText::readFile(file(pid, "status"));
    const auto boot = ProcText::readFile(root_ + "/stat");
    if (!stat || !status || !boot) return std::nullopt;

    // Uid: real, effective, saved, file-system; the BSD record's uid is the effective one.
    const auto ids = lineFields(*status, "Uid:");
    const auto bootFields = lineFields(*boot, "btime");
    if (ids.size() < 2 || bootFields.size() != 1) return std::nullopt;
    const std::uint64_t uid = ProcText::unsignedNumber(ids[1]).value_or(UINT64_MAX);
    const std::uint64_t btime = ProcText::unsignedNumber(bootFields[0]).value_or(UINT64_MAX);
    if (uid > UINT32_MAX || btime == UINT64_MAX) return std::nullopt;

    const std::uint64_t hz = clockTicksPerSecond();
    ProcBSDInfo info;
    info.status = bsdStatus(stat->state);
    info.parentPID = stat->parentPID;
    info.uid = static_cast<std::uint32_t>(uid);
    info.name = stat->name;
    info.startSeconds = btime + stat->startTicks / hz;
    info.startMicroseconds = stat->startTicks % hz * 1'000'000 / hz;
    info.startTicks = stat->startTicks;
    return info;
}

std::optional<std::string> LinuxProcessTable::executablePath(std::int32_t pid)
{
    std::vector<char> buffer(4096);
    const ssize_t n = ::readlink(file(pid, "exe").c_str(), buffer.data(), buffer.size());
    if (n <= 0 || static_cast<size_t>(n) >= buffer.size()) return std::nullopt;
    return std::string(buffer.data(), static_cast<size_t>(n));
}

std::optional<std::string> LinuxProcessTable::name(std::int32_t pid)
{
    auto text = ProcText::readFile(file(pid, "comm"));
    if (!text) return std::nullopt;
    if (!text->empty() && text->back() == '\n') text->pop_back();
    return text;
}

std::optional<ProcTaskInfo> LinuxProcessTable::taskInfo(std::int32_t pid)
{
    const auto stat = readStat(pid);
    const auto statm = ProcText::readFile(file(pid, "statm"));
    if (!stat || !statm) return std::nullopt;
    const auto pages = ProcText::fields(*statm);
    if (pages.size() < 2) return std::nullopt;
    const auto resident = ProcText::unsignedNumber(pages[1]);
    if (!resident) return std::nullopt;
    return ProcTaskInfo{*resident * pageSize(), stat->threadCount};
}

std::optional<ProcRusageInfo> LinuxProcessTable::rusage(std::int32_t pid)
{
    const auto stat = readStat(pid);
    const auto status = ProcText::readFile(file(pid, "status"));
    if (!stat || !status) return std::nullopt;
    // The footprint is the private anonymous memory, resident or swapped out;
    // kernel threads and zombies have neither line and own no user memory.
    const auto values = ProcText::keyedNumbers(*status);
    std::uint64_t kilobytes = 0;
    for (const char* key : {"RssAnon", "VmSwap"})
        if (const auto it = values.find(key); it != values.end()) kilobytes += it->second;
    return ProcRusageInfo{stat->userTicks, stat->systemTicks, kilobytes * 1024};
}

std::optional<std::string> LinuxProcessTable::accountName(std::uint32_t uid)
{
    return Accounts::userName(uid);
}

std::optional<std::string> LinuxProcessTable::controlGroup(std::int32_t pid)
{
    const auto text = ProcText::readFile(file(pid, "cgroup"));
    if (!text) return std::nullopt;
    // "0::/path" is the unified hierarchy; without it the last hierarchy listed stands in.
    std::optional<std::string> path;
    for (const std::string_view line : ProcText::lines(*text)) {
        const auto second = line.find(':', line.find(':') + 1);
        if (line.find(':') == std::string_view::npos || second == std::string_view::npos) continue;
        path = std::string(line.substr(second + 1));
        if (line.starts_with("0::")) break;
    }
    return path;
}
