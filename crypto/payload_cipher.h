// The payload cipher: Rijndael with the 32-byte payload
// key in ECB mode on whole blocks. Block size 32 serves information blocks and key-event
// records, block size 16 the first 64 bytes of COMPEXT and COMPAES bodies.
//
// Both functions work in place and set up the key schedule afresh on every call (no state
// survives a call; nothing is allocated). Any thread may call.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/payload_key.h"

namespace corvane {

// The length bytes are processed as floor(length / blockSize) blocks; the remaining
// length % blockSize bytes are left as they are. Returns 0 when at least one block was
// processed; -1, leaving the buffer unchanged, when it is shorter than one block or the block
// size is neither 16 nor 32. The protocol's callers do not check the result (a short buffer
// simply travels unenciphered); the marking asks them to say so.
[[nodiscard]] int EncipherBlocks(uint8_t* buffer, size_t length, int blockSize,
                                 const PayloadKey& key);
[[nodiscard]] int DecipherBlocks(uint8_t* buffer, size_t length, int blockSize,
                                 const PayloadKey& key);

}  // namespace corvane
