// The planar run-length decoder (compforms 6 and 9), depth 24 only.
//
// The message reader leaves these updates encoded; one stream, at the first rectangle's
// data, serves every rectangle of the update (each is decoded from the stream's start):
//   0   u32 (little-endian)  not used
//   4   u32                  length of plane 0 in bytes
//   8   u32                  length of plane 1
//   12  u32                  length of plane 2
//   16  u32                  decoded size (not used)
//   20  plane 0, plane 1, plane 2
// Plane p gives byte p of each pixel (blue, green, red); the fourth byte is left alone.
// Each plane is read on its own: a byte c with bit 0 clear is one pixel of value c; with bit
// 0 set it starts a run of c >> 1 pixels (0 to 127) of the value in the next byte. Pixels go
// row by row, and a run carries on into the next row.
// A plane whose data ends before the rectangle does stops there, with one log record for
// the rectangle; its bytes of the pixels not reached stay as they were. For any depth but
// 24 the rectangles are checked and nothing is drawn.
//
// Receive thread only. The frame-buffer lock is taken once around the whole update.
#pragma once

#include <cstddef>
#include <cstdint>

#include "display/frame_buffer.h"

namespace corvane {

// Where the stream starts in an image-update record: the first rectangle's data.
inline constexpr size_t kPlanarStreamInRecord = 8 + 20;

// Draws every rectangle of an image update (`record`: the update's record, its first two
// words in host order, `size` bytes of it in the message) from the stream at
// `streamOffset` in the record, which must lie within the first rectangle's data; the stream
// ends with that data. Then asks for one repaint covering what was drawn. A rectangle
// outside the buffer is skipped with a log record; one that runs past the message ends the
// update. Returns the number of rectangles drawn, wholly or in part.
int DrawPlanarRectangles(FrameBuffer& frameBuffer, const uint8_t* record,
                         size_t size, int depth, size_t streamOffset = kPlanarStreamInRecord);

}  // namespace corvane
