// Rows of decoded pixels (blue, green, red: 3 bytes) into the frame buffer's 4-byte pixels.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

// What becomes of byte 3 of each frame-buffer pixel written: kept (a multimode pixel's
// colour-table index), or zero, which spares reading the frame buffer where it means nothing.
enum class FourthByte { Kept, Zero };

// Copies `pixels` pixels; `in` and `out` do not overlap.
void CopyBgrRowToPixels(const uint8_t* in, uint8_t* out, size_t pixels, FourthByte fourth);

}  // namespace corvane
