#include "display/planar_rle.h"

#include <algorithm>
#include <mutex>

#include "config/log.h"
#include "display/planar_rows.h"
#include "display/rectangle_reader.h"

namespace corvane {

namespace {

constexpr size_t kStreamHeaderSize = 20;
constexpr size_t kPlaneLengthAt[3] = {4, 8, 12};
constexpr size_t kPixelSize = 4;

uint32_t LoadLittle32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

struct Stream {
    const uint8_t* data = nullptr;
    size_t size = 0;
};

// The three planes of the stream, each cut to the bytes the stream holds.
// A stream too short for its header has empty planes.
void SplitPlanes(const Stream& stream, PlanarPlane (&planes)[3]) {
    if (stream.size < kStreamHeaderSize) {
        for (PlanarPlane& plane : planes) plane = {};
        return;
    }
    size_t at = kStreamHeaderSize;
    for (int p = 0; p < 3; ++p) {
        const uint32_t length = LoadLittle32(stream.data + kPlaneLengthAt[p]);
        const size_t size = std::min<size_t>(length, stream.size - at);
        planes[p] = {stream.data + at, size};
        at += size;
    }
}

}  // namespace

int DrawPlanarRectangles(FrameBuffer& frameBuffer, const uint8_t* record,
                         size_t size, int depth, size_t streamOffset) {
    RectangleReader reader(record, size);
    RepaintArea area;
    int drawn = 0;
    {
        std::lock_guard lock(frameBuffer.Mutex());
        const bool drawable = depth == 24 && frameBuffer.Valid() && frameBuffer.BytesPerPixel() == int{kPixelSize};
        if (depth == 24 && !drawable) {
            DebugPrint(0, "Planar update in depth 24 does not fit a frame buffer of %d bytes per pixel: nothing drawn\n",
                       frameBuffer.BytesPerPixel());
            return 0;
        }
        if (!drawable) DebugPrint(10, "Planar update in depth %d: nothing drawn\n", depth);
        Stream stream;
        PlanarPlane planes[3];
        bool first = true;
        UpdateRectangle rect;
        while (reader.Next(rect)) {
            if (first) {
                first = false;
                const size_t dataAt = static_cast<size_t>(rect.data - record);
                if (streamOffset >= dataAt && streamOffset - dataAt <= rect.size) {
                    stream = {record + streamOffset, rect.size - (streamOffset - dataAt)};
                }
                SplitPlanes(stream, planes);
            }
            if (!RectangleInside(frameBuffer, rect) || !drawable) continue;
            const ptrdiff_t rowStep = frameBuffer.TopDown() ? static_cast<ptrdiff_t>(frameBuffer.Stride())
                                                            : -static_cast<ptrdiff_t>(frameBuffer.Stride());
            const bool whole = DecodePlanarRows(
                planes, frameBuffer.ScreenRow(rect.y) + static_cast<size_t>(rect.x) * kPixelSize, rowStep, rect.width,
                rect.height);
            const bool reached = planes[0].size + planes[1].size + planes[2].size > 0;
            if (!whole) {
                DebugPrint(0, "Planar rectangle %dx%d @ %d,%d: planes of %zu, %zu and %zu bytes end before its last pixel; the rest is left as it was\n",
                           rect.width, rect.height, rect.x, rect.y, planes[0].size, planes[1].size, planes[2].size);
            }
            if (!reached) continue;
            area.Add(rect);
            ++drawn;
        }
    }
    area.Request(frameBuffer);
    return drawn;
}

}  // namespace corvane
