#include "platform/ProcessIdentity.h"

#include "platform/LinuxProcessTable.h"
#include "platform/ProcText.h"

std::optional<ProcessIdentity> ProcessIdentity::read(std::int32_t pid, const std::string& procRoot)
{
    const std::string folder = procRoot + "/" + std::to_string(pid);
    const auto stat = ProcText::readFile(folder + "/stat");
    const auto status = ProcText::readFile(folder + "/status");
    if (!stat || !status) return std::nullopt;
    const auto parsed = LinuxProcessTable::parseStat(*stat);
    if (!parsed) return std::nullopt;

    std::optional<std::uint64_t> uid;
    for (const std::string_view line : ProcText::lines(*status))
        if (line.starts_with("Uid:")) {
            const auto ids = ProcText::fields(line.substr(4));
            if (ids.size() >= 2) uid = ProcText::unsignedNumber(ids[1]);
        }
    if (!uid || *uid > UINT32_MAX) return std::nullopt;

    ProcessIdentity identity;
    identity.pid = pid;
    identity.startTicks = parsed->startTicks;
    identity.uid = static_cast<std::uint32_t>(*uid);
    identity.isKernelThread = (parsed->flags & LinuxProcessTable::kernelThreadFlag) != 0;
    identity.hasEnded = parsed->state == 'Z' || parsed->state == 'X';
    if (auto path = LinuxProcessTable(procRoot).executablePath(pid))
        identity.executable = withoutDeletedMarker(std::move(*path));
    return identity;
}

std::string ProcessIdentity::withoutDeletedMarker(std::string path)
{
    constexpr std::string_view marker = " (deleted)";
    if (path.size() > marker.size() && path.ends_with(marker)) path.resize(path.size() - marker.size());
    return path;
}
