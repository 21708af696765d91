#pragma once

#include <cstdint>

// Asks an application's windows to close the way their close button does, so that
// it can offer to save. Only an X11 session whose window manager takes the
// request (_NET_CLOSE_WINDOW) allows this; elsewhere nothing is asked.
namespace WindowCloser {

// The top-level windows of the process that could be asked; 0 where the session does not allow it.
int windowCount(std::int32_t pid);

// Asks each of them to close; the number asked.
int closeWindows(std::int32_t pid);

} // namespace WindowCloser
