#include "ui/window_geometry.h"

#include <algorithm>

namespace corvane {

int NextScrollPosition(ScrollRequest request, int position, int page, int maximum, int thumb) {
    int next = position;
    switch (request) {
        case ScrollRequest::LineBack: next = position - 1; break;
        case ScrollRequest::LineForward: next = position + 1; break;
        case ScrollRequest::PageBack: next = position - page; break;
        case ScrollRequest::PageForward: next = position + page; break;
        case ScrollRequest::ThumbReleased: next = thumb; break;
        case ScrollRequest::ToStart: next = 0; break;
        case ScrollRequest::ToEnd: next = maximum; break;
        case ScrollRequest::Other: break;
    }
    // When the whole extent fits, maximum - page is negative: the view stays at 0 rather
    // than scrolling before the first column.
    return std::clamp(next, 0, std::max(0, maximum - page));
}

WindowPlacement PlaceWindow(int neededWidth, int neededHeight, const Rectangle& workArea, int virtualWidth,
                            int virtualHeight, bool fullScreenSession) {
    const int desktopHeight = fullScreenSession ? virtualHeight : workArea.height;
    WindowPlacement placement;
    placement.maxWidth = std::min(neededWidth, virtualWidth);
    placement.maxHeight = std::min(neededHeight, desktopHeight);
    placement.x = (virtualWidth - placement.maxWidth) / 2 + workArea.x;
    placement.y = (desktopHeight - placement.maxHeight) / 2 + workArea.y;
    return placement;
}

}  // namespace corvane
