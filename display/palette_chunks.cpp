#include "display/palette_chunks.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <mutex>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "config/log.h"
#include "display/palette_planes.h"
#include "display/rectangle_reader.h"

namespace corvane {

namespace {

constexpr uint8_t kUnchanged8 = 255;
constexpr size_t kChunkHeaderSize = 8;
constexpr uint32_t kMaxPaletteEntries = 256;

// Each entry holds the frame-buffer bytes of its pixel, in memory order, so that a write is
// one copy of the pixel's size.
using WorkingPalette = std::array<uint32_t, kMaxPaletteEntries>;

uint32_t LoadLittle32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

uint32_t PixelBytes(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
    const uint8_t bytes[4] = {b0, b1, b2, b3};
    uint32_t pixel = 0;
    std::memcpy(&pixel, bytes, sizeof bytes);
    return pixel;
}

// Bytes of one palette entry as sent; 0 for a depth drawn as nothing or without chunks.
size_t EntrySize(int depth) {
    switch (depth) {
        case 16: return 2;
        case 24:
        case 124:
        case 224: return 4;
        default: return 0;
    }
}

int TargetPixelSize(int depth) { return depth == 8 ? 1 : depth == 16 ? 2 : 4; }

// Converts the `count` entries at `entries` into the first `count` working entries. The
// depth is a template argument so that the loop over a chunk's entries holds no switch.
template <int kDepth>
void ConvertEntries(const uint8_t* entries, uint32_t count, const std::array<uint32_t, 256>& lookup,
                    WorkingPalette& palette) {
    uint32_t k = 0;
#if defined(__SSE2__)
    if constexpr (kDepth == 24) {
        for (; k + 4 <= count; k += 4) {
            const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(entries + size_t{k} * 4));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(&palette[k]), _mm_srli_epi32(four, 8));
        }
    }
#endif
    for (; k < count; ++k) {
        if constexpr (kDepth == 16) {
            const uint8_t* e = entries + size_t{k} * 2;
            const unsigned v = e[0] | unsigned{e[1]} << 8;
            const unsigned word = ((v >> 1) & 0x7FE0) | (v & 0x1F);
            palette[k] = PixelBytes(static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8), 0, 0);
        } else if constexpr (kDepth == 24) {
            // b1 b2 b3 moved down a byte, with a zero fourth byte: one shift.
            palette[k] = LoadLittle32(entries + size_t{k} * 4) >> 8;
        } else if constexpr (kDepth == 124) {
            uint32_t v = LoadLittle32(entries + size_t{k} * 4);
            const uint32_t index = v & 0xFF;
            if (index != 0) v = index | lookup[index];
            palette[k] = PixelBytes(static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                                    static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(index));
        } else {
            static_assert(kDepth == 224);
            const uint8_t* e = entries + size_t{k} * 4;
            const uint8_t b = e[0];
            if (b == 0) {
                palette[k] = PixelBytes(e[1], e[2], e[3], 0);
            } else {
                palette[k] = PixelBytes(static_cast<uint8_t>((b & 0x03) << 6), static_cast<uint8_t>((b & 0x1C) << 3),
                                        static_cast<uint8_t>(b & 0xE0), b);
            }
        }
    }
}

void ConvertPalette(const uint8_t* entries, uint32_t count, int depth,
                    const std::array<uint32_t, 256>& lookup, WorkingPalette& palette) {
    switch (depth) {
        case 16: ConvertEntries<16>(entries, count, lookup, palette); break;
        case 24: ConvertEntries<24>(entries, count, lookup, palette); break;
        case 124: ConvertEntries<124>(entries, count, lookup, palette); break;
        case 224: ConvertEntries<224>(entries, count, lookup, palette); break;
        default: break;
    }
}

// Walks the chunks of one rectangle's data.
class ChunkStream {
public:
    // `planes`, when given, is rebuilt from each chunk's palette.
    ChunkStream(const UpdateRectangle& rect, int depth, const std::array<uint32_t, 256>& lookup,
                WorkingPalette& palette, PalettePlanes* planes)
        : m_data(rect.data), m_size(rect.size), m_depth(depth), m_entrySize(EntrySize(depth)),
          m_lookup(lookup), m_palette(palette), m_planes(planes) {}

    // Makes the next chunk's indices current and converts its palette. False, with the
    // reason in Problem(), when the data holds no further whole chunk.
    bool Load() {
        const size_t left = m_size - m_offset;
        if (left < kChunkHeaderSize) {
            m_problem = left == 0 ? "the chunks end" : "a chunk header is cut";
            return false;
        }
        const uint8_t* chunk = m_data + m_offset;
        const uint32_t n = LoadLittle32(chunk);
        const uint32_t m = LoadLittle32(chunk + 4);
        if (m > kMaxPaletteEntries) {
            m_problem = "a palette has more than 256 entries";
            return false;
        }
        // In 64 bits: n near 2^32 must not wrap back inside the data.
        const uint64_t paletteAt = uint64_t{kChunkHeaderSize} + n + (n & 3);
        const uint64_t filler = m_depth == 16 ? uint64_t{m & 3} * 2 : 0;
        const uint64_t chunkSize = paletteAt + uint64_t{m} * m_entrySize + filler;
        if (chunkSize > left) {
            m_problem = "a chunk is cut";
            return false;
        }
        ConvertPalette(chunk + paletteAt, m, m_depth, m_lookup, m_palette);
        if (m_planes != nullptr) BuildPalettePlanes(m_palette.data(), *m_planes);
        m_indices = chunk + kChunkHeaderSize;
        m_indicesLeft = n;
        m_offset += static_cast<size_t>(chunkSize);
        return true;
    }

    // At most `wanted` indices of the current chunk, loading the next one when it is used
    // up; nullptr when the data ends first. `count` receives how many there are.
    const uint8_t* Take(uint32_t wanted, uint32_t& count) {
        while (m_indicesLeft == 0) {
            if (!Load()) return nullptr;
        }
        count = std::min(wanted, m_indicesLeft);
        const uint8_t* indices = m_indices;
        m_indices += count;
        m_indicesLeft -= count;
        return indices;
    }

    [[nodiscard]] const char* Problem() const { return m_problem; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_offset = 0;
    int m_depth;
    size_t m_entrySize;
    const std::array<uint32_t, 256>& m_lookup;
    WorkingPalette& m_palette;
    PalettePlanes* m_planes;
    const uint8_t* m_indices = nullptr;
    uint32_t m_indicesLeft = 0;
    const char* m_problem = "";
};

// Whether any of the eight bytes of `word` is zero.
bool HasZeroByte(uint64_t word) {
    return ((word - 0x0101010101010101u) & ~word & 0x8080808080808080u) != 0;
}

// Writes the entries of `count` indices to `target`; index 0 leaves its pixel as it was.
// Eight indices without a 0 among them, the common case, are written as whole words of
// pixels without a test per pixel.
template <int kPixelSize>
void WriteIndexed(const uint8_t* indices, uint32_t count, const WorkingPalette& palette, uint8_t* target) {
    static_assert(kPixelSize == 2 || kPixelSize == 4);
    // Byte k of a word in memory is its bits 8k and up.
    static_assert(std::endian::native == std::endian::little);
    uint32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        uint64_t eight;
        std::memcpy(&eight, indices + i, sizeof eight);
        uint8_t* out = target + size_t{i} * kPixelSize;
        if (HasZeroByte(eight)) {
            for (int k = 0; k < 8; ++k) {
                const uint8_t index = indices[i + k];
                if (index != 0) std::memcpy(out + k * kPixelSize, &palette[index], kPixelSize);
            }
            continue;
        }
        const uint8_t* x = indices + i;
        const WorkingPalette& e = palette;
        uint64_t words[4];
        if constexpr (kPixelSize == 4) {
            words[0] = e[x[0]] | uint64_t{e[x[1]]} << 32;
            words[1] = e[x[2]] | uint64_t{e[x[3]]} << 32;
            words[2] = e[x[4]] | uint64_t{e[x[5]]} << 32;
            words[3] = e[x[6]] | uint64_t{e[x[7]]} << 32;
        } else {
            words[0] = e[x[0]] | uint64_t{e[x[1]]} << 16 | uint64_t{e[x[2]]} << 32 | uint64_t{e[x[3]]} << 48;
            words[1] = e[x[4]] | uint64_t{e[x[5]]} << 16 | uint64_t{e[x[6]]} << 32 | uint64_t{e[x[7]]} << 48;
        }
        std::memcpy(out, words, 8 * kPixelSize);
    }
    for (; i < count; ++i) {
        const uint8_t index = indices[i];
        if (index != 0) std::memcpy(target + size_t{i} * kPixelSize, &palette[index], kPixelSize);
    }
}

// The chunked depths; false when the data ended before the rectangle did. `reached` counts
// the pixels the data covered.
template <int kPixelSize>
bool DrawChunks(FrameBuffer& frameBuffer, const UpdateRectangle& rect, int depth, WorkingPalette& palette,
                const char*& problem, uint64_t& reached) {
    // Four-byte pixels go sixty-four at a time where the processor can.
    PalettePlanes planes;
    const bool wide = kPixelSize == 4 && HasPalettePlanes();
    ChunkStream chunks(rect, depth, frameBuffer.LookupWords(), palette, wide ? &planes : nullptr);
    for (int32_t row = 0; row < rect.height; ++row) {
        uint8_t* target = frameBuffer.ScreenRow(rect.y + row) + static_cast<size_t>(rect.x) * kPixelSize;
        uint32_t columnsLeft = static_cast<uint32_t>(rect.width);
        while (columnsLeft > 0) {
            uint32_t count = 0;
            const uint8_t* indices = chunks.Take(columnsLeft, count);
            if (indices == nullptr) {
                problem = chunks.Problem();
                return false;
            }
            if (wide) {
                WritePlanePixels(indices, count, planes, target);
            } else {
                WriteIndexed<kPixelSize>(indices, count, palette, target);
            }
            target += size_t{count} * kPixelSize;
            columnsLeft -= count;
            reached += count;
        }
    }
    return true;
}

// Depth 8: one byte per pixel as far as the data goes; false when it ends first.
bool DrawBytes(FrameBuffer& frameBuffer, const UpdateRectangle& rect, const char*& problem, uint64_t& reached) {
    const uint8_t* source = rect.data;
    size_t left = rect.size;
    for (int32_t row = 0; row < rect.height; ++row) {
        uint8_t* target = frameBuffer.ScreenRow(rect.y + row) + rect.x;
        const size_t columns = std::min(left, static_cast<size_t>(rect.width));
        for (size_t column = 0; column < columns; ++column) {
            if (source[column] != kUnchanged8) target[column] = source[column];
        }
        source += columns;
        left -= columns;
        reached += columns;
        if (columns < static_cast<size_t>(rect.width)) {
            problem = "the pixel bytes end";
            return false;
        }
    }
    return true;
}

bool DrawRectangle(FrameBuffer& frameBuffer, const UpdateRectangle& rect, int depth, WorkingPalette& palette,
                   const char*& problem, uint64_t& reached) {
    switch (depth) {
        case 8: return DrawBytes(frameBuffer, rect, problem, reached);
        case 16: return DrawChunks<2>(frameBuffer, rect, depth, palette, problem, reached);
        default: return DrawChunks<4>(frameBuffer, rect, depth, palette, problem, reached);
    }
}

}  // namespace

int DrawPaletteChunkRectangles(FrameBuffer& frameBuffer, const uint8_t* record,
                               size_t size, int depth) {
    if (depth != 8 && EntrySize(depth) == 0) {
        DebugPrint(10, "Palette-chunk update in depth %d: nothing drawn\n", depth);
        return 0;
    }

    WorkingPalette palette{};
    return DrawEachRectangle(
        frameBuffer, record, size, "Palette-chunk", depth, TargetPixelSize(depth), [&](const UpdateRectangle& rect) {
            const char* problem = "";
            uint64_t reached = 0;
            if (!DrawRectangle(frameBuffer, rect, depth, palette, problem, reached)) {
                DebugPrint(0, "Palette-chunk rectangle %dx%d @ %d,%d (%zu data bytes): %s before its last pixel; the rest is left as it was\n",
                           rect.width, rect.height, rect.x, rect.y, rect.size, problem);
            }
            return reached != 0;
        });
}

}  // namespace corvane
