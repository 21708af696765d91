#include "index/DuplicateCandidateSQL.h"

#include "index/IndexRows.h"
#include "index/SQLiteConnection.h"

namespace {

// Appends the subtree condition for `path` (negated when `exclude`) and its three values.
void addSubtree(std::string& condition, std::vector<SQLValue>& values, const std::string& path, bool exclude)
{
    condition = exclude ? "NOT " : "";
    condition += IndexRows::subtreeFilter;
    for (auto& value : IndexRows::subtreeValues(path)) values.push_back(std::move(value));
}

} // namespace

std::vector<DuplicateCandidateSize> DuplicateCandidateSQL::candidateSizes(std::int64_t minimumSize,
                                                                          const std::optional<std::string>& within,
                                                                          const std::vector<std::string>& excluding,
                                                                          int limit)
{
    std::string sql = "SELECT f.size, COUNT(*) AS c FROM files f";
    std::vector<std::string> conditions{"f.size >= ?", "(f.flags & 2) = 0"};
    std::vector<SQLValue> values{minimumSize};
    if (within || !excluding.empty()) sql += " JOIN folders d ON d.id = f.folder_id";
    if (within) addSubtree(conditions.emplace_back(), values, *within, false);
    for (const auto& path : excluding) addSubtree(conditions.emplace_back(), values, path, true);

    sql += " WHERE ";
    for (std::size_t i = 0; i < conditions.size(); ++i) {
        if (i > 0) sql += " AND ";
        sql += conditions[i];
    }
    sql += " GROUP BY f.size HAVING c > 1 ORDER BY f.size DESC LIMIT ?";
    values.emplace_back(limit);

    std::vector<DuplicateCandidateSize> sizes;
    connection_.query(sql, values, [&](SQLiteConnection::Statement& row) {
        sizes.push_back({.size = row.integer(0), .count = static_cast<int>(row.integer(1))});
    });
    return sizes;
}

std::vector<DuplicateCandidateFile> DuplicateCandidateSQL::files(std::int64_t size,
                                                                 const std::optional<std::string>& within,
                                                                 const std::vector<std::string>& excluding)
{
    std::string sql = "SELECT ";
    sql += IndexRows::fileColumns;
    sql += ", f.inode FROM files f JOIN folders d ON d.id = f.folder_id WHERE f.size = ? AND (f.flags & 2) = 0";
    std::vector<SQLValue> values{size};
    std::string condition;
    if (within) {
        addSubtree(condition, values, *within, false);
        sql += " AND " + condition;
    }
    for (const auto& path : excluding) {
        addSubtree(condition, values, path, true);
        sql += " AND " + condition;
    }

    std::vector<DuplicateCandidateFile> rows;
    connection_.query(sql, values, [&](SQLiteConnection::Statement& row) {
        rows.push_back({.file = IndexRows::mapFile(row), .inode = static_cast<std::uint64_t>(row.integer(11))});
    });
    return rows;
}
