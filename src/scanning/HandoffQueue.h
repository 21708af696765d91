#pragma once

#include <condition_variable>
#include <cstddef>
#include <limits>
#include <mutex>
#include <vector>

// Hands items from many producers to one consumer, first in first out. A producer waits
// while `capacity` items are queued, or while the weights of those queued and its own
// would pass `weightCapacity`, so producers run at most that far ahead. An item heavier
// than that alone goes into an empty queue. The consumer takes everything queued at once
// and wakes waiting producers once per take: waking them once per item costs more than
// the items.
template <class Item>
class HandoffQueue {
public:
    explicit HandoffQueue(std::size_t capacity,
                          std::size_t weightCapacity = std::numeric_limits<std::size_t>::max())
        : capacity_(capacity > 0 ? capacity : 1), weightCapacity_(weightCapacity)
    {
    }

    void push(Item item, std::size_t weight = 1) { push(std::move(item), weight, [] {}); }

    // With `beforeWait` called, without the lock, when the producer finds no room: it must
    // let go of whatever the consumer may be waiting for.
    template <class BeforeWait>
    void push(Item item, std::size_t weight, BeforeWait&& beforeWait)
    {
        std::vector<Item> one;
        one.push_back(std::move(item));
        pushAll(one, weight, beforeWait);
    }

    // Several items at once, in their order, under one lock; `items` is left empty with its room.
    // They count as one item's weight of `weight` and as items.size() items.
    template <class BeforeWait>
    void pushAll(std::vector<Item>& items, std::size_t weight, BeforeWait&& beforeWait)
    {
        if (items.empty())
            return;
        std::unique_lock lock(mutex_);
        waitForRoom(lock, items.size(), weight, beforeWait);
        for (auto& item : items)
            items_.push_back(std::move(item));
        items.clear();
        added(lock, weight);
    }

    // Blocks until items are queued or the queue is closed; empty only once closed and drained.
    std::vector<Item> takeAll()
    {
        std::vector<Item> taken;
        std::unique_lock lock(mutex_);
        consumerWaiting_ = true;
        notEmpty_.wait(lock, [&] { return !items_.empty() || closed_; });
        consumerWaiting_ = false;
        handOver(taken, lock);
        return taken;
    }

    // Waits at most `timeout` for items, then swaps them into `taken` (emptied first), whose
    // room the queue keeps for the next ones: growing the queue under its lock held every
    // producer up. False, with nothing taken, when none came in that time; empty only once
    // closed and drained.
    template <class Duration>
    bool takeAllWithin(Duration timeout, std::vector<Item>& taken)
    {
        taken.clear();
        std::unique_lock lock(mutex_);
        consumerWaiting_ = true;
        const bool ready = notEmpty_.wait_for(lock, timeout, [&] { return !items_.empty() || closed_; });
        consumerWaiting_ = false;
        if (!ready)
            return false;
        handOver(taken, lock);
        return true;
    }

    // After the last push: the consumer gets what is left, then nothing.
    void close()
    {
        std::lock_guard guard(mutex_);
        closed_ = true;
        notEmpty_.notify_one();
    }

    // Producers waiting for room now.
    std::size_t waitingProducers() const
    {
        std::lock_guard guard(mutex_);
        return waitingProducers_;
    }
    // Whether the consumer waits for items now.
    bool consumerWaits() const
    {
        std::lock_guard guard(mutex_);
        return consumerWaiting_;
    }

private:
    template <class BeforeWait>
    void waitForRoom(std::unique_lock<std::mutex>& lock, std::size_t count, std::size_t weight, BeforeWait& beforeWait)
    {
        const auto hasRoom = [&] {
            return items_.empty() ||
                   (items_.size() + count <= capacity_ && weight <= weightCapacity_ - queuedWeight_);
        };
        if (!hasRoom()) {
            lock.unlock();
            beforeWait();
            lock.lock();
        }
        if (!hasRoom()) {
            ++waitingProducers_;
            notFull_.wait(lock, hasRoom);
            --waitingProducers_;
        }
    }

    void added(std::unique_lock<std::mutex>& lock, std::size_t weight)
    {
        queuedWeight_ = weight > weightCapacity_ - queuedWeight_ ? weightCapacity_ : queuedWeight_ + weight;
        // One wake per wait: the consumer takes everything once it has the lock, and a
        // producer that wakes it again only adds to the contention for that lock.
        const bool wake = consumerWaiting_;
        consumerWaiting_ = false;
        lock.unlock();
        if (wake)
            notEmpty_.notify_one();
    }

    // Takes everything waiting and lets go of the lock before waking the producers, so that
    // they do not wake only to wait for it.
    void handOver(std::vector<Item>& taken, std::unique_lock<std::mutex>& lock)
    {
        taken.swap(items_);
        queuedWeight_ = 0;
        const bool wake = waitingProducers_ > 0;
        lock.unlock();
        if (wake)
            notFull_.notify_all();
    }

    std::size_t capacity_;
    std::size_t weightCapacity_;
    std::size_t queuedWeight_ = 0;
    mutable std::mutex mutex_;
    std::condition_variable notFull_;
    std::condition_variable notEmpty_;
    std::vector<Item> items_;
    std::size_t waitingProducers_ = 0;
    bool consumerWaiting_ = false;
    bool closed_ = false;
};
