#pragma once

#include <string>
#include <string_view>
#include <vector>

// The folders a scan does not enter: the configured excluded paths, standardized and
// lower-cased once, so that each test of a folder lower-cases only the folder's path. It is
// applied to the subfolders a scan finds and to those a resumed scan takes from the index,
// never to roots or files.
class ScanExclusions {
public:
    ScanExclusions() = default;
    explicit ScanExclusions(const std::vector<std::string>& excludedPaths);

    // True when `path` is an excluded folder or lies inside one; letter case ignored.
    bool excludes(std::string_view path) const;
    bool empty() const { return entries_.empty(); }
    // As excludes() compares them.
    const std::vector<std::string>& entries() const { return entries_; }

private:
    std::vector<std::string> entries_;
};
