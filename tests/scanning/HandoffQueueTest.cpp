#include "scanning/HandoffQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// Until `count` producers wait for room: from then on none of them moves.
template <class Item>
void untilProducersWait(const HandoffQueue<Item>& queue, std::size_t count)
{
    while (queue.waitingProducers() < count)
        std::this_thread::yield();
}

} // namespace

TEST(HandoffQueue, EachProducersItemsArriveInOrderAndNoneIsLost)
{
    HandoffQueue<std::pair<int, int>> queue(3);
    constexpr int producers = 4;
    constexpr int perProducer = 500;
    std::vector<std::thread> threads;
    for (int p = 0; p < producers; ++p)
        threads.emplace_back([&, p] {
            for (int i = 0; i < perProducer; ++i)
                queue.push({p, i});
        });
    std::jthread closer([&] {
        for (auto& thread : threads)
            thread.join();
        queue.close();
    });
    std::vector<int> next(producers, 0);
    std::size_t largestTake = 0;
    for (;;) {
        const auto taken = queue.takeAll();
        if (taken.empty())
            break;
        largestTake = std::max(largestTake, taken.size());
        for (const auto& [producer, index] : taken) {
            ASSERT_EQ(index, next[producer]);
            ++next[producer];
        }
    }
    EXPECT_EQ(next, std::vector<int>(producers, perProducer));
    EXPECT_LE(largestTake, 3u);
}

TEST(HandoffQueue, AFullQueueHoldsProducersUntilTheConsumerTakesEverything)
{
    HandoffQueue<int> queue(2);
    queue.push(1);
    queue.push(2);
    std::atomic<bool> pushed{false};
    std::atomic<int> warned{0};
    std::jthread producer([&] {
        // Told before it waits, so that it can let go of what the consumer may need.
        queue.push(3, 1, [&] { ++warned; });
        pushed = true;
    });
    untilProducersWait(queue, 1);
    EXPECT_FALSE(pushed);
    EXPECT_EQ(warned.load(), 1);
    EXPECT_EQ(queue.takeAll(), (std::vector<int>{1, 2}));
    producer.join();
    EXPECT_TRUE(pushed);
    EXPECT_EQ(warned.load(), 1);
    queue.push(4, 1, [&] { ++warned; });   // room: no warning
    EXPECT_EQ(warned.load(), 1);
    queue.close();
    // What was queued before closing still arrives; then nothing, at once.
    EXPECT_EQ(queue.takeAll(), (std::vector<int>{3, 4}));
    EXPECT_TRUE(queue.takeAll().empty());
}

TEST(HandoffQueue, ClosingWakesAWaitingConsumer)
{
    HandoffQueue<int> queue(4);
    std::jthread closer([&] {
        while (!queue.consumerWaits())
            std::this_thread::yield();
        queue.close();
    });
    EXPECT_TRUE(queue.takeAll().empty());
}

TEST(HandoffQueue, WeightHoldsProducersBackButAHeavyItemStillEntersAnEmptyQueue)
{
    HandoffQueue<int> queue(10, 5);
    queue.push(1, 3);
    std::atomic<bool> pushed{false};
    std::jthread producer([&] {
        queue.push(2, 3);   // 6 would pass the weight bound, though the count has room
        pushed = true;
    });
    untilProducersWait(queue, 1);
    EXPECT_FALSE(pushed);
    EXPECT_EQ(queue.takeAll(), (std::vector<int>{1}));
    producer.join();
    EXPECT_TRUE(pushed);
    EXPECT_EQ(queue.takeAll(), (std::vector<int>{2}));
    // Heavier than the whole bound: alone it must not wait forever.
    queue.push(3, 50);
    std::atomic<bool> light{false};
    std::jthread second([&] {
        queue.push(4, 1);
        light = true;
    });
    untilProducersWait(queue, 1);
    EXPECT_FALSE(light);
    EXPECT_EQ(queue.takeAll(), (std::vector<int>{3}));
    second.join();
    EXPECT_EQ(queue.takeAll(), (std::vector<int>{4}));
}

TEST(HandoffQueue, ATakeEmptiesTheGivenVectorAndLeavesItsRoomToTheQueue)
{
    HandoffQueue<int> queue(8);
    std::vector<int> taken{7, 8, 9};
    taken.reserve(64);
    queue.push(1);
    EXPECT_TRUE(queue.takeAllWithin(10ms, taken));
    EXPECT_EQ(taken, std::vector<int>{1});
    queue.push(2);
    std::vector<int> next;
    EXPECT_TRUE(queue.takeAllWithin(10ms, next));
    EXPECT_EQ(next, std::vector<int>{2});
    EXPECT_GE(next.capacity(), 64u);   // pushes went into the room handed over
    EXPECT_FALSE(queue.takeAllWithin(10ms, next));
    EXPECT_TRUE(next.empty());
}

TEST(HandoffQueue, ABatchGoesInWholeInItsOrderOnceThereIsRoomForAllOfIt)
{
    HandoffQueue<int> queue(4);
    queue.push(1);
    queue.push(2);
    std::vector<int> batch{3, 4, 5};
    std::atomic<bool> pushed{false};
    std::atomic<int> warned{0};
    std::jthread producer([&] {
        queue.pushAll(batch, 3, [&] { ++warned; });   // five would not fit in four
        pushed = true;
    });
    untilProducersWait(queue, 1);
    EXPECT_FALSE(pushed);
    EXPECT_EQ(warned.load(), 1);
    EXPECT_EQ(queue.takeAll(), (std::vector<int>{1, 2}));
    producer.join();
    EXPECT_TRUE(batch.empty());
    EXPECT_EQ(queue.takeAll(), (std::vector<int>{3, 4, 5}));
    // More than the whole room still goes into an empty queue, and nothing at all is no push.
    std::vector<int> large{6, 7, 8, 9, 10, 11};
    queue.pushAll(large, 6, [] {});
    std::vector<int> none;
    queue.pushAll(none, 0, [] { FAIL() << "an empty batch waits for nothing"; });
    EXPECT_EQ(queue.takeAll(), (std::vector<int>{6, 7, 8, 9, 10, 11}));
}
