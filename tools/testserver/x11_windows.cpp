#include "tools/testserver/x11_windows.h"

#include <cstdlib>

#include "tools/testserver/xcb_support.h"

namespace corvane::testserver {

namespace {

constexpr uint32_t kMaxTitleWords = 256;  // titles are cut at 1 KiB
constexpr uint32_t kMaxProtocols = 64;

}  // namespace

std::unique_ptr<X11Windows> X11Windows::Open(const std::string& display, std::string& error) {
    std::unique_ptr<X11Windows> w(new X11Windows());
    const xcb_screen_t* screen = ConnectScreen(display, w->m_connection, error);
    if (screen == nullptr) return nullptr;
    w->m_root = screen->root;
    w->m_protocols = InternAtom(w->m_connection, "WM_PROTOCOLS");
    w->m_deleteWindow = InternAtom(w->m_connection, "WM_DELETE_WINDOW");
    return w;
}

X11Windows::~X11Windows() {
    if (m_connection != nullptr) xcb_disconnect(m_connection);
}

bool X11Windows::List(std::vector<TopWindow>& windows) const {
    windows.clear();
    xcb_connection_t* c = m_connection;
    if (xcb_connection_has_error(c)) return false;
    // Nothing here asks for events: what waits is the errors of windows that went away
    // between a question and its answer, or before a map or destroy reached them.
    while (xcb_generic_event_t* event = xcb_poll_for_event(c)) std::free(event);
    XcbReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, m_root), nullptr));
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
        XcbReply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(c, attributesCookie, nullptr));
        XcbReply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, geometryCookie, nullptr));
        XcbReply<xcb_get_property_reply_t> name(xcb_get_property_reply(c, nameCookie, nullptr));
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
    XcbReply<xcb_get_property_reply_t> protocols(xcb_get_property_reply(
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
