// Palette lookups sixty-four pixels at a time, on processors with AVX-512 VBMI. The 256
// entries of a palette are kept as four planes, one per byte of the frame-buffer pixel; a
// plane of 256 bytes fits in four vector registers, where two byte permutes and a blend look
// sixty-four indices up at once, and the four planes' bytes are then laid side by side into
// pixels. A table lookup per pixel cannot go faster than the processor's loads; this path
// is bounded by the stores.
//
// Functions on caller-owned memory: any thread. (AllowPalettePlanes, for tests, changes what
// HasPalettePlanes answers everywhere.)
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

struct PalettePlanes {
    alignas(64) uint8_t bytes[4][256];
};

// Whether this processor runs the functions below (and they are allowed).
[[nodiscard]] bool HasPalettePlanes();

// Tests turn the wide path off to check the scalar one on processors that have both.
void AllowPalettePlanes(bool allowed);

// The planes of 256 entries (each the four frame-buffer bytes of its pixel, in memory order).
void BuildPalettePlanes(const uint32_t* entries, PalettePlanes& planes);

// Writes the 4-byte pixels of `count` indices to `target`; index 0 leaves its pixel as it was.
// Reads and writes nothing beyond the `count` indices and pixels.
void WritePlanePixels(const uint8_t* indices, size_t count, const PalettePlanes& planes, uint8_t* target);

}  // namespace corvane
