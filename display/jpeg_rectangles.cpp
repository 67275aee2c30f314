#include "display/jpeg_rectangles.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include <arpa/inet.h>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "config/log.h"
#include "display/display_records.h"
#include "protocol/records.h"

namespace corvane {

namespace {

int32_t WireWord(const uint8_t* header, size_t offset) {
    return static_cast<int32_t>(ntohl(LoadField<uint32_t>(header, offset)));
}

constexpr size_t kImageInRecord = ImageUpdateLayout::kFirstRectangle + RectangleHeaderLayout::kSize;

// Blue, green, red into bytes 0..2 of each frame-buffer pixel, byte 3 kept.
void CopyRowBytes(const uint8_t* __restrict in, uint8_t* __restrict out, size_t columns) {
    for (size_t i = 0; i < columns; ++i, in += 3, out += 4) {
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
    }
}

#if defined(__x86_64__) || defined(__i386__)
// Four pixels per step: one 16-byte load (of which 12 bytes are used, so it stops two pixels
// before the row's end), a byte shuffle into the frame-buffer layout, byte 3 taken from the
// frame buffer.
__attribute__((target("ssse3"))) void CopyRowSsse3(const uint8_t* in, uint8_t* out, size_t columns) {
    const __m128i shuffle = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i keep = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    size_t i = 0;
    for (; i + 6 <= columns; i += 4, in += 12, out += 16) {
        const __m128i pixels = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), shuffle);
        const __m128i kept = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(out)), keep);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(pixels, kept));
    }
    CopyRowBytes(in, out, columns - i);
}

void CopyRow(const uint8_t* in, uint8_t* out, size_t columns) {
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    if (ssse3) {
        CopyRowSsse3(in, out, columns);
    } else {
        CopyRowBytes(in, out, columns);
    }
}
#else
void CopyRow(const uint8_t* in, uint8_t* out, size_t columns) { CopyRowBytes(in, out, columns); }
#endif

}  // namespace

int DrawJpegRectangles(FrameBuffer& frameBuffer, DisplayEvents& events, const uint8_t* record, size_t size,
                       int depth, int decodedWidth, int decodedHeight) {
    if (depth != 24) return 0;
    if (size < kImageInRecord || decodedWidth <= 0 || decodedHeight <= 0) return 0;
    const size_t sourceStride = static_cast<size_t>(decodedWidth) * 3;
    if ((size - kImageInRecord) / sourceStride < static_cast<size_t>(decodedHeight)) {
        DebugPrint(0, "JPEG image %dx%d: only %zu bytes of pixels in the message\n", decodedWidth,
                   decodedHeight, size - kImageInRecord);
        return 0;
    }
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
    const uint8_t* source = record + kImageInRecord;

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
        for (int64_t row = top; row < bottom; ++row) {
            CopyRow(source + static_cast<size_t>(row - y) * sourceStride + static_cast<size_t>(left - x) * 3,
                    frameBuffer.ScreenRow(static_cast<int>(row)) + static_cast<size_t>(left) * 4, columns);
        }
    }
    events.RepaintRect(static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
                       static_cast<int>(bottom - top));
    return 1;
}

}  // namespace corvane
