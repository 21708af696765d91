#pragma once

#include "index/ScanRecords.h"

#include <cstdint>
#include <optional>
#include <string>

// Where a scan stands. `failed` carries the message of the error that ended it.
class ScanPhase {
public:
    enum class Kind { idle, preparing, scanning, paused, finalizing, completed, cancelled, failed };

    ScanPhase(Kind kind = Kind::idle) : kind_(kind) {}
    static ScanPhase failed(std::string message) { return ScanPhase(Kind::failed, std::move(message)); }

    Kind kind() const { return kind_; }
    const std::string& message() const { return message_; }

    friend bool operator==(const ScanPhase&, const ScanPhase&) = default;

private:
    ScanPhase(Kind kind, std::string message) : kind_(kind), message_(std::move(message)) {}

    Kind kind_;
    std::string message_;
};

// The live state of a scan as reported to its caller.
struct ScanProgress {
    ScanPhase phase;
    std::int64_t filesScanned = 0;      // symbolic links included
    std::int64_t foldersScanned = 0;
    std::int64_t bytesAnalyzed = 0;     // counted allocated bytes; a hard-linked file once
    std::int64_t restrictedFolders = 0;
    std::int64_t errors = 0;
    std::int64_t newFiles = 0;
    std::int64_t changedFiles = 0;
    std::int64_t deletedFiles = 0;
    std::string currentPath;
    std::optional<double> startedAt;    // seconds since 1970
    bool isResumed = false;
    // How long the scan has run, paused time left out; a resumed scan goes on from the time
    // it had run before it stopped.
    double elapsedSeconds = 0;

    friend bool operator==(const ScanProgress&, const ScanProgress&) = default;
};

// How a scan ended.
struct ScanOutcome {
    std::int64_t scanID = 0;
    // completed, or cancelled: stopped, or incomplete because folders were lost (then it can
    // be resumed, and the resumed scan reads them again); or failed when its cache could not
    // be written (a full or failing disk), with the reason in the progress's phase.
    ScanRecord::Status status = ScanRecord::Status::completed;
    ScanTotals totals;
    ScanProgress progress;
    double duration = 0;                // seconds
    // Folders the scan neither wrote nor kept from before, for a reason of its own (no
    // descriptor to open them, a failed write to the cache, an unexpected failure); their
    // stored rows stay as they were, and the scan does not claim to be complete.
    std::int64_t lostFolders = 0;
};
