#pragma once

#include "platform/SystemPaths.h"
#include "scanning/TrashCandidate.h"

#include <string>
#include <vector>

// A removal waiting for the user's confirmation: the allowed items, in the order
// they were offered. A fresh id per request makes every request a new sheet.
struct TrashRequest {
    std::string id;
    std::vector<TrashCandidate> candidates;

    static TrashRequest make(std::vector<TrashCandidate> candidates)
    {
        return {SystemPaths::randomUUIDString(), std::move(candidates)};
    }
};
