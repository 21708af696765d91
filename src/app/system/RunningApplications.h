#pragma once

#include "index/ApplicationRecords.h"
#include "index/ProcessRecords.h"
#include "platform/ProcessWindows.h"

#include <optional>
#include <string>
#include <vector>

// Which processes belong to which installed application: a process whose
// executable lies in the application's folder or is its executable, or that runs
// in the application's session scope.
namespace RunningApplications {

bool belongsTo(const ProcessSnapshot& process, const ApplicationInfo& app);

// The first application of `apps` the process belongs to.
const ApplicationInfo* applicationOf(const ProcessSnapshot& process, const std::vector<ApplicationInfo>& apps);

// The processes of one application, summed as ProcessMonitor::usage sums a bundle's.
ApplicationUsage usage(const ApplicationInfo& app, const std::vector<ProcessSnapshot>& processes);

// Open goes through the application's desktop entry.
bool canLaunch(const ApplicationInfo& app);
// Launches the entry, which raises a running single-instance application; the
// desktop's message when that fails.
std::optional<std::string> launch(const ApplicationInfo& app);

inline constexpr const char* noWindowText = "This process has no open window.";
inline constexpr const char* frontFailedText = "The window manager didn't take the request.";

// Why Bring to Front can't raise a window of the process, or nothing.
std::optional<std::string> frontRefusal(const ProcessSnapshot& process, ProcessWindows& windows);
// Raises the process's first window while the process is still the one sampled;
// it never starts a program. The reason when nothing was raised.
std::optional<std::string> bringToFront(const ProcessSnapshot& process, ProcessWindows& windows,
                                        const std::string& procRoot = "/proc");

} // namespace RunningApplications
