#include "ScratchHome.h"

#include <cstdlib>

namespace BenchSupport {

void useScratchHome(const std::string& root)
{
    ::setenv("HOME", root.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (root + "/.local/share").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root + "/.config").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (root + "/.cache").c_str(), 1);
    if (!std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

} // namespace BenchSupport
