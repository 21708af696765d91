#pragma once

#include "platform/FileTrasher.h"
#include "platform/SystemPaths.h"
#include "scanning/TrashCandidate.h"

#include <optional>
#include <string>
#include <vector>

// A removal waiting for the user's confirmation: the allowed items, in the order
// they were offered. A fresh id per request makes every request a new sheet.
struct TrashRequest {
    std::string id;
    std::vector<TrashCandidate> candidates;
    // What stood at each candidate's path when it was judged, so that another item put there
    // before the confirmation is not moved instead; may be shorter than `candidates`.
    std::vector<std::optional<FileTrasher::Expected>> picked;

    static TrashRequest make(std::vector<TrashCandidate> candidates,
                             std::vector<std::optional<FileTrasher::Expected>> picked = {})
    {
        return {SystemPaths::randomUUIDString(), std::move(candidates), std::move(picked)};
    }
};
