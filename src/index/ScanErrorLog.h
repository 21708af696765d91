#pragma once

#include "index/ScanRecords.h"

#include <cstdint>
#include <string>
#include <vector>

class SQLiteConnection;
class WriteBatch;

// The errors table: per-path problems met during a scan, newest kept.
namespace ScanErrorLog {

// Every 500th entry prunes the table back to the newest 5000.
inline constexpr std::int64_t pruneInterval = 500;
inline constexpr std::int64_t keptEntries = 5000;

// Writes one entry into the open batch (opening one if needed); never fails and never commits.
void log(WriteBatch& batch, const std::string& path, const std::string& message, double now) noexcept;

// Newest first. Fails with SQLiteError.
std::vector<ScanErrorEntry> recent(SQLiteConnection& db, std::int64_t limit);

} // namespace ScanErrorLog
