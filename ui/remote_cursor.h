// The server's cursor as a Qt cursor: standard cursors by their shape, pictures as pixmaps
// with their hot spot.
#pragma once

#include <QCursor>

#include "display/cursor_image.h"

namespace corvane {

[[nodiscard]] Qt::CursorShape ShapeForStandardCursor(StandardCursor cursor);

// The cursor for an image in the colouring `reverseCursorColor` picks.
[[nodiscard]] QCursor CursorFromImage(const CursorImage& image, int reverseCursorColor);

}  // namespace corvane
