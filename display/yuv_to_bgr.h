// Conversion of 4:2:0 planar video images (one Y sample per pixel, one U and one V sample per
// 2 x 2 pixels) to blue-green-red pixels:
//   R = Y + 1.140 (V - 128),  G = Y - 0.394 (U - 128) - 0.581 (V - 128),  B = Y + 2.032 (U - 128)
// each clamped to 0..255 (Y is not offset). Fixed-point arithmetic: every channel is within
// one unit of the exact formula rounded to the nearest integer.
//
// Pure functions on caller-owned memory: any thread. Callers check that the planes hold
// what the geometry names.
#pragma once

#include <cstddef>
#include <cstdint>

#include "display/frame_buffer.h"

namespace corvane {

struct YuvPlanes {
    const uint8_t* y = nullptr;
    const uint8_t* u = nullptr;
    const uint8_t* v = nullptr;
    int yStride = 0;
    int uStride = 0;  // chroma rows hold (width + 1) / 2 samples, one row per two image rows
    int vStride = 0;
};

// One image row to `width` 4-byte pixels (blue, green, red, then the fourth byte left as it
// was). `u` and `v` point at the chroma row for this image row.
void ConvertYuvRowToBgrx(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* destination,
                         int width);

// The same to 3-byte pixels (blue, green, red).
void ConvertYuvRowToBgr(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* destination,
                        int width);

// Image rows [firstRow, firstRow + rows) of `planes`, `width` pixels each, to 4-byte pixels at
// `destination`, rows `destinationStride` bytes apart, byte 3 as `fourth` says.
void ConvertYuvToBgrx(const YuvPlanes& planes, int firstRow, int rows, int width,
                      uint8_t* destination, size_t destinationStride, FourthByte fourth);

}  // namespace corvane
