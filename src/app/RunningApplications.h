#pragma once

#include "index/ApplicationRecords.h"
#include "index/ProcessRecords.h"

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

// Bring to Front goes through the application's desktop entry.
bool canActivate(const ApplicationInfo& app);
// Launches the entry, which raises a running single-instance application; the
// desktop's message when that fails.
std::optional<std::string> activate(const ApplicationInfo& app);

} // namespace RunningApplications
