#include "index/ProcessRecords.h"

#include "index/Hashing.h"
#include "index/RawValueTable.h"


namespace {

constexpr RawValueTable<ProcessState, 6> stateTexts{.entries = {{
    {ProcessState::running, "Running"},
    {ProcessState::sleeping, "Sleeping"},
    {ProcessState::stopped, "Stopped"},
    {ProcessState::zombie, "Zombie"},
    {ProcessState::idle, "Starting"},
    {ProcessState::unknown, "Unknown"},
}}};

} // namespace

std::string_view rawValue(ProcessState state)
{
    return stateTexts.text(state);
}

std::optional<ProcessState> processStateFromRawValue(std::string_view text)
{
    return stateTexts.value(text);
}

ProcessState processStateFromBSDStatus(std::uint32_t status)
{
    switch (status) {
    case 1: return ProcessState::idle;
    case 2: return ProcessState::running;
    case 3: return ProcessState::sleeping;
    case 4: return ProcessState::stopped;
    case 5: return ProcessState::zombie;
    default: return ProcessState::unknown;
    }
}

std::size_t std::hash<ProcessSnapshot>::operator()(const ProcessSnapshot& process) const noexcept
{
    return Hashing::of(process.pid, process.parentPID, process.name, process.executablePath, process.ownerUID,
                       process.ownerName, process.cpuPercent, process.memoryBytes, process.residentBytes,
                       process.threadCount, rawValue(process.state), process.startTime, process.startTicks,
                       process.sessionAppID);
}
