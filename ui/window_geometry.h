// The main window's arithmetic: where a scroll request leaves the view, and how large and
// where the window may be. Plain integers, so it is tested without windows.
#pragma once

namespace corvane {

// What the user asked a scroll bar for.
enum class ScrollRequest {
    LineBack,
    LineForward,
    PageBack,
    PageForward,
    ThumbReleased,
    ToStart,
    ToEnd,
    Other,  // thumb tracking and the like: the view stays
};

// The new position on one axis: `maximum` is the frame buffer's extent, `page` the visible
// extent, `thumb` where a released thumb was dropped. The view never shows beyond the
// frame buffer: the result lies in 0 .. maximum - page (0 when everything fits).
[[nodiscard]] int NextScrollPosition(ScrollRequest request, int position, int page, int maximum, int thumb);

struct Rectangle {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// The largest the framed window may be and where it opens: no wider than all monitors
// together, no taller than the desktop, centred. `needed` is the session size plus the
// window's own frame and bars; `workArea` the desktop without panels; in a full-screen
// session the desktop is the whole virtual screen.
struct WindowPlacement {
    int maxWidth = 0;
    int maxHeight = 0;
    int x = 0;
    int y = 0;
};

[[nodiscard]] WindowPlacement PlaceWindow(int neededWidth, int neededHeight, const Rectangle& workArea,
                                          int virtualWidth, int virtualHeight, bool fullScreenSession);

}  // namespace corvane
