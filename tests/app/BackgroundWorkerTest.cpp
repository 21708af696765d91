#include "app/BackgroundWorker.h"

#include "app/BackgroundWork.h"
#include "app/support/AppTestSupport.h"

#include <QObject>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <vector>

using namespace std::chrono_literals;

namespace {

class BackgroundWorkerTest : public ::testing::Test {
protected:
    BackgroundWorkerTest() { ensureCoreApplication(); }
};

} // namespace

TEST_F(BackgroundWorkerTest, RequestsRunInOrderOnOneNamedThreadAndAnswerOnTheMainThread)
{
    BackgroundWorker worker(QStringLiteral("Test worker"));
    QObject owner;
    QPointer<QObject> guard(&owner);
    std::vector<int> answered;
    std::vector<QString> threadNames;
    std::vector<QThread*> threads;
    std::vector<bool> onMainThread;
    for (int i = 1; i <= 3; ++i)
        worker.request([guard, i, &threadNames, &threads, &answered, &onMainThread](std::stop_token) {
            QString name = QThread::currentThread()->objectName();
            QThread* thread = QThread::currentThread();
            postToMainThread(guard, [=, &threadNames, &threads, &answered, &onMainThread] {
                threadNames.push_back(name);
                threads.push_back(thread);
                answered.push_back(i);
                onMainThread.push_back(QThread::currentThread() == QCoreApplication::instance()->thread());
            });
        });
    ASSERT_TRUE(waitUntil([&] { return answered.size() == 3; }));
    EXPECT_EQ(answered, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(threadNames, (std::vector<QString>(3, QStringLiteral("Test worker"))));
    EXPECT_EQ(threads[0], threads[1]);
    EXPECT_EQ(threads[1], threads[2]);
    EXPECT_NE(threads[0], QCoreApplication::instance()->thread());
    EXPECT_EQ(onMainThread, (std::vector<bool>(3, true)));
}

// What happens to a request that runs while the worker goes away, by how it ends.
TEST_F(BackgroundWorkerTest, GoingAwayStopsTheRunningRequestAndLeavesBehindOnlyOneThatNeverEnds)
{
    struct Case {
        const char* name;
        bool seesItsStop;   // the request ends once asked to stop; otherwise it blocks for good
        int leftBehind;
    };
    const Case cases[] = {
        {"ends when asked", true, 0},
        {"blocks for good", false, 1},
    };
    for (const Case& c : cases) {
        const int before = BackgroundWorker::leftBehind();
        // Set once the case is checked, so that no thread left behind stays blocked past its case:
        // the leak check at the end has reported what such a thread holds as lost.
        auto never = std::make_shared<std::promise<void>>();
        auto started = std::make_shared<std::promise<void>>();
        auto later = std::make_shared<std::atomic<bool>>(false);
        auto stopped = std::make_shared<std::atomic<bool>>(false);
        const auto begun = std::chrono::steady_clock::now();
        {
            BackgroundWorker worker(QStringLiteral("Test worker"));
            worker.request([c, never, started, stopped](std::stop_token stop) {
                started->set_value();
                if (c.seesItsStop) {
                    std::promise<void> woken;
                    std::stop_callback wake(stop, [&] { woken.set_value(); });
                    woken.get_future().wait();
                    *stopped = true;
                } else {
                    never->get_future().wait();
                }
            });
            worker.request([later](std::stop_token) { *later = true; });
            started->get_future().wait();
        }
        const auto took = std::chrono::steady_clock::now() - begun;
        EXPECT_LT(took, BackgroundWorker::quitBound + 2s) << c.name;
        EXPECT_EQ(BackgroundWorker::leftBehind(), before + c.leftBehind) << c.name;
        EXPECT_EQ(stopped->load(), c.seesItsStop) << c.name;
        EXPECT_FALSE(later->load()) << c.name << ": a request queued behind is dropped";
        never->set_value();
    }
}

TEST_F(BackgroundWorkerTest, AnAbandonedThreadIsReplacedAndTheNextRequestRuns)
{
    BackgroundWorker worker(QStringLiteral("Test worker"));
    auto never = std::make_shared<std::promise<void>>();
    auto started = std::make_shared<std::promise<void>>();
    worker.request([never, started](std::stop_token) {
        started->set_value();
        never->get_future().wait();
    });
    started->get_future().wait();
    const int before = BackgroundWorker::leftBehind();
    worker.abandon();
    EXPECT_EQ(BackgroundWorker::leftBehind(), before + 1);

    QObject owner;
    QPointer<QObject> guard(&owner);
    bool ran = false;
    worker.request([guard, &ran](std::stop_token) { postToMainThread(guard, [&ran] { ran = true; }); });
    EXPECT_TRUE(waitUntil([&] { return ran; }));
    never->set_value();
}
