#include "scanning/ChangeLedger.h"

#include "index/ScanRecords.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Changes = ChangeLedger::Changes;

// One step of a scan's writes as the writer sees them.
struct Step {
    enum Kind { sync, stored, lost, lostBatchesNow } kind;
    int changes = 0;                // of a sync: as many new, changed and deleted files
    std::uint64_t lostBatches = 0;  // of lostBatchesNow
};

Changes of(std::int64_t n) { return Changes{.newFiles = n, .changedFiles = n, .deletedFiles = n}; }

DirectorySyncResult synced(int n)
{
    DirectorySyncResult result;
    result.newFiles = result.changedFiles = result.deletedFiles = n;
    return result;
}

} // namespace

TEST(ChangeLedger, ClaimsOnlyWhatTheCacheStoredOrStillHoldsOnceABatchWasLost)
{
    struct Case {
        std::string what;
        Changes start;
        std::vector<Step> steps;
        Changes stored;
        Changes claimable;
        bool storedOnly;
    };
    const std::vector<Case> cases{
        {"nothing written", of(0), {}, of(0), of(0), false},
        {"a resumed scan starts from its record", of(7), {{Step::sync, 2}}, of(7), of(9), false},
        {"waiting changes count once stored", of(0), {{Step::sync, 2}, {Step::sync, 3}, {Step::stored}}, of(5), of(5),
         false},
        {"a rolled-back batch takes its waiting changes along", of(0),
         {{Step::sync, 2}, {Step::stored}, {Step::sync, 3}, {Step::lost}, {Step::sync, 1}}, of(2), of(3), false},
        {"a batch lost by another write is seen by its count", of(0),
         {{Step::sync, 2}, {Step::stored}, {Step::sync, 3}, {Step::lostBatchesNow, 0, 1}, {Step::sync, 4}}, of(2),
         of(6), true},
        {"the same count again loses nothing more", of(0),
         {{Step::lostBatchesNow, 0, 1}, {Step::sync, 4}, {Step::lostBatchesNow, 0, 1}, {Step::stored}}, of(4), of(4),
         true},
        {"batches lost before the scan began are no loss of its own", of(0),
         {{Step::lostBatchesNow, 0, 0}, {Step::sync, 1}}, of(0), of(1), false},
        {"a commit after a loss stores what came since", of(1),
         {{Step::sync, 5}, {Step::lostBatchesNow, 0, 4}, {Step::sync, 2}, {Step::stored}, {Step::sync, 1}}, of(3),
         of(4), true},
    };
    for (const auto& c : cases) {
        // Three batches had been lost before each scan began.
        ChangeLedger ledger(c.start, 3);
        for (const auto& step : c.steps) {
            switch (step.kind) {
            case Step::sync:
                ledger.add(synced(step.changes));
                break;
            case Step::stored:
                ledger.batchStored();
                break;
            case Step::lost:
                ledger.batchLost();
                break;
            case Step::lostBatchesNow:
                ledger.seeLostBatches(3 + step.lostBatches);
                break;
            }
        }
        EXPECT_EQ(ledger.stored(), c.stored) << c.what;
        EXPECT_EQ(ledger.claimable(), c.claimable) << c.what;
        EXPECT_EQ(ledger.claimsStoredOnly(), c.storedOnly) << c.what;
    }
}
