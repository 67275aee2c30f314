// The three run-length planes of a planar update decoded onto rows of 4-byte pixels: plane
// p gives byte p of each pixel (blue, green, red); the fourth byte is left alone. In each
// plane a byte c with bit 0 clear is one pixel of value c; with bit 0 set it starts a run of
// c >> 1 pixels (0 to 127) of the value in the next byte. Pixels go row by row, and a run
// carries on into the next row. A plane whose data ends early stops there: its bytes of the
// pixels it did not reach stay as they were.
//
// DecodePlanarRows decodes a stretch of each plane into a row buffer (literal bytes sixteen
// at a time, runs as fills) and interleaves the three; DecodePlanarRowsScalar writes byte by
// byte and is the reference the other must always agree with.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

struct PlanarPlane {
    const uint8_t* data = nullptr;
    size_t size = 0;
};

// `firstRow`: the rectangle's first pixel; `rowStep`: bytes from one row of it to the next
// (negative in a bottom-up buffer). Returns whether every plane reached the last pixel.
bool DecodePlanarRows(const PlanarPlane (&planes)[3], uint8_t* firstRow, ptrdiff_t rowStep, int width, int height);
bool DecodePlanarRowsScalar(const PlanarPlane (&planes)[3], uint8_t* firstRow, ptrdiff_t rowStep, int width,
                            int height);

}  // namespace corvane
