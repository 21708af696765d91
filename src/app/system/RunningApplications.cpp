#include "app/system/RunningApplications.h"

#include "app/system/DesktopApplicationScanner.h"
#include "app/system/ProcessMonitor.h"
#include "platform/Paths.h"
#include "platform/ProcessIdentity.h"
#include "platform/ProcessSignaller.h"
#include "platform/gio/DesktopEntryReader.h"

namespace RunningApplications {

bool belongsTo(const ProcessSnapshot& process, const ApplicationInfo& app)
{
    if (process.executablePath) {
        const std::string executable = ProcessIdentity::withoutDeletedMarker(*process.executablePath);
        // A desktop entry is a file: only an application folder holds executables.
        if (app.path != app.desktopEntryPath && Paths::isWithin(executable, app.path) && executable != app.path)
            return true;
        if (app.executablePath && executable == *app.executablePath) return true;
    }
    if (process.sessionAppID) {
        const std::string& id = *process.sessionAppID;
        if (app.bundleIdentifier && id == *app.bundleIdentifier) return true;
        if (app.desktopEntryID && id == DesktopApplicationScanner::applicationID(*app.desktopEntryID)) return true;
        if (app.packageName && app.source != InstallSource::debian && id == *app.packageName) return true;
    }
    return false;
}

const ApplicationInfo* applicationOf(const ProcessSnapshot& process, const std::vector<ApplicationInfo>& apps)
{
    for (const auto& app : apps)
        if (belongsTo(process, app)) return &app;
    return nullptr;
}

ApplicationUsage usage(const ApplicationInfo& app, const std::vector<ProcessSnapshot>& processes)
{
    return ProcessMonitor::usage(processes, [&](const ProcessSnapshot& process) { return belongsTo(process, app); });
}

bool canLaunch(const ApplicationInfo& app)
{
    return app.desktopEntryID.has_value();
}

std::optional<std::string> launch(const ApplicationInfo& app)
{
    if (!app.desktopEntryID) return "This application has no desktop entry to start it from.";
    return DesktopEntryReader::launch(*app.desktopEntryID);
}

std::optional<std::string> frontRefusal(const ProcessSnapshot& process, ProcessWindows& windows)
{
    if (auto refusal = windows.activationRefusal()) return refusal;
    if (windows.windowsOf(process.pid).empty()) return noWindowText;
    return std::nullopt;
}

std::optional<std::string> bringToFront(const ProcessSnapshot& process, ProcessWindows& windows,
                                        const std::string& procRoot)
{
    // A pid taken over by another program may own a window too; that one is not meant.
    const auto current = ProcessIdentity::read(process.pid, procRoot);
    if (!current || current->hasEnded) return ProcessSignaller::endedText;
    if (process.startTicks && current->startTicks != *process.startTicks) return ProcessSignaller::replacedText;
    if (auto refusal = windows.activationRefusal()) return refusal;
    const auto owned = windows.windowsOf(process.pid);
    if (owned.empty()) return noWindowText;
    if (!windows.activate(owned.front())) return frontFailedText;
    return std::nullopt;
}

} // namespace RunningApplications
