#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

class SQLiteConnection;

// Groups a scan's writes into large transactions: opened by the first write, committed
// between folders when big or old enough, and always before anything is read.
class WriteBatch {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // Due from the 20000th counted write on, or when older than a second.
    static constexpr std::int64_t countLimit = 19999;
    static constexpr std::chrono::milliseconds ageLimit{1000};

    // An empty clock means the steady clock.
    WriteBatch(SQLiteConnection& db, Clock clock = {});

    void beginIfNeeded();
    void commitIfNeeded();
    void commit();
    void count(std::int64_t writes = 1) { pending_ += writes; }

    // After a failure: SQLite rolls a whole transaction back on errors such as a full disk or
    // an I/O error, so the batch state is taken from the connection. Returns true when an
    // open batch was lost that way.
    bool resynchronize();

    // How many open batches SQLite has rolled back so far: their writes are gone.
    std::uint64_t lostBatches() const { return lost_; }
    bool isOpen() const { return open_; }
    SQLiteConnection& connection() { return db_; }

private:
    std::chrono::steady_clock::time_point now() const;

    SQLiteConnection& db_;
    Clock clock_;
    bool open_ = false;
    std::int64_t pending_ = 0;
    std::uint64_t lost_ = 0;
    std::chrono::steady_clock::time_point lastCommit_;
};
