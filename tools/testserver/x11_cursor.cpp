#include "tools/testserver/x11_cursor.h"

#include <xcb/xfixes.h>

#include <cstdlib>

#include "tools/testserver/xcb_support.h"

namespace corvane::testserver {

namespace {

// XFIXES 4 is what cursor pictures and their change events need at most.
constexpr uint32_t kXfixesMajor = 4;
constexpr uint32_t kXfixesMinor = 0;

}  // namespace

std::unique_ptr<X11Cursor> X11Cursor::Open(const std::string& display, std::string& error) {
    std::unique_ptr<X11Cursor> cursor(new X11Cursor());
    const xcb_screen_t* screen = ConnectScreen(display, cursor->m_connection, error);
    if (screen == nullptr) return nullptr;
    xcb_connection_t* c = cursor->m_connection;
    const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(c, &xcb_xfixes_id);
    if (xfixes == nullptr || !xfixes->present) {
        error = "the X display has no XFIXES extension";
        return nullptr;
    }
    // The version must be asked before any other XFIXES request is made.
    XcbReply<xcb_xfixes_query_version_reply_t> version(
        xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, kXfixesMajor, kXfixesMinor), nullptr));
    if (!version || version->major_version < 1) {
        error = "the X display's XFIXES is too old for cursor pictures";
        return nullptr;
    }
    cursor->m_firstEvent = xfixes->first_event;
    xcb_xfixes_select_cursor_input(c, screen->root, XCB_XFIXES_CURSOR_NOTIFY_MASK_DISPLAY_CURSOR);
    xcb_flush(c);
    return cursor;
}

X11Cursor::~X11Cursor() {
    if (m_connection != nullptr) xcb_disconnect(m_connection);
}

std::optional<CursorPicture> X11Cursor::Changed() {
    bool changed = !m_read;
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
        if ((event->response_type & 0x7F) == m_firstEvent + XCB_XFIXES_CURSOR_NOTIFY) changed = true;
        std::free(event);
    }
    if (!changed || xcb_connection_has_error(m_connection)) return std::nullopt;
    m_read = true;
    return Read();
}

std::optional<CursorPicture> X11Cursor::Read() {
    xcb_connection_t* c = m_connection;
    XcbReply<xcb_xfixes_get_cursor_image_reply_t> reply(
        xcb_xfixes_get_cursor_image_reply(c, xcb_xfixes_get_cursor_image(c), nullptr));
    if (!reply) return std::nullopt;
    CursorPicture picture;
    picture.width = reply->width;
    picture.height = reply->height;
    picture.hotX = reply->xhot;
    picture.hotY = reply->yhot;
    const size_t count = static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height);
    if (static_cast<size_t>(xcb_xfixes_get_cursor_image_cursor_image_length(reply.get())) < count) return std::nullopt;
    const uint32_t* pixels = xcb_xfixes_get_cursor_image_cursor_image(reply.get());
    picture.pixels.assign(pixels, pixels + count);
    return picture;
}

}  // namespace corvane::testserver
