#pragma once

#include "scanning/HandoffQueue.h"
#include "scanning/ListedFolder.h"

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

// Carries listed folders from the readers to the writer, and written ones back to the reader
// that listed them, which frees them there: freeing memory of another thread's arena waits
// for that thread's own allocations, and the writer is the one who must not wait. Each way
// has a lock of its own: the handoff queue's, and each reader's return bin's.
class FolderHandoff {
public:
    FolderHandoff(std::size_t readers, std::size_t capacity, std::size_t entryBudget);

    // A reader's folders, in listing order; waits for room, calling `beforeWait` first.
    template <class BeforeWait>
    void handOver(std::vector<ListedFolder>& folders, std::size_t entries, BeforeWait&& beforeWait)
    {
        queue_.pushAll(folders, entries, beforeWait);
    }
    // The writer's: what came within `timeout` (see HandoffQueue::takeAllWithin).
    template <class Duration>
    bool takeWithin(Duration timeout, std::vector<ListedFolder>& taken)
    {
        return queue_.takeAllWithin(timeout, taken);
    }
    // After the readers' last hand-over.
    void close() { queue_.close(); }

    // The writer's: written folders, back to their readers' bins.
    void giveBack(std::vector<ListedFolder>& written);
    // A reader's: frees what came back to it, outside the bin's lock. `spare` is the reader's
    // own vector, left empty, whose room goes to the bin in turn.
    void freeReturned(std::size_t reader, std::vector<ListedFolder>& spare);

private:
    struct ReturnBin {
        std::mutex lock;
        std::vector<ListedFolder> folders;
    };

    HandoffQueue<ListedFolder> queue_;
    std::vector<std::unique_ptr<ReturnBin>> bins_;
};
