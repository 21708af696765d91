#pragma once

#include "scanning/ScanProgress.h"

#include <mutex>
#include <string>

// The one live ScanProgress of a scan, shared by its workers, its ticker and
// pause and resume. Every member holds the lock for a few field operations only.
class ScanCounters {
public:
    ScanProgress snapshot() const;

    // Phase scanning, every count 0.
    void reset(double startedAt, bool resumed);
    void setPhase(ScanPhase phase);

    void folderStarted(const std::string& path);
    void folderRefused();
    void folderFailed();
    void folderSynced(std::int64_t files, std::int64_t bytes, const DirectorySyncResult& result);
    void folderTakenFromIndex(std::int64_t files, std::int64_t bytes);

private:
    mutable std::mutex lock_;
    ScanProgress value_;
};
