#pragma once

#include <cstdint>
#include <string>

class WriteBatch;

// Keeping the cache file itself in shape: its size on disk, and clearing it.
namespace CacheMaintenance {

// Bytes of the cache file at `path` and its log companions; 0 for any that cannot be read.
std::int64_t fileSize(const std::string& path) noexcept;

// Empties every table but the schema version, in one transaction, with no batch open: on
// failure nothing is removed and the error is thrown. After the commit the file is compacted
// and its log folded back, so the disk space really returns; a failed compaction leaves the
// cleared index in place unreported.
void clear(WriteBatch& batch);

} // namespace CacheMaintenance
