#include "index/CacheJob.h"

#include "index/SQLiteConnection.h"
#include "platform/ThreadName.h"

CacheJob::CacheJob(const char* threadName, const std::string& path, Work work)
{
    thread_ = std::thread([this, threadName, path, work = std::move(work)] {
        ThreadName::set(threadName);
        try {
            SQLiteConnection db(path);
            db.interruptWhen(stopping_);
            work(db, stopping_);
        } catch (...) {
            // No connection, or a failure the work left to a later try.
        }
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        ended_.notify_all();
    });
}

CacheJob::~CacheJob() { stop(); }

void CacheJob::stop()
{
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
}

void CacheJob::wait()
{
    std::unique_lock lock(mutex_);
    ended_.wait(lock, [&] { return finished_; });
}

bool CacheJob::isFinished()
{
    std::lock_guard lock(mutex_);
    return finished_;
}
