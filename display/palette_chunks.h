// The palette-chunk decoder (compforms 1, 2, 3 and every number no other decoder takes).
//
// Depths 16, 24, 124 and 224: a rectangle's data is a run of chunks, used one after the
// other as pixels are produced row by row (a chunk may end in the middle of a row):
//   u32 n (little-endian)  index bytes in the chunk
//   u32 m                  palette entries, at most 256
//   n index bytes, then n & 3 filler bytes (n AND 3, not the distance to a multiple of 4)
//   m entries of 2 bytes (depth 16) or 4 bytes (the others), then at depth 16 (m & 3) x 2
//   filler bytes.
// A chunk's palette is converted into a 256-entry working palette that starts each update
// as zeros; index 0 leaves the pixel unchanged, index k writes working entry k. Conversions:
//   16:  5-6-5 word -> 5-5-5 word (the lowest green bit dropped).
//   24:  bytes b0 b1 b2 b3 -> blue b1, green b2, red b3, 0.
//   124: as the raw 124 pixels: a non-zero low byte takes that colour-table entry's colour.
//   224: a non-zero low byte b is a 3-3-2 colour: red b & E0, green (b & 1C) << 3,
//        blue (b & 03) << 6, b kept in the fourth byte; b = 0 keeps bytes 1..3.
// Depth 8 has no chunks: the data is one byte per pixel, 255 unchanged. Other depths draw
// nothing.
// Data that ends before the rectangle does (a cut chunk, more pixels than the chunks
// index, a palette of more than 256 entries) stops the rectangle there with one log record;
// the pixels not reached stay as they were.
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
int DrawPaletteChunkRectangles(FrameBuffer& frameBuffer, const uint8_t* record,
                               size_t size, int depth);

}  // namespace corvane
