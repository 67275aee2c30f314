// The raw rectangle decoder: image updates whose pixels travel uncompressed, one source
// pixel per frame-buffer pixel, row by row without padding. Each depth has an "unchanged"
// marker value that leaves the frame-buffer pixel as it is:
//   8:   1 byte, 255 unchanged; the byte is the colour index.
//   16:  2 bytes big-endian v, 1 unchanged; red = v bits 5..1, green 10..6, blue 15..11.
//   24:  4 bytes b0 b1 b2 b3, CC CC CC CC unchanged; blue b1, green b2, red b3 (b0 unused).
//   124: 4 bytes, CC CC CC CC unchanged; b0 is a colour index: 0 keeps b1 b2 b3 as blue,
//        green, red; any other takes the colour-table entry's colour; b0 is kept.
//   224 and others: nothing is drawn.
//
// Receive thread only. The frame-buffer lock is taken once around the whole update.
#pragma once

#include <cstddef>
#include <cstdint>

#include "display/frame_buffer.h"

namespace corvane {

// Draws every rectangle of an image update in `depth` (`record`: the update's record, its
// first two words in host order, `size` bytes of it in the message), then asks for one
// repaint covering them. A rectangle outside the buffer, or with less data than its pixels
// need, is skipped with a log record; one that runs past the message ends the update.
// Nothing is drawn when `depth` has a pixel size other than the frame buffer's. Returns
// the number of rectangles drawn.
int DrawRawRectangles(FrameBuffer& frameBuffer, const uint8_t* record,
                      size_t size, int depth);

}  // namespace corvane
