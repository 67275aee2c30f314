// The 64-byte key with which information blocks are scrambled (XORed) on the wire, shared
// with every server. Byte i of a scrambled area is XORed with key byte i mod 64.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace corvane {

extern const std::array<uint8_t, 64> kScrambleKey;

// XORs `length` bytes with the key, starting at key index `keyOffset`.
void ScrambleBytes(uint8_t* bytes, size_t length, size_t keyOffset);

}  // namespace corvane
