#pragma once

#include "scanning/ScanProgress.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

// The one live ScanProgress of a scan, shared by its workers, its ticker and
// pause and resume. Every member holds the lock for a few field operations only.
class ScanCounters {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // An empty clock means the steady clock.
    explicit ScanCounters(Clock clock = {});

    // The progress now, with the running time up to this moment.
    ScanProgress snapshot() const;

    // Phase scanning with the clock running. A fresh scan counts from 0; a resumed one from
    // `earlier`, what it had counted (and how long it had run) before it stopped, so that
    // no figure goes down when it goes on.
    void reset(double startedAt, bool resumed, const ScanProgress& earlier = {});
    void setPhase(ScanPhase phase);
    // Phase paused, and the running time stands still until resume().
    void pause();
    void resume();

    void folderStarted(const std::string& path);
    void folderRefused();
    void folderFailed();
    void folderSynced(std::int64_t files, std::int64_t bytes, const DirectorySyncResult& result);
    // A folder synced whose folder, files and bytes are counted elsewhere (by addFigures(), or in a
    // resumed scan's earlier figures): only the sync's new, changed and deleted files.
    void folderSyncedAgain(const DirectorySyncResult& result);
    // Adds the figures; one that would go down stays as it is.
    void addFigures(std::int64_t folders, std::int64_t files, std::int64_t bytes);

private:
    std::chrono::steady_clock::time_point now() const;

    Clock clock_;
    mutable std::mutex lock_;
    ScanProgress value_;
    // Set while the running time runs; value_.elapsedSeconds holds the time run before it.
    std::optional<std::chrono::steady_clock::time_point> runningSince_;
};
