#include "display/jpeg_rectangles.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include <arpa/inet.h>

#include "config/log.h"
#include "display/bgr_rows.h"
#include "display/display_records.h"
#include "protocol/records.h"

namespace corvane {

namespace {

int32_t WireWord(const uint8_t* header, size_t offset) {
    return static_cast<int32_t>(ntohl(LoadField<uint32_t>(header, offset)));
}

constexpr size_t kImageInRecord = ImageUpdateLayout::kFirstRectangle + RectangleHeaderLayout::kSize;


}  // namespace

int DrawJpegRectangles(FrameBuffer& frameBuffer, const uint8_t* record, size_t size, int depth,
                       const uint8_t* pixels, int decodedWidth, int decodedHeight) {
    if (depth != 24) return 0;
    if (size < kImageInRecord || pixels == nullptr || decodedWidth <= 0 || decodedHeight <= 0) return 0;
    const size_t sourceStride = static_cast<size_t>(decodedWidth) * 3;
    const uint32_t count = LoadField<uint32_t>(record, ImageUpdateLayout::kRectangleCount);
    if (count == 0) return 0;
    if (count > 1) {
        DebugPrint(10, "JPEG image update names %u rectangles; only the first has its pixels\n", count);
    }

    const uint8_t* header = record + ImageUpdateLayout::kFirstRectangle;
    const int32_t x = WireWord(header, RectangleHeaderLayout::kX);
    const int32_t y = WireWord(header, RectangleHeaderLayout::kY);
    const int32_t width = WireWord(header, RectangleHeaderLayout::kWidth);
    const int32_t height = WireWord(header, RectangleHeaderLayout::kHeight);
    DebugPrint(66, "x=%d y=%d w=%d h=%d  actual w=%d h=%d\n", x, y, width, height, decodedWidth, decodedHeight);
    const uint8_t* source = pixels;

    int64_t left = 0;
    int64_t top = 0;
    int64_t right = 0;
    int64_t bottom = 0;
    {
        std::lock_guard lock(frameBuffer.Mutex());
        if (!frameBuffer.Valid() || frameBuffer.BytesPerPixel() != 4) return 0;
        // Cut at the bitmap's edges and at the decoded image; nothing left of or above the
        // bitmap is written either.
        left = std::max<int64_t>(x, 0);
        top = std::max<int64_t>(y, 0);
        right = std::min({int64_t{x} + width, int64_t{frameBuffer.Width()}, int64_t{x} + decodedWidth});
        bottom = std::min({int64_t{y} + height, int64_t{frameBuffer.Height()}, int64_t{y} + decodedHeight});
        if (right <= left || bottom <= top) return 0;
        const size_t columns = static_cast<size_t>(right - left);
        const FourthByte fourth = frameBuffer.FourthByteOfWrites();
        for (int64_t row = top; row < bottom; ++row) {
            CopyBgrRowToPixels(source + static_cast<size_t>(row - y) * sourceStride + static_cast<size_t>(left - x) * 3,
                    frameBuffer.ScreenRow(static_cast<int>(row)) + static_cast<size_t>(left) * 4, columns, fourth);
        }
    }
    frameBuffer.AddDamage(static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
                          static_cast<int>(bottom - top));
    return 1;
}

}  // namespace corvane
