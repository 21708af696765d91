#pragma once

#include <cstdint>

struct DirectorySyncResult;

// The file changes a scan may claim. A sync's changes wait in the cache's open write batch
// until it is committed (stored) or rolled back (lost, as on a full disk). Once a batch was
// lost, the live counters claim changes the cache does not hold; from then on the scan claims
// only the stored changes and those still waiting. Kept by the writer alone.
class ChangeLedger {
public:
    struct Changes {
        std::int64_t newFiles = 0;
        std::int64_t changedFiles = 0;
        std::int64_t deletedFiles = 0;
        friend bool operator==(const Changes&, const Changes&) = default;
    };

    ChangeLedger() = default;
    // `stored`: what the scan's record holds already (a resumed scan's earlier changes);
    // `lostBatches`: the cache's count of lost batches as the scan begins.
    ChangeLedger(Changes stored, std::uint64_t lostBatches) : stored_(stored), lostBatchesSeen_(lostBatches) {}

    // A sync's changes joined the open batch.
    void add(const DirectorySyncResult& result);
    // The open batch was committed, or rolled back, with what waited in it.
    void batchStored();
    void batchLost();
    // The cache's count of lost batches now: when it moved, a batch was lost by a write that
    // is not a sync (an error log entry), taking the waiting changes with it.
    void seeLostBatches(std::uint64_t lostBatches);

    // True once any batch was lost: the live counters then claim too much.
    bool claimsStoredOnly() const { return claimsStoredOnly_; }
    Changes stored() const { return stored_; }
    // Stored and waiting.
    Changes claimable() const;

private:
    Changes stored_;
    Changes pending_;
    std::uint64_t lostBatchesSeen_ = 0;
    bool claimsStoredOnly_ = false;
};
