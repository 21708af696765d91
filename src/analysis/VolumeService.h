#pragma once

#include "analysis/VolumeInfo.h"

#include <optional>
#include <string>
#include <vector>

class VolumePlatform;

// Mounted volumes and their capacities. Stateless; any thread.
namespace VolumeService {

// The volume holding `path`; absent when it cannot be read or reports no capacity. Its
// capacity leaves out the blocks kept for the administrator, so that capacity minus
// available is what df calls used.
std::optional<VolumeInfo> info(const std::string& path);
std::optional<VolumeInfo> info(const std::string& path, const VolumePlatform& platform);

// The visible volumes with data, in mount order: kernel and memory file systems, bind
// mounts and second mounts of a device are left out; btrfs subvolumes are listed each.
std::vector<VolumeInfo> mountedVolumes();
std::vector<VolumeInfo> mountedVolumes(const VolumePlatform& platform);

// The mounted volumes under the places where external media appear, and other volumes
// mounted directly in "/", never the root. Without `includeNetwork`, network and FUSE
// mounts are left out before anything asks them for their capacity.
std::vector<VolumeInfo> externalVolumes(bool includeNetwork);
std::vector<VolumeInfo> externalVolumes(bool includeNetwork, const VolumePlatform& platform);

} // namespace VolumeService
