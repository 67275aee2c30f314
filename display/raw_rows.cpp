#include "display/raw_rows.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace corvane {

void Raw24RowScalar(const uint8_t* source, uint8_t* target, int pixels) {
    for (int i = 0; i < pixels; ++i, source += 4, target += 4) {
        if (source[0] == 0xCC && source[1] == 0xCC && source[2] == 0xCC && source[3] == 0xCC) continue;
        target[0] = source[1];
        target[1] = source[2];
        target[2] = source[3];
        target[3] = 0;
    }
}

void Raw24Row(const uint8_t* source, uint8_t* target, int pixels) {
    int i = 0;
#if defined(__SSE2__)
    // Little-endian lanes: a right shift by 8 turns b0 b1 b2 b3 into b1 b2 b3 00; the marker's
    // lanes keep what the target held.
    const __m128i marker = _mm_set1_epi32(static_cast<int>(kRawUnchanged32));
    for (; i + 4 <= pixels; i += 4, source += 16, target += 16) {
        const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
        const __m128i keep = _mm_cmpeq_epi32(in, marker);
        const __m128i drawn = _mm_srli_epi32(in, 8);
        if (_mm_movemask_epi8(keep) == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(target), drawn);
            continue;
        }
        const __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(target));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target),
                         _mm_or_si128(_mm_and_si128(keep, old), _mm_andnot_si128(keep, drawn)));
    }
#endif
    Raw24RowScalar(source, target, pixels - i);
}

}  // namespace corvane
