#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

class SQLiteConnection;

// The rows of new subfolders that a first scan has given ids but not inserted yet. A parent's
// sync hands each new subfolder its id, and the subfolder's own sync inserts its row whole,
// once, instead of a bare row inserted by the parent's sync and updated by its own. A row still
// waiting goes in bare (parent, path, name, depth, modified) before the batch is committed
// and before anything reads folder rows through the connection, so that the cache holds a
// row for every listed subfolder of every synced folder whenever it is read.
//
// Only for a cache that held nothing but root rows when the scan began: a new subfolder's path
// can then only be taken by one of those, which are known here. Ids follow the highest stored
// one as SQLite would pick them; while active, every folder row the writer inserts takes the
// next one (nextID), so that none is given twice.
class PendingFolderRows {
public:
    struct Row {
        std::int64_t parentID = 0;
        std::string path;
        std::size_t nameStart = 0;   // of the name within the path
        std::int64_t depth = 0;
        double modified = 0;
        bool waiting = false;

        std::string_view name() const { return std::string_view(path).substr(nameStart); }
    };

    // `highestID` is the highest folder row id stored, `storedPaths` the paths of every stored
    // folder row, all of them roots.
    void start(std::int64_t highestID, std::vector<std::string> storedPaths);
    // Forgets everything; call once nothing waits any more.
    void stop();
    bool isActive() const { return active_; }

    // Whether a new subfolder at `path` may wait for its own sync: no stored row holds the path.
    bool mayWait(const std::string& path) const { return active_ && !storedPaths_.contains(path); }
    // Gives the next id to a new subfolder's row, which waits; `path` ends with its name.
    std::int64_t add(std::int64_t parentID, std::string path, std::size_t nameLength, std::int64_t depth,
                     double modified);
    // The row waiting under this id, or null.
    const Row* waiting(std::int64_t id) const;
    // Its own sync has inserted it.
    void inserted(std::int64_t id);
    bool empty() const { return waitingCount_ == 0; }

    // The id for a folder row the writer inserts at once: the next one while active, else none
    // (SQLite picks it). Once such a row was inserted, used() takes the id.
    std::optional<std::int64_t> nextID() const { return active_ ? std::optional(next_) : std::nullopt; }
    void used(std::int64_t id);
    // A row inserted at `path` that a new subfolder's path may meet (a root).
    void noteStored(std::string path);

    // Inserts every waiting row bare, in id order. Fails with SQLiteError; the rows not
    // inserted then still wait, until the batch is lost (see WriteBatch).
    void insertAll(SQLiteConnection& db);
    // The open batch was committed, or rolled back as a whole: then every row whose id was
    // given in it, waiting or inserted, is gone.
    void committed() { batchStart_ = next_; }
    void lost();
    // Whether the row given this id went with a lost batch.
    bool wasLost(std::int64_t id) const;

private:
    void openSlot(std::int64_t id);
    // The position of the row waiting under this id.
    std::optional<std::size_t> slotOf(std::int64_t id) const;

    bool active_ = false;
    std::int64_t next_ = 1;
    std::int64_t batchStart_ = 1;   // the first id given since the last commit
    // Slots for the ids from first_ on, while any row waits.
    std::vector<Row> rows_;
    std::int64_t first_ = 1;
    std::size_t waitingCount_ = 0;
    std::unordered_set<std::string> storedPaths_;
    std::vector<std::pair<std::int64_t, std::int64_t>> lostIDs_;   // [first, end)
};
