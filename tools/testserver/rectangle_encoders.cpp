#include "tools/testserver/rectangle_encoders.h"

#include <array>

namespace corvane::testserver {

namespace {

constexpr size_t kPaletteLimit = 256;  // entries, index 0 included
constexpr size_t kPlanarHeaderSize = 20;
constexpr unsigned kMaxRun = 127;

void PutLE32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void SetLE32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t Key(const Rgb& c) { return uint32_t{c.red} << 16 | uint32_t{c.green} << 8 | c.blue; }

// A 16-bit session's pixel as raw and 16-bit rectangles carry it: big-endian, blue in the
// top five bits, then green, then red, and bit 0 clear (set means "unchanged").
void PutPixel16(const Rgb& c, std::vector<uint8_t>& out) {
    const unsigned word = unsigned(c.blue >> 3) << 11 | unsigned(c.green >> 3) << 6 | unsigned(c.red >> 3) << 1;
    out.push_back(static_cast<uint8_t>(word >> 8));
    out.push_back(static_cast<uint8_t>(word));
}

void AppendRaw(const PixelSource& desktop, int frame, const PixelRect& r, std::vector<uint8_t>& out) {
    for (int y = r.y; y < r.y + r.height; ++y) {
        for (int x = r.x; x < r.x + r.width; ++x) {
            if (desktop.Indexed()) {
                out.push_back(desktop.IndexAt(x, y, frame));
            } else if (desktop.SixteenBit()) {
                PutPixel16(desktop.ColourAt(x, y, frame), out);
            } else {
                const Rgb c = desktop.ColourAt(x, y, frame);
                out.insert(out.end(), {0, c.blue, c.green, c.red});
            }
        }
    }
}

// Chunks of at most kMaxChunkPixels pixels and 255 colours. A colour table indexed by the
// 24-bit colour would be 64 MB; a short list searched linearly is fast enough for a desktop
// of few colours per chunk.
void AppendPaletteChunks(const PixelSource& desktop, int frame, const PixelRect& r, std::vector<uint8_t>& out) {
    std::vector<Rgb> pixels;
    pixels.reserve(size_t(r.width) * r.height);
    for (int y = r.y; y < r.y + r.height; ++y) {
        for (int x = r.x; x < r.x + r.width; ++x) pixels.push_back(desktop.ColourAt(x, y, frame));
    }
    size_t next = 0;
    std::vector<uint8_t> indices;
    std::vector<uint32_t> palette;
    while (next < pixels.size()) {
        indices.clear();
        palette.assign(1, 0);  // entry 0: index 0 means "unchanged" and is never sent
        while (next < pixels.size() && indices.size() < kMaxChunkPixels) {
            const uint32_t key = Key(pixels[next]);
            size_t k = 1;
            while (k < palette.size() && palette[k] != key) ++k;
            if (k == palette.size()) {
                if (palette.size() == kPaletteLimit) break;
                palette.push_back(key);
            }
            indices.push_back(static_cast<uint8_t>(k));
            ++next;
        }
        PutLE32(out, static_cast<uint32_t>(indices.size()));
        PutLE32(out, static_cast<uint32_t>(palette.size()));
        out.insert(out.end(), indices.begin(), indices.end());
        out.insert(out.end(), indices.size() & 3, 0);  // n AND 3 filler bytes
        for (uint32_t key : palette) {
            if (desktop.SixteenBit()) {
                // Little-endian: red in the top five bits, green below it, blue at the bottom.
                const unsigned word = (key >> 19 & 0x1F) << 11 | (key >> 11 & 0x1F) << 6 | (key >> 3 & 0x1F);
                out.insert(out.end(), {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8)});
            } else {
                out.insert(out.end(), {0, static_cast<uint8_t>(key), static_cast<uint8_t>(key >> 8),
                                       static_cast<uint8_t>(key >> 16)});
            }
        }
        if (desktop.SixteenBit()) out.insert(out.end(), (palette.size() & 3) * 2, 0);  // m AND 3 filler entries
    }
}

void AppendPixels16(const PixelSource& desktop, int frame, const PixelRect& r, std::vector<uint8_t>& out) {
    for (int y = r.y; y < r.y + r.height; ++y) {
        for (int x = r.x; x < r.x + r.width; ++x) {
            const Rgb c = desktop.ColourAt(x, y, frame);
            if (desktop.SixteenBit()) {
                PutPixel16(c, out);
                continue;
            }
            const unsigned word = unsigned(c.blue >> 3) << 1 | unsigned(c.green >> 3) << 6 | unsigned(c.red >> 3) << 11;
            out.push_back(static_cast<uint8_t>(word));
            out.push_back(static_cast<uint8_t>(word >> 8));
        }
    }
}

void AppendPlanar(const PixelSource& desktop, int frame, const PixelRect& r, std::vector<uint8_t>& out) {
    std::array<std::vector<uint8_t>, 3> planes;
    for (auto& plane : planes) plane.reserve(size_t(r.width) * r.height);
    for (int y = r.y; y < r.y + r.height; ++y) {
        for (int x = r.x; x < r.x + r.width; ++x) {
            const Rgb c = desktop.ColourAt(x, y, frame);
            planes[0].push_back(c.blue);
            planes[1].push_back(c.green);
            planes[2].push_back(c.red);
        }
    }
    const size_t header = out.size();
    out.resize(header + kPlanarHeaderSize, 0);
    SetLE32(out, header + 16, static_cast<uint32_t>(size_t(r.width) * r.height * 4));
    for (size_t p = 0; p < planes.size(); ++p) {
        const size_t start = out.size();
        AppendPlanarPlane(planes[p], out);
        SetLE32(out, header + 4 + 4 * p, static_cast<uint32_t>(out.size() - start));
    }
}

}  // namespace

RectangleEncoding EncodingOfCompform(uint32_t compform) {
    switch (compform) {
        case 1:
        case 2:
        case 3: return RectangleEncoding::PaletteChunks;
        case 6:
        case 9: return RectangleEncoding::Planar;
        case 7:
        case 8: return RectangleEncoding::Pixels16;
        default: return RectangleEncoding::Raw;
    }
}

void AppendPlanarPlane(const std::vector<uint8_t>& values, std::vector<uint8_t>& out) {
    size_t i = 0;
    while (i < values.size()) {
        const uint8_t value = values[i];
        size_t run = 1;
        while (i + run < values.size() && run < kMaxRun && values[i + run] == value) ++run;
        // A single even byte is its own code; an odd one can only travel as a run of 1.
        if (run == 1 && (value & 1) == 0) {
            out.push_back(value);
        } else {
            out.push_back(static_cast<uint8_t>(run << 1 | 1));
            out.push_back(value);
        }
        i += run;
    }
}

void AppendRectangleData(const PixelSource& desktop, int frame, const PixelRect& r, RectangleEncoding encoding,
                         std::vector<uint8_t>& out) {
    if (desktop.Indexed()) encoding = RectangleEncoding::Raw;  // one index byte per pixel in every encoding
    switch (encoding) {
        case RectangleEncoding::Raw: AppendRaw(desktop, frame, r, out); break;
        case RectangleEncoding::PaletteChunks: AppendPaletteChunks(desktop, frame, r, out); break;
        case RectangleEncoding::Pixels16: AppendPixels16(desktop, frame, r, out); break;
        case RectangleEncoding::Planar: AppendPlanar(desktop, frame, r, out); break;
    }
}

}  // namespace corvane::testserver
