#include "index/SearchQuerySQL.h"

#include "index/CaseFolding.h"
#include "index/IndexRows.h"
#include "index/ParallelReads.h"
#include "index/SQLiteConnection.h"
#include "index/UnicodeLower.h"

#include <algorithm>
#include <memory>
#include <string_view>
#include <thread>

namespace {

// Which column each condition reads; files and folders differ only here.
struct Columns {
    std::string_view name;
    std::string_view path;
    std::string_view size;
    std::string_view modified;
};

constexpr Columns fileColumns{"f.name", "d.path", "f.alloc", "f.modified"};
constexpr Columns folderColumns{"name", "path", "total_alloc", "modified"};

struct Conditions {
    std::vector<std::string> clauses;
    std::vector<SQLValue> values;

    void add(std::string clause, SQLValue value)
    {
        clauses.push_back(std::move(clause));
        values.push_back(std::move(value));
    }

    void addAll(std::string clause, std::initializer_list<SQLValue> clauseValues)
    {
        clauses.push_back(std::move(clause));
        values.insert(values.end(), clauseValues);
    }

    std::string joined() const
    {
        std::string text;
        for (const auto& clause : clauses) {
            if (!text.empty())
                text += " AND ";
            text += clause;
        }
        return text;
    }
};

std::string concat(std::initializer_list<std::string_view> pieces)
{
    std::string text;
    for (const auto piece : pieces)
        text += piece;
    return text;
}

// The name pattern and the stored names fold the same way, so "Ä*" finds "Äpfel.txt".
void addNamePatterns(Conditions& conditions, const SearchQuery& query, const Columns& columns)
{
    if (query.nameGlob)
        conditions.add(concat({UnicodeLower::globFunctionName, "(?, ", columns.name, ")"}),
                       CaseFolding::lowercased(*query.nameGlob));
    if (query.nameContains)
        conditions.add(concat({columns.name, " LIKE ? ESCAPE '\\'"}),
                       SearchQuerySQL::containsPattern(*query.nameContains));
}

void addBounds(Conditions& conditions, const SearchQuery& query, const Columns& columns)
{
    if (query.minSize)
        conditions.add(concat({columns.size, " >= ?"}), *query.minSize);
    if (query.maxSize)
        conditions.add(concat({columns.size, " <= ?"}), *query.maxSize);
    if (query.modifiedBefore)
        conditions.add(concat({columns.modified, " < ?"}), *query.modifiedBefore);
    if (query.modifiedAfter)
        conditions.add(concat({columns.modified, " >= ?"}), *query.modifiedAfter);
}

void addFolderContains(Conditions& conditions, const SearchQuery& query, const Columns& columns)
{
    if (query.folderContains)
        conditions.add(concat({columns.path, " LIKE ? ESCAPE '\\'"}),
                       SearchQuerySQL::containsPattern(*query.folderContains));
}

// Binary comparison: every path that starts with "p/" sorts at or after "p/" and before
// "p0" ("0" follows "/"), whatever bytes follow, and letter case counts.
void addFolderSubtree(Conditions& conditions, const SearchQuery& query, const Columns& columns)
{
    if (!query.folderSubtree)
        return;
    // Stored paths never end in "/", except the root itself.
    std::string folder = *query.folderSubtree;
    while (folder.size() > 1 && folder.ends_with('/'))
        folder.pop_back();
    const auto [prefix, end] = SearchQuerySQL::subtreeRange(folder);
    conditions.addAll(concat({"(", columns.path, " = ? OR (", columns.path, " >= ? AND ", columns.path, " < ?))"}),
                      {folder, prefix, end});
}

// Text patterns and dates cannot use an index. Left to itself, SQLite would then walk the
// size index to get the order for free and look each row up from it: for a rare match that
// is every row of the table in random order (seconds on a million files). Reading the table
// in storage order and keeping the top rows costs one sequential pass whatever the match.
bool readsInStorageOrder(const SearchQuery& query)
{
    return query.nameGlob || query.nameContains || query.folderContains || query.folderSubtree ||
           query.modifiedBefore || query.modifiedAfter;
}

} // namespace

std::vector<FileItem> SearchQuerySQL::files(const SearchQuery& query)
{
    Conditions conditions;
    addNamePatterns(conditions, query, fileColumns);
    if (query.fileExtension)
        conditions.add("f.ext = ?", CaseFolding::lowercased(*query.fileExtension));
    addFolderContains(conditions, query, fileColumns);
    addFolderSubtree(conditions, query, fileColumns);
    addBounds(conditions, query, fileColumns);
    if (query.category)
        conditions.add("f.category = ?", rawValue(*query.category));

    const std::string where = conditions.clauses.empty() ? std::string() : "WHERE " + conditions.joined();
    if (readsInStorageOrder(query))
        if (auto sliced = filesInSlices(where, conditions.values, query.limit))
            return std::move(*sliced);
    const std::string sql = concat({"SELECT ", IndexRows::fileColumns,
                                    readsInStorageOrder(query) ? " FROM files f NOT INDEXED" : " FROM files f",
                                    " JOIN folders d ON d.id = f.folder_id ", where, " ORDER BY f.alloc DESC LIMIT ?"});
    conditions.values.emplace_back(query.limit);

    std::vector<FileItem> files;
    db_.query(sql, conditions.values,
              [&](SQLiteConnection::Statement& row) { files.push_back(IndexRows::mapFile(row)); });
    return files;
}

// A full pass over a million names costs about 100 ms of one core in LIKE alone; slices
// of the table read side by side divide that. All of them run while the caller holds the
// cache, so no write lands between them and they see the same rows.
std::optional<std::vector<FileItem>> SearchQuerySQL::filesInSlices(const std::string& where,
                                                                   const std::vector<SQLValue>& values,
                                                                   std::int64_t limit)
{
    const std::string path = db_.fileName();
    if (path.empty() || rowsPerSlice_ <= 0 || limit <= 0)
        return std::nullopt;
    const std::int64_t first = db_.scalarInt("SELECT min(id) FROM files");
    const std::int64_t last = db_.scalarInt("SELECT max(id) FROM files");
    const std::int64_t span = last - first + 1;
    const auto cores = static_cast<std::int64_t>(std::max(1u, std::thread::hardware_concurrency()));
    const std::int64_t slices = std::min({std::int64_t{4}, cores, (span + rowsPerSlice_ - 1) / rowsPerSlice_});
    if (slices < 2)
        return std::nullopt;

    // Within a slice and across them, equal sizes keep the table's order.
    const std::string sql = concat({"SELECT ", IndexRows::fileColumns,
                                    " FROM files f NOT INDEXED JOIN folders d ON d.id = f.folder_id ", where,
                                    " AND f.id BETWEEN ? AND ? ORDER BY f.alloc DESC, f.id LIMIT ?"});
    // A cache that cannot be written is read the way its own connection reads it.
    const auto access = db_.isReadOnly() ? SQLiteConnection::Access::readOnly : SQLiteConnection::Access::readWrite;
    std::vector<std::unique_ptr<SQLiteConnection>> readers;
    std::vector<SQLiteConnection*> connections;
    for (std::int64_t slice = 0; slice < slices; ++slice) {
        readers.push_back(std::make_unique<SQLiteConnection>(path, access));
        UnicodeLower::registerFunction(*readers.back());
        readers.back()->execute("PRAGMA temp_store=MEMORY;");
        connections.push_back(readers.back().get());
    }
    std::vector<std::vector<FileItem>> found(connections.size());
    ParallelReads::inParallel(connections, [&](std::size_t slice, SQLiteConnection& reader) {
        const auto [low, high] = ParallelReads::range(first, last, slice, connections.size());
        std::vector<SQLValue> bound = values;
        bound.emplace_back(low);
        bound.emplace_back(high);
        bound.emplace_back(limit);
        reader.query(sql, bound,
                     [&](SQLiteConnection::Statement& row) { found[slice].push_back(IndexRows::mapFile(row)); });
    });

    std::vector<FileItem> files;
    for (auto& part : found)
        files.insert(files.end(), std::make_move_iterator(part.begin()), std::make_move_iterator(part.end()));
    // The slices come in id order, so a stable sort leaves equal sizes in the table's order.
    std::stable_sort(files.begin(), files.end(),
                     [](const FileItem& a, const FileItem& b) { return a.allocatedSize > b.allocatedSize; });
    if (static_cast<std::int64_t>(files.size()) > limit)
        files.resize(static_cast<std::size_t>(limit));
    return files;
}

std::vector<FolderItem> SearchQuerySQL::folders(const SearchQuery& query)
{
    if (query.fileExtension || query.category)
        return {};
    Conditions conditions;
    addNamePatterns(conditions, query, folderColumns);
    addFolderContains(conditions, query, folderColumns);
    addFolderSubtree(conditions, query, folderColumns);
    addBounds(conditions, query, folderColumns);
    if (conditions.clauses.empty())
        return {};

    const std::string sql =
        concat({"SELECT ", IndexRows::folderColumns,
                readsInStorageOrder(query) ? " FROM folders NOT INDEXED WHERE " : " FROM folders WHERE ",
                conditions.joined(), " ORDER BY total_alloc DESC LIMIT ?"});
    conditions.values.emplace_back(query.limit);

    std::vector<FolderItem> folders;
    db_.query(sql, conditions.values,
              [&](SQLiteConnection::Statement& row) { folders.push_back(IndexRows::mapFolder(row)); });
    return folders;
}

std::string SearchQuerySQL::containsPattern(std::string_view text)
{
    std::string pattern = "%";
    for (const char c : text) {
        if (c == '\\' || c == '%' || c == '_')
            pattern += '\\';
        pattern += c;
    }
    pattern += '%';
    return pattern;
}

std::pair<std::string, std::string> SearchQuerySQL::subtreeRange(std::string_view folder)
{
    std::string prefix(folder);
    if (!prefix.ends_with('/'))
        prefix += '/';
    std::string end = prefix;
    end.back() = '0';
    return {prefix, end};
}
