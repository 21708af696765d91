#include "index/StoredFolders.h"

#include "index/DirectorySync.h"
#include "index/SQLiteConnection.h"
#include "index/SQLiteError.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <sqlite3.h>
#include <thread>
#include <tuple>
#include <utility>

namespace {

// A strong 64-bit finalizer: every input bit moves every output bit.
std::uint64_t mixed(std::uint64_t x)
{
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    x ^= x >> 33;
    return x;
}

// Folds values in order into one key, from a seed chosen per load, so that no listing can be
// made on purpose to match rows it differs from.
class Key {
public:
    explicit Key(std::uint64_t seed) : state_(seed) {}

    Key& add(std::uint64_t value)
    {
        state_ = mixed((state_ ^ value) + 0x9e3779b97f4a7c15ULL);
        return *this;
    }
    Key& add(std::int64_t value) { return add(static_cast<std::uint64_t>(value)); }
    Key& add(double value) { return add(std::bit_cast<std::uint64_t>(value)); }
    Key& add(std::string_view text)
    {
        add(static_cast<std::uint64_t>(text.size()));
        std::size_t at = 0;
        for (; at + 8 <= text.size(); at += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, text.data() + at, 8);
            add(word);
        }
        if (at < text.size()) {
            std::uint64_t word = 0;
            std::memcpy(&word, text.data() + at, text.size() - at);
            add(word);
        }
        return *this;
    }
    std::uint64_t value() const { return state_; }

private:
    std::uint64_t state_;
};

// Stands for a NULL date, which no listing gives: such a row is never taken as unchanged.
constexpr std::uint64_t absentDate = 0x7ff4'0000'0000'0001ULL;   // a NaN that SQLite cannot hold

std::uint64_t nameKey(std::uint64_t seed, std::string_view name) { return Key(seed).add(name).value(); }

// The figures of one file row that the comparison with a listing looks at.
std::uint64_t fileKey(std::uint64_t seed, std::string_view name, std::int64_t size, std::int64_t alloc,
                      std::uint64_t modified, std::int64_t counted, std::int64_t flags, std::int64_t inode)
{
    return Key(seed).add(name).add(size).add(alloc).add(modified).add(counted).add(flags).add(inode).value();
}

// The folder row's own figures that a sync writes, and where it is.
struct RowFigures {
    std::string_view path;
    std::int64_t depth = 0;
    std::uint64_t modified = absentDate;
    std::int64_t restricted = 0;
    std::int64_t category = 0;
    std::int64_t directAlloc = 0;
    std::int64_t directSize = 0;
    std::int64_t directFiles = 0;
    std::int64_t directDirs = 0;
};

std::uint64_t rowKey(std::uint64_t seed, const RowFigures& row)
{
    return Key(seed)
        .add(row.path)
        .add(row.depth)
        .add(row.modified)
        .add(row.restricted)
        .add(row.category)
        .add(row.directAlloc)
        .add(row.directSize)
        .add(row.directFiles)
        .add(row.directDirs)
        .value();
}

// Row and files together; the files as a sum of their keys, which does not depend on their order.
std::uint64_t folderDigest(std::uint64_t seed, std::uint64_t row, std::uint64_t filesSum, std::uint64_t fileRows)
{
    return Key(seed).add(row).add(filesSum).add(fileRows).value();
}

std::uint64_t dateColumn(const SQLiteConnection::Statement& row, int column)
{
    return row.isNull(column) ? absentDate : std::bit_cast<std::uint64_t>(row.real(column));
}

// The bounds of share `share` of `shares` over the ids first..last.
std::pair<std::int64_t, std::int64_t> shareOf(std::int64_t first, std::int64_t last, std::size_t share,
                                              std::size_t shares)
{
    const auto span = static_cast<unsigned long long>(last - first) + 1;
    const auto low = first + static_cast<std::int64_t>(span * share / shares);
    const auto high = first + static_cast<std::int64_t>(span * (share + 1) / shares) - 1;
    return {low, high};
}

// Runs `work(share, connection)` for every connection at once and rethrows the first failure.
void inParallel(const std::vector<SQLiteConnection*>& connections,
                const std::function<void(std::size_t, SQLiteConnection&)>& work)
{
    std::vector<std::exception_ptr> failures(connections.size());
    const auto run = [&](std::size_t share) {
        try {
            work(share, *connections[share]);
        } catch (...) {
            failures[share] = std::current_exception();
        }
    };
    std::vector<std::thread> threads;
    threads.reserve(connections.size());
    for (std::size_t share = 1; share < connections.size(); ++share) threads.emplace_back(run, share);
    run(0);
    for (auto& thread : threads) thread.join();
    for (const auto& failure : failures)
        if (failure) std::rethrow_exception(failure);
}

// Steps a statement through every row, handing each to `row`; fails like the connection does.
template <class Row>
void eachRow(SQLiteConnection& db, std::string_view sql, std::int64_t low, std::int64_t high, Row&& row)
{
    auto statement = db.prepare(sql);
    statement.bindValues(low, high);
    while (statement.step()) row(std::as_const(statement));
    sqlite3_reset(statement.handle());
}

// One read for both passes of a share: its rows are then as of one moment.
class ReadOnce {
public:
    explicit ReadOnce(SQLiteConnection& db) : db_(db) { db_.runValues("BEGIN"); }
    ~ReadOnce()
    {
        try {
            if (!db_.isAutocommit()) db_.runValues("COMMIT");
        } catch (const std::exception&) {
            // It only read.
        }
    }
    ReadOnce(const ReadOnce&) = delete;
    ReadOnce& operator=(const ReadOnce&) = delete;

private:
    SQLiteConnection& db_;
};

} // namespace

StoredFolders StoredFolders::load(const std::vector<SQLiteConnection*>& connections, std::uint64_t rewritesSeen)
{
    if (connections.empty()) return {};
    std::optional<StoredFolders> result;
    Loading loading(connections.size(), *connections.front(), rewritesSeen,
                    [&](std::optional<StoredFolders> loaded) { result = std::move(loaded); });
    inParallel(connections, [&](std::size_t share, SQLiteConnection& db) { loading.take(share, db); });
    if (!result) throw SQLiteError(SQLITE_ERROR, "The stored folders could not be read");
    return std::move(*result);
}

StoredFolders::Loading::Loading(std::size_t shares, SQLiteConnection& first, std::uint64_t rewritesSeen,
                                std::function<void(std::optional<StoredFolders>)> done)
    : shares_(shares), parts_(shares), done_(std::move(done)), steps_(static_cast<std::ptrdiff_t>(shares), Step{this})
{
    stored_.rewritesSeen_ = rewritesSeen;
    stored_.seed_ = (static_cast<std::uint64_t>(std::random_device{}()) << 32) ^ std::random_device{}();
    // Each bound alone: SQLite reads one end of the table for it, but the whole table for both
    // at once. A row that comes later is simply not among the rows in brief.
    lowFolder_ = first.scalarInt("SELECT IFNULL(MIN(id), 0) FROM folders");
    highFolder_ = first.scalarInt("SELECT IFNULL(MAX(id), -1) FROM folders");
    lowFile_ = first.scalarInt("SELECT IFNULL(MIN(id), 0) FROM files");
    highFile_ = first.scalarInt("SELECT IFNULL(MAX(id), -1) FROM files");
}

void StoredFolders::Loading::take(std::size_t share, SQLiteConnection& db) noexcept
{
    {
        // One read for both passes of the share, ended before anyone goes on: the cache's writer
        // may wait for every read to end.
        std::optional<ReadOnce> read;
        try {
            read.emplace(db);
            readFolders(share, db);
        } catch (...) {
            failed_ = true;
        }
        steps_.arrive_and_wait();
        try {
            if (!failed_) readFiles(share, db);
        } catch (...) {
            failed_ = true;
        }
    }
    steps_.arrive_and_wait();
}

void StoredFolders::Loading::readFolders(std::size_t share, SQLiteConnection& db)
{
    if (highFolder_ < lowFolder_) return;
    const std::uint64_t seed = stored_.seed_;
    const auto [low, high] = shareOf(lowFolder_, highFolder_, share, shares_);
    auto& part = parts_[share];
    eachRow(db,
            "SELECT id, parent_id, name, path, depth, modified, restricted, category, direct_alloc, direct_size, "
            "direct_files, direct_dirs FROM folders WHERE id BETWEEN ? AND ?",
            low, high, [&](const SQLiteConnection::Statement& row) {
                const RowFigures figures{row.textView(3), row.integer(4),  dateColumn(row, 5),
                                         row.integer(6),  row.integer(7),  row.integer(8),
                                         row.integer(9),  row.integer(10), row.integer(11)};
                // The digest holds the row's own key until the files are added.
                part.push_back({row.integer(0), row.isNull(1) ? noParent : row.integer(1),
                                nameKey(seed, row.textView(2)), rowKey(seed, figures)});
            });
}

void StoredFolders::Loading::readFiles(std::size_t share, SQLiteConnection& db)
{
    if (highFile_ < lowFile_) return;
    const std::uint64_t seed = stored_.seed_;
    const auto& folders = stored_.folders_;   // in id order until the last step
    const auto [low, high] = shareOf(lowFile_, highFile_, share, shares_);
    // A folder's rows mostly lie together: they are added up and handed over once.
    std::int64_t folder = 0;
    std::optional<std::size_t> position;
    std::uint64_t sum = 0;
    std::uint32_t count = 0;
    const auto handOver = [&] {
        if (!position || count == 0) return;
        std::atomic_ref<std::uint64_t>(sums_[*position]).fetch_add(sum, std::memory_order_relaxed);
        std::atomic_ref<std::uint32_t>(counts_[*position]).fetch_add(count, std::memory_order_relaxed);
    };
    eachRow(db,
            "SELECT folder_id, name, size, alloc, modified, counted_alloc, flags, inode FROM files "
            "WHERE id BETWEEN ? AND ?",
            low, high, [&](const SQLiteConnection::Statement& row) {
                const std::int64_t id = row.integer(0);
                if (id != folder || count == 0) {
                    handOver();
                    folder = id;
                    sum = 0;
                    count = 0;
                    const auto found = std::lower_bound(folders.begin(), folders.end(), id,
                                                        [](const Folder& f, std::int64_t value) { return f.id < value; });
                    position = found != folders.end() && found->id == id
                                   ? std::optional<std::size_t>(found - folders.begin())
                                   : std::nullopt;
                }
                sum += fileKey(seed, row.textView(1), row.integer(2), row.integer(3), dateColumn(row, 4),
                               row.integer(5), row.integer(6), row.integer(7));
                ++count;
            });
    handOver();
}

void StoredFolders::Loading::stepDone() noexcept
{
    auto& folders = stored_.folders_;
    if (stepsDone_++ == 0) {
        if (failed_) return;
        try {
            // The shares are in id order, and so is each share's table scan.
            std::size_t total = 0;
            for (const auto& part : parts_) total += part.size();
            folders.reserve(total);
            for (auto& part : parts_) {
                folders.insert(folders.end(), part.begin(), part.end());
                std::vector<Folder>().swap(part);
            }
            const auto byID = [](const Folder& a, const Folder& b) { return a.id < b.id; };
            if (!std::is_sorted(folders.begin(), folders.end(), byID)) std::sort(folders.begin(), folders.end(), byID);
            sums_.assign(folders.size(), 0);
            counts_.assign(folders.size(), 0);
        } catch (...) {
            failed_ = true;
        }
        return;
    }
    std::optional<StoredFolders> result;
    if (!failed_) {
        const std::uint64_t seed = stored_.seed_;
        for (std::size_t i = 0; i < folders.size(); ++i)
            folders[i].digest = folderDigest(seed, folders[i].digest, sums_[i], counts_[i]);
        std::vector<std::uint64_t>().swap(sums_);
        std::vector<std::uint32_t>().swap(counts_);
        std::sort(folders.begin(), folders.end(), [](const Folder& a, const Folder& b) {
            return std::tie(a.parent, a.nameKey, a.id) < std::tie(b.parent, b.nameKey, b.id);
        });
        result = std::move(stored_);
    }
    try {
        done_(std::move(result));
    } catch (...) {
        // The callers' own business; the load is over either way.
    }
}

std::pair<StoredFolders::Entry, StoredFolders::Entry> StoredFolders::childrenOf(std::int64_t parent) const
{
    const auto first = std::lower_bound(folders_.begin(), folders_.end(), parent,
                                        [](const Folder& folder, std::int64_t id) { return folder.parent < id; });
    const auto last = std::upper_bound(first, folders_.end(), parent,
                                       [](std::int64_t id, const Folder& folder) { return id < folder.parent; });
    return {static_cast<Entry>(first - folders_.begin()), static_cast<Entry>(last - folders_.begin())};
}

std::optional<StoredFolders::Entry> StoredFolders::root(std::int64_t id) const
{
    // A root may have been a subfolder when the rows were read; roots are few.
    for (std::size_t i = 0; i < folders_.size(); ++i)
        if (folders_[i].id == id) return static_cast<Entry>(i);
    return std::nullopt;
}

std::optional<StoredFolders::Entry> StoredFolders::child(Entry parent, std::string_view name) const
{
    const auto [first, last] = childrenOf(folders_[parent].id);
    return named(first, last, name);
}

std::optional<StoredFolders::Entry> StoredFolders::named(Entry first, Entry last, std::string_view name) const
{
    const std::uint64_t key = nameKey(seed_, name);
    const auto begin = folders_.begin();
    const auto found = std::lower_bound(begin + first, begin + last, key,
                                        [](const Folder& folder, std::uint64_t k) { return folder.nameKey < k; });
    if (found == begin + last || found->nameKey != key) return std::nullopt;
    // Two rows under one name (a repaired name, or a key shared by chance) are left to the comparison.
    if (std::next(found) != begin + last && std::next(found)->nameKey == key) return std::nullopt;
    return static_cast<Entry>(found - begin);
}

std::optional<FolderDifferences> StoredFolders::unchanged(Entry entry, const DirectorySnapshot& snapshot) const
{
    const Folder& folder = folders_[entry];
    RowFigures figures;
    figures.path = snapshot.path;
    figures.depth = snapshot.depth;
    figures.modified = std::bit_cast<std::uint64_t>(snapshot.modified);
    figures.restricted = snapshot.isRestricted ? 1 : 0;
    figures.category = rawValue(snapshot.category);
    figures.directFiles = static_cast<std::int64_t>(snapshot.files.size());
    figures.directDirs = static_cast<std::int64_t>(snapshot.subdirectories.size());
    std::uint64_t filesSum = 0;
    for (const auto& file : snapshot.files) {
        figures.directAlloc += file.countedAllocatedSize;
        figures.directSize += file.size;
        filesSum += fileKey(seed_, file.name, file.size, file.allocatedSize, std::bit_cast<std::uint64_t>(file.modified),
                            file.countedAllocatedSize, file.flags.rawValue, static_cast<std::int64_t>(file.inode));
    }
    if (folderDigest(seed_, rowKey(seed_, figures), filesSum, snapshot.files.size()) != folder.digest)
        return std::nullopt;

    const auto [first, last] = childrenOf(folder.id);
    if (last - first != snapshot.subdirectories.size()) return std::nullopt;
    FolderDifferences same;
    same.folderID = folder.id;
    same.rewritesSeen = rewritesSeen_;
    if (folder.parent != noParent) same.storedParentID = folder.parent;
    same.sameNameAndDepth = true;
    same.rowCurrent = true;
    same.children.reserve(snapshot.subdirectories.size());
    std::vector<Entry> matched;
    matched.reserve(snapshot.subdirectories.size());
    for (const auto& subfolder : snapshot.subdirectories) {
        const auto child = named(first, last, subfolder.name);
        if (!child) return std::nullopt;
        matched.push_back(*child);
        same.children.push_back({folders_[*child].id, subfolder.name, DirectorySync::childPath(snapshot.path, subfolder.name)});
    }
    // A name listed twice would match one row twice and leave another unmatched.
    std::sort(matched.begin(), matched.end());
    if (std::adjacent_find(matched.begin(), matched.end()) != matched.end()) return std::nullopt;
    return same;
}
