#pragma once

#include "index/ApplicationRecords.h"
#include "index/ProcessRecords.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

class DesktopServices;
class QMenu;

// The menu of one process (bring to front, reveal, copy path, quit, force quit), or
// of several selected together (reveal, copy paths, quit and force quit those allowed).
namespace ProcessContextMenu {

struct Actions {
    std::function<void(const std::vector<ProcessSnapshot>&, bool force)> quit;
    // A failed Bring to Front, with the desktop's message.
    std::function<void(const std::string&)> failed;
};

// The installed application that can bring the process to the front, if any.
const ApplicationInfo* runningApplication(const ProcessSnapshot& process, const std::vector<ApplicationInfo>& apps);

// Why the process may not be quit, or nothing.
std::optional<std::string> refusal(const ProcessSnapshot& process);

void fill(QMenu& menu, const std::vector<ProcessSnapshot>& processes, const std::vector<ApplicationInfo>& apps,
          DesktopServices& desktop, const Actions& actions);

} // namespace ProcessContextMenu
