#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class SQLiteConnection;
class WriteBatch;

// Makes the index forget files and folders that left the disk, without a rescan: their
// rows go, every ancestor's totals shrink by what they held, and the category totals are
// rebuilt. Fails with SQLiteError; what ran before a failure stays in the open batch.
namespace ItemRemoval {

// Removes every path in order inside one batch, rebuilds the category totals once and
// commits. A path the index does not know changes nothing. A path whose removal fails
// does not stop the others; the first failure is thrown after the commit.
void remove(WriteBatch& batch, const std::vector<std::string>& paths);

// One item's rows and its ancestors' totals; the category totals are left as they are.
void removeRows(WriteBatch& batch, const std::string& path);

// Adds the deltas to the totals of folder `from` and of up to 4095 folders above it;
// the bound also ends a walk over parent links that form a loop.
void adjustAncestors(SQLiteConnection& db, std::optional<std::int64_t> from, std::int64_t alloc, std::int64_t size,
                     std::int64_t files, std::int64_t dirs);

} // namespace ItemRemoval
