#pragma once

#include <string>

namespace BenchSupport {

// Points the home folder and the desktop's per-user folders at `root`, so that a
// benchmark's settings and caches stay out of the user's, and draws offscreen unless
// a platform was chosen.
void useScratchHome(const std::string& root);

} // namespace BenchSupport
