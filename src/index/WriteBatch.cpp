#include "index/WriteBatch.h"

#include "index/SQLiteConnection.h"

WriteBatch::WriteBatch(SQLiteConnection& db, Clock clock) : db_(db), clock_(std::move(clock)), lastCommit_(now()) {}

std::chrono::steady_clock::time_point WriteBatch::now() const
{
    return clock_ ? clock_() : std::chrono::steady_clock::now();
}

void WriteBatch::beginIfNeeded()
{
    if (open_) return;
    db_.execute("BEGIN IMMEDIATE;");
    open_ = true;
    lastCommit_ = now();
}

void WriteBatch::commitIfNeeded()
{
    if (!open_) return;
    if (pending_ > countLimit || now() - lastCommit_ > ageLimit) commit();
}

void WriteBatch::commit()
{
    if (!open_) return;
    db_.execute("COMMIT;");
    rewritesCommitted_.store(rewrites_, std::memory_order_release);
    open_ = false;
    pending_ = 0;
    lastCommit_ = now();
}

bool WriteBatch::resynchronize()
{
    const bool wasOpen = open_;
    open_ = !db_.isAutocommit();
    if (open_ || !wasOpen) return false;
    pending_ = 0;
    ++lost_;
    return true;
}
