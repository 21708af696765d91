#include "scanning/ScanCounters.h"

#include <algorithm>

ScanCounters::ScanCounters(Clock clock) : clock_(std::move(clock)) {}

std::chrono::steady_clock::time_point ScanCounters::now() const
{
    return clock_ ? clock_() : std::chrono::steady_clock::now();
}

ScanProgress ScanCounters::snapshot() const
{
    const auto instant = now();
    std::lock_guard guard(lock_);
    ScanProgress copy = value_;
    if (runningSince_)
        copy.elapsedSeconds += std::chrono::duration<double>(instant - *runningSince_).count();
    return copy;
}

void ScanCounters::reset(double startedAt, bool resumed, const ScanProgress& earlier)
{
    ScanProgress fresh;
    fresh.phase = ScanPhase::Kind::scanning;
    fresh.startedAt = startedAt;
    fresh.isResumed = resumed;
    if (resumed) {
        fresh.filesScanned = earlier.filesScanned;
        fresh.foldersScanned = earlier.foldersScanned;
        fresh.bytesAnalyzed = earlier.bytesAnalyzed;
        fresh.restrictedFolders = earlier.restrictedFolders;
        fresh.errors = earlier.errors;
        fresh.newFiles = earlier.newFiles;
        fresh.changedFiles = earlier.changedFiles;
        fresh.deletedFiles = earlier.deletedFiles;
        fresh.elapsedSeconds = earlier.elapsedSeconds;
    }
    const auto instant = now();
    std::lock_guard guard(lock_);
    value_ = std::move(fresh);
    runningSince_ = instant;
}

void ScanCounters::setPhase(ScanPhase phase)
{
    std::lock_guard guard(lock_);
    value_.phase = std::move(phase);
}

void ScanCounters::pause()
{
    const auto instant = now();
    std::lock_guard guard(lock_);
    value_.phase = ScanPhase::Kind::paused;
    if (runningSince_) {
        value_.elapsedSeconds += std::chrono::duration<double>(instant - *runningSince_).count();
        runningSince_.reset();
    }
}

void ScanCounters::resume()
{
    const auto instant = now();
    std::lock_guard guard(lock_);
    value_.phase = ScanPhase::Kind::scanning;
    if (!runningSince_)
        runningSince_ = instant;
}

void ScanCounters::folderStarted(const std::string& path)
{
    std::lock_guard guard(lock_);
    value_.currentPath = path;
}

void ScanCounters::folderRefused()
{
    std::lock_guard guard(lock_);
    ++value_.restrictedFolders;
}

void ScanCounters::folderFailed()
{
    std::lock_guard guard(lock_);
    ++value_.errors;
}

void ScanCounters::folderSynced(std::int64_t files, std::int64_t bytes, const DirectorySyncResult& result)
{
    std::lock_guard guard(lock_);
    ++value_.foldersScanned;
    value_.filesScanned += files;
    value_.bytesAnalyzed += bytes;
    value_.newFiles += result.newFiles;
    value_.changedFiles += result.changedFiles;
    value_.deletedFiles += result.deletedFiles;
}

void ScanCounters::folderSyncedAgain(const DirectorySyncResult& result)
{
    std::lock_guard guard(lock_);
    value_.newFiles += result.newFiles;
    value_.changedFiles += result.changedFiles;
    value_.deletedFiles += result.deletedFiles;
}

void ScanCounters::addFigures(std::int64_t folders, std::int64_t files, std::int64_t bytes)
{
    std::lock_guard guard(lock_);
    value_.foldersScanned += std::max<std::int64_t>(folders, 0);
    value_.filesScanned += std::max<std::int64_t>(files, 0);
    value_.bytesAnalyzed += std::max<std::int64_t>(bytes, 0);
}
