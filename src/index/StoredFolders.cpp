#include "index/StoredFolders.h"

#include "index/DirectorySync.h"
#include "index/ParallelReads.h"
#include "index/ReadTransaction.h"
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
#include <new>
#include <stdexcept>
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

} // namespace

StoredFolders StoredFolders::load(const std::vector<SQLiteConnection*>& connections, std::uint64_t rewritesSeen,
                                  std::uint64_t seed)
{
    if (connections.empty()) return {};
    std::optional<StoredFolders> result;
    Loading loading(connections.size(), *connections.front(), rewritesSeen, seed,
                    [&](std::optional<StoredFolders> loaded) { result = std::move(loaded); });
    ParallelReads::inParallel(connections, [&](std::size_t share, SQLiteConnection& db) { loading.take(share, db); });
    if (!result) throw SQLiteError(SQLITE_ERROR, "The stored folders could not be read");
    return std::move(*result);
}

StoredFolders::Loading::Loading(std::size_t shares, SQLiteConnection& first, std::uint64_t rewritesSeen,
                                std::uint64_t seed, std::function<void(std::optional<StoredFolders>)> done)
    : shares_(shares), parts_(shares), done_(std::move(done)), steps_(static_cast<std::ptrdiff_t>(shares), Step{this})
{
    stored_.rewritesSeen_ = rewritesSeen;
    stored_.seed_ = seed;
    // Each bound alone: SQLite reads one end of the table for it, but the whole table for both
    // at once. A row that comes later simply has no digest.
    lowFolder_ = first.scalarInt("SELECT IFNULL(MIN(id), 0) FROM folders");
    highFolder_ = first.scalarInt("SELECT IFNULL(MAX(id), -1) FROM folders");
    lowFile_ = first.scalarInt("SELECT IFNULL(MIN(id), 0) FROM files");
    highFile_ = first.scalarInt("SELECT IFNULL(MAX(id), -1) FROM files");
}

void StoredFolders::Loading::take(std::size_t share, SQLiteConnection& db) noexcept
{
    // Every step: this share's part, then a meeting of all shares, the last to arrive doing
    // what needs every share's part.
    const auto attempt = [&](auto&& work) {
        try {
            if (!failed_) work();
        } catch (...) {
            failed_ = true;
        }
    };
    const auto step = [&](auto&& work) {
        attempt(work);
        steps_.arrive_and_wait();
    };
    {
        // One read for both tables, ended before anyone goes on: the cache's writer may wait for
        // every read to end.
        // One read for both passes of a share: its rows are then as of one moment.
        std::optional<ReadTransaction> read;
        step([&] {
            read.emplace(db);
            readFolders(share, db);
        });
        step([&] { placeFolders(share); });
        attempt([&] { readFiles(share, db); });
    }
    steps_.arrive_and_wait();
    step([&] { finishFolders(share); });
}

void StoredFolders::Loading::readFolders(std::size_t share, SQLiteConnection& db)
{
    if (highFolder_ < lowFolder_) return;
    const std::uint64_t seed = stored_.seed_;
    const auto [low, high] = ParallelReads::range(lowFolder_, highFolder_, share, shares_);
    auto& part = parts_[share];
    ParallelReads::eachRow(db,
            "SELECT id, parent_id, name, path, depth, modified, restricted, category, direct_alloc, direct_size, "
            "direct_files, direct_dirs FROM folders WHERE id BETWEEN ? AND ?",
            low, high, [&](const SQLiteConnection::Statement& row) {
                const RowFigures figures{.path = row.textView(3),
                                         .depth = row.integer(4),
                                         .modified = dateColumn(row, 5),
                                         .restricted = row.integer(6),
                                         .category = row.integer(7),
                                         .directAlloc = row.integer(8),
                                         .directSize = row.integer(9),
                                         .directFiles = row.integer(10),
                                         .directDirs = row.integer(11)};
                // The digest holds the row's own key until the files are added.
                part.push_back({.id = row.integer(0),
                                .parent = row.isNull(1) ? noParent : row.integer(1),
                                .nameKey = nameKey(seed, row.textView(2)),
                                .digest = rowKey(seed, figures)});
            });
}

std::pair<std::size_t, std::size_t> StoredFolders::Loading::positions(std::size_t share) const
{
    return {offsets_[share], share + 1 < shares_ ? offsets_[share + 1] : stored_.folders_.size()};
}

void StoredFolders::Loading::placeFolders(std::size_t share)
{
    // The shares are in id order, and so is each share's table scan.
    auto& part = parts_[share];
    std::copy(part.begin(), part.end(), stored_.folders_.begin() + static_cast<std::ptrdiff_t>(offsets_[share]));
    std::vector<Folder>().swap(part);
}

void StoredFolders::Loading::readFiles(std::size_t share, SQLiteConnection& db)
{
    if (highFile_ < lowFile_) return;
    const std::uint64_t seed = stored_.seed_;
    const auto [low, high] = ParallelReads::range(lowFile_, highFile_, share, shares_);
    // A folder's rows mostly lie together: they are added up and handed over once.
    std::int64_t folder = 0;
    std::optional<Entry> position;
    std::uint64_t sum = 0;
    std::uint32_t count = 0;
    const auto handOver = [&] {
        if (!position || count == 0) return;
        std::atomic_ref<std::uint64_t>(sums_[*position]).fetch_add(sum, std::memory_order_relaxed);
        std::atomic_ref<std::uint32_t>(counts_[*position]).fetch_add(count, std::memory_order_relaxed);
    };
    ParallelReads::eachRow(db,
            "SELECT folder_id, name, size, alloc, modified, counted_alloc, flags, inode FROM files "
            "WHERE id BETWEEN ? AND ?",
            low, high, [&](const SQLiteConnection::Statement& row) {
                const std::int64_t id = row.integer(0);
                if (id != folder || count == 0) {
                    handOver();
                    folder = id;
                    sum = 0;
                    count = 0;
                    position = stored_.position(id);
                }
                sum += fileKey(seed, row.textView(1), row.integer(2), row.integer(3), dateColumn(row, 4),
                               row.integer(5), row.integer(6), row.integer(7));
                ++count;
            });
    handOver();
}

void StoredFolders::Loading::finishFolders(std::size_t share)
{
    auto& stored = stored_;
    const std::uint64_t seed = stored.seed_;
    const auto [first, last] = positions(share);
    for (std::size_t i = first; i < last; ++i) {
        Folder& folder = stored.folders_[i];
        folder.digest = folderDigest(seed, folder.digest, sums_[i], counts_[i]);
        stored.place(static_cast<Entry>(i));
    }
}

void StoredFolders::Loading::stepDone() noexcept
{
    auto& stored = stored_;
    switch (stepsDone_++) {
    case 0:
        // Room for every share's folders, where each one's go, and their sums to come.
        if (failed_) return;
        try {
            offsets_.assign(shares_, 0);
            std::size_t total = 0;
            for (std::size_t share = 0; share < shares_; ++share) {
                offsets_[share] = total;
                total += parts_[share].size();
            }
            if (total >= emptySlot / 2) throw std::length_error("too many folders");
            stored.folders_.resize(total);
            stored.children_.assign(total, 0);
            std::size_t slots = 2;
            while (slots < 2 * total) slots *= 2;
            stored.slots_.assign(slots, emptySlot);
            sums_.assign(total, 0);
            counts_.assign(total, 0);
        } catch (...) {
            failed_ = true;
        }
        return;
    case 1:
    case 2:
        return;
    default:
        break;
    }
    std::optional<StoredFolders> result;
    if (!failed_) {
        std::vector<std::uint64_t>().swap(sums_);
        std::vector<std::uint32_t>().swap(counts_);
        result = std::move(stored);
    }
    try {
        done_(std::move(result));
    } catch (...) {
        // The callers' own business; the load is over either way.
    }
}

void StoredFolders::place(Entry entry)
{
    const Folder& folder = folders_[entry];
    if (folder.parent == noParent) return;
    if (const auto parent = position(folder.parent))
        std::atomic_ref<std::uint32_t>(children_[*parent]).fetch_add(1, std::memory_order_relaxed);
    // Linear probing; a slot goes to whichever share gets to it first.
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = slotOf(folder.parent, folder.nameKey);; slot = (slot + 1) & mask) {
        std::uint32_t expected = emptySlot;
        if (std::atomic_ref<std::uint32_t>(slots_[slot])
                .compare_exchange_strong(expected, entry, std::memory_order_relaxed))
            return;
    }
}

std::optional<std::uint64_t> StoredFolders::digestOf(std::int64_t id) const
{
    if (const auto entry = position(id)) return folders_[*entry].digest;
    return std::nullopt;
}

void StoredFolders::Recording::add(std::int64_t id, std::optional<std::int64_t> parent, std::string_view name,
                                   std::uint64_t digest) noexcept
{
    if (broken_) return;
    try {
        folders_.push_back(
            {.id = id, .parent = parent.value_or(noParent), .nameKey = nameKey(seed_, name), .digest = digest});
    } catch (const std::bad_alloc&) {
        // The scan goes on; only the digests are given up.
        broken_ = true;
        std::vector<Folder>().swap(folders_);
    }
}

StoredFolders StoredFolders::Recording::finish() &&
{
    if (broken_) throw std::bad_alloc();
    StoredFolders stored;
    stored.seed_ = seed_;
    // Synced twice, a folder keeps its last place; it is then not taken as unchanged.
    std::stable_sort(folders_.begin(), folders_.end(),
                     [](const Folder& a, const Folder& b) { return a.id < b.id; });
    for (std::size_t i = 1; i < folders_.size(); ++i)
        if (folders_[i].id == folders_[i - 1].id) folders_[i].digest = folders_[i - 1].digest = unknownDigest;
    const auto repeated = std::unique(folders_.rbegin(), folders_.rend(),
                                      [](const Folder& a, const Folder& b) { return a.id == b.id; });
    folders_.erase(folders_.begin(), repeated.base());
    if (folders_.size() >= emptySlot / 2) throw std::length_error("too many folders");
    stored.folders_ = std::move(folders_);
    const std::size_t total = stored.folders_.size();
    stored.children_.assign(total, 0);
    std::size_t slots = 2;
    while (slots < 2 * total) slots *= 2;
    stored.slots_.assign(slots, emptySlot);
    for (std::size_t i = 0; i < total; ++i) stored.place(static_cast<Entry>(i));
    return stored;
}

std::optional<StoredFolders::Entry> StoredFolders::position(std::int64_t id) const
{
    const auto found = std::lower_bound(folders_.begin(), folders_.end(), id,
                                        [](const Folder& folder, std::int64_t value) { return folder.id < value; });
    if (found == folders_.end() || found->id != id) return std::nullopt;
    return static_cast<Entry>(found - folders_.begin());
}

std::size_t StoredFolders::slotOf(std::int64_t parent, std::uint64_t nameKey) const
{
    return static_cast<std::size_t>(mixed(static_cast<std::uint64_t>(parent) ^ nameKey)) & (slots_.size() - 1);
}

std::optional<StoredFolders::Entry> StoredFolders::find(std::int64_t parent, std::uint64_t key) const
{
    if (slots_.empty()) return std::nullopt;
    const std::size_t mask = slots_.size() - 1;
    std::optional<Entry> found;
    for (std::size_t slot = slotOf(parent, key); slots_[slot] != emptySlot; slot = (slot + 1) & mask) {
        const Folder& folder = folders_[slots_[slot]];
        if (folder.parent != parent || folder.nameKey != key) continue;
        // Two rows under one name (a repaired name, or a key shared by chance) are left to the comparison.
        if (found) return std::nullopt;
        found = slots_[slot];
    }
    return found;
}

std::optional<StoredFolders::Entry> StoredFolders::root(std::int64_t id) const { return position(id); }

std::optional<StoredFolders::Entry> StoredFolders::child(Entry parent, std::string_view name) const
{
    return find(folders_[parent].id, nameKey(seed_, name));
}

std::uint64_t StoredFolders::digest(std::uint64_t seed, const DirectorySnapshot& snapshot)
{
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
        filesSum += fileKey(seed, file.name, file.size, file.allocatedSize, std::bit_cast<std::uint64_t>(file.modified),
                            file.countedAllocatedSize, file.flags.rawValue, static_cast<std::int64_t>(file.inode));
    }
    return folderDigest(seed, rowKey(seed, figures), filesSum, snapshot.files.size());
}

std::uint64_t StoredFolders::newSeed()
{
    return (static_cast<std::uint64_t>(std::random_device{}()) << 32) ^ std::random_device{}();
}

std::optional<FolderDifferences> StoredFolders::unchanged(Entry entry, const DirectorySnapshot& snapshot) const
{
    return unchanged(entry, snapshot, digest(seed_, snapshot));
}

std::optional<FolderDifferences> StoredFolders::unchanged(Entry entry, const DirectorySnapshot& snapshot,
                                                          std::uint64_t digest) const
{
    const Folder& folder = folders_[entry];
    if (folder.digest == unknownDigest || digest != folder.digest)
        return std::nullopt;
    if (children_[entry] != snapshot.subdirectories.size()) return std::nullopt;

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
        const auto child = find(folder.id, nameKey(seed_, subfolder.name));
        if (!child) return std::nullopt;
        matched.push_back(*child);
        same.children.push_back({.id = folders_[*child].id,
                                 .name = subfolder.name,
                                 .path = DirectorySync::childPath(snapshot.path, subfolder.name)});
    }
    // A name listed twice would match one row twice and leave another unmatched.
    std::sort(matched.begin(), matched.end());
    if (std::adjacent_find(matched.begin(), matched.end()) != matched.end()) return std::nullopt;
    return same;
}
