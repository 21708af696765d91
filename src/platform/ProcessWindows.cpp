#include "platform/ProcessWindows.h"

std::optional<std::string> ProcessWindows::sessionRefusal(std::string_view display, std::string_view waylandDisplay,
                                                          std::string_view sessionType, std::string_view qtPlatform)
{
    // XWayland offers a display too, but the compositor keeps the focus to itself.
    if (!waylandDisplay.empty() || sessionType == "wayland" || qtPlatform.starts_with("wayland")) return waylandText;
    if (display.empty()) return noDisplayText;
    return std::nullopt;
}
