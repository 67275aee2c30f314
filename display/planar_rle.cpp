#include "display/planar_rle.h"

#include <algorithm>
#include <mutex>

#include "config/log.h"
#include "display/rectangle_reader.h"

namespace corvane {

namespace {

constexpr size_t kStreamHeaderSize = 20;
constexpr size_t kPlaneLengthAt[3] = {4, 8, 12};
constexpr size_t kPixelSize = 4;

uint32_t LoadLittle32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

struct Plane {
    const uint8_t* data = nullptr;
    size_t size = 0;
};

struct Stream {
    const uint8_t* data = nullptr;
    size_t size = 0;
};

// The three planes of the stream, each cut to the bytes the stream holds.
// A stream too short for its header has empty planes.
void SplitPlanes(const Stream& stream, Plane (&planes)[3]) {
    if (stream.size < kStreamHeaderSize) {
        for (Plane& plane : planes) plane = {};
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

// Byte `p` of every pixel of the rectangle from one plane; false when the plane's data ends
// before the rectangle does. An empty plane writes nothing.
bool DrawPlane(FrameBuffer& frameBuffer, const UpdateRectangle& rect, const Plane& plane, int p) {
    const uint8_t* code = plane.data;
    const uint8_t* const end = plane.data + plane.size;
    size_t runLeft = 0;
    uint8_t value = 0;
    for (int32_t row = 0; row < rect.height; ++row) {
        uint8_t* target = frameBuffer.ScreenRow(rect.y + row) + static_cast<size_t>(rect.x) * kPixelSize + p;
        size_t columnsLeft = static_cast<size_t>(rect.width);
        while (columnsLeft > 0) {
            if (runLeft == 0) {
                if (code == end) return false;
                // A single pixel is taken as a run of 1 whose value is the code itself.
                const uint8_t c = *code;
                const size_t isRun = c & 1u;
                if (isRun != 0 && end - code < 2) return false;
                value = isRun != 0 ? code[1] : c;
                runLeft = isRun != 0 ? size_t{c} >> 1 : 1;
                code += 1 + isRun;
                continue;
            }
            // As much of the run as this row takes; the rest goes on in the next row.
            const size_t span = std::min(runLeft, columnsLeft);
            for (size_t i = 0; i < span; ++i) target[i * kPixelSize] = value;
            target += span * kPixelSize;
            columnsLeft -= span;
            runLeft -= span;
        }
    }
    return true;
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
        Plane planes[3];
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
            bool whole = true;
            for (int p = 0; p < 3; ++p) whole = DrawPlane(frameBuffer, rect, planes[p], p) && whole;
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
