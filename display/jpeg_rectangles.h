// The JPEG rectangle handler: draws the decoded JPEG image of an image update (3 bytes per
// pixel, blue, green, red, rows of decoded width * 3 bytes) at its first rectangle.
//
// Depth 24 only; any other depth draws nothing. The rectangle is cut at the right and bottom
// edges of the bitmap and at the decoded image's size, so nothing is read past the decoded
// pixels; the fourth byte of each frame-buffer pixel is left as it was. The JPEG stream
// takes the place of the first rectangle's data, so there are no further rectangle headers
// to read: only the first is drawn (further ones are logged).
//
// Receive thread only. The frame-buffer lock is taken once around the copy; the repaint is
// asked for after it is released.
#pragma once

#include <cstddef>
#include <cstdint>

#include "display/frame_buffer.h"

namespace corvane {

// `record`: the image-update record (first two words in host order), `size` record bytes in
// the message; `pixels`: the decoded image. Returns the number of rectangles drawn (0 or 1).
int DrawJpegRectangles(FrameBuffer& frameBuffer, const uint8_t* record, size_t size, int depth,
                       const uint8_t* pixels, int decodedWidth, int decodedHeight);

}  // namespace corvane
