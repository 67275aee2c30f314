// A decoder for lossless JPEG frames (SOF3), which libjpeg-turbo 2.1 does not take.
//
// It takes what such frames hold in practice: Huffman coding, 1 or 3 components sampled 1 x 1,
// one interleaved scan of every component, predictors 1 to 7, any point transform, sample
// precision 2 to 16 bits (scaled to 8). Restart intervals, several scans and subsampled
// components are refused. Three components are red, green, blue unless a JFIF or Adobe
// (transform 1) segment says YCbCr, which is converted with the full-range JFIF formulas.
//
// Pure function: any thread, any number at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace corvane {

// Which step of a decode refused the stream.
enum class LosslessStep { None, Header, Destination, Data };

struct LosslessResult {
    LosslessStep failed = LosslessStep::None;
    std::string text;  // why, when it failed
    int width = 0;
    int height = 0;
    int components = 0;
};

// Decodes `data` into `destination`: rows of width * 3 bytes (blue, green, red, grey
// replicated), top row first, never more than `capacity` bytes.
[[nodiscard]] LosslessResult DecodeLosslessJpeg(const uint8_t* data, size_t length, uint8_t* destination,
                                                size_t capacity);

}  // namespace corvane
