// Rows of decoded pixels (blue, green, red: 3 bytes) into the frame buffer's 4-byte pixels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "display/frame_buffer.h"

namespace corvane {

// Copies `pixels` pixels; `in` and `out` do not overlap.
void CopyBgrRowToPixels(const uint8_t* in, uint8_t* out, size_t pixels, FourthByte fourth);

}  // namespace corvane
