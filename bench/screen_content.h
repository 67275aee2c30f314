// Synthetic screen content for benchmarks: a desktop with a gradient background, flat
// window frames, lines of small glyph-like patterns and a photo-like area, so that deflate
// sees the mix of runs and detail a real session sends.
#pragma once

#include <cstdint>
#include <vector>

namespace corvane::bench {

// width x height pixels of 4 bytes (B, G, R, X), rows packed.
std::vector<uint8_t> MakeScreen(int width, int height);

}  // namespace corvane::bench
