#include "ui/seamless_x11.h"

#include <QGuiApplication>
#include <QWidget>
#include <cstdlib>
#include <cstring>
#include <vector>

#ifdef CORVANE_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace corvane {

#ifdef CORVANE_HAVE_XCB
namespace {

xcb_connection_t* Connection() {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 != nullptr ? x11->connection() : nullptr;
}

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

xcb_window_t Root(xcb_connection_t* c) { return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root; }

// The atoms of _NET_WM_STATE on the window.
std::vector<xcb_atom_t> States(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property) {
    std::vector<xcb_atom_t> states;
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, property, XCB_ATOM_ATOM, 0, 64), nullptr);
    if (reply != nullptr && reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
        const auto* data = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
        states.assign(data, data + xcb_get_property_value_length(reply) / 4);
    }
    std::free(reply);
    return states;
}

}  // namespace

bool OnX11() { return Connection() != nullptr; }

void SetSkipTaskbar(QWidget& window, bool skip) {
    xcb_connection_t* c = Connection();
    if (c == nullptr) return;
    const auto id = static_cast<xcb_window_t>(window.winId());
    const xcb_atom_t state = Atom(c, "_NET_WM_STATE");
    const xcb_atom_t skipAtoms[] = {Atom(c, "_NET_WM_STATE_SKIP_TASKBAR"), Atom(c, "_NET_WM_STATE_SKIP_PAGER")};
    if (window.isVisible()) {
        // A mapped window's state belongs to the window manager: it is asked to change it.
        for (xcb_atom_t atom : skipAtoms) {
            xcb_client_message_event_t event{};
            event.response_type = XCB_CLIENT_MESSAGE;
            event.format = 32;
            event.window = id;
            event.type = state;
            event.data.data32[0] = skip ? 1 : 0;  // add, remove
            event.data.data32[1] = atom;
            event.data.data32[3] = 1;  // from an application
            xcb_send_event(c, 0, Root(c),
                           XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                           reinterpret_cast<const char*>(&event));
        }
    }
    // Written on the window too: the window manager reads it when the window is mapped (Qt
    // keeps what it finds there), and without a window manager it is the only record.
    std::vector<xcb_atom_t> states = States(c, id, state);
    for (xcb_atom_t atom : skipAtoms) std::erase(states, atom);
    if (skip) states.insert(states.end(), std::begin(skipAtoms), std::end(skipAtoms));
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, state, XCB_ATOM_ATOM, 32, static_cast<uint32_t>(states.size()),
                        states.data());
    xcb_flush(c);
}

bool HasSkipTaskbar(QWidget& window) {
    xcb_connection_t* c = Connection();
    if (c == nullptr) return false;
    const std::vector<xcb_atom_t> states =
        States(c, static_cast<xcb_window_t>(window.winId()), Atom(c, "_NET_WM_STATE"));
    const xcb_atom_t skip = Atom(c, "_NET_WM_STATE_SKIP_TASKBAR");
    for (xcb_atom_t atom : states) {
        if (atom == skip) return true;
    }
    return false;
}

bool WindowManagerRunning() {
    xcb_connection_t* c = Connection();
    if (c == nullptr) return false;
    const xcb_atom_t check = Atom(c, "_NET_SUPPORTING_WM_CHECK");
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(c, xcb_get_property(c, 0, Root(c), check, XCB_ATOM_WINDOW, 0, 1), nullptr);
    bool running = false;
    if (reply != nullptr && reply->format == 32 && xcb_get_property_value_length(reply) >= 4) {
        const xcb_window_t child = *static_cast<const xcb_window_t*>(xcb_get_property_value(reply));
        // A window manager that has gone leaves its check window's id behind, but not the window.
        xcb_get_window_attributes_reply_t* attributes =
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, child), nullptr);
        running = attributes != nullptr;
        std::free(attributes);
    }
    std::free(reply);
    return running;
}

#else

bool OnX11() { return false; }
void SetSkipTaskbar(QWidget&, bool) {}
bool HasSkipTaskbar(QWidget&) { return false; }
bool WindowManagerRunning() { return false; }

#endif

}  // namespace corvane
