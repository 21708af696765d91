#include "index/ParallelReads.h"

#include <exception>
#include <thread>

namespace ParallelReads {

std::pair<std::int64_t, std::int64_t> range(std::int64_t first, std::int64_t last, std::size_t share,
                                            std::size_t shares)
{
    const auto span = static_cast<unsigned long long>(last - first) + 1;
    const auto low = first + static_cast<std::int64_t>(span * share / shares);
    const auto high = first + static_cast<std::int64_t>(span * (share + 1) / shares) - 1;
    return {low, high};
}

void inParallel(const std::vector<SQLiteConnection*>& connections,
                const std::function<void(std::size_t, SQLiteConnection&)>& work)
{
    std::vector<std::exception_ptr> failures(connections.size());
    const auto run = [&](std::size_t share) {
        try {
            work(share, *connections[share]);
        } catch (...) {
            failures[share] = std::current_exception();
        }
    };
    std::vector<std::thread> threads;
    threads.reserve(connections.size());
    for (std::size_t share = 1; share < connections.size(); ++share) threads.emplace_back(run, share);
    run(0);
    for (auto& thread : threads) thread.join();
    for (const auto& failure : failures)
        if (failure) std::rethrow_exception(failure);
}

} // namespace ParallelReads
