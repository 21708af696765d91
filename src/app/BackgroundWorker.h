#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <stop_token>
#include <vector>

class QThread;

// One long-lived worker on one named thread. Requests run there one after another, in
// the order they were made; a request answers through postToMainThread, so nothing
// reaches an owner that is gone. There is nothing to reap: the thread lives as long
// as the worker. Main thread only.
//
// Going away asks the running request to stop and waits for it a short while at
// most. A request that does not end by then (a read that blocks for good) is left
// behind with its thread, so that no worker can hold up quitting; it can answer
// nobody, since its owner is gone.
class BackgroundWorker {
public:
    static constexpr std::chrono::milliseconds quitBound{500};

    explicit BackgroundWorker(const QString& threadName);
    ~BackgroundWorker();
    BackgroundWorker(const BackgroundWorker&) = delete;
    BackgroundWorker& operator=(const BackgroundWorker&) = delete;

    // Queues `work` for the worker thread; it gets a token that is stopped when the
    // worker goes away. Work not begun by then is dropped.
    void request(std::function<void(std::stop_token)> work);

    // Leaves the thread behind now, with whatever it is doing, and goes on with a new
    // one: for a request that is known to hang.
    void abandon();

    // Threads left behind in this process so far.
    static int leftBehind();

private:
    struct Thread;
    // Left behind stay reachable until the process ends: deleting a running QThread
    // aborts the program, and their requests may still use what they hold.
    static std::vector<std::unique_ptr<Thread>>& leftBehindThreads();
    void start();
    void stop(std::chrono::milliseconds wait);

    QString name_;
    std::unique_ptr<Thread> thread_;
};
