#pragma once

#include "index/SQLiteConnection.h"

#include <cstdint>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

class SQLiteConnection;

// Reads of a table split into ranges of ids, each read through a connection of its own at the
// same time as the others.
namespace ParallelReads {

// The ids of range `share` of `shares` over the ids first..last, both ends included.
std::pair<std::int64_t, std::int64_t> range(std::int64_t first, std::int64_t last, std::size_t share,
                                            std::size_t shares);

// Runs `work(share, connection)` for every connection at once, the first on the calling
// thread, and rethrows the first failure once all have ended.
void inParallel(const std::vector<SQLiteConnection*>& connections,
                const std::function<void(std::size_t, SQLiteConnection&)>& work);

// Steps `sql`, bound with the ids `low` and `high`, through every row, handing each to `row`;
// fails like the connection does.
template <class Row>
void eachRow(SQLiteConnection& db, std::string_view sql, std::int64_t low, std::int64_t high, Row&& row)
{
    auto statement = db.prepare(sql);
    statement.bindValues(low, high);
    while (statement.step()) row(std::as_const(statement));
    statement.reset();
}

} // namespace ParallelReads
