#include "display/pixels16.h"

#include <algorithm>
#include <mutex>

#include "config/log.h"
#include "display/pixels16_rows.h"
#include "display/rectangle_reader.h"

namespace corvane {

namespace {

constexpr uint8_t kUnchanged8 = 255;
constexpr unsigned kUnchanged16 = 1;

// Source bytes per pixel; 0 for a depth drawn as nothing.
int SourcePixelSize(int depth) {
    switch (depth) {
        case 8: return 1;
        case 16:
        case 24:
        case 124: return 2;
        default: return 0;
    }
}

// Frame-buffer bytes per pixel of the depths drawn here.
int TargetPixelSize(int depth) { return depth == 8 ? 1 : depth == 16 ? 2 : 4; }

// The rows of one rectangle, `pixels` source pixels of it (the rest stays unchanged); `put`
// converts one source pixel onto its target.
template <int kSourceSize, int kTargetSize, typename Put>
void DrawRows(FrameBuffer& frameBuffer, const UpdateRectangle& rect, uint64_t pixels, Put put) {
    const uint8_t* source = rect.data;
    for (int32_t row = 0; row < rect.height && pixels > 0; ++row) {
        const int32_t columns = static_cast<int32_t>(std::min<uint64_t>(pixels, static_cast<uint64_t>(rect.width)));
        pixels -= static_cast<uint64_t>(columns);
        uint8_t* target = frameBuffer.ScreenRow(rect.y + row) + static_cast<size_t>(rect.x) * kTargetSize;
        for (int32_t column = 0; column < columns; ++column) {
            put(source, target);
            source += kSourceSize;
            target += kTargetSize;
        }
    }
}

void DrawRectangle(FrameBuffer& frameBuffer, const UpdateRectangle& rect, uint64_t pixels, int depth) {
    switch (depth) {
        case 8:
            DrawRows<1, 1>(frameBuffer, rect, pixels, [](const uint8_t* s, uint8_t* t) {
                if (s[0] != kUnchanged8) t[0] = s[0];
            });
            break;
        case 16:
            DrawRows<2, 2>(frameBuffer, rect, pixels, [](const uint8_t* s, uint8_t* t) {
                const unsigned v = unsigned{s[0]} << 8 | s[1];
                if (v == kUnchanged16) return;
                const unsigned word = ((v >> 1) & 0x1F) << 10 | ((v >> 6) & 0x1F) << 5 | ((v >> 11) & 0x1F);
                t[0] = static_cast<uint8_t>(word);
                t[1] = static_cast<uint8_t>(word >> 8);
            });
            break;
        case 24: {
            const uint8_t* source = rect.data;
            for (int32_t row = 0; row < rect.height && pixels > 0; ++row) {
                const int32_t columns = static_cast<int32_t>(std::min<uint64_t>(pixels, static_cast<uint64_t>(rect.width)));
                pixels -= static_cast<uint64_t>(columns);
                Pixel16Row24(source, frameBuffer.ScreenRow(rect.y + row) + static_cast<size_t>(rect.x) * 4, columns);
                source += static_cast<size_t>(columns) * 2;
            }
            break;
        }
        case 124: {
            const auto& lookup = frameBuffer.LookupWords();
            DrawRows<2, 4>(frameBuffer, rect, pixels, [&lookup](const uint8_t* s, uint8_t* t) {
                const unsigned word = s[0] | unsigned{s[1]} << 8;
                if ((word & 1) == 0) {
                    PutPixel16(word, t);
                } else if ((word & 2) != 0) {
                    // A colour-table pixel: the entry's colour, its index kept beside it.
                    const uint32_t entry = lookup[s[1]];
                    t[0] = static_cast<uint8_t>(entry >> 8);
                    t[1] = static_cast<uint8_t>(entry >> 16);
                    t[2] = static_cast<uint8_t>(entry >> 24);
                    t[3] = s[1];
                }
            });
            break;
        }
        default:
            break;
    }
}

}  // namespace

int DrawPixel16Rectangles(FrameBuffer& frameBuffer, const uint8_t* record,
                          size_t size, int depth) {
    const int sourceSize = SourcePixelSize(depth);
    if (sourceSize == 0) {
        DebugPrint(10, "16-bit pixel update in depth %d: nothing drawn\n", depth);
        return 0;
    }

    return DrawEachRectangle(
        frameBuffer, record, size, "16-bit pixel", depth, TargetPixelSize(depth), [&](const UpdateRectangle& rect) {
            const uint64_t needed = uint64_t(rect.width) * uint64_t(rect.height);
            const uint64_t pixels = std::min<uint64_t>(needed, rect.size / static_cast<size_t>(sourceSize));
            if (pixels < needed) {
                DebugPrint(0, "16-bit pixel rectangle %dx%d @ %d,%d has %zu data bytes for %llu pixels: drawn up to its end\n",
                           rect.width, rect.height, rect.x, rect.y, rect.size, static_cast<unsigned long long>(needed));
            }
            if (pixels == 0) return false;
            DrawRectangle(frameBuffer, rect, pixels, depth);
            return true;
        });
}

}  // namespace corvane
