// A real X11 display served instead of the generated desktop: its screen (what the session
// sends) and its input (where the client's keys and pointer go), each with its own X
// connection so that the serving thread and the session's reader never share one, its
// CLIPBOARD selection, its top-level windows and its cursor.
#pragma once

#include <memory>
#include <string>

#include "tools/testserver/x11_clipboard.h"
#include "tools/testserver/x11_cursor.h"
#include "tools/testserver/x11_input.h"
#include "tools/testserver/x11_screen.h"
#include "tools/testserver/x11_windows.h"

namespace corvane::testserver {

struct X11Desktop {
    std::unique_ptr<X11Screen> screen;  // used by the thread that serves the session
    std::unique_ptr<X11Input> input;    // used by the session's reader thread
    std::unique_ptr<X11Clipboard> clipboard;  // any thread
    std::unique_ptr<X11Windows> windows;      // used by the thread that serves the session
    std::unique_ptr<X11Cursor> cursor;        // the same; null on a display without XFIXES
};

// Opens all four on `display`; the keyboard takes the key codes `codes`. Empty pointers with
// the reason in `error` on failure.
[[nodiscard]] inline X11Desktop OpenX11Desktop(const std::string& display, KeyCodes codes, std::string& error) {
    X11Desktop desktop;
    desktop.screen = X11Screen::Open(display, error);
    if (desktop.screen) desktop.input = X11Input::Open(display, codes, error);
    if (desktop.input) desktop.clipboard = X11Clipboard::Open(display, error);
    if (desktop.clipboard) desktop.windows = X11Windows::Open(display, error);
    if (!desktop.windows) return X11Desktop{};
    std::string noCursor;
    desktop.cursor = X11Cursor::Open(display, noCursor);
    return desktop;
}

}  // namespace corvane::testserver
