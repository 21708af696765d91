#include "platform/WindowCloser.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Disconnect {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using Connection = std::unique_ptr<xcb_connection_t, Disconnect>;

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    const auto cookie = xcb_intern_atom(connection, 1, static_cast<std::uint16_t>(std::strlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

// A property of 32-bit items (atoms, windows, cardinals).
std::vector<std::uint32_t> property(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t name,
                                    xcb_atom_t type)
{
    const auto cookie = xcb_get_property(connection, 0, window, name, type, 0, 65536);
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(connection, cookie, nullptr), &std::free);
    if (!reply || reply->format != 32) return {};
    const auto* items = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    return std::vector<std::uint32_t>(items, items + count);
}

struct Session {
    Connection connection;
    xcb_window_t root = 0;
    xcb_atom_t closeWindow = XCB_ATOM_NONE;
    std::vector<xcb_window_t> windows; // of the process
};

// Nothing unless an X11 display answers and its window manager takes close requests.
std::unique_ptr<Session> windowsOf(std::int32_t pid)
{
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display || pid <= 0) return nullptr;
    auto session = std::make_unique<Session>();
    int screenNumber = 0;
    session->connection.reset(xcb_connect(display, &screenNumber));
    xcb_connection_t* connection = session->connection.get();
    if (!connection || xcb_connection_has_error(connection)) return nullptr;
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem; ++i) xcb_screen_next(&screens);
    if (!screens.rem) return nullptr;
    session->root = screens.data->root;

    session->closeWindow = atom(connection, "_NET_CLOSE_WINDOW");
    const auto supported = property(connection, session->root, atom(connection, "_NET_SUPPORTED"), XCB_ATOM_ATOM);
    if (session->closeWindow == XCB_ATOM_NONE
        || std::find(supported.begin(), supported.end(), session->closeWindow) == supported.end())
        return nullptr;
    const xcb_atom_t wmPID = atom(connection, "_NET_WM_PID");
    for (const auto window : property(connection, session->root, atom(connection, "_NET_CLIENT_LIST"), XCB_ATOM_WINDOW)) {
        const auto owner = property(connection, window, wmPID, XCB_ATOM_CARDINAL);
        if (owner.size() == 1 && owner.front() == static_cast<std::uint32_t>(pid)) session->windows.push_back(window);
    }
    return session;
}

} // namespace

namespace WindowCloser {

int windowCount(std::int32_t pid)
{
    const auto session = windowsOf(pid);
    return session ? static_cast<int>(session->windows.size()) : 0;
}

int closeWindows(std::int32_t pid)
{
    const auto session = windowsOf(pid);
    if (!session) return 0;
    for (const auto window : session->windows) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = session->closeWindow;
        event.data.data32[0] = XCB_CURRENT_TIME;
        event.data.data32[1] = 2; // from a pager or task manager, as the user's own request
        xcb_send_event(session->connection.get(), 0, session->root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char*>(&event));
    }
    xcb_flush(session->connection.get());
    return static_cast<int>(session->windows.size());
}

} // namespace WindowCloser
