#pragma once

#include <string>
#include <vector>

// What one removal request achieved, each list in candidate order.
struct TrashOutcome {
    struct Failure {
        std::string path;
        std::string reason;   // a sentence for the user
        friend bool operator==(const Failure&, const Failure&) = default;
    };

    std::vector<std::string> moved;
    std::vector<Failure> failures;
    // Failed items that were already gone from the disk: the index forgot them, as a scan would.
    std::vector<std::string> forgotten;

    friend bool operator==(const TrashOutcome&, const TrashOutcome&) = default;
};
