// JPEG encoders of the test server.
//
// EncodeJfif writes the stream layout the client's restricted decoder takes: SOI, JFIF APP0,
// one DQT segment per table, SOF0 (three components, 4:2:0), one DHT segment per table, SOS,
// baseline Huffman data without restart markers, EOI. It is what drawing-request frames carry.
//
// EncodeJpegImage is the general path of image updates: any sampling and colour layout the
// caller asks for (TurboJPEG). Both take 3 bytes per pixel, red, green, blue.
//
// Pure functions: any thread.
#pragma once

#include <cstdint>
#include <vector>

namespace corvane::testserver {

// Baseline 4:2:0 JFIF of `width` x `height` pixels at `rgb` (rows `strideBytes` apart),
// quality 1 to 100. Empty on failure.
[[nodiscard]] std::vector<uint8_t> EncodeJfif(const uint8_t* rgb, int width, int height,
                                              int strideBytes, int quality);

enum class JpegSampling { S444, S422, S420, Grey };

// A JPEG image of the same pixels through TurboJPEG; `progressive` selects SOF2 over SOF0.
// Empty on failure.
[[nodiscard]] std::vector<uint8_t> EncodeJpegImage(const uint8_t* rgb, int width, int height,
                                                   int strideBytes, int quality,
                                                   JpegSampling sampling, bool progressive);

}  // namespace corvane::testserver
