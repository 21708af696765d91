#pragma once

#include "index/ApplicationRecords.h"
#include "index/ProcessRecords.h"

#include <QIcon>

#include <vector>

// The icon of a process: that of the installed application it belongs to, or the
// terminal symbol for daemons and command-line tools.
namespace ProcessIcon {

QIcon of(const ProcessSnapshot& process, const std::vector<ApplicationInfo>& apps);

} // namespace ProcessIcon
