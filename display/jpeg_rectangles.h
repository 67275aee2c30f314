// The JPEG rectangle handler: draws an image update whose JPEG image the message reader has
// already decoded (3 bytes per pixel, blue, green, red, rows of decoded width * 3 bytes) in
// place of the first rectangle's data.
//
// Depth 24 only; any other depth draws nothing. The rectangle is cut at the right and bottom
// edges of the bitmap and at the decoded image's size, so nothing is read past the decoded
// pixels; the fourth byte of each frame-buffer pixel is left as it was. The decoded pixels
// replace the stream that the first rectangle's data size counts, so the headers of any
// further rectangles are gone: only the first is drawn (further ones are logged).
//
// Receive thread only. The frame-buffer lock is taken once around the copy; the repaint is
// asked for after it is released.
#pragma once

#include <cstddef>
#include <cstdint>

#include "display/display_events.h"
#include "display/frame_buffer.h"

namespace corvane {

// `record`: the image-update record (first two words in host order), `size` record bytes in
// the message; the decoded image starts at the first rectangle's data. Returns the number of
// rectangles drawn (0 or 1).
int DrawJpegRectangles(FrameBuffer& frameBuffer, DisplayEvents& events, const uint8_t* record, size_t size,
                       int depth, int decodedWidth, int decodedHeight);

}  // namespace corvane
