#include "app/system/ProcessMonitor.h"

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
    return table_->describe(pid, {}).executablePath;
}

std::optional<ProcessSnapshot> ProcessMonitor::basicInfo(std::int32_t pid) const
{
    return snapshot(pid, table_->describe(pid, table_->sampleContext()));
}

std::optional<ProcessSnapshot> ProcessMonitor::snapshot(std::int32_t pid, const ProcFacts& facts) const
{
    const auto& bsd = facts.bsd;
    ProcessSnapshot snapshot;
    snapshot.pid = pid;
    if (facts.executablePath && !facts.executablePath->empty()) snapshot.executablePath = facts.executablePath;

    if (snapshot.executablePath) snapshot.name = Paths::lastComponent(*snapshot.executablePath);
    if (snapshot.name.empty() && facts.name) snapshot.name = *facts.name;
    if (snapshot.name.empty()) {
        if (!bsd) return std::nullopt;
        snapshot.name = bsd->name;
        if (snapshot.name.empty()) snapshot.name = "PID " + std::to_string(pid);
    }

    if (facts.task) {
        snapshot.residentBytes = capped(facts.task->residentSize);
        snapshot.threadCount = facts.task->threadCount;
    }
    if (bsd) {
        snapshot.parentPID = bsd->parentPID;
        snapshot.ownerUID = bsd->uid;
        snapshot.state = processStateFromBSDStatus(bsd->status);
        snapshot.startTime = static_cast<double>(bsd->startSeconds) + static_cast<double>(bsd->startMicroseconds) / 1e6;
        snapshot.startTicks = bsd->startTicks;
    }
    if (facts.controlGroup) snapshot.sessionAppID = SessionScope::applicationID(*facts.controlGroup);
    return snapshot;
}

std::string ProcessMonitor::ownerName(std::uint32_t uid)
{
    if (const auto it = userNames_.find(uid); it != userNames_.end()) return it->second;
    std::string name = table_->accountName(uid).value_or(std::to_string(uid));
    if (name.empty()) name = std::to_string(uid);
    return userNames_.try_emplace(uid, std::move(name)).first->second;
}

std::vector<ProcessSnapshot> ProcessMonitor::sample()
{
    std::lock_guard lock(sampling_);
    const std::uint64_t now = uptime_();
    const ProcSampleContext context = table_->sampleContext();
    std::map<std::int32_t, CPUReading> next;
    std::vector<ProcessSnapshot> result;

    for (const std::int32_t pid : allPIDs()) {
        if (pid <= 0) continue;
        const ProcFacts facts = table_->describe(pid, context);
        auto process = snapshot(pid, facts);
        if (!process) continue;
        if (process->ownerUID) process->ownerName = ownerName(*process->ownerUID);
        if (facts.usage) {
            process->memoryBytes = capped(facts.usage->physFootprint);
            CPUReading reading{MachTime::nanoseconds(facts.usage->userTime + facts.usage->systemTime, timebase_), now, {}};
            const auto before = previousCPU_.find(pid);
            if (before != previousCPU_.end() && reading.time >= before->second.time) {
                const CPUReading& base = before->second;
                if (now >= base.at && now - base.at < minimumInterval_) {
                    // Too soon to tell a share: the baseline and its figure stand.
                    reading = base;
                } else if (now > base.at) {
                    reading.percent = static_cast<double>(reading.time - base.time)
                                      / static_cast<double>(now - base.at) * 100.0;
                }
            }
            // A reused pid (less CPU than before) or a clock that did not advance gives no figure.
            process->cpuPercent = reading.percent;
            next[pid] = reading;
        }
        result.push_back(std::move(*process));
    }
    previousCPU_ = std::move(next);
    return result;
}

void ProcessMonitor::setMinimumInterval(std::uint64_t nanoseconds)
{
    std::lock_guard lock(sampling_);
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
