// The restricted JFIF decoder of drawing-request frames.
//
// It takes only the stream layout the server writes for these frames: SOI; APP0 with the
// "JFIF\0" identifier; two DQT segments (luminance, then chrominance), each of which may follow
// one COM segment; SOF0 before or after the Huffman tables; four DHT segments (luminance DC,
// luminance AC, chrominance DC, chrominance AC); SOS; then baseline Huffman data of 16 x 16
// units (4:2:0, no restart markers). Anything else is refused with the program's own message
// in an error box titled "Error"; the box is posted, never waited for, because the decoder runs
// on worker threads.
//
// Any number of threads may decode at once: each call has its own decoder state.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

// 0, or -1 after one error box. `width`/`height` in: the size the request names (used for
// nothing but sanity); out: the decoded size. Writes rows of width*3 bytes (blue, green, red),
// whole 16-row units; never more than `capacity` bytes.
[[nodiscard]] int DecodeJfif(const uint8_t* data, size_t length, uint8_t* destination,
                             size_t capacity, int& width, int& height);

}  // namespace corvane
