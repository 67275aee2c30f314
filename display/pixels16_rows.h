// One row of 16-bit pixels onto a 32-bit frame buffer: each little-endian word with bit 0
// clear is a colour, five bits each of blue (bits 5..1), green (10..6) and red (15..11),
// written as b g r 00 with each channel's bits at the top of its byte; a word with bit 0 set
// leaves its target as it is. Pixel16Row24 takes eight words at a time where the processor
// can; Pixel16Row24Scalar is the plain form it must always agree with.
#pragma once

#include <cstdint>

namespace corvane {

// One colour word (bit 0 clear) as the frame buffer's b g r 00.
inline void PutPixel16(unsigned word, uint8_t* target) {
    target[0] = static_cast<uint8_t>(((word >> 1) & 0x1F) << 3);
    target[1] = static_cast<uint8_t>(((word >> 6) & 0x1F) << 3);
    target[2] = static_cast<uint8_t>(((word >> 11) & 0x1F) << 3);
    target[3] = 0;
}

void Pixel16Row24(const uint8_t* source, uint8_t* target, int pixels);
void Pixel16Row24Scalar(const uint8_t* source, uint8_t* target, int pixels);

}  // namespace corvane
