#include "display/raw_rectangles.h"

#include <mutex>

#include "config/log.h"
#include "display/raw_rows.h"
#include "display/rectangle_reader.h"

namespace corvane {

namespace {

constexpr uint8_t kUnchanged8 = 255;
constexpr unsigned kUnchanged16 = 1;

// Source bytes per pixel; 0 for a depth drawn as nothing.
int RawPixelSize(int depth) {
    switch (depth) {
        case 8: return 1;
        case 16: return 2;
        case 24:
        case 124: return 4;
        default: return 0;
    }
}

uint32_t LoadLittle32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void StoreLittle32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// The row loop of every depth; `put` converts one source pixel onto its target (or leaves
// the target alone for the unchanged marker).
template <int kPixelSize, typename Put>
void DrawRows(FrameBuffer& frameBuffer, const UpdateRectangle& rect, Put put) {
    const uint8_t* source = rect.data;
    for (int32_t row = 0; row < rect.height; ++row) {
        uint8_t* target = frameBuffer.ScreenRow(rect.y + row) + static_cast<size_t>(rect.x) * kPixelSize;
        for (int32_t column = 0; column < rect.width; ++column) {
            put(source, target);
            source += kPixelSize;
            target += kPixelSize;
        }
    }
}

void DrawRectangle(FrameBuffer& frameBuffer, const UpdateRectangle& rect, int depth) {
    switch (depth) {
        case 8:
            DrawRows<1>(frameBuffer, rect, [](const uint8_t* s, uint8_t* t) {
                if (s[0] != kUnchanged8) t[0] = s[0];
            });
            break;
        case 16:
            DrawRows<2>(frameBuffer, rect, [](const uint8_t* s, uint8_t* t) {
                const unsigned v = unsigned{s[0]} << 8 | s[1];
                if (v == kUnchanged16) return;
                const unsigned word = ((v >> 1) & 0x1F) << 10 | ((v >> 6) & 0x1F) << 5 | ((v >> 11) & 0x1F);
                t[0] = static_cast<uint8_t>(word);
                t[1] = static_cast<uint8_t>(word >> 8);
            });
            break;
        case 24: {
            const uint8_t* source = rect.data;
            const size_t rowBytes = static_cast<size_t>(rect.width) * 4;
            for (int32_t row = 0; row < rect.height; ++row, source += rowBytes) {
                Raw24Row(source, frameBuffer.ScreenRow(rect.y + row) + static_cast<size_t>(rect.x) * 4, rect.width);
            }
            break;
        }
        case 124: {
            const auto& lookup = frameBuffer.LookupWords();
            DrawRows<4>(frameBuffer, rect, [&lookup](const uint8_t* s, uint8_t* t) {
                uint32_t v = LoadLittle32(s);
                if (v == kRawUnchanged32) return;
                const uint32_t index = v & 0xFF;
                if (index != 0) v = index | lookup[index];
                // Rotated right by 8: blue, green, red, index.
                StoreLittle32(t, v >> 8 | v << 24);
            });
            break;
        }
        default:
            break;
    }
}

}  // namespace

int DrawRawRectangles(FrameBuffer& frameBuffer, const uint8_t* record,
                      size_t size, int depth) {
    const int pixelSize = RawPixelSize(depth);
    if (pixelSize == 0) {
        DebugPrint(10, "Raw update in depth %d: nothing drawn\n", depth);
        return 0;
    }

    return DrawEachRectangle(frameBuffer, record, size, "Raw", depth, pixelSize, [&](const UpdateRectangle& rect) {
        const uint64_t needed = uint64_t(rect.width) * uint64_t(rect.height) * uint64_t(pixelSize);
        if (rect.size < needed) {
            DebugPrint(0, "Raw rectangle %dx%d @ %d,%d has %zu data bytes, needs %llu: skipped\n", rect.width,
                       rect.height, rect.x, rect.y, rect.size, static_cast<unsigned long long>(needed));
            return false;
        }
        DrawRectangle(frameBuffer, rect, depth);
        return true;
    });
}

}  // namespace corvane
