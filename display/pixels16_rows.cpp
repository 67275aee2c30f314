#include "display/pixels16_rows.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace corvane {

void Pixel16Row24Scalar(const uint8_t* source, uint8_t* target, int pixels) {
    for (int i = 0; i < pixels; ++i, source += 2, target += 4) {
        const unsigned word = source[0] | unsigned{source[1]} << 8;
        if ((word & 1) == 0) PutPixel16(word, target);
    }
}

void Pixel16Row24(const uint8_t* source, uint8_t* target, int pixels) {
    int i = 0;
#if defined(__SSE2__)
    const __m128i top5 = _mm_set1_epi16(0xF8);
    const __m128i one = _mm_set1_epi16(1);
    for (; i + 8 <= pixels; i += 8, source += 16, target += 32) {
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
        // Per word: blue and green in its two bytes, red in the low byte of another.
        const __m128i blue = _mm_and_si128(_mm_slli_epi16(w, 2), top5);
        const __m128i green = _mm_and_si128(_mm_srli_epi16(w, 3), top5);
        const __m128i red = _mm_and_si128(_mm_srli_epi16(w, 8), top5);
        const __m128i blueGreen = _mm_or_si128(blue, _mm_slli_epi16(green, 8));
        const __m128i low = _mm_unpacklo_epi16(blueGreen, red);
        const __m128i high = _mm_unpackhi_epi16(blueGreen, red);
        const __m128i keep16 = _mm_cmpeq_epi16(_mm_and_si128(w, one), one);
        auto* out = reinterpret_cast<__m128i*>(target);
        if (_mm_movemask_epi8(keep16) == 0) {
            _mm_storeu_si128(out, low);
            _mm_storeu_si128(out + 1, high);
            continue;
        }
        const __m128i keepLow = _mm_unpacklo_epi16(keep16, keep16);
        const __m128i keepHigh = _mm_unpackhi_epi16(keep16, keep16);
        const __m128i oldLow = _mm_loadu_si128(out);
        const __m128i oldHigh = _mm_loadu_si128(out + 1);
        _mm_storeu_si128(out, _mm_or_si128(_mm_and_si128(keepLow, oldLow), _mm_andnot_si128(keepLow, low)));
        _mm_storeu_si128(out + 1, _mm_or_si128(_mm_and_si128(keepHigh, oldHigh), _mm_andnot_si128(keepHigh, high)));
    }
#endif
    Pixel16Row24Scalar(source, target, pixels - i);
}

}  // namespace corvane
