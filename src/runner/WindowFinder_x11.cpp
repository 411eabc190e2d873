// SPDX-License-Identifier: MIT
#include "WindowFinder.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace Lanyard {

namespace {

template<typename Reply>
using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

template<typename Reply>
ReplyPtr<Reply> own(Reply *reply)
{
    return ReplyPtr<Reply>(reply, &std::free);
}

enum class Atom { NetClientList, NetWmName, Utf8String, WmProtocols, WmDeleteWindow };

constexpr std::array atomNames{"_NET_CLIENT_LIST", "_NET_WM_NAME", "UTF8_STRING", "WM_PROTOCOLS", "WM_DELETE_WINDOW"};

} // namespace

struct WindowFinder::Private
{
    xcb_connection_t *connection = nullptr;
    xcb_window_t root = XCB_WINDOW_NONE;
    std::array<xcb_atom_t, atomNames.size()> atoms{};

    bool connected() const { return root != XCB_WINDOW_NONE; }
    xcb_atom_t atom(Atom which) const { return atoms[static_cast<size_t>(which)]; }

    void internAtoms()
    {
        // All requests first, then the replies: one round trip to the server.
        std::array<xcb_intern_atom_cookie_t, atomNames.size()> cookies;
        std::ranges::transform(atomNames, cookies.begin(), [this](const char *name) {
            return xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
        });
        std::ranges::transform(cookies, atoms.begin(), [this](xcb_intern_atom_cookie_t cookie) {
            const auto reply = own(xcb_intern_atom_reply(connection, cookie, nullptr));
            return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        });
    }

    /// The windows a window manager lists as clients, then the root's children: without a
    /// window manager the latter are the top-level windows themselves.
    std::vector<xcb_window_t> topLevelWindows() const
    {
        std::vector<xcb_window_t> windows;
        const auto clients = own(xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, root, atom(Atom::NetClientList), XCB_ATOM_WINDOW, 0, 1 << 16),
            nullptr));
        if (clients && clients->format == 32) {
            const auto *ids = static_cast<const xcb_window_t *>(xcb_get_property_value(clients.get()));
            windows.assign(ids, ids + xcb_get_property_value_length(clients.get()) / 4);
        }
        const auto tree = own(xcb_query_tree_reply(connection, xcb_query_tree(connection, root), nullptr));
        if (tree) {
            const xcb_window_t *children = xcb_query_tree_children(tree.get());
            windows.insert(windows.end(), children, children + xcb_query_tree_children_length(tree.get()));
        }
        return windows;
    }

    void listen(xcb_window_t window, uint32_t events) const
    {
        xcb_change_window_attributes(connection, window, XCB_CW_EVENT_MASK, &events);
    }

    xcb_get_property_cookie_t requestText(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) const
    {
        return xcb_get_property(connection, 0, window, property, type, 0, 1 << 16);
    }

    static std::optional<QString> textOf(xcb_get_property_reply_t *reply, bool utf8)
    {
        if (!reply || reply->type == XCB_ATOM_NONE || reply->format != 8)
            return std::nullopt;
        const auto *bytes = static_cast<const char *>(xcb_get_property_value(reply));
        const int size = xcb_get_property_value_length(reply);
        return utf8 ? QString::fromUtf8(bytes, size) : QString::fromLatin1(bytes, size);
    }
};

WindowFinder::WindowFinder()
    : d(std::make_unique<Private>())
{
    int screenNumber = 0;
    d->connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(d->connection))
        return;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(d->connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    if (screens.rem == 0)
        return;
    d->root = screens.data->root;
    d->internAtoms();
    // Windows made, mapped or destroyed at the top level, and a window manager's client list.
    d->listen(d->root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE);
    xcb_flush(d->connection);
}

WindowFinder::~WindowFinder()
{
    if (d->connection)
        xcb_disconnect(d->connection);
}

std::optional<WindowFinder::WindowId> WindowFinder::find(const QString &title)
{
    if (!d->connected())
        return std::nullopt;
    const std::vector<xcb_window_t> windows = d->topLevelWindows();
    // All requests first, then the replies: one round trip for the whole desktop.
    std::vector<xcb_get_property_cookie_t> netNames, wmNames;
    for (const xcb_window_t window : windows) {
        // A title that changes later is news too.
        d->listen(window, XCB_EVENT_MASK_PROPERTY_CHANGE);
        netNames.push_back(d->requestText(window, d->atom(Atom::NetWmName), d->atom(Atom::Utf8String)));
        wmNames.push_back(d->requestText(window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY));
    }
    std::optional<WindowId> found;
    for (size_t i = 0; i < windows.size(); ++i) {
        const auto netName = own(xcb_get_property_reply(d->connection, netNames[i], nullptr));
        const auto wmName = own(xcb_get_property_reply(d->connection, wmNames[i], nullptr));
        if (found)
            continue; // the remaining replies are still read, so none is left queued
        std::optional<QString> text = Private::textOf(netName.get(), true);
        if (!text)
            text = Private::textOf(wmName.get(), false);
        if (text && *text == title)
            found = windows[i];
    }
    return found;
}

int WindowFinder::descriptor() const { return d->connected() ? xcb_get_file_descriptor(d->connection) : -1; }

bool WindowFinder::takeNews()
{
    if (!d->connected())
        return false;
    bool news = false;
    while (const auto event = own(xcb_poll_for_event(d->connection)))
        news = true;
    return news;
}

bool WindowFinder::close(WindowId window)
{
    if (!d->connected())
        return false;
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = d->atom(Atom::WmProtocols);
    message.data.data32[0] = d->atom(Atom::WmDeleteWindow);
    message.data.data32[1] = XCB_CURRENT_TIME;
    const xcb_void_cookie_t cookie = xcb_send_event_checked(d->connection, 0, window, XCB_EVENT_MASK_NO_EVENT,
                                                            reinterpret_cast<const char *>(&message));
    const auto error = own(xcb_request_check(d->connection, cookie));
    return !error;
}

} // namespace Lanyard
