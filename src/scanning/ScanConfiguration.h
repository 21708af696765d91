#pragma once

#include <cstddef>
#include <string>
#include <vector>

class FileSystem;
struct MountEntry;

// What one scan covers.
struct ScanConfiguration {
    std::vector<std::string> roots{};          // absolute paths as the caller built them
    std::vector<std::string> excludedPaths{};  // folders whose subtrees are not read
    int maxConcurrency = 1;                  // parallel folder readers asked for
    std::string homeDirectory{};
    // Files of a large folder that go to the cache at a time while it is listed, so that a
    // folder of a million files is never held whole.
    static constexpr std::size_t largeFolderPart = 8192;
    std::size_t filesPerPart = largeFolderPart;

    // Always scanned, in this order; the folder of all home folders stands where
    // the user folders are, followed by the user's home when it lies elsewhere.
    static std::vector<std::string> userRoots();
    // Scanned when the settings include the system folders: the fixed system folders,
    // then every other folder directly in "/" (in name order) except the mount points of
    // kernel and memory file systems and of other volumes, which the external and network
    // volume settings govern. A system place, or a subvolume of the root's own file system,
    // counts as part of the system even when mounted on its own.
    static std::vector<std::string> systemRoots();
    // The same from a mount table and the names of the folders in "/".
    static std::vector<std::string> systemRoots(const std::vector<MountEntry>& mounts,
                                                const std::vector<std::string>& topLevelFolders);

    // The roots resolved through symbolic links, without duplicates and without
    // roots that lie inside another root on its device (a root on another volume below
    // a root stays, since the walk does not cross onto it). Roots that cannot be resolved
    // are left out. Two roots that differ only in letter case are one root only when they
    // are the same folder (a case-insensitive file system); otherwise both stay.
    std::vector<std::string> normalizedRoots() const;
    std::vector<std::string> normalizedRoots(const FileSystem& fileSystem) const;

    friend bool operator==(const ScanConfiguration&, const ScanConfiguration&) = default;
};
