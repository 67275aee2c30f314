// The rectangle loop every image-update decoder shares: walking the rectangle headers of an
// update within the bytes the message holds, the bounds rule, and the one repaint request
// that covers what was drawn.
//
// Used on the receive thread. The reader only reads the message; RectangleInside reads the
// frame buffer's geometry, so the caller holds the frame-buffer lock around it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

#include "config/log.h"
#include "display/frame_buffer.h"

namespace corvane {

// One rectangle of an update, its header in host order. The data lies inside the message.
struct UpdateRectangle {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    const uint8_t* data = nullptr;
    size_t size = 0;
};

class RectangleReader {
public:
    // `record`: the image-update record, its first two words in host order; `size`: the
    // record bytes the message holds (what follows the record header).
    RectangleReader(const uint8_t* record, size_t size);

    [[nodiscard]] uint32_t Count() const { return m_count; }

    // The next rectangle. False when every counted rectangle has been read, or when the
    // next header or its data would run past the message: that ends the update, with a log
    // record, and what was drawn before stays drawn.
    [[nodiscard]] bool Next(UpdateRectangle& rect);

private:
    const uint8_t* m_record;
    size_t m_size;
    size_t m_offset;
    uint32_t m_count = 0;
    uint32_t m_index = 0;
};

// True when the rectangle has a positive width and height and lies wholly inside the frame
// buffer; otherwise logs "Error: data from server is out of bounds!!!" (10) and the caller
// skips it. Caller holds the frame-buffer lock.
[[nodiscard]] bool RectangleInside(const FrameBuffer& frameBuffer, const UpdateRectangle& rect);

// The smallest area covering every rectangle drawn by one update, repainted once after the
// loop (and after the lock is released).
class RepaintArea {
public:
    // `rect` has passed RectangleInside.
    void Add(const UpdateRectangle& rect);
    [[nodiscard]] bool Empty() const { return m_area.Empty(); }
    // Asks for the repaint; nothing when no rectangle was drawn.
    void Request(FrameBuffer& frameBuffer) const;

private:
    DamageRect m_area;
};

// The outer loop of a rectangle decoder. Under the frame-buffer lock, and only when the
// buffer's pixels are `pixelSize` bytes (a pixel of another size would land between them, or
// past their rows), hands every rectangle that lies inside the buffer to `draw`, which says
// whether it drew any of it; then one repaint covers what was drawn. `name` begins the log
// record of a buffer that does not fit ("Raw", ...). Returns the rectangles drawn.
template <typename Draw>
int DrawEachRectangle(FrameBuffer& frameBuffer, const uint8_t* record, size_t size,
                      const char* name, int depth, int pixelSize, Draw&& draw) {
    RectangleReader reader(record, size);
    RepaintArea area;
    int drawn = 0;
    {
        std::lock_guard lock(frameBuffer.Mutex());
        if (!frameBuffer.Valid() || frameBuffer.BytesPerPixel() != pixelSize) {
            DebugPrint(0, "%s update in depth %d does not fit a frame buffer of %d bytes per pixel: nothing drawn\n",
                       name, depth, frameBuffer.BytesPerPixel());
            return 0;
        }
        UpdateRectangle rect;
        while (reader.Next(rect)) {
            if (!RectangleInside(frameBuffer, rect) || !draw(rect)) continue;
            area.Add(rect);
            ++drawn;
        }
    }
    area.Request(frameBuffer);
    return drawn;
}

}  // namespace corvane
