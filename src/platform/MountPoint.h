#pragma once

#include "platform/MountTable.h"

#include <string>
#include <vector>

namespace MountPoint {

// The mount point of the file system that holds `path`: the deepest mount that contains it,
// "/" when the table names none.
std::string of(const std::string& path, const std::vector<MountEntry>& mounts);
std::string of(const std::string& path);

} // namespace MountPoint
