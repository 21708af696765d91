#pragma once

#include <string>
#include <vector>

class FileSystem;

// What one scan covers.
struct ScanConfiguration {
    std::vector<std::string> roots;          // absolute paths as the caller built them
    std::vector<std::string> excludedPaths;  // folders whose subtrees are not read
    int maxConcurrency = 1;                  // parallel folder readers asked for
    std::string homeDirectory;

    // Always scanned, in this order; the folder of all home folders stands where
    // the user folders are, followed by the user's home when it lies elsewhere.
    static std::vector<std::string> userRoots();
    // Scanned when the settings include the system folders.
    static std::vector<std::string> systemRoots();

    // The roots resolved through symbolic links, without duplicates and without
    // roots that lie inside another root. Roots that cannot be resolved are left
    // out. Two roots that differ only in letter case are one root only when they
    // are the same folder (a case-insensitive file system); otherwise both stay.
    std::vector<std::string> normalizedRoots() const;
    std::vector<std::string> normalizedRoots(const FileSystem& fileSystem) const;

    friend bool operator==(const ScanConfiguration&, const ScanConfiguration&) = default;
};
