#pragma once

#include "scanning/SecurityUtils.h"

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

// A folder where test trees may live and still be judged movable when a test makes
// one of them its home: path safety protects all of /tmp and /var, where TMPDIR, a
// fresh clone or even HOME may lie. The working folder (the build's) is tried first,
// then the home folder; where neither is both writable and unprotected, the first
// writable one of them or of TMPDIR serves the cases that move nothing.
inline std::string unprotectedScratchBase()
{
    std::string candidates[] = {std::filesystem::current_path().string(), "",
                                std::filesystem::temp_directory_path().string()};
    if (const char* home = std::getenv("HOME"))
        candidates[1] = home;
    std::string writable;
    for (const std::string& base : candidates) {
        if (base.empty() || ::access(base.c_str(), W_OK | X_OK) != 0)
            continue;
        const std::string folder = std::filesystem::weakly_canonical(base).string();
        const std::string scratch = folder + "/kestrel-scratch";
        if (SecurityUtils::evaluate(scratch + "/item", scratch, {}, false) == PathSafety::allowed())
            return folder;
        if (writable.empty())
            writable = folder;
    }
    return writable.empty() ? std::filesystem::current_path().string() : writable;
}
