#pragma once

#include "platform/MountTable.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

// The folders of "/" that make up a Linux system. The path-safety rules refuse them and
// the scan counts them as system folders, even when one is a file system of its own.
namespace LinuxSystemPlaces {

// The folder and everything inside it belong to the operating system.
std::span<const std::string_view> trees();

// The folder must stay; what people keep inside it is theirs.
std::span<const std::string_view> folders();

// `path` (as written, no trailing "/") is one of the places above.
bool isPlace(std::string_view path);

// The names of the real folders directly inside `root`, sorted; symbolic links are left
// out. Only entries whose type the listing does not give are examined, and never one
// that `mounts` names as a mount point, which may not answer.
std::vector<std::string> topLevelFolders(const std::vector<MountEntry>& mounts, const std::string& root = "/");

} // namespace LinuxSystemPlaces
