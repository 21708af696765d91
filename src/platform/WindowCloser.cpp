#include "platform/WindowCloser.h"

#include "platform/X11ProcessWindows.h"

namespace WindowCloser {

int windowCount(std::int32_t pid)
{
    X11ProcessWindows windows;
    return windows.takesCloseRequests() ? static_cast<int>(windows.windowsOf(pid).size()) : 0;
}

int closeWindows(std::int32_t pid)
{
    X11ProcessWindows windows;
    if (!windows.takesCloseRequests()) return 0;
    int asked = 0;
    for (const auto window : windows.windowsOf(pid))
        if (windows.close(window)) ++asked;
    return asked;
}

} // namespace WindowCloser
