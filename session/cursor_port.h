// The server's mouse cursor over the remote screen.
#pragma once

#include "display/cursor_image.h"

namespace corvane {

class CursorPort {
public:
    virtual ~CursorPort() = default;

    // Shows `image` over the remote screen in the colouring `reverseCursorColor` picks
    // (CursorImage::Pixels). Any thread; returns at once.
    virtual void SetRemoteCursor(const CursorImage& image, int reverseCursorColor) = 0;
};

}  // namespace corvane
