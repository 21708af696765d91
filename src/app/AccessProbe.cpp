#include "app/AccessProbe.h"

#include "app/PermissionManager.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

struct AccessProbe::State {
    std::atomic<bool> running{false};
    std::atomic<bool> stopped{false};
};

namespace {

// The answer of `work` if it comes within `limit`; the work is left to finish on
// its own when the file system never answers.
template <class T>
std::optional<T> answerWithin(std::function<T()> work, std::chrono::milliseconds limit)
{
    struct Shared {
        std::mutex mutex;
        std::condition_variable ready;
        std::optional<T> value;
    };
    auto shared = std::make_shared<Shared>();
    std::thread([work = std::move(work), shared] {
        T value = work();
        std::lock_guard lock(shared->mutex);
        shared->value = std::move(value);
        shared->ready.notify_all();
    }).detach();
    std::unique_lock lock(shared->mutex);
    if (!shared->ready.wait_for(lock, limit, [&] { return shared->value.has_value(); })) return std::nullopt;
    return shared->value;
}

} // namespace

AccessProbe::AccessProbe(std::chrono::milliseconds limit)
    : AccessProbe(limit, &PermissionManager::accessStatus,
                  [](const std::string& home) { return PermissionManager::hasFullDiskAccess(home); })
{
}

AccessProbe::AccessProbe(std::chrono::milliseconds limit, Probe probe, FullDiskAccessProbe fullDiskAccess)
    : limit_(limit), probe_(std::move(probe)), fullDiskAccess_(std::move(fullDiskAccess)),
      state_(std::make_shared<State>())
{
}

AccessProbe::~AccessProbe()
{
    state_->stopped = true;
}

bool AccessProbe::isRunning() const
{
    return state_->running;
}

AccessStatus AccessProbe::within(const Probe& probe, const std::string& path, std::chrono::milliseconds limit)
{
    return answerWithin<AccessStatus>([probe, path] { return probe(path); }, limit).value_or(AccessStatus::denied);
}

bool AccessProbe::start(std::vector<std::string> paths, std::string home, std::function<void(Result)> done)
{
    bool idle = false;
    if (!state_->running.compare_exchange_strong(idle, true)) return false;
    std::thread([state = state_, limit = limit_, probe = probe_, fullDiskAccess = fullDiskAccess_,
                 paths = std::move(paths), home = std::move(home), done = std::move(done)] {
        Result result;
        for (const auto& path : paths) {
            if (state->stopped) break;
            result.statuses[path] = within(probe, path, limit);
        }
        // The Full Disk Access probe touches the file system too, under the same limit;
        // a home folder that does not answer cannot be read.
        if (!state->stopped)
            result.fullDiskAccess =
                answerWithin<std::optional<bool>>([fullDiskAccess, home] { return fullDiskAccess(home); }, limit)
                    .value_or(false);
        const bool stopped = state->stopped;
        state->running = false;
        if (!stopped && done) done(std::move(result));
    }).detach();
    return true;
}
