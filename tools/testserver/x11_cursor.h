// The cursor of a real X11 display, read through XFIXES: the picture the display shows for
// the pointer now, and word of each change, so that a session can show the client the same
// shape (an I-beam over a terminal, an arrow elsewhere).
//
// One thread uses an X11Cursor (the one serving the session); it has its own X connection.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/testserver/server_messages.h"

struct xcb_connection_t;

namespace corvane::testserver {

class X11Cursor {
  public:
    // Connects to `display` (empty: $DISPLAY). Null with the reason in `error`, also when the
    // display has no XFIXES.
    [[nodiscard]] static std::unique_ptr<X11Cursor> Open(const std::string& display, std::string& error);
    ~X11Cursor();
    X11Cursor(const X11Cursor&) = delete;
    X11Cursor& operator=(const X11Cursor&) = delete;

    // The cursor's picture the first time, and afterwards only when the display has changed
    // it since the last call; empty otherwise (and when the display has gone).
    [[nodiscard]] std::optional<CursorPicture> Changed();

  private:
    X11Cursor() = default;
    [[nodiscard]] std::optional<CursorPicture> Read();

    xcb_connection_t* m_connection = nullptr;
    uint8_t m_firstEvent = 0;  // of XFIXES
    bool m_read = false;       // the first picture has been given
};

}  // namespace corvane::testserver
