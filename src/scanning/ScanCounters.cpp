#include "scanning/ScanCounters.h"

ScanProgress ScanCounters::snapshot() const
{
    std::lock_guard guard(lock_);
    return value_;
}

void ScanCounters::reset(double startedAt, bool resumed)
{
    ScanProgress fresh;
    fresh.phase = ScanPhase::Kind::scanning;
    fresh.startedAt = startedAt;
    fresh.isResumed = resumed;
    std::lock_guard guard(lock_);
    value_ = std::move(fresh);
}

void ScanCounters::setPhase(ScanPhase phase)
{
    std::lock_guard guard(lock_);
    value_.phase = std::move(phase);
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

void ScanCounters::folderTakenFromIndex(std::int64_t files, std::int64_t bytes)
{
    std::lock_guard guard(lock_);
    ++value_.foldersScanned;
    value_.filesScanned += files;
    value_.bytesAnalyzed += bytes;
}
