// The top-level windows of a real X11 display, for seamless sessions: what is on the screen
// (the root's children that are not override-redirect: menus and tool tips go with the window
// that opened them), and the two things a client may ask of one: to be closed politely
// (WM_DELETE_WINDOW, as a window manager asks) or mapped again.
//
// Without a window manager on the display the root's children are the programs' own windows;
// under one they would be its frames, whose titles sit on their children.
//
// One thread uses an X11Windows (the one serving the session); it has its own X connection.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/testserver/pixel_source.h"

struct xcb_connection_t;

namespace corvane::testserver {

struct TopWindow {
    uint32_t xid = 0;
    PixelRect place;  // the border included
    std::string title;
    bool mapped = false;  // viewable: mapped, and so are its ancestors
};

class X11Windows {
  public:
    // Connects to `display` (empty: $DISPLAY). Null with the reason in `error`.
    [[nodiscard]] static std::unique_ptr<X11Windows> Open(const std::string& display, std::string& error);
    ~X11Windows();
    X11Windows(const X11Windows&) = delete;
    X11Windows& operator=(const X11Windows&) = delete;

    // The root's children that are not override-redirect, bottom first, mapped or not.
    // False when the display is gone.
    [[nodiscard]] bool List(std::vector<TopWindow>& windows) const;

    // Asks the window's program to close it when the program takes WM_DELETE_WINDOW, and
    // destroys the window when it does not (no polite way is left). False when it has gone.
    bool Close(uint32_t xid);
    // Maps the window (again).
    void Map(uint32_t xid);

  private:
    X11Windows() = default;

    xcb_connection_t* m_connection = nullptr;
    uint32_t m_root = 0;
    uint32_t m_protocols = 0;     // WM_PROTOCOLS
    uint32_t m_deleteWindow = 0;  // WM_DELETE_WINDOW
};

}  // namespace corvane::testserver
