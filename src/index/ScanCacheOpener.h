#pragma once

#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class StorageDatabase;

// Opens the program's scan cache. A file at its place that cannot be read as a cache is set
// aside beside it under a dated name, never deleted, and a new cache is started; so is one
// that opens but is damaged: cut short, with a malformed page (checked on a small cache), or
// on which this run met SQLite's word of damage.
namespace ScanCacheOpener {

// The largest cache whose every page is checked at opening.
inline constexpr long long quickCheckLimit = 16ll << 20;

struct Opened {
    std::shared_ptr<StorageDatabase> database;   // null when no cache could be had
    // What the user is told once: why there is no cache, or what was done to have one.
    std::optional<std::string> problem;
};

// `folder` returns the cache's folder, creating it when missing, and may throw.
Opened open(const std::function<std::string()>& folder, std::time_t now);

// Where the unreadable cache at `path` is put: the same folder, a dated name.
std::string asidePath(const std::string& path, std::time_t now);

} // namespace ScanCacheOpener
