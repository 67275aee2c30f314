#include "display/bgr_rows.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace corvane {
namespace {

void CopyRowBytes(const uint8_t* __restrict in, uint8_t* __restrict out, size_t columns, FourthByte fourth) {
    for (size_t i = 0; i < columns; ++i, in += 3, out += 4) {
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
        if (fourth == FourthByte::Zero) out[3] = 0;
    }
}

#if defined(__x86_64__) || defined(__i386__)
// Four pixels per step: one 16-byte load (of which 12 bytes are used, so it stops two pixels
// before the row's end), a byte shuffle into the frame-buffer layout (byte 3 zero), and byte
// 3 taken from the frame buffer where it is kept.
__attribute__((target("ssse3"))) void CopyRowSsse3(const uint8_t* in, uint8_t* out, size_t columns,
                                                   FourthByte fourth) {
    const __m128i shuffle = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i keep = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    size_t i = 0;
    if (fourth == FourthByte::Zero) {
        for (; i + 6 <= columns; i += 4, in += 12, out += 16) {
            const __m128i pixels = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), shuffle);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), pixels);
        }
    } else {
        for (; i + 6 <= columns; i += 4, in += 12, out += 16) {
            const __m128i pixels = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), shuffle);
            const __m128i kept = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(out)), keep);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(pixels, kept));
        }
    }
    CopyRowBytes(in, out, columns - i, fourth);
}

}  // namespace

void CopyBgrRowToPixels(const uint8_t* in, uint8_t* out, size_t columns, FourthByte fourth) {
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    if (ssse3) {
        CopyRowSsse3(in, out, columns, fourth);
    } else {
        CopyRowBytes(in, out, columns, fourth);
    }
}
#else
}  // namespace

void CopyBgrRowToPixels(const uint8_t* in, uint8_t* out, size_t columns, FourthByte fourth) {
    CopyRowBytes(in, out, columns, fourth);
}
#endif

}  // namespace corvane
