#include "app/ProcessMonitor.h"

#include "platform/LinuxProcessTable.h"
#include "platform/Paths.h"
#include "platform/SessionScope.h"

#include <chrono>
#include <limits>

namespace {

std::int64_t capped(std::uint64_t bytes)
{
    constexpr auto largest = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    return static_cast<std::int64_t>(bytes > largest ? largest : bytes);
}

std::uint64_t steadyNanoseconds()
{
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

} // namespace

ProcessMonitor::ProcessMonitor()
    : ProcessMonitor(std::make_shared<LinuxProcessTable>(), steadyNanoseconds, MachTime::timebase())
{
}

ProcessMonitor::ProcessMonitor(std::shared_ptr<ProcessTable> table, UptimeSource uptime, MachTime::Timebase timebase)
    : table_(std::move(table)), uptime_(std::move(uptime)), timebase_(timebase)
{
}

std::vector<std::int32_t> ProcessMonitor::allPIDs() const
{
    return table_->listAllPIDs();
}

std::optional<std::string> ProcessMonitor::executablePath(std::int32_t pid) const
{
    auto path = table_->executablePath(pid);
    if (path && path->empty()) return std::nullopt;
    return path;
}

std::optional<ProcessSnapshot> ProcessMonitor::basicInfo(std::int32_t pid) const
{
    const auto bsd = table_->bsdInfo(pid);
    ProcessSnapshot snapshot;
    snapshot.pid = pid;
    snapshot.executablePath = executablePath(pid);

    if (snapshot.executablePath) snapshot.name = Paths::lastComponent(*snapshot.executablePath);
    if (snapshot.name.empty())
        if (const auto name = table_->name(pid)) snapshot.name = *name;
    if (snapshot.name.empty()) {
        if (!bsd) return std::nullopt;
        snapshot.name = bsd->name;
        if (snapshot.name.empty()) snapshot.name = "PID " + std::to_string(pid);
    }

    if (const auto task = table_->taskInfo(pid)) {
        snapshot.residentBytes = capped(task->residentSize);
        snapshot.threadCount = task->threadCount;
    }
    if (bsd) {
        snapshot.parentPID = bsd->parentPID;
        snapshot.ownerUID = bsd->uid;
        snapshot.state = processStateFromBSDStatus(bsd->status);
        snapshot.startTime = static_cast<double>(bsd->startSeconds) + static_cast<double>(bsd->startMicroseconds) / 1e6;
        snapshot.startTicks = bsd->startTicks;
    }
    if (const auto group = table_->controlGroup(pid)) snapshot.sessionAppID = SessionScope::applicationID(*group);
    return snapshot;
}

std::string ProcessMonitor::ownerName(std::uint32_t uid)
{
    {
        std::lock_guard lock(mutex_);
        if (const auto it = userNames_.find(uid); it != userNames_.end()) return it->second;
    }
    // The account lookup may ask a directory service: done without the lock.
    std::string name = table_->accountName(uid).value_or(std::to_string(uid));
    if (name.empty()) name = std::to_string(uid);
    std::lock_guard lock(mutex_);
    return userNames_.try_emplace(uid, std::move(name)).first->second;
}

std::vector<ProcessSnapshot> ProcessMonitor::sample()
{
    const std::uint64_t now = uptime_();
    std::map<std::int32_t, CPUReading> next;
    std::vector<ProcessSnapshot> result;

    for (const std::int32_t pid : allPIDs()) {
        if (pid <= 0) continue;
        auto snapshot = basicInfo(pid);
        if (!snapshot) continue;
        if (snapshot->ownerUID) snapshot->ownerName = ownerName(*snapshot->ownerUID);
        if (const auto usage = table_->rusage(pid)) {
            snapshot->memoryBytes = capped(usage->physFootprint);
            next[pid] = {MachTime::nanoseconds(usage->userTime + usage->systemTime, timebase_), now};
        }
        result.push_back(std::move(*snapshot));
    }

    std::lock_guard lock(mutex_);
    for (auto& process : result) {
        const auto reading = next.find(process.pid);
        const auto before = previousCPU_.find(process.pid);
        if (reading == next.end() || before == previousCPU_.end()) continue;
        if (now >= before->second.at && now - before->second.at < minimumInterval_
            && reading->second.time >= before->second.time) {
            reading->second = before->second;
            continue;
        }
        // A reused pid (less CPU than before) or a clock that did not advance gives no figure.
        if (now > before->second.at && reading->second.time >= before->second.time)
            process.cpuPercent = static_cast<double>(reading->second.time - before->second.time)
                                 / static_cast<double>(now - before->second.at) * 100.0;
    }
    previousCPU_ = std::move(next);
    return result;
}

void ProcessMonitor::setMinimumInterval(std::uint64_t nanoseconds)
{
    std::lock_guard lock(mutex_);
    minimumInterval_ = nanoseconds;
}

ApplicationUsage ProcessMonitor::usage(std::string_view appPath, const std::vector<ProcessSnapshot>& processes)
{
    std::string prefix(appPath);
    if (!prefix.ends_with('/')) prefix += '/';
    return usage(processes, [&](const ProcessSnapshot& process) {
        return process.executablePath && process.executablePath->starts_with(prefix);
    });
}

ApplicationUsage ProcessMonitor::usage(const std::vector<ProcessSnapshot>& processes,
                                       const std::function<bool(const ProcessSnapshot&)>& belongs)
{
    ApplicationUsage usage = ApplicationUsage::notRunning;
    for (const auto& process : processes) {
        if (!belongs(process)) continue;
        usage.processCount += 1;
        usage.pids.push_back(process.pid);
        if (process.memoryBytes)
            usage.memoryBytes += *process.memoryBytes;
        else
            usage.restrictedProcessCount += 1;
        usage.cpuPercent += process.cpuPercent.value_or(0.0);
    }
    return usage;
}
