// The general JPEG decoder of image updates: the JPEG image of a COMPEXT image frame, decoded
// by the display's image-update handler.
//
// Huffman-coded frames: baseline and extended sequential (SOF0, SOF1) and progressive (SOF2)
// through TurboJPEG, lossless (SOF3) through our own decoder. Arithmetic-coded and
// hierarchical frames are refused before any decoding. The output is always 3 bytes per
// pixel, blue, green, red: a grey image is replicated into all three, a CMYK image (as
// libjpeg hands it out, Adobe-inverted) is converted with R = C K / 255 and so on; YCCK
// becomes CMYK inside TurboJPEG first.
//
// A failure writes one line "JPEGIPP: decoder.<Step>() failed: <why>" to standard error and
// a log record; the handler then drops the update and the session goes on.
//
// One decoder per session, used on the receive thread only. Its TurboJPEG instance is made on
// first use and kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/large_buffer.h"

namespace corvane {

class JpegImageDecoder {
public:
    JpegImageDecoder() = default;
    ~JpegImageDecoder();
    JpegImageDecoder(const JpegImageDecoder&) = delete;
    JpegImageDecoder& operator=(const JpegImageDecoder&) = delete;

    // Decodes `jpeg` into `out`: rows of width * 3 bytes, top row first; never more than
    // `capacity` bytes. 0 with the size set, or -1.
    [[nodiscard]] int Decode(const uint8_t* jpeg, size_t size, uint8_t* out, size_t capacity, int& width,
                             int& height) {
        return DecodeImage(jpeg, size, out, capacity, nullptr, 0, width, height);
    }

    // The same into a buffer the decoder keeps and reuses: it grows to the size the image's
    // frame header gives (when that is at most `limit` bytes) and never shrinks. The pixels,
    // valid until the next call, or null on failure.
    [[nodiscard]] const uint8_t* DecodeToOwnBuffer(const uint8_t* jpeg, size_t size, size_t limit, int& width,
                                                   int& height) {
        return DecodeImage(jpeg, size, m_pixels.data(), m_pixels.size(), &m_pixels, limit, width, height) == 0
                   ? m_pixels.data()
                   : nullptr;
    }

private:
    // `grow`: when given, grown (up to `limit` bytes) to the size the frame header gives and
    // used in place of `out`, so the header is read once.
    [[nodiscard]] int DecodeImage(const uint8_t* jpeg, size_t size, uint8_t* out, size_t capacity,
                                  LargeBuffer* grow, size_t limit, int& width, int& height);

    void* m_handle = nullptr;            // tjhandle
    LargeBuffer m_pixels;                // DecodeToOwnBuffer's output; grows, never shrinks
    std::vector<uint8_t> m_cmyk;         // four-channel images decode here first; grows, never shrinks
};

// The frame header of a JPEG stream: its start-of-frame marker (0xC0 to 0xCF, or 0xDE for a
// hierarchical stream; 0 when none comes before the first scan or the data ends) and, for a
// frame marker with a whole segment, the size and component count it gives.
struct JpegFrameHeader {
    uint8_t marker = 0;
    int width = 0;
    int height = 0;
    int components = 0;
};
[[nodiscard]] JpegFrameHeader ReadJpegFrameHeader(const uint8_t* data, size_t length);

}  // namespace corvane
