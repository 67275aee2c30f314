// What every X connection of the test server needs: replies freed the way xcb allocates them,
// a connection with its screen found, and atoms by name.
#pragma once

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace corvane::testserver {

struct XcbFree {
    void operator()(void* p) const { std::free(p); }
};
// An xcb reply (or event), freed when it goes.
template <typename T>
using XcbReply = std::unique_ptr<T, XcbFree>;

// Connects `connection` to `display` (empty: $DISPLAY) and returns its screen; null with the
// reason in `error`. The connection is kept either way, for its owner to disconnect.
inline const xcb_screen_t* ConnectScreen(const std::string& display, xcb_connection_t*& connection,
                                         std::string& error) {
    int screenNumber = 0;
    connection = xcb_connect(display.empty() ? nullptr : display.c_str(), &screenNumber);
    if (xcb_connection_has_error(connection)) {
        error = "cannot connect to the X display \"" + display + "\"";
        return nullptr;
    }
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem; ++i) xcb_screen_next(&screens);
    if (!screens.rem) {
        error = "the X display has no screen " + std::to_string(screenNumber);
        return nullptr;
    }
    return screens.data;
}

// The atom of `name`, made when the display has none yet; XCB_ATOM_NONE when it does not answer.
inline uint32_t InternAtom(xcb_connection_t* c, const char* name) {
    XcbReply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : uint32_t{XCB_ATOM_NONE};
}

}  // namespace corvane::testserver
