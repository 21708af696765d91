#include "scanning/DirectoryWorkQueue.h"
#include "scanning/PauseGate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

using Job = DirectoryWorkQueue::Job;

Job job(const char* path) { return Job{.path = path, .name = path, .device = 1}; }

// Until `count` callers wait, at the queue or the gate: from then on none of them moves.
template <class Waited>
void untilWaiting(const Waited& waited, std::size_t count)
{
    while (waited.waitingCount() < count)
        std::this_thread::yield();
}

} // namespace

TEST(DirectoryWorkQueue, NewestJobFirstAndEndWhenNothingIsLeftAnywhere)
{
    DirectoryWorkQueue queue;
    EXPECT_FALSE(queue.next());   // an empty queue with no holder has ended already

    DirectoryWorkQueue walk;
    walk.push({job("A"), job("B"), job("C")});
    EXPECT_EQ(walk.next()->path, "C");
    EXPECT_EQ(walk.next()->path, "B");
    EXPECT_EQ(walk.activeCount(), 2u);

    // Two workers wait while the holders still work; the queue ends only when the
    // last holder completes without children.
    std::atomic<int> ended{0};
    std::vector<std::thread> waiting;
    for (int i = 0; i < 2; ++i)
        waiting.emplace_back([&] {
            while (auto taken = walk.next())
                walk.complete();
            ++ended;
        });
    // "A" is pending: one worker takes it and completes it, then both wait.
    untilWaiting(walk, 2);
    EXPECT_EQ(ended.load(), 0);
    walk.complete();
    walk.push({});
    walk.complete();
    for (auto& thread : waiting)
        thread.join();
    EXPECT_EQ(ended.load(), 2);
    EXPECT_FALSE(walk.next());
}

TEST(DirectoryWorkQueue, AWorkersStepGivesChildrenToWaitersKeepsTheNewestAndEndsTheWalk)
{
    DirectoryWorkQueue walk;
    walk.push({job("root")});
    auto held = walk.next();
    ASSERT_TRUE(held);

    // One worker waits for work; the holder's step hands it a child and takes the newest of
    // the rest itself.
    std::optional<Job> given;
    std::atomic<bool> mayFinish{false};
    std::thread waiter([&] {
        given = walk.next();
        while (!mayFinish)
            std::this_thread::yield();
        EXPECT_FALSE(walk.completeAndNext({}));   // its step ends the walk, as nothing else is held
    });
    untilWaiting(walk, 1);
    // Told only before it waits, so that it can let go of what other workers may need.
    int warned = 0;
    const auto warn = [&] { ++warned; };
    held = walk.completeAndNext({job("a"), job("b"), job("c")}, warn);
    ASSERT_TRUE(held);
    EXPECT_EQ(held->path, "c");
    EXPECT_EQ(walk.activeCount(), 2u);   // root is done; the waiter and this worker hold one each
    held = walk.completeAndNext({}, warn);
    ASSERT_TRUE(held);
    EXPECT_EQ(held->path, "b");
    EXPECT_EQ(warned, 0);
    // The other worker lets go of a only once this one waits for it.
    std::thread releaser([&] {
        untilWaiting(walk, 1);
        mayFinish = true;
    });
    EXPECT_FALSE(walk.completeAndNext({}, warn));   // waits while the other worker holds a, then ends
    releaser.join();
    EXPECT_EQ(warned, 1);
    waiter.join();
    ASSERT_TRUE(given);
    EXPECT_EQ(given->path, "a");
    EXPECT_FALSE(walk.next());
}

TEST(DirectoryWorkQueue, CancelDropsJobsWakesWaitersAndIgnoresLaterPushes)
{
    DirectoryWorkQueue queue;
    queue.push({job("root"), job("other")});
    ASSERT_TRUE(queue.next());
    std::atomic<bool> woke{false};
    std::thread waiter([&] {
        queue.next();   // takes "root"
        woke = !queue.next().has_value();
    });
    untilWaiting(queue, 1);
    queue.cancel();
    waiter.join();
    EXPECT_TRUE(woke.load());
    queue.push({job("late")});
    EXPECT_FALSE(queue.next());
}

TEST(PauseGate, ResumeReleasesEveryWaiterEvenIfPausedAgain)
{
    PauseGate gate;
    gate.waitIfPaused();   // open: returns at once
    gate.pause();
    std::atomic<int> through{0};
    std::vector<std::thread> workers;
    for (int i = 0; i < 3; ++i)
        workers.emplace_back([&] {
            gate.waitIfPaused();
            ++through;
        });
    untilWaiting(gate, 3);
    EXPECT_EQ(through.load(), 0);
    gate.resume();
    gate.pause();
    for (auto& worker : workers)
        worker.join();
    EXPECT_EQ(through.load(), 3);
    EXPECT_TRUE(gate.isPaused());
    gate.resume();
}

TEST(PauseGate, AStopReleasesWaitersAndOutrunsALatePause)
{
    PauseGate gate;
    gate.pause();
    std::stop_source stopper;
    std::atomic<bool> through{false};
    std::thread waiter([&] {
        gate.waitIfPaused(stopper.get_token());
        through = true;
    });
    untilWaiting(gate, 1);
    EXPECT_FALSE(through.load());
    stopper.request_stop();
    waiter.join();
    EXPECT_TRUE(through.load());

    // Paused again after the stop: a worker arriving late must not stay there.
    gate.pause();
    gate.waitIfPaused(stopper.get_token());
    EXPECT_TRUE(gate.isPaused());
}

TEST(PauseGate, AWorkerIsToldBeforeItWaitsAndOnlyThen)
{
    PauseGate gate;
    int warned = 0;
    const auto warn = [&] { ++warned; };
    gate.waitIfPaused({}, warn);
    EXPECT_EQ(warned, 0);
    gate.pause();
    std::stop_source stopper;
    stopper.request_stop();
    gate.waitIfPaused(stopper.get_token(), warn);
    EXPECT_EQ(warned, 1);
}
