#include "tools/testserver/x11_windows.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace corvane::testserver {

namespace {

template <typename T>
struct FreeDeleter {
    void operator()(T* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter<T>>;

constexpr uint32_t kMaxTitleWords = 256;  // titles are cut at 1 KiB
constexpr uint32_t kMaxProtocols = 64;

}  // namespace

std::unique_ptr<X11Windows> X11Windows::Open(const std::string& display, std::string& error) {
    std::unique_ptr<X11Windows> w(new X11Windows());
    int screenNumber = 0;
    w->m_connection = xcb_connect(display.empty() ? nullptr : display.c_str(), &screenNumber);
    if (xcb_connection_has_error(w->m_connection)) {
        error = "cannot connect to the X display \"" + display + "\"";
        return nullptr;
    }
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(w->m_connection));
    for (int i = 0; i < screenNumber && screens.rem; ++i) xcb_screen_next(&screens);
    if (!screens.rem) {
        error = "the X display has no screen " + std::to_string(screenNumber);
        return nullptr;
    }
    w->m_root = screens.data->root;
    w->m_protocols = w->Atom("WM_PROTOCOLS");
    w->m_deleteWindow = w->Atom("WM_DELETE_WINDOW");
    return w;
}

X11Windows::~X11Windows() {
    if (m_connection != nullptr) xcb_disconnect(m_connection);
}

uint32_t X11Windows::Atom(const char* name) const {
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : uint32_t{XCB_ATOM_NONE};
}

bool X11Windows::List(std::vector<TopWindow>& windows) const {
    windows.clear();
    xcb_connection_t* c = m_connection;
    if (xcb_connection_has_error(c)) return false;
    // Nothing here asks for events: what waits is the errors of windows that went away
    // between a question and its answer, or before a map or destroy reached them.
    while (xcb_generic_event_t* event = xcb_poll_for_event(c)) std::free(event);
    Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, m_root), nullptr));
    if (!tree) return !xcb_connection_has_error(c);
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    for (int i = 0; i < count; ++i) {
        const xcb_window_t w = children[i];
        // All three questions go out before the first answer is waited for. A window that
        // goes meanwhile has no answers and is left out.
        const auto attributesCookie = xcb_get_window_attributes(c, w);
        const auto geometryCookie = xcb_get_geometry(c, w);
        const auto nameCookie =
            xcb_get_property(c, 0, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, kMaxTitleWords);
        Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(c, attributesCookie, nullptr));
        Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, geometryCookie, nullptr));
        Reply<xcb_get_property_reply_t> name(xcb_get_property_reply(c, nameCookie, nullptr));
        if (!attributes || !geometry || attributes->override_redirect != 0) continue;
        TopWindow window;
        window.xid = w;
        window.mapped = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        window.place = {geometry->x, geometry->y, geometry->width + 2 * geometry->border_width,
                        geometry->height + 2 * geometry->border_width};
        if (name && name->format == 8) {
            window.title.assign(static_cast<const char*>(xcb_get_property_value(name.get())),
                                static_cast<size_t>(xcb_get_property_value_length(name.get())));
        }
        windows.push_back(std::move(window));
    }
    return true;
}

bool X11Windows::Close(uint32_t xid) {
    xcb_connection_t* c = m_connection;
    Reply<xcb_get_property_reply_t> protocols(xcb_get_property_reply(
        c, xcb_get_property(c, 0, xid, m_protocols, XCB_ATOM_ATOM, 0, kMaxProtocols), nullptr));
    if (!protocols) return false;  // the window has gone
    bool polite = false;
    if (protocols->format == 32 && m_deleteWindow != XCB_ATOM_NONE) {
        const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(protocols.get()));
        const int n = xcb_get_property_value_length(protocols.get()) / 4;
        for (int i = 0; i < n && !polite; ++i) polite = atoms[i] == m_deleteWindow;
    }
    if (polite) {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = xid;
        message.type = m_protocols;
        message.data.data32[0] = m_deleteWindow;
        message.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(c, 0, xid, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
    } else {
        xcb_destroy_window(c, xid);
    }
    xcb_flush(c);
    return true;
}

void X11Windows::Map(uint32_t xid) {
    xcb_map_window(m_connection, xid);
    xcb_flush(m_connection);
}

}  // namespace corvane::testserver
