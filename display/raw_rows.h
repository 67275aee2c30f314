// One row of 24-bit raw pixels onto the frame buffer: each source pixel b0 b1 b2 b3 becomes
// b1 b2 b3 00, except the "unchanged" marker CC CC CC CC, which leaves its target as it is.
// Raw24Row takes four pixels at a time where the processor can; Raw24RowScalar is the plain
// form it must always agree with.
#pragma once

#include <cstdint>

namespace corvane {

// The 24-bit (and 124) "unchanged" marker, CC CC CC CC read as a little-endian word.
inline constexpr uint32_t kRawUnchanged32 = 0xCCCCCCCC;

void Raw24Row(const uint8_t* source, uint8_t* target, int pixels);
void Raw24RowScalar(const uint8_t* source, uint8_t* target, int pixels);

}  // namespace corvane
