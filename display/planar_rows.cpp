#include "display/planar_rows.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace corvane {

namespace {

constexpr size_t kPixelSize = 4;
// Pixels decoded per plane before they are interleaved: a row buffer on the stack.
constexpr size_t kStretch = 256;
// Room after a stretch for a whole eight-byte store at its last pixel.
constexpr size_t kSlack = 8;

// One plane's place in its codes: the run it is in, if any.
struct PlaneReader {
    const uint8_t* code;
    const uint8_t* end;
    size_t runLeft = 0;
    uint8_t value = 0;

    // Whether the next code can be taken by Step: no run under way, and room for a run's
    // value byte.
    [[nodiscard]] bool Ready() const { return runLeft == 0 && end - code >= 2; }

    // Takes one code into `out` at `taken` (below `count`; `out` has kSlack bytes beyond
    // `count` for a whole eight-byte store). A single pixel and a run are taken alike,
    // without a branch on which it is, since photographs mix them at random. False, with
    // the run left in `value` and `runLeft`, when the code's run is longer than eight or than
    // the room left.
    bool Step(uint8_t* out, size_t& taken, size_t count) {
        // Masks rather than conditions: a compiler turns those into a branch that a
        // photograph's random mix of the two mispredicts every other code.
        const size_t c = code[0];
        const size_t run = c & 1u;
        const size_t isRun = 0 - run;
        const auto v = static_cast<uint8_t>((code[1] & isRun) | (c & ~isRun));
        const size_t n = ((c >> 1) & isRun) | (1 & ~isRun);
        code += 1 + run;
        if (n <= 8 && n <= count - taken) {
            const uint64_t eight = uint64_t{v} * 0x0101010101010101u;
            std::memcpy(out + taken, &eight, 8);
            taken += n;
            return true;
        }
        value = v;
        runLeft = n;
        return false;
    }

    // The plane's values from `taken` up to `count` into `out` (which has room for kSlack
    // more); returns how far it got: `count`, or less when its data ends first.
    size_t Take(uint8_t* out, size_t taken, size_t count) {
        while (taken < count) {
            if (runLeft != 0) {
                const size_t span = std::min(runLeft, count - taken);
                // Most runs are short: a call costs more than the bytes.
                if (span <= 8) {
                    for (size_t i = 0; i < span; ++i) out[taken + i] = value;
                } else {
                    std::memset(out + taken, value, span);
                }
                taken += span;
                runLeft -= span;
                continue;
            }
            // Codes with room for a run's value byte and for eight pixels.
            while (end - code >= 2 && taken < count) {
                if (!Step(out, taken, count)) break;
            }
            if (runLeft != 0 || taken == count) continue;
            // At most one byte left: a last single pixel, or a run whose value never came.
            if (code != end && (*code & 1u) == 0) out[taken++] = *code++;
            break;
        }
        return taken;
    }
};

// Pixels [0, count) of a row from the three stretches, each pixel's fourth byte kept.
void Interleave(const uint8_t* blue, const uint8_t* green, const uint8_t* red, uint8_t* target, size_t count) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i fourth = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    for (; i + 16 <= count; i += 16) {
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blue + i));
        const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(green + i));
        const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(red + i));
        const __m128i bgLow = _mm_unpacklo_epi8(b, g);
        const __m128i bgHigh = _mm_unpackhi_epi8(b, g);
        const __m128i rLow = _mm_unpacklo_epi8(r, zero);
        const __m128i rHigh = _mm_unpackhi_epi8(r, zero);
        const __m128i pixels[4] = {_mm_unpacklo_epi16(bgLow, rLow), _mm_unpackhi_epi16(bgLow, rLow),
                                   _mm_unpacklo_epi16(bgHigh, rHigh), _mm_unpackhi_epi16(bgHigh, rHigh)};
        auto* out = reinterpret_cast<__m128i*>(target + i * kPixelSize);
        for (int k = 0; k < 4; ++k) {
            const __m128i old = _mm_loadu_si128(out + k);
            _mm_storeu_si128(out + k, _mm_or_si128(_mm_and_si128(old, fourth), pixels[k]));
        }
    }
#endif
    for (; i < count; ++i) {
        uint8_t* pixel = target + i * kPixelSize;
        pixel[0] = blue[i];
        pixel[1] = green[i];
        pixel[2] = red[i];
    }
}

}  // namespace

bool DecodePlanarRows(const PlanarPlane (&planes)[3], uint8_t* firstRow, ptrdiff_t rowStep, int width, int height) {
    PlaneReader readers[3] = {{planes[0].data, planes[0].data + planes[0].size},
                              {planes[1].data, planes[1].data + planes[1].size},
                              {planes[2].data, planes[2].data + planes[2].size}};
    bool ended[3] = {false, false, false};
    uint8_t stretch[3][kStretch + kSlack];
    for (int y = 0; y < height; ++y) {
        uint8_t* const row = firstRow + static_cast<ptrdiff_t>(y) * rowStep;
        for (size_t at = 0; at < static_cast<size_t>(width); at += kStretch) {
            const size_t count = std::min(kStretch, static_cast<size_t>(width) - at);
            size_t got[3] = {0, 0, 0};
            // One code of each plane in turn: the three chains of dependent loads overlap,
            // where one plane after the other waits on each of its codes.
            if (!ended[0] && !ended[1] && !ended[2]) {
                while (got[0] < count && got[1] < count && got[2] < count && readers[0].Ready() &&
                       readers[1].Ready() && readers[2].Ready()) {
                    if (!readers[0].Step(stretch[0], got[0], count)) break;
                    if (!readers[1].Step(stretch[1], got[1], count)) break;
                    if (!readers[2].Step(stretch[2], got[2], count)) break;
                }
            }
            for (int p = 0; p < 3; ++p) {
                if (!ended[p]) got[p] = readers[p].Take(stretch[p], got[p], count);
                if (got[p] < count) ended[p] = true;
            }
            uint8_t* target = row + at * kPixelSize;
            if (got[0] == count && got[1] == count && got[2] == count) {
                Interleave(stretch[0], stretch[1], stretch[2], target, count);
                continue;
            }
            // A plane ended here: each writes the pixels it reached.
            for (int p = 0; p < 3; ++p) {
                for (size_t i = 0; i < got[p]; ++i) target[i * kPixelSize + p] = stretch[p][i];
            }
        }
        if (ended[0] && ended[1] && ended[2]) return false;
    }
    return !ended[0] && !ended[1] && !ended[2];
}

bool DecodePlanarRowsScalar(const PlanarPlane (&planes)[3], uint8_t* firstRow, ptrdiff_t rowStep, int width,
                            int height) {
    bool whole = true;
    for (int p = 0; p < 3; ++p) {
        const uint8_t* code = planes[p].data;
        const uint8_t* const end = planes[p].data + planes[p].size;
        size_t runLeft = 0;
        uint8_t value = 0;
        bool reached = true;
        for (int y = 0; y < height && reached; ++y) {
            uint8_t* target = firstRow + static_cast<ptrdiff_t>(y) * rowStep + p;
            size_t columnsLeft = static_cast<size_t>(width);
            while (columnsLeft > 0) {
                if (runLeft == 0) {
                    if (code == end) {
                        reached = false;
                        break;
                    }
                    // A single pixel is taken as a run of 1 whose value is the code itself.
                    const uint8_t c = *code;
                    const size_t isRun = c & 1u;
                    if (isRun != 0 && end - code < 2) {
                        reached = false;
                        break;
                    }
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
        whole = whole && reached;
    }
    return whole;
}

}  // namespace corvane
