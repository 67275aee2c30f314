// A reader of raw image updates written for the tests from the wire format alone (not with
// the server's code): it draws an update's rectangles onto an RGB canvas the way a client
// draws them, skipping "unchanged" pixels, and reports what it found.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/testserver/desktop.h"

namespace corvane::testserver::test {

inline uint32_t BE32(const uint8_t* at) {
    return (uint32_t{at[0]} << 24) | (uint32_t{at[1]} << 16) | (uint32_t{at[2]} << 8) | at[3];
}

struct RgbCanvas {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // rows top to bottom, no padding
    RgbCanvas(int w, int h, uint8_t fill) : width(w), height(h), rgb(size_t(w) * h * 3, fill) {}
};

// Draws the image record and rectangles at `record` (wire order, `size` bytes) onto the
// canvas at `depth` (8: indices through `table`; 24: bytes 0, blue, green, red). Returns an
// empty string, or what was wrong (a rectangle out of bounds or running past the end).
inline std::string DrawRawUpdate(const uint8_t* record, size_t size, int depth, const std::array<Rgb, 256>& table,
                                 RgbCanvas& canvas, int* rectangles = nullptr) {
    if (size < 8) return "short image record";
    if (BE32(record) != 0) return "image type is not 0";
    const uint32_t count = BE32(record + 4);
    if (rectangles != nullptr) *rectangles = static_cast<int>(count);
    size_t at = 8;
    const size_t pixelSize = depth == 8 ? 1 : 4;
    for (uint32_t i = 0; i < count; ++i) {
        if (size - at < 20) return "rectangle header past the end";
        const uint8_t* h = record + at;
        const uint64_t dataSize = BE32(h);
        const int64_t x = BE32(h + 4), y = BE32(h + 8), w = BE32(h + 12), hgt = BE32(h + 16);
        at += 20;
        if (x + w > canvas.width || y + hgt > canvas.height) return "rectangle out of bounds";
        if (dataSize != uint64_t(w) * hgt * pixelSize || dataSize > size - at) return "bad rectangle data size";
        const uint8_t* p = record + at;
        for (int64_t row = 0; row < hgt; ++row) {
            for (int64_t column = 0; column < w; ++column, p += pixelSize) {
                uint8_t* out = &canvas.rgb[((y + row) * canvas.width + x + column) * 3];
                if (depth == 8) {
                    if (p[0] == 255) continue;
                    out[0] = table[p[0]].red;
                    out[1] = table[p[0]].green;
                    out[2] = table[p[0]].blue;
                } else {
                    if (p[0] == 0xCC && p[1] == 0xCC && p[2] == 0xCC && p[3] == 0xCC) continue;
                    out[0] = p[3];
                    out[1] = p[2];
                    out[2] = p[1];
                }
            }
        }
        at += dataSize;
    }
    return at == size ? std::string() : "bytes left behind the last rectangle";
}

}  // namespace corvane::testserver::test
