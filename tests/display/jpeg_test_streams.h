// JPEG streams for the decoder tests: TurboJPEG's encoder and decoder as the reference, the
// segments of a stream for splicing layouts, and a small lossless (SOF3) encoder, which
// libjpeg-turbo 2.1 lacks.
#pragma once

#include <turbojpeg.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace corvane::test {

// A test picture with edges, gradients and flat areas, 3 bytes per pixel (red, green, blue).
inline std::vector<uint8_t> TestPictureRgb(int width, int height, int seed = 0) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            const bool box = ((x / 7) + (y / 5) + seed) % 3 == 0;
            p[0] = static_cast<uint8_t>(box ? 230 : (x * 255) / std::max(1, width - 1));
            p[1] = static_cast<uint8_t>(box ? 40 : (y * 255) / std::max(1, height - 1));
            p[2] = static_cast<uint8_t>((x * 13 + y * 7 + seed * 31) & 0xFF);
        }
    }
    return rgb;
}

// `subsampling` a TJSAMP_ value; TJFLAG_PROGRESSIVE etc. in `flags`.
inline std::vector<uint8_t> TurboEncode(const std::vector<uint8_t>& rgb, int width, int height, int subsampling,
                                        int quality = 80, int flags = 0, int pixelFormat = TJPF_RGB) {
    tjhandle handle = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    std::vector<uint8_t> stream;
    if (tjCompress2(handle, rgb.data(), width, 0, height, pixelFormat, &out, &size, subsampling, quality, flags) == 0) {
        stream.assign(out, out + size);
    }
    tjFree(out);
    tjDestroy(handle);
    return stream;
}

// TurboJPEG's own decode to blue, green, red; empty when it refuses the stream.
inline std::vector<uint8_t> TurboDecodeBgr(const std::vector<uint8_t>& stream, int& width, int& height) {
    tjhandle handle = tjInitDecompress();
    int sampling = 0;
    int colours = 0;
    std::vector<uint8_t> bgr;
    if (tjDecompressHeader3(handle, stream.data(), stream.size(), &width, &height, &sampling, &colours) == 0) {
        bgr.resize(static_cast<size_t>(width) * height * 3);
        if (tjDecompress2(handle, stream.data(), stream.size(), bgr.data(), width, 0, height, TJPF_BGR, 0) != 0) {
            bgr.clear();
        }
    }
    tjDestroy(handle);
    return bgr;
}

// A segment of a stream in front of the entropy-coded data: its marker byte, where its
// FF starts and how many bytes it takes (2 for SOI).
struct Segment {
    uint8_t marker;
    size_t offset;
    size_t size;
};

inline std::vector<Segment> Segments(const std::vector<uint8_t>& stream) {
    std::vector<Segment> segments{{0xD8, 0, 2}};
    size_t at = 2;
    while (at + 4 <= stream.size() && stream[at] == 0xFF) {
        const uint8_t marker = stream[at + 1];
        const size_t length = static_cast<size_t>(stream[at + 2]) << 8 | stream[at + 3];
        segments.push_back({marker, at, 2 + length});
        at += 2 + length;
        if (marker == 0xDA) break;
    }
    return segments;
}

// The offset of the `nth` (from 0) segment with `marker`; the stream size when there is none.
inline size_t SegmentOffset(const std::vector<uint8_t>& stream, uint8_t marker, int nth = 0) {
    for (const Segment& s : Segments(stream)) {
        if (s.marker == marker && nth-- == 0) return s.offset;
    }
    return stream.size();
}

inline std::vector<uint8_t> Inserted(std::vector<uint8_t> stream, size_t at, const std::vector<uint8_t>& bytes) {
    stream.insert(stream.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin(), bytes.end());
    return stream;
}

// The stream without its first segment with `marker`.
inline std::vector<uint8_t> WithoutSegment(std::vector<uint8_t> stream, uint8_t marker) {
    for (const Segment& s : Segments(stream)) {
        if (s.marker != marker) continue;
        const auto first = stream.begin() + static_cast<std::ptrdiff_t>(s.offset);
        stream.erase(first, first + static_cast<std::ptrdiff_t>(s.size));
        break;
    }
    return stream;
}

// The stream with its SOF0 moved from in front of the Huffman tables to behind them.
inline std::vector<uint8_t> FrameAfterHuffmanTables(const std::vector<uint8_t>& stream) {
    std::vector<uint8_t> frame;
    for (const Segment& s : Segments(stream)) {
        if (s.marker == 0xC0) frame.assign(stream.begin() + s.offset, stream.begin() + s.offset + s.size);
    }
    const std::vector<uint8_t> out = WithoutSegment(stream, 0xC0);
    return Inserted(out, SegmentOffset(out, 0xDA), frame);
}

inline const std::vector<uint8_t> kComSegment = {0xFF, 0xFE, 0x00, 0x06, 'h', 'i', '!', 0x00};
inline const std::vector<uint8_t> kDriSegment = {0xFF, 0xDD, 0x00, 0x04, 0x00, 0x00};

// A lossless JPEG (SOF3) of `components` planes (1, or 3 as red, green, blue) of `precision`
// bits, each sample `samples[(y * width + x) * components + c]`, with `predictor` 1 to 7 and
// point transform `pointTransform`. One Huffman table: categories 0 to 13 in 4 bits, 14 to 16
// in 5.
inline std::vector<uint8_t> LosslessEncode(const std::vector<uint16_t>& samples, int width, int height,
                                           int components, int precision, int predictor, int pointTransform) {
    std::vector<uint8_t> out = {0xFF, 0xD8};
    auto put16 = [&out](unsigned v) {
        out.push_back(static_cast<uint8_t>(v >> 8));
        out.push_back(static_cast<uint8_t>(v));
    };
    out.insert(out.end(), {0xFF, 0xC3});
    put16(8 + 3 * components);
    out.push_back(static_cast<uint8_t>(precision));
    put16(height);
    put16(width);
    out.push_back(static_cast<uint8_t>(components));
    for (int c = 0; c < components; ++c) out.insert(out.end(), {static_cast<uint8_t>(c + 1), 0x11, 0});
    out.insert(out.end(), {0xFF, 0xC4});
    put16(2 + 17 + 17);
    out.push_back(0x00);
    for (int length = 1; length <= 16; ++length) out.push_back(length == 4 ? 14 : length == 5 ? 3 : 0);
    for (int category = 0; category <= 16; ++category) out.push_back(static_cast<uint8_t>(category));
    out.insert(out.end(), {0xFF, 0xDA});
    put16(6 + 2 * components);
    out.push_back(static_cast<uint8_t>(components));
    for (int c = 0; c < components; ++c) out.insert(out.end(), {static_cast<uint8_t>(c + 1), 0x00});
    out.insert(out.end(), {static_cast<uint8_t>(predictor), 0, static_cast<uint8_t>(pointTransform)});

    uint32_t accumulator = 0;
    int bitCount = 0;
    auto putBits = [&](uint32_t bits, int count) {
        for (int i = count - 1; i >= 0; --i) {
            accumulator = accumulator << 1 | ((bits >> i) & 1);
            if (++bitCount == 8) {
                out.push_back(static_cast<uint8_t>(accumulator));
                if (accumulator == 0xFF) out.push_back(0x00);
                accumulator = 0;
                bitCount = 0;
            }
        }
    };
    const size_t n = static_cast<size_t>(components);
    const size_t w = static_cast<size_t>(width);
    std::vector<int32_t> r(samples.size());
    for (size_t i = 0; i < samples.size(); ++i) r[i] = samples[i] >> pointTransform;
    auto at = [&](size_t x, size_t y, size_t c) { return r[(y * w + x) * n + c]; };
    for (size_t y = 0; y < static_cast<size_t>(height); ++y) {
        for (size_t x = 0; x < w; ++x) {
            for (size_t c = 0; c < n; ++c) {
                int32_t px;
                if (y == 0) {
                    px = x == 0 ? 1 << (precision - pointTransform - 1) : at(x - 1, y, c);
                } else if (x == 0) {
                    px = at(x, y - 1, c);
                } else {
                    const int32_t ra = at(x - 1, y, c), rb = at(x, y - 1, c), rc = at(x - 1, y - 1, c);
                    switch (predictor) {
                        case 1: px = ra; break;
                        case 2: px = rb; break;
                        case 3: px = rc; break;
                        case 4: px = ra + rb - rc; break;
                        case 5: px = ra + ((rb - rc) >> 1); break;
                        case 6: px = rb + ((ra - rc) >> 1); break;
                        default: px = (ra + rb) >> 1; break;
                    }
                }
                int32_t d = (at(x, y, c) - px) & 0xFFFF;
                if (d == 32768) {
                    putBits(0b11110, 5);
                    continue;
                }
                if (d > 32768) d -= 65536;
                const int32_t magnitude = d < 0 ? -d : d;
                int category = 0;
                while ((1 << category) <= magnitude) ++category;
                if (category <= 13) {
                    putBits(static_cast<uint32_t>(category), 4);
                } else {
                    putBits(static_cast<uint32_t>(0b11100 + (category - 14)), 5);
                }
                if (category > 0) {
                    const int32_t extra = d > 0 ? d : d + (1 << category) - 1;
                    putBits(static_cast<uint32_t>(extra), category);
                }
            }
        }
    }
    if (bitCount > 0) putBits(0x7F, 8 - bitCount);
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

}  // namespace corvane::test
