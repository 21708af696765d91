#pragma once

#include "platform/ProcessWindows.h"

#include <memory>

// The windows of an X11 session through its window manager's EWMH hints: the
// client list of the root window, each client's _NET_WM_PID, and the
// _NET_ACTIVE_WINDOW and _NET_CLOSE_WINDOW requests. The display is the one
// DISPLAY names, opened on first use and again after it was lost. Main thread only.
class X11ProcessWindows : public ProcessWindows {
public:
    X11ProcessWindows();
    ~X11ProcessWindows() override;

    std::optional<std::string> activationRefusal() override;
    std::vector<Window> windowsOf(std::int32_t pid) override;
    bool activate(Window window) override;

    // The window the window manager has made active, if any.
    std::optional<Window> activeWindow();

    // Whether the window manager closes a window on request, as its close button does.
    bool takesCloseRequests();
    // False when the request could not be sent.
    bool close(Window window);

private:
    struct Session;
    // Nothing when no display answers.
    Session* session();

    std::unique_ptr<Session> session_;
};
