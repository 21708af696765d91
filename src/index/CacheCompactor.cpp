#include "index/CacheCompactor.h"

#include "index/CacheMaintenance.h"
#include "index/SQLiteConnection.h"
#include "index/SQLiteError.h"
#include "platform/ThreadName.h"

CacheCompactor::CacheCompactor(std::string path, std::function<bool()> mayRewrite)
    : path_(std::move(path)), mayRewrite_(std::move(mayRewrite))
{
    thread_ = std::thread([this] { run(); });
}

CacheCompactor::~CacheCompactor() { stop(); }

void CacheCompactor::stop()
{
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
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

bool CacheCompactor::isFinished()
{
    std::lock_guard lock(mutex_);
    return finished_;
}

void CacheCompactor::release()
{
    {
        std::lock_guard lock(mutex_);
        holdsWrites_ = false;
    }
    released_.notify_all();
}

void CacheCompactor::run()
{
    ThreadName::set("cache-compact");
    try {
        SQLiteConnection db(path_);
        db.interruptWhen(stopping_);
        const auto room = CacheMaintenance::room(db);
        // A rewrite that fills the disk half way would leave less room than it found.
        const bool loose = room && CacheMaintenance::isLoose(*room) &&
                           CacheMaintenance::diskHoldsCompaction(path_, room->fileBytes);
        if ((loose || (room && CacheMaintenance::logIsLarge(*room))) && !stopping_) {
            {
                std::lock_guard lock(mutex_);
                holdsWrites_ = true;
            }
            try {
                if (mayRewrite_() && !stopping_)
                    loose ? CacheMaintenance::compact(db) : CacheMaintenance::emptyLog(db);
            } catch (const SQLiteError&) {
                // Rolled back: the file stays as it was, and a later scan's end tries again.
            }
            release();
        }
    } catch (...) {
        // No connection: a later scan's end tries again.
    }
    release();
    std::lock_guard lock(mutex_);
    finished_ = true;
}
