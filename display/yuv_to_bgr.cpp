#include "display/yuv_to_bgr.h"

#include <immintrin.h>

#include <algorithm>
#include <cstddef>

namespace corvane {

namespace {

// Chroma coefficients in units of 2^-14. Each chroma sample's three terms are worked out once
// (rounded to units of 2^-5) for the two to four pixels that share it; the per-pixel sums then
// run in 16 bits, where luma plus any term fits, sixteen pixels to a vector.
constexpr int kShift = 14;
constexpr int kRedFromV = 18678;   // 1.140
constexpr int kGreenFromU = 6455;  // 0.394
constexpr int kGreenFromV = 9519;  // 0.581
constexpr int kBlueFromU = 33292;  // 2.032
constexpr int kPixelShift = 5;
constexpr int kTermShift = kShift - kPixelShift;
constexpr int kTermRound = 1 << (kTermShift - 1);
constexpr int kPixelRound = 1 << (kPixelShift - 1);

// Pixels per pass: the chroma terms of one pass serve both image rows of a chroma row.
constexpr int kChunk = 512;

struct ChromaTerms {
    int16_t blue[kChunk];
    int16_t green[kChunk];
    int16_t red[kChunk];
};

// The three terms of each chroma sample, once for each of the two pixels it covers.
__attribute__((always_inline)) inline void TermsBody(const uint8_t* __restrict u,
                                                     const uint8_t* __restrict v, int first,
                                                     int pixels, ChromaTerms& t) {
    const int samples = (pixels + 1) / 2;
    for (int i = first; i < samples; ++i) {
        const int cu = u[i] - 128;
        const int cv = v[i] - 128;
        const auto blue = static_cast<int16_t>((kBlueFromU * cu + kTermRound) >> kTermShift);
        const auto green =
            static_cast<int16_t>((-kGreenFromU * cu - kGreenFromV * cv + kTermRound) >> kTermShift);
        const auto red = static_cast<int16_t>((kRedFromV * cv + kTermRound) >> kTermShift);
        t.blue[2 * i] = t.blue[2 * i + 1] = blue;
        t.green[2 * i] = t.green[2 * i + 1] = green;
        t.red[2 * i] = t.red[2 * i + 1] = red;
    }
}

// Every step is cut back to 16 bits (nothing overflows) so the compiler keeps 16-bit lanes.
inline uint8_t Channel(int16_t luma, int16_t term) {
    auto value = static_cast<int16_t>(luma + term);
    value = static_cast<int16_t>(value + kPixelRound);
    value = static_cast<int16_t>(value >> kPixelShift);
    return static_cast<uint8_t>(std::min<int16_t>(std::max<int16_t>(value, 0), 255));
}

template <FourthByte kFourth>
__attribute__((always_inline)) inline void RowBody(const uint8_t* __restrict y, const int16_t* blue,
                                                   const int16_t* green, const int16_t* red,
                                                   uint8_t* __restrict destination, int pixels) {
    auto* __restrict out = reinterpret_cast<uint32_t*>(destination);
    for (int x = 0; x < pixels; ++x) {
        const auto luma = static_cast<int16_t>(y[x] << kPixelShift);
        const uint32_t bgr = static_cast<uint32_t>(Channel(luma, blue[x])) |
                             static_cast<uint32_t>(Channel(luma, green[x])) << 8 |
                             static_cast<uint32_t>(Channel(luma, red[x])) << 16;
        // Keeping byte 3 reads the destination first: a whole screen's worth of frame buffer
        // for every video frame, which only a multimode buffer needs.
        out[x] = kFourth == FourthByte::Kept ? (out[x] & 0xFF000000u) | bgr : bgr;
    }
}

// One channel of 16 pixels, before the clamp: as Channel, the rounding already in `luma`.
__attribute__((target("avx2"))) inline __m256i Channel16(__m256i luma, const int16_t* term) {
    return _mm256_srai_epi16(
        _mm256_add_epi16(luma, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(term))), kPixelShift);
}

__attribute__((target("avx2"))) inline __m256i Luma16(const uint8_t* y) {
    const __m256i luma = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y)));
    return _mm256_add_epi16(_mm256_slli_epi16(luma, kPixelShift), _mm256_set1_epi16(kPixelRound));
}

template <FourthByte kFourth>
__attribute__((target("avx2"))) inline void Store8(uint8_t* destination, __m256i pixels) {
    auto* out = reinterpret_cast<__m256i*>(destination);
    if (kFourth == FourthByte::Kept) {
        const __m256i kept = _mm256_and_si256(_mm256_loadu_si256(out), _mm256_set1_epi32(static_cast<int>(0xFF000000u)));
        pixels = _mm256_or_si256(pixels, kept);
    }
    _mm256_storeu_si256(out, pixels);
}

// Both loops have an AVX2 version beside the baseline, which stays the reference, and the
// version the processor runs is picked on first use. (Not with ifunc-based function clones:
// their resolvers run before the sanitizer runtimes are up.)
using TermsFunction = void (*)(const uint8_t*, const uint8_t*, int, ChromaTerms&);
using RowFunction = void (*)(const uint8_t*, const ChromaTerms&, uint8_t*, int);

// Sixteen terms, each twice and in order: the unpacks work lane by lane, the permutes put the
// lanes back.
__attribute__((target("avx2"))) inline void StoreTwice(int16_t* out, __m256i terms) {
    const __m256i low = _mm256_unpacklo_epi16(terms, terms);   // samples 0-3 | 8-11
    const __m256i high = _mm256_unpackhi_epi16(terms, terms);  // 4-7 | 12-15
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute2x128_si256(low, high, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 16), _mm256_permute2x128_si256(low, high, 0x31));
}

// The same 16-bit terms, sixteen samples a step. A multiply with rounding (mulhrs) gives
// (c * k + 2^8) >> 9 exactly when c is scaled up so that its product carries 2^6 more
// (blue's coefficient, too large for 16 bits, is halved against one more doubling of c);
// green's two products are summed in 32 bits before their one rounding, as the scalar does.
__attribute__((target("avx2"))) void TermsAvx2(const uint8_t* u, const uint8_t* v, int pixels,
                                               ChromaTerms& t) {
    static_assert(kTermShift == 9 && kBlueFromU % 2 == 0);
    const __m256i offset = _mm256_set1_epi16(128);
    const __m256i blueFromU = _mm256_set1_epi16(kBlueFromU / 2);
    const __m256i redFromV = _mm256_set1_epi16(kRedFromV);
    const __m256i greenFromUV = _mm256_set1_epi32(static_cast<int>(
        static_cast<uint32_t>(static_cast<uint16_t>(-kGreenFromU)) |
        static_cast<uint32_t>(static_cast<uint16_t>(-kGreenFromV)) << 16));
    const __m256i termRound = _mm256_set1_epi32(kTermRound);
    const int samples = (pixels + 1) / 2;
    int i = 0;
    for (; i + 16 <= samples; i += 16) {
        const __m256i cu = _mm256_sub_epi16(
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(u + i))), offset);
        const __m256i cv = _mm256_sub_epi16(
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v + i))), offset);
        const __m256i blue = _mm256_mulhrs_epi16(_mm256_slli_epi16(cu, 7), blueFromU);
        const __m256i red = _mm256_mulhrs_epi16(_mm256_slli_epi16(cv, 6), redFromV);
        const __m256i greenLow = _mm256_srai_epi32(
            _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(cu, cv), greenFromUV), termRound), kTermShift);
        const __m256i greenHigh = _mm256_srai_epi32(
            _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(cu, cv), greenFromUV), termRound), kTermShift);
        StoreTwice(t.blue + 2 * i, blue);
        StoreTwice(t.green + 2 * i, _mm256_packs_epi32(greenLow, greenHigh));
        StoreTwice(t.red + 2 * i, red);
    }
    TermsBody(u, v, i, pixels, t);
}
void TermsBaseline(const uint8_t* u, const uint8_t* v, int pixels, ChromaTerms& t) {
    TermsBody(u, v, 0, pixels, t);
}
// Thirty-two pixels a step, with the same 16-bit arithmetic as the scalar loop (so the same
// result): the pack to bytes is the clamp, and the unpacks lay blue, green, red and a zero
// byte side by side.
template <FourthByte kFourth>
__attribute__((target("avx2"))) void RowAvx2(const uint8_t* y, const ChromaTerms& t,
                                             uint8_t* destination, int pixels) {
    const __m256i zero = _mm256_setzero_si256();
    int x = 0;
    for (; x + 32 <= pixels; x += 32) {
        const __m256i low = Luma16(y + x);
        const __m256i high = Luma16(y + x + 16);
        // Each pack works lane by lane: bytes of pixels 0-7, 16-23 | 8-15, 24-31.
        const __m256i b = _mm256_packus_epi16(Channel16(low, t.blue + x), Channel16(high, t.blue + x + 16));
        const __m256i g = _mm256_packus_epi16(Channel16(low, t.green + x), Channel16(high, t.green + x + 16));
        const __m256i r = _mm256_packus_epi16(Channel16(low, t.red + x), Channel16(high, t.red + x + 16));
        const __m256i bgFirst = _mm256_unpacklo_epi8(b, g);   // pixels 0-7 | 8-15
        const __m256i bgSecond = _mm256_unpackhi_epi8(b, g);  // 16-23 | 24-31
        const __m256i rFirst = _mm256_unpacklo_epi8(r, zero);
        const __m256i rSecond = _mm256_unpackhi_epi8(r, zero);
        const __m256i p0 = _mm256_unpacklo_epi16(bgFirst, rFirst);    // 0-3 | 8-11
        const __m256i p1 = _mm256_unpackhi_epi16(bgFirst, rFirst);    // 4-7 | 12-15
        const __m256i p2 = _mm256_unpacklo_epi16(bgSecond, rSecond);  // 16-19 | 24-27
        const __m256i p3 = _mm256_unpackhi_epi16(bgSecond, rSecond);  // 20-23 | 28-31
        uint8_t* out = destination + static_cast<size_t>(x) * 4;
        Store8<kFourth>(out, _mm256_permute2x128_si256(p0, p1, 0x20));
        Store8<kFourth>(out + 32, _mm256_permute2x128_si256(p0, p1, 0x31));
        Store8<kFourth>(out + 64, _mm256_permute2x128_si256(p2, p3, 0x20));
        Store8<kFourth>(out + 96, _mm256_permute2x128_si256(p2, p3, 0x31));
    }
    RowBody<kFourth>(y + x, t.blue + x, t.green + x, t.red + x, destination + static_cast<size_t>(x) * 4,
                     pixels - x);
}
template <FourthByte kFourth>
void RowBaseline(const uint8_t* y, const ChromaTerms& t, uint8_t* destination, int pixels) {
    RowBody<kFourth>(y, t.blue, t.green, t.red, destination, pixels);
}

bool HasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

void Terms(const uint8_t* u, const uint8_t* v, int pixels, ChromaTerms& t) {
    static const TermsFunction terms = HasAvx2() ? TermsAvx2 : TermsBaseline;
    terms(u, v, pixels, t);
}

RowFunction RowFor(FourthByte fourth) {
    static const bool avx2 = HasAvx2();
    if (fourth == FourthByte::Zero) return avx2 ? RowAvx2<FourthByte::Zero> : RowBaseline<FourthByte::Zero>;
    return avx2 ? RowAvx2<FourthByte::Kept> : RowBaseline<FourthByte::Kept>;
}

}  // namespace

void ConvertYuvRowToBgrx(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* destination,
                         int width) {
    const RowFunction row = RowFor(FourthByte::Kept);
    ChromaTerms t;
    for (int x = 0; x < width; x += kChunk) {
        const int pixels = std::min(kChunk, width - x);
        Terms(u + x / 2, v + x / 2, pixels, t);
        row(y + x, t, destination + static_cast<size_t>(x) * 4, pixels);
    }
}

void ConvertYuvRowToBgr(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* destination,
                        int width) {
    ChromaTerms t;
    for (int x = 0; x < width; x += kChunk) {
        const int pixels = std::min(kChunk, width - x);
        Terms(u + x / 2, v + x / 2, pixels, t);
        for (int i = 0; i < pixels; ++i) {
            const auto luma = static_cast<int16_t>(y[x + i] << kPixelShift);
            uint8_t* out = destination + static_cast<size_t>(x + i) * 3;
            out[0] = Channel(luma, t.blue[i]);
            out[1] = Channel(luma, t.green[i]);
            out[2] = Channel(luma, t.red[i]);
        }
    }
}

void ConvertYuvToBgrx(const YuvPlanes& planes, int firstRow, int rows, int width,
                      uint8_t* destination, size_t destinationStride, FourthByte fourth) {
    const RowFunction convertRow = RowFor(fourth);
    ChromaTerms t;
    int row = 0;
    while (row < rows) {
        const int source = firstRow + row;
        // Two image rows share a chroma row: an even source row with its successor.
        const int together = (source % 2 == 0 && row + 1 < rows) ? 2 : 1;
        const uint8_t* u = planes.u + static_cast<ptrdiff_t>(source / 2) * planes.uStride;
        const uint8_t* v = planes.v + static_cast<ptrdiff_t>(source / 2) * planes.vStride;
        for (int x = 0; x < width; x += kChunk) {
            const int pixels = std::min(kChunk, width - x);
            Terms(u + x / 2, v + x / 2, pixels, t);
            for (int k = 0; k < together; ++k) {
                convertRow(planes.y + static_cast<ptrdiff_t>(source + k) * planes.yStride + x, t,
                    destination + static_cast<size_t>(row + k) * destinationStride +
                        static_cast<size_t>(x) * 4,
                    pixels);
            }
        }
        row += together;
    }
}

}  // namespace corvane
