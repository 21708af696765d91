#include "scanning/ChangeLedger.h"

#include "index/ScanRecords.h"

void ChangeLedger::add(const DirectorySyncResult& result)
{
    pending_.newFiles += result.newFiles;
    pending_.changedFiles += result.changedFiles;
    pending_.deletedFiles += result.deletedFiles;
}

void ChangeLedger::batchStored()
{
    stored_ = claimable();
    pending_ = {};
}

void ChangeLedger::batchLost() { pending_ = {}; }

void ChangeLedger::seeLostBatches(std::uint64_t lostBatches)
{
    if (lostBatches == lostBatchesSeen_)
        return;
    lostBatchesSeen_ = lostBatches;
    claimsStoredOnly_ = true;
    batchLost();
}

ChangeLedger::Changes ChangeLedger::claimable() const
{
    return Changes{.newFiles = stored_.newFiles + pending_.newFiles,
                   .changedFiles = stored_.changedFiles + pending_.changedFiles,
                   .deletedFiles = stored_.deletedFiles + pending_.deletedFiles};
}
