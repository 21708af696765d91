#include "platform/LinuxProcessTable.h"

#include "platform/Accounts.h"
#include "platform/ProcText.h"
#include "platform/ProcessIdentity.h"

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

std::optional<std::uint32_t> effectiveUID(std::string_view status)
{
    // Uid: real, effective, saved, file-system; the BSD record's uid is the effective one.
    const auto ids = lineFields(status, "Uid:");
    if (ids.size() < 2) return std::nullopt;
    const auto uid = ProcText::unsignedNumber(ids[1]);
    if (!uid || *uid > UINT32_MAX) return std::nullopt;
    return static_cast<std::uint32_t>(*uid);
}

} // namespace

LinuxProcessTable::LinuxProcessTable(std::string procRoot, FileReader read)
    : root_(std::move(procRoot)), read_(read ? std::move(read) : FileReader(&ProcText::readFile))
{
}

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

std::optional<std::string> LinuxProcessTable::parseControlGroup(std::string_view text)
{
    std::optional<std::string> path;
    for (const std::string_view line : ProcText::lines(text)) {
        const auto first = line.find(':');
        if (first == std::string_view::npos) continue;
        const auto second = line.find(':', first + 1);
        if (second == std::string_view::npos) continue;
        path = std::string(line.substr(second + 1));
        if (line.starts_with("0::")) break;
    }
    return path;
}

ProcSampleContext LinuxProcessTable::sampleContext()
{
    ProcSampleContext context;
    if (const auto text = read_(root_ + "/stat")) {
        const auto fields = lineFields(*text, "btime");
        if (fields.size() == 1) context.bootSeconds = ProcText::unsignedNumber(fields[0]);
    }
    return context;
}

ProcFacts LinuxProcessTable::describe(std::int32_t pid, const ProcSampleContext& context)
{
    ProcFacts facts;
    const auto statText = read_(file(pid, "stat"));
    const auto stat = statText ? parseStat(*statText) : std::nullopt;
    const auto status = read_(file(pid, "status"));
    facts.executablePath = executablePath(pid);
    if (const auto group = read_(file(pid, "cgroup"))) facts.controlGroup = parseControlGroup(*group);

    if (stat) {
        facts.name = stat->name;
    } else if (!facts.executablePath) {
        // stat and comm carry the same name: comm is asked only when stat could not be read.
        if (auto comm = read_(file(pid, "comm"))) {
            if (!comm->empty() && comm->back() == '\n') comm->pop_back();
            facts.name = std::move(*comm);
        }
    }
    if (!stat || !status) return facts;

    const auto values = ProcText::keyedNumbers(*status);
    const auto kilobytes = [&](const char* key) -> std::uint64_t {
        const auto it = values.find(key);
        return it == values.end() ? 0 : it->second;
    };
    const auto uid = effectiveUID(*status);
    if (uid && context.bootSeconds) {
        const std::uint64_t hz = clockTicksPerSecond();
        ProcBSDInfo info;
        info.status = bsdStatus(stat->state);
        info.parentPID = stat->parentPID;
        info.uid = *uid;
        info.name = stat->name;
        info.startSeconds = *context.bootSeconds + stat->startTicks / hz;
        info.startMicroseconds = stat->startTicks % hz * 1'000'000 / hz;
        info.startTicks = stat->startTicks;
        facts.bsd = std::move(info);
    }
    // Kernel threads and zombies have no memory lines: they own no user memory.
    facts.task = ProcTaskInfo{kilobytes("VmRSS") * 1024, stat->threadCount};
    // The footprint is the private anonymous memory, resident or swapped out.
    facts.usage = ProcRusageInfo{stat->userTicks, stat->systemTicks, (kilobytes("RssAnon") + kilobytes("VmSwap")) * 1024};
    return facts;
}

std::optional<std::string> LinuxProcessTable::executablePath(std::int32_t pid) const
{
    std::vector<char> buffer(4096);
    const ssize_t n = ::readlink(file(pid, "exe").c_str(), buffer.data(), buffer.size());
    if (n <= 0 || static_cast<size_t>(n) >= buffer.size()) return std::nullopt;
    // An executable replaced by a package upgrade reads "<path> (deleted)".
    return ProcessIdentity::withoutDeletedMarker(std::string(buffer.data(), static_cast<size_t>(n)));
}

std::optional<std::string> LinuxProcessTable::accountName(std::uint32_t uid)
{
    return Accounts::userName(uid);
}
