#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The top-level windows of running programs as the window manager lists them, and
// the requests a task bar sends about them. One object serves the whole program;
// tests pass a stand-in.
class ProcessWindows {
public:
    using Window = std::uint32_t;

    static constexpr const char* waylandText =
        "This Wayland session doesn't let one program bring another's window to the front.";
    static constexpr const char* noDisplayText = "No X11 display is open, so no window can be brought to the front.";
    static constexpr const char* unsupportedText =
        "The window manager doesn't take requests to bring a window to the front.";

    virtual ~ProcessWindows() = default;

    // Why no window can be brought to the front in this session, or nothing.
    virtual std::optional<std::string> activationRefusal() = 0;
    // The windows that name `pid` as their owner, in the window manager's order.
    virtual std::vector<Window> windowsOf(std::int32_t pid) = 0;
    // Asks the window manager to raise and focus the window; false when the request
    // could not be sent.
    virtual bool activate(Window window) = 0;

    // The session's own refusal, from its display variables: a Wayland session
    // raises no other program's window, and without an X11 display there is none.
    static std::optional<std::string> sessionRefusal(std::string_view display, std::string_view waylandDisplay,
                                                     std::string_view sessionType, std::string_view qtPlatform);
};
