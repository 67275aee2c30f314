#include "display/palette_planes.h"

#include <atomic>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace corvane {

namespace {
std::atomic<bool> g_allowed{true};
}  // namespace

void AllowPalettePlanes(bool allowed) { g_allowed.store(allowed); }

#if defined(__x86_64__)

namespace {

#define CORVANE_VBMI __attribute__((target("avx512f,avx512bw,avx512vbmi")))

// Four registers of 128-bit lanes to their transpose: lane j of result i is lane i of input j.
// (Two-register permutes on 64-bit units: the lane shuffle's intrinsic has GCC warn of an
// unset register it never reads.)
CORVANE_VBMI inline void TransposeLanes(__m512i& a, __m512i& b, __m512i& c, __m512i& d) {
    const __m512i firstHalves = _mm512_setr_epi64(0, 1, 2, 3, 8, 9, 10, 11);
    const __m512i secondHalves = _mm512_setr_epi64(4, 5, 6, 7, 12, 13, 14, 15);
    const __m512i evenLanes = _mm512_setr_epi64(0, 1, 4, 5, 8, 9, 12, 13);
    const __m512i oddLanes = _mm512_setr_epi64(2, 3, 6, 7, 10, 11, 14, 15);
    const __m512i ab01 = _mm512_permutex2var_epi64(a, firstHalves, b);   // a0 a1 b0 b1
    const __m512i ab23 = _mm512_permutex2var_epi64(a, secondHalves, b);  // a2 a3 b2 b3
    const __m512i cd01 = _mm512_permutex2var_epi64(c, firstHalves, d);
    const __m512i cd23 = _mm512_permutex2var_epi64(c, secondHalves, d);
    a = _mm512_permutex2var_epi64(ab01, evenLanes, cd01);  // a0 b0 c0 d0
    b = _mm512_permutex2var_epi64(ab01, oddLanes, cd01);   // a1 b1 c1 d1
    c = _mm512_permutex2var_epi64(ab23, evenLanes, cd23);
    d = _mm512_permutex2var_epi64(ab23, oddLanes, cd23);
}

// Sixty-four bytes of one plane: the low 128 entries and the high 128 each by one two-register
// permute on the index's low seven bits, the index's top bit choosing between them.
CORVANE_VBMI inline __m512i LookUp(__m512i index, __mmask64 high, const uint8_t* plane) {
    const __m512i low = _mm512_permutex2var_epi8(_mm512_load_si512(plane), index, _mm512_load_si512(plane + 64));
    const __m512i upper =
        _mm512_permutex2var_epi8(_mm512_load_si512(plane + 128), index, _mm512_load_si512(plane + 192));
    return _mm512_mask_blend_epi8(high, low, upper);
}

CORVANE_VBMI void BuildVbmi(const uint32_t* entries, PalettePlanes& planes) {
    // Within each lane of 16 entries, byte k of every entry to lane k.
    alignas(64) static constexpr uint8_t kGroup[64] = {
        0, 4, 8,  12, 16, 20, 24, 28, 32, 36, 40, 44, 48, 52, 56, 60,  //
        1, 5, 9,  13, 17, 21, 25, 29, 33, 37, 41, 45, 49, 53, 57, 61,  //
        2, 6, 10, 14, 18, 22, 26, 30, 34, 38, 42, 46, 50, 54, 58, 62,  //
        3, 7, 11, 15, 19, 23, 27, 31, 35, 39, 43, 47, 51, 55, 59, 63};
    const __m512i group = _mm512_load_si512(kGroup);
    for (int first = 0; first < 256; first += 64) {
        __m512i v[4];
        for (int i = 0; i < 4; ++i) {
            const __m512i sixteen = _mm512_loadu_si512(entries + first + 16 * i);
            // (The two-register permute with one register twice: the one-register form's
            // intrinsic has GCC warn of an unset register it never reads.)
            v[i] = _mm512_permutex2var_epi8(sixteen, group, sixteen);
        }
        TransposeLanes(v[0], v[1], v[2], v[3]);
        for (int k = 0; k < 4; ++k) _mm512_store_si512(planes.bytes[k] + first, v[k]);
    }
}

// Sixty-four pixels, or the first of them that `wanted` names.
CORVANE_VBMI inline void WriteBlock(const uint8_t* indices, __mmask64 wanted, const PalettePlanes& planes,
                                    uint8_t* target) {
    // A masked load touches no byte outside the mask: the last block never reads past the indices.
    const __m512i index = _mm512_maskz_loadu_epi8(wanted, indices);
    const __mmask64 high = _mm512_movepi8_mask(index);
    const __mmask64 written = _mm512_test_epi8_mask(index, index);  // index 0: the pixel stays
    const __m512i b0 = LookUp(index, high, planes.bytes[0]);
    const __m512i b1 = LookUp(index, high, planes.bytes[1]);
    const __m512i b2 = LookUp(index, high, planes.bytes[2]);
    const __m512i b3 = LookUp(index, high, planes.bytes[3]);
    // Lane by lane: pixels 16l + 0-7 and 16l + 8-15 of lane l as byte pairs, then as pixels.
    const __m512i low01 = _mm512_unpacklo_epi8(b0, b1);
    const __m512i high01 = _mm512_unpackhi_epi8(b0, b1);
    const __m512i low23 = _mm512_unpacklo_epi8(b2, b3);
    const __m512i high23 = _mm512_unpackhi_epi8(b2, b3);
    __m512i p0 = _mm512_unpacklo_epi16(low01, low23);    // pixels 16l + 0-3
    __m512i p1 = _mm512_unpackhi_epi16(low01, low23);    // 16l + 4-7
    __m512i p2 = _mm512_unpacklo_epi16(high01, high23);  // 16l + 8-11
    __m512i p3 = _mm512_unpackhi_epi16(high01, high23);  // 16l + 12-15
    TransposeLanes(p0, p1, p2, p3);                      // p_l: pixels 16l + 0-15
    auto* out = reinterpret_cast<uint32_t*>(target);
    if (written == ~__mmask64{0}) {
        // A whole block without an index 0, the common case: whole stores cost less.
        _mm512_storeu_si512(out, p0);
        _mm512_storeu_si512(out + 16, p1);
        _mm512_storeu_si512(out + 32, p2);
        _mm512_storeu_si512(out + 48, p3);
        return;
    }
    _mm512_mask_storeu_epi32(out, static_cast<__mmask16>(written), p0);
    _mm512_mask_storeu_epi32(out + 16, static_cast<__mmask16>(written >> 16), p1);
    _mm512_mask_storeu_epi32(out + 32, static_cast<__mmask16>(written >> 32), p2);
    _mm512_mask_storeu_epi32(out + 48, static_cast<__mmask16>(written >> 48), p3);
}

CORVANE_VBMI void WriteVbmi(const uint8_t* indices, size_t count, const PalettePlanes& planes, uint8_t* target) {
    size_t i = 0;
    for (; i + 64 <= count; i += 64) WriteBlock(indices + i, ~__mmask64{0}, planes, target + i * 4);
    // The indices past the end load as 0, which writes nothing.
    if (i < count) WriteBlock(indices + i, (__mmask64{1} << (count - i)) - 1, planes, target + i * 4);
}

}  // namespace

bool HasPalettePlanes() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
               __builtin_cpu_supports("avx512vbmi");
    }();
    return has && g_allowed.load(std::memory_order_relaxed);
}

void BuildPalettePlanes(const uint32_t* entries, PalettePlanes& planes) { BuildVbmi(entries, planes); }

void WritePlanePixels(const uint8_t* indices, size_t count, const PalettePlanes& planes, uint8_t* target) {
    WriteVbmi(indices, count, planes, target);
}

#else

bool HasPalettePlanes() { return false; }
void BuildPalettePlanes(const uint32_t*, PalettePlanes&) {}
void WritePlanePixels(const uint8_t*, size_t, const PalettePlanes&, uint8_t*) {}

#endif

}  // namespace corvane
