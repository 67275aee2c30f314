#include "display/yuv_to_bgr.h"

#include <algorithm>
#include <cstddef>

namespace corvane {

namespace {

// Chroma coefficients in units of 2^-14. Each chroma sample's three terms are worked out once
// (rounded to units of 2^-5) for the two to four pixels that share it; the per-pixel sums then
// run in 16 bits, where luma plus any term fits, so the loop vectorises eight pixels wide.
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
                                                     const uint8_t* __restrict v, int pixels,
                                                     ChromaTerms& t) {
    const int samples = (pixels + 1) / 2;
    for (int i = 0; i < samples; ++i) {
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
__attribute__((always_inline)) inline void RowBody(const uint8_t* __restrict y,
                                                   const ChromaTerms& t,
                                                   uint8_t* __restrict destination, int pixels) {
    auto* __restrict out = reinterpret_cast<uint32_t*>(destination);
    for (int x = 0; x < pixels; ++x) {
        const auto luma = static_cast<int16_t>(y[x] << kPixelShift);
        const uint32_t bgr = static_cast<uint32_t>(Channel(luma, t.blue[x])) |
                             static_cast<uint32_t>(Channel(luma, t.green[x])) << 8 |
                             static_cast<uint32_t>(Channel(luma, t.red[x])) << 16;
        // Keeping byte 3 reads the destination first: a whole screen's worth of frame buffer
        // for every video frame, which only a multimode buffer needs.
        out[x] = kFourth == FourthByte::Kept ? (out[x] & 0xFF000000u) | bgr : bgr;
    }
}

// Both loops are built for AVX2 as well as the baseline and the version the processor runs
// is picked on first use. (Not with ifunc-based function clones: their resolvers run before
// the sanitizer runtimes are up.)
using TermsFunction = void (*)(const uint8_t*, const uint8_t*, int, ChromaTerms&);
using RowFunction = void (*)(const uint8_t*, const ChromaTerms&, uint8_t*, int);

__attribute__((target("avx2"))) void TermsAvx2(const uint8_t* u, const uint8_t* v, int pixels,
                                               ChromaTerms& t) {
    TermsBody(u, v, pixels, t);
}
void TermsBaseline(const uint8_t* u, const uint8_t* v, int pixels, ChromaTerms& t) {
    TermsBody(u, v, pixels, t);
}
template <FourthByte kFourth>
__attribute__((target("avx2"))) void RowAvx2(const uint8_t* y, const ChromaTerms& t,
                                             uint8_t* destination, int pixels) {
    RowBody<kFourth>(y, t, destination, pixels);
}
template <FourthByte kFourth>
void RowBaseline(const uint8_t* y, const ChromaTerms& t, uint8_t* destination, int pixels) {
    RowBody<kFourth>(y, t, destination, pixels);
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
