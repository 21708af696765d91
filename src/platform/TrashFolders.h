#pragma once

#include "platform/MountTable.h"

#include <string>
#include <sys/types.h>
#include <vector>

// Where the user's Trash lives, as the freedesktop.org Trash names it. Every part of the
// program that moves to, measures or recognises the Trash asks here.
namespace TrashFolders {

// The home Trash: $XDG_DATA_HOME/Trash when that variable holds an absolute path, else
// `homeDirectory`/.local/share/Trash.
std::string home(const std::string& homeDirectory);

// The Trash folders user `uid` may have at the top of the volume mounted at `mountPoint`:
// ".Trash/<uid>" (inside a shared, administrator-made .Trash) and ".Trash-<uid>".
std::vector<std::string> onVolume(const std::string& mountPoint, uid_t uid);

// The home Trash, then the current user's Trash folders that exist on the other local
// volumes in `mounts`. Mounts that may not answer are never examined.
std::vector<std::string> all(const std::string& homeDirectory, const std::vector<MountEntry>& mounts);
std::vector<std::string> all(const std::string& homeDirectory);

// Whether `path` is a Trash folder at the top of a volume in `mounts` (".Trash", or
// ".Trash-<uid>" of any user) or lies inside one.
bool isWithinVolumeTrash(const std::string& path, const std::vector<MountEntry>& mounts);

} // namespace TrashFolders
