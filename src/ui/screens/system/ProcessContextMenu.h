#pragma once

#include "index/ProcessRecords.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

class DesktopServices;
class ProcessWindows;
class QMenu;

// The menu of one process (bring to front, reveal, copy path, quit, force quit), or
// of several selected together (reveal, copy paths, quit and force quit those allowed).
namespace ProcessContextMenu {

struct Actions {
    std::function<void(const std::vector<ProcessSnapshot>&, bool force)> quit;
    std::function<void(const ProcessSnapshot&)> bringToFront;
};

// Why Bring to Front can't raise a window of the process in this session, or nothing.
std::optional<std::string> frontRefusal(const ProcessSnapshot& process, ProcessWindows& windows);

// Why the process may not be quit, or nothing.
std::optional<std::string> refusal(const ProcessSnapshot& process);

void fill(QMenu& menu, const std::vector<ProcessSnapshot>& processes, DesktopServices& desktop,
          ProcessWindows& windows, const Actions& actions);

} // namespace ProcessContextMenu
