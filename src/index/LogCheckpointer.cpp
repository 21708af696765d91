#include "index/LogCheckpointer.h"

#include "index/SQLiteConnection.h"
#include "platform/ThreadName.h"


std::unique_ptr<LogCheckpointer> LogCheckpointer::start(SQLiteConnection& writer, const std::string& path,
                                                        Limits limits)
{
    std::unique_ptr<SQLiteConnection> own;
    try {
        own = std::make_unique<SQLiteConnection>(path, SQLiteConnection::Access::readWrite);
        own->execute("PRAGMA cache_size=-256;");
    } catch (const SQLiteError&) {
        return nullptr;
    }
    return std::unique_ptr<LogCheckpointer>(new LogCheckpointer(writer, std::move(own), limits));
}

LogCheckpointer::LogCheckpointer(SQLiteConnection& writer, std::unique_ptr<SQLiteConnection> own, Limits limits)
    : writer_(writer), own_(std::move(own)), limits_(limits)
{
    thread_ = std::thread([this] { run(); });
    writer_.onCommit([this](int logPages) { committed(logPages); });
}

LogCheckpointer::~LogCheckpointer()
{
    writer_.onCommit({});
    {
        std::lock_guard guard(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void LogCheckpointer::committed(int logPages)
{
    if (logPages >= limits_.restart) {
        // A restart fails at once while the thread's copy runs, and a writer that commits
        // often would find it running every time: the log would grow without end. Wait
        // for the copy, keep the next from starting, and restart.
        std::unique_lock lock(mutex_);
        due_ = false;
        wake_.wait(lock, [&] { return !copying_; });
        restarting_ = true;
        lock.unlock();
        writer_.checkpoint(SQLiteConnection::Checkpoint::restart);
        lock.lock();
        restarting_ = false;
    } else if (logPages >= limits_.copy) {
        {
            std::lock_guard guard(mutex_);
            due_ = true;
        }
        wake_.notify_all();
    }
}

void LogCheckpointer::run()
{
    ThreadName::set("cache-ckpt");
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return (due_ && !restarting_) || stopping_; });
        if (stopping_)
            return;
        due_ = false;
        copying_ = true;
        lock.unlock();
        // Passive: copies what no reader still needs and never waits for the writer.
        own_->checkpoint(SQLiteConnection::Checkpoint::passive);
        lock.lock();
        copying_ = false;
        wake_.notify_all();
    }
}
