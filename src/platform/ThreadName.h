#pragma once

#include <string_view>

// Names the calling thread as top, perf and debuggers show it. Linux keeps 15 bytes of a
// name; a longer one is cut there rather than refused.
namespace ThreadName {

void set(std::string_view name);

} // namespace ThreadName
