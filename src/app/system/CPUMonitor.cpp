#include "app/system/CPUMonitor.h"

#include "app/system/MachHost.h"
#include "app/system/Sysctl.h"

#include <algorithm>

namespace {

double secondsSince1970()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::optional<int> widened(std::optional<std::int32_t> value)
{
    if (!value) return std::nullopt;
    return static_cast<int>(*value);
}

} // namespace

CPUMonitor::CPUMonitor() : CPUMonitor(MachHost::port(), Sysctl::defaultSource()) {}

CPUMonitor::CPUMonitor(std::shared_ptr<HostStatistics> host, std::shared_ptr<SysctlSource> sysctl, Clock clock)
    : host_(std::move(host)), sysctl_(std::move(sysctl)),
      clock_(clock ? std::move(clock) : Clock([] { return std::chrono::steady_clock::now(); }))
{
}

void CPUMonitor::setMinimumInterval(std::chrono::steady_clock::duration interval)
{
    std::lock_guard lock(mutex_);
    minimumInterval_ = interval;
}

std::optional<std::vector<CoreTicks>> CPUMonitor::readTicks() const
{
    const auto counters = host_->processorLoad();
    if (!counters) return std::nullopt;
    std::vector<CoreTicks> ticks;
    ticks.reserve(counters->size() / 4);
    for (size_t i = 0; i + 4 <= counters->size(); i += 4)
        ticks.push_back({(*counters)[i + HostStatistics::userState], (*counters)[i + HostStatistics::systemState],
                         (*counters)[i + HostStatistics::idleState], (*counters)[i + HostStatistics::niceState]});
    return ticks;
}

std::optional<CPUSnapshot> CPUMonitor::sample()
{
    auto current = readTicks();
    const auto takenAt = clock_();
    if (!current) return std::nullopt;

    std::vector<CoreTicks> previous;
    {
        std::lock_guard lock(mutex_);
        // A reading overtaken by a later one of an overlapping pass would look
        // like counters going backwards; keep the later baseline instead.
        if (previous_ && takenAt < previousTakenAt_) return std::nullopt;
        const bool comparable = previous_ && previous_->size() == current->size();
        if (comparable && takenAt - previousTakenAt_ < minimumInterval_) return std::nullopt;
        if (comparable) previous = std::move(*previous_);
        previous_ = *current;
        previousTakenAt_ = takenAt;
        if (!comparable) return std::nullopt;
    }
    return snapshot(previous, *current, secondsSince1970());
}

CPUSnapshot CPUMonitor::snapshot(const std::vector<CoreTicks>& previous, const std::vector<CoreTicks>& current,
                                 double date) const
{
    CPUSnapshot result;
    std::uint64_t sumUser = 0, sumSystem = 0, sumIdle = 0, sumNice = 0;
    const size_t cores = std::min(previous.size(), current.size());
    for (size_t i = 0; i < cores; ++i) {
        const CoreTicks& before = previous[i];
        const CoreTicks& now = current[i];
        const bool valid = now.user >= before.user && now.system >= before.system && now.idle >= before.idle
                           && now.nice >= before.nice;
        if (!valid) {
            result.perCore.push_back(0);
            continue;
        }
        const std::uint64_t user = now.user - before.user;
        const std::uint64_t system = now.system - before.system;
        const std::uint64_t idle = now.idle - before.idle;
        const std::uint64_t nice = now.nice - before.nice;
        const std::uint64_t total = user + system + idle + nice;
        result.perCore.push_back(total == 0 ? 0 : static_cast<double>(user + system + nice) / static_cast<double>(total));
        sumUser += user;
        sumSystem += system;
        sumIdle += idle;
        sumNice += nice;
    }
    const std::uint64_t total = sumUser + sumSystem + sumIdle + sumNice;
    if (total == 0) {
        result.idle = 1;
    } else {
        const double all = static_cast<double>(total);
        result.user = static_cast<double>(sumUser) / all;
        result.system = static_cast<double>(sumSystem) / all;
        result.idle = static_cast<double>(sumIdle) / all;
        result.nice = static_cast<double>(sumNice) / all;
    }

    double load[3] = {0, 0, 0};
    const int count = host_->loadAverage(load, 3);
    if (count > 0) result.loadAverage.assign(load, load + std::min(count, 3));

    result.logicalCores = host_->activeProcessorCount();
    result.physicalCores = widened(Sysctl::int32("hw.physicalcpu", *sysctl_));
    result.performanceCores = widened(Sysctl::int32("hw.perflevel0.physicalcpu", *sysctl_));
    result.efficiencyCores = widened(Sysctl::int32("hw.perflevel1.physicalcpu", *sysctl_));
    result.brand = Sysctl::string("machdep.cpu.brand_string", *sysctl_);
    result.date = date;
    return result;
}
