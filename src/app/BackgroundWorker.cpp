#include "app/BackgroundWorker.h"

#include <QDeadlineTimer>
#include <QMetaObject>
#include <QThread>

#include <mutex>
#include <vector>

struct BackgroundWorker::Thread {
    QThread* thread = nullptr;
    // Lives on `thread`; requests are queued calls to it.
    QObject* context = nullptr;
    std::stop_source stop;
};

namespace {

std::mutex leftBehindMutex;

} // namespace

std::vector<std::unique_ptr<BackgroundWorker::Thread>>& BackgroundWorker::leftBehindThreads()
{
    static auto* threads = new std::vector<std::unique_ptr<Thread>>;
    return *threads;
}

BackgroundWorker::BackgroundWorker(const QString& threadName) : name_(threadName)
{
    start();
}

BackgroundWorker::~BackgroundWorker()
{
    stop(quitBound);
}

void BackgroundWorker::start()
{
    thread_ = std::make_unique<Thread>();
    thread_->thread = new QThread;
    thread_->thread->setObjectName(name_);
    thread_->context = new QObject;
    thread_->context->moveToThread(thread_->thread);
    thread_->thread->start();
}

void BackgroundWorker::request(std::function<void(std::stop_token)> work)
{
    QMetaObject::invokeMethod(
        thread_->context,
        [work = std::move(work), token = thread_->stop.get_token()] {
            // The event loop may take up what was queued before it saw the quit.
            if (token.stop_requested())
                return;
            // An escaping exception would end the program on the worker's event loop;
            // each request reports its own failures in its answer.
            try {
                work(token);
            } catch (...) {
            }
        },
        Qt::QueuedConnection);
}

void BackgroundWorker::abandon()
{
    stop(std::chrono::milliseconds(0));
    start();
}

int BackgroundWorker::leftBehind()
{
    std::lock_guard lock(leftBehindMutex);
    return static_cast<int>(leftBehindThreads().size());
}

void BackgroundWorker::stop(std::chrono::milliseconds wait)
{
    thread_->stop.request_stop();
    // Requests still queued are dropped with the context.
    thread_->thread->quit();
    if (thread_->thread->wait(QDeadlineTimer(wait))) {
        delete thread_->context;
        delete thread_->thread;
        thread_.reset();
        return;
    }
    std::lock_guard lock(leftBehindMutex);
    leftBehindThreads().push_back(std::move(thread_));
}
