// Rows of decoded pixels (blue, green, red: 3 bytes) into the frame buffer's 4-byte pixels.
// Byte 3 of each frame-buffer pixel (a multimode pixel's colour-table index) is kept.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

// Copies `pixels` pixels; `in` and `out` do not overlap.
void CopyBgrRowToPixels(const uint8_t* in, uint8_t* out, size_t pixels);

}  // namespace corvane
