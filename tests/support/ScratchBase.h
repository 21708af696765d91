#pragma once

#include "scanning/SecurityUtils.h"

#include <cstdlib>
#include <filesystem>
#include <string>

// A folder where test trees may live and still be judged movable: path safety
// protects all of /tmp and /var, and a fresh clone may sit under either. The
// working folder is tried first, then the home folder.
inline std::string unprotectedScratchBase()
{
    std::string candidates[] = {std::filesystem::current_path().string(), ""};
    if (const char* home = std::getenv("HOME"))
        candidates[1] = home;
    for (const std::string& base : candidates) {
        if (base.empty())
            continue;
        const std::string probe = std::filesystem::weakly_canonical(base).string() + "/kestrel-scratch/item";
        if (SecurityUtils::evaluate(probe, "/nonexistent-home", {}, false) == PathSafety::allowed())
            return std::filesystem::weakly_canonical(base).string();
    }
    return std::filesystem::current_path().string();
}
