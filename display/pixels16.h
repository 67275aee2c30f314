// The 16-bit pixel decoder (compforms 7 and 8): rectangle pixels as one word each, row by
// row without padding, converted to the frame buffer's layout of each depth:
//   8:   1 byte, 255 unchanged; the byte is the colour index.
//   16:  2 bytes big-endian, as the raw 16-bit pixels (1 unchanged).
//   24:  little-endian word l: bit 0 set is unchanged; otherwise blue = l bits 5..1,
//        green = l bits 10..6, red = l bits 15..11, each shifted up by 3; fourth byte 0.
//   124: bit 0 clear as 24; bits 0 and 1 set take the colour-table entry l >> 8 (with the
//        index in the fourth byte); bit 0 set with bit 1 clear is unchanged.
//   others: nothing is drawn.
// A rectangle whose data ends before its last pixel is drawn up to the end of the data; the
// rest of it stays as it was.
//
// Receive thread only. The frame-buffer lock is taken once around the whole update.
#pragma once

#include <cstddef>
#include <cstdint>

#include "display/frame_buffer.h"

namespace corvane {

// Draws every rectangle of an image update in `depth` (`record`: the update's record, its
// first two words in host order, `size` bytes of it in the message), then asks for one
// repaint covering them. A rectangle outside the buffer is skipped with a log record; one
// that runs past the message ends the update. Nothing is drawn when `depth` has a pixel size
// other than the frame buffer's. Returns the number of rectangles drawn, wholly or in part.
int DrawPixel16Rectangles(FrameBuffer& frameBuffer, const uint8_t* record,
                          size_t size, int depth);

}  // namespace corvane
