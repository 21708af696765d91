#include "platform/X11ProcessWindows.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

struct Free {
    void operator()(void* reply) const { std::free(reply); }
};
template <class Reply> using Owned = std::unique_ptr<Reply, Free>;

std::string_view environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string_view(value) : std::string_view();
}

// The 32-bit items (atoms, windows, cardinals) of a property reply.
std::vector<std::uint32_t> items(xcb_get_property_reply_t* reply)
{
    if (!reply || reply->format != 32) return {};
    const auto* first = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
    const int count = xcb_get_property_value_length(reply) / 4;
    return std::vector<std::uint32_t>(first, first + count);
}

} // namespace

struct X11ProcessWindows::Session {
    struct Disconnect {
        void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
    };
    std::unique_ptr<xcb_connection_t, Disconnect> connection;
    xcb_window_t root = 0;
    xcb_atom_t supported = XCB_ATOM_NONE;
    xcb_atom_t clientList = XCB_ATOM_NONE;
    xcb_atom_t wmPID = XCB_ATOM_NONE;
    xcb_atom_t activeWindow = XCB_ATOM_NONE;
    xcb_atom_t closeWindow = XCB_ATOM_NONE;

    xcb_connection_t* get() const { return connection.get(); }

    std::vector<std::uint32_t> property(xcb_window_t window, xcb_atom_t name, xcb_atom_t type) const
    {
        const Owned<xcb_get_property_reply_t> reply(
            xcb_get_property_reply(get(), xcb_get_property(get(), 0, window, name, type, 0, 65536), nullptr));
        return items(reply.get());
    }

    // Asked for each time: a window manager started after the program changes the answer.
    bool supports(xcb_atom_t request) const
    {
        if (request == XCB_ATOM_NONE) return false;
        const auto atoms = property(root, supported, XCB_ATOM_ATOM);
        return std::find(atoms.begin(), atoms.end(), request) != atoms.end();
    }

    // As a pager or task bar sends it, so that the window manager treats it as the user's own request.
    bool send(xcb_window_t window, xcb_atom_t type, std::uint32_t first, std::uint32_t second) const
    {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = type;
        event.data.data32[0] = first;
        event.data.data32[1] = second;
        const auto cookie = xcb_send_event_checked(get(), 0, root,
                                                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                                                   reinterpret_cast<const char*>(&event));
        const Owned<xcb_generic_error_t> error(xcb_request_check(get(), cookie));
        return !error && !xcb_connection_has_error(get());
    }
};

X11ProcessWindows::X11ProcessWindows() = default;
X11ProcessWindows::~X11ProcessWindows() = default;

X11ProcessWindows::Session* X11ProcessWindows::session()
{
    if (session_ && !xcb_connection_has_error(session_->get())) return session_.get();
    session_.reset();
    const std::string display(environment("DISPLAY"));
    if (display.empty()) return nullptr;
    auto opened = std::make_unique<Session>();
    int screenNumber = 0;
    opened->connection.reset(xcb_connect(display.c_str(), &screenNumber));
    if (!opened->get() || xcb_connection_has_error(opened->get())) return nullptr;
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(opened->get()));
    for (int i = 0; i < screenNumber && screens.rem; ++i) xcb_screen_next(&screens);
    if (!screens.rem) return nullptr;
    opened->root = screens.data->root;

    // All atoms in one round trip.
    const char* const names[] = {"_NET_SUPPORTED", "_NET_CLIENT_LIST", "_NET_WM_PID", "_NET_ACTIVE_WINDOW",
                                 "_NET_CLOSE_WINDOW"};
    xcb_atom_t* const atoms[] = {&opened->supported, &opened->clientList, &opened->wmPID, &opened->activeWindow,
                                 &opened->closeWindow};
    xcb_intern_atom_cookie_t cookies[std::size(names)];
    for (std::size_t i = 0; i < std::size(names); ++i)
        cookies[i] = xcb_intern_atom(opened->get(), 0, static_cast<std::uint16_t>(std::strlen(names[i])), names[i]);
    for (std::size_t i = 0; i < std::size(names); ++i) {
        const Owned<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(opened->get(), cookies[i], nullptr));
        *atoms[i] = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    }
    session_ = std::move(opened);
    return session_.get();
}

std::optional<std::string> X11ProcessWindows::activationRefusal()
{
    if (auto refusal = sessionRefusal(environment("DISPLAY"), environment("WAYLAND_DISPLAY"),
                                      environment("XDG_SESSION_TYPE"), environment("QT_QPA_PLATFORM")))
        return refusal;
    Session* x = session();
    if (!x) return noDisplayText;
    if (!x->supports(x->activeWindow)) return unsupportedText;
    return std::nullopt;
}

std::vector<ProcessWindows::Window> X11ProcessWindows::windowsOf(std::int32_t pid)
{
    Session* x = session();
    if (!x || pid <= 0) return {};
    const auto clients = x->property(x->root, x->clientList, XCB_ATOM_WINDOW);
    // Every question first, then every answer: one round trip for the whole list.
    std::vector<xcb_get_property_cookie_t> cookies;
    cookies.reserve(clients.size());
    for (const auto window : clients)
        cookies.push_back(xcb_get_property(x->get(), 0, window, x->wmPID, XCB_ATOM_CARDINAL, 0, 1));
    std::vector<Window> owned;
    for (std::size_t i = 0; i < clients.size(); ++i) {
        const Owned<xcb_get_property_reply_t> reply(xcb_get_property_reply(x->get(), cookies[i], nullptr));
        const auto owner = items(reply.get());
        if (owner.size() == 1 && owner.front() == static_cast<std::uint32_t>(pid)) owned.push_back(clients[i]);
    }
    return owned;
}

bool X11ProcessWindows::activate(Window window)
{
    Session* x = session();
    constexpr std::uint32_t fromPager = 2;
    return x && x->activeWindow != XCB_ATOM_NONE && x->send(window, x->activeWindow, fromPager, XCB_CURRENT_TIME);
}

std::optional<ProcessWindows::Window> X11ProcessWindows::activeWindow()
{
    Session* x = session();
    if (!x) return std::nullopt;
    const auto active = x->property(x->root, x->activeWindow, XCB_ATOM_WINDOW);
    if (active.size() != 1 || active.front() == XCB_WINDOW_NONE) return std::nullopt;
    return active.front();
}

bool X11ProcessWindows::takesCloseRequests()
{
    Session* x = session();
    return x && x->supports(x->closeWindow);
}

bool X11ProcessWindows::close(Window window)
{
    Session* x = session();
    constexpr std::uint32_t fromPager = 2;
    return x && x->closeWindow != XCB_ATOM_NONE && x->send(window, x->closeWindow, XCB_CURRENT_TIME, fromPager);
}
