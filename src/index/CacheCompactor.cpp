#include "index/CacheCompactor.h"

#include "index/CacheMaintenance.h"
#include "index/SQLiteConnection.h"

CacheCompactor::CacheCompactor(std::string path, std::function<bool()> mayRewrite)
    : path_(std::move(path)),
      mayRewrite_(std::move(mayRewrite)),
      job_("cache-compact", path_, [this](SQLiteConnection& db, const std::atomic<bool>& stopping) { run(db, stopping); })
{
}

bool CacheCompactor::holdsWrites()
{
    std::lock_guard lock(mutex_);
    return holdsWrites_;
}

void CacheCompactor::waitForWrites()
{
    std::unique_lock lock(mutex_);
    released_.wait(lock, [&] { return !holdsWrites_; });
}

void CacheCompactor::hold(bool writes)
{
    {
        std::lock_guard lock(mutex_);
        holdsWrites_ = writes;
    }
    if (!writes)
        released_.notify_all();
}

void CacheCompactor::run(SQLiteConnection& db, const std::atomic<bool>& stopping)
{
    const auto room = CacheMaintenance::room(db);
    // A rewrite that fills the disk half way would leave less room than it found.
    const bool loose =
        room && CacheMaintenance::isLoose(*room) && CacheMaintenance::diskHoldsCompaction(path_, room->fileBytes);
    if (!(loose || (room && CacheMaintenance::logIsLarge(*room))) || stopping)
        return;
    hold(true);
    try {
        if (mayRewrite_() && !stopping)
            loose ? CacheMaintenance::compact(db) : CacheMaintenance::emptyLog(db);
    } catch (...) {
        // Rolled back: the file stays as it was, and a later scan's end tries again. The
        // writes are let go whatever failed.
    }
    hold(false);
}
