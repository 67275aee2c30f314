// The pixel encodings the test server can send image-update rectangles in, each a pure
// function of the desktop, the frame and the rectangle (inside the desktop):
//   raw (compforms 4, 5): 8-bit indices, or the four bytes 0, blue, green, red.
//   palette chunks (1, 2, 3): 8-bit indices as raw; 24-bit pixels in chunks of at most
//     kMaxChunkPixels indices and 255 colours (index 0, "unchanged", is never used), which
//     start anywhere in a row.
//   16-bit pixels (7, 8): 8-bit indices as raw; 24-bit colours cut to 5 bits per channel in
//     a little-endian word (bit 0 clear: a colour, not "unchanged").
//   planar run-length (6, 9): 24-bit only; three planes (blue, green, red) of runs that go
//     on across rows.
// The 24-bit encodings are lossless except the 16-bit pixels, whose colours the client
// shows with the low 3 bits of each channel clear. A 16-bit session gets raw, palette-chunk
// and 16-bit rectangles of 5-bit channels.
//
// Pure functions: any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/testserver/desktop.h"

namespace corvane::testserver {

enum class RectangleEncoding { Raw, PaletteChunks, Pixels16, Planar };

// Chunks hold at most this many indices: an odd count, so that the filler rule shows and
// chunks end in the middle of rows.
inline constexpr size_t kMaxChunkPixels = 4093;

// The encoding of a compform the test server sends (1 to 9); Raw for any other number.
[[nodiscard]] RectangleEncoding EncodingOfCompform(uint32_t compform);

// Appends the data of rectangle `r` of frame `frame` in `encoding` at the desktop's depth
// (planar at depth 8 is sent raw; callers choose another compform for it).
void AppendRectangleData(const PixelSource& desktop, int frame, const PixelRect& r, RectangleEncoding encoding,
                         std::vector<uint8_t>& out);

// One planar plane of `values` (one byte per pixel, row after row).
void AppendPlanarPlane(const std::vector<uint8_t>& values, std::vector<uint8_t>& out);

}  // namespace corvane::testserver
