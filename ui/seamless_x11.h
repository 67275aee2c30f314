// What seamless pop-ups need of the X11 window manager that Qt does not offer: leaving a
// window off the task bar (EWMH _NET_WM_STATE_SKIP_TASKBAR), and whether a window manager is
// there at all (without one, minimising means nothing and a pop-up is hidden instead).
//
// User-interface thread. On a platform other than X11 (offscreen, Wayland) every call does
// nothing and WindowManagerRunning() is false.
#pragma once

class QWidget;

namespace corvane {

// Whether the client talks to an X server (the xcb platform).
[[nodiscard]] bool OnX11();

// Keeps the window off the task bar and the pager, or lets it on. Before the window is first
// shown the state is written on the window; once it is mapped the window manager is asked.
void SetSkipTaskbar(QWidget& window, bool skip);

// Whether the window has the skip-task-bar state written on it (for tests).
[[nodiscard]] bool HasSkipTaskbar(QWidget& window);

// Whether an EWMH window manager runs on the screen.
[[nodiscard]] bool WindowManagerRunning();

}  // namespace corvane
