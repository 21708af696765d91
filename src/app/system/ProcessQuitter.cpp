#include "app/system/ProcessQuitter.h"

#include "platform/Paths.h"
#include "platform/ProcessIdentity.h"
#include "platform/ProcessSignaller.h"
#include "platform/WindowCloser.h"
#include "scanning/SecurityUtils.h"

#include <unistd.h>

namespace ProcessQuitter {

std::optional<std::string> quit(const ProcessSnapshot& named, bool force, const std::string& procRoot)
{
    const auto current = ProcessIdentity::read(named.pid, procRoot);
    if (!current || current->hasEnded) return ProcessSignaller::endedText;
    if (!named.startTicks || !named.ownerUID) return "Kestrelmoor can't tell whether this is still the same process.";
    const auto executable = named.executablePath
        ? std::optional(ProcessIdentity::withoutDeletedMarker(*named.executablePath))
        : std::nullopt;
    if (current->startTicks != *named.startTicks || current->uid != *named.ownerUID || current->executable != executable)
        return ProcessSignaller::replacedText;

    if (current->isKernelThread) return std::string(SecurityUtils::protectedTitle) + ": core system process.";
    const std::string name = current->executable ? Paths::lastComponent(*current->executable) : named.name;
    const auto verdict = SecurityUtils::evaluateProcess(named.pid, name, current->executable, current->uid, ::getuid(),
                                                        named.parentPID);
    if (verdict.refusal) return verdict.refusal;
    if (!force && WindowCloser::closeWindows(named.pid) > 0) return std::nullopt;
    return ProcessSignaller::signal(*current, force, procRoot);
}

bool canAskToSave(const ProcessSnapshot& process)
{
    return WindowCloser::windowCount(process.pid) > 0;
}

std::string confirmationMessage(bool force, bool canAskToSave)
{
    if (force) return "The process stops immediately. Unsaved work will be lost.";
    if (canAskToSave) return "The app may ask you to save changes first.";
    return "The app is asked to stop and may not offer to save. Unsaved work may be lost.";
}

FailureList failureReport(const std::vector<std::pair<ProcessSnapshot, std::string>>& failures,
                          std::size_t requested)
{
    if (failures.empty()) return {};
    // One process asked for: its reason alone says it.
    if (requested == 1 && failures.size() == 1) return {.message = failures.front().second, .details = {}};
    std::vector<std::string> lines;
    for (const auto& [process, reason] : failures)
        lines.push_back("\u201c" + process.name + "\u201d (PID " + std::to_string(process.pid) + "): " + reason);
    return FailureList::of(lines, std::to_string(lines.size()) + " of " + std::to_string(requested) +
                                      " processes could not be quit.");
}

} // namespace ProcessQuitter
