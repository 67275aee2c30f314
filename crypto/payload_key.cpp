#include "crypto/payload_key.h"

#include <algorithm>
#include <cstddef>

namespace corvane {
namespace {

// Shared with every server of the product; this file is their only home.
constexpr std::array<uint8_t, 64> kKeyTable = {
    0x80, 0xAF, 0xD4, 0x18, 0x7B, 0x3F, 0x4C, 0x09, 0xC7, 0xCB, 0x40, 0x16, 0xAC, 0x6B, 0xD6, 0x8F,
    0x87, 0x3B, 0x12, 0xD9, 0x0A, 0x98, 0xC1, 0x23, 0xCD, 0xCA, 0x2A, 0x65, 0x4D, 0x74, 0x1B, 0xC6,
    0x45, 0xF3, 0x3C, 0x5A, 0x09, 0x7C, 0x57, 0x86, 0x10, 0xD4, 0x5E, 0x7B, 0xC3, 0x3A, 0x27, 0xF7,
    0x34, 0xBD, 0x1A, 0x9B, 0x9D, 0xC9, 0x4A, 0x50, 0x07, 0x73, 0x38, 0x85, 0x6B, 0xE4, 0x37, 0x6C,
};

constexpr std::array<uint8_t, 20> kKeyIndex = {35, 8,  19, 53, 30, 7,  60, 47, 22, 1,
                                               45, 34, 33, 31, 53, 57, 11, 3,  21, 20};

static_assert(std::all_of(kKeyIndex.begin(), kKeyIndex.end(),
                          [](uint8_t index) { return index < kKeyTable.size(); }));

constexpr size_t kKeyOffset = 8;            // the key follows the first 8 bytes of the work area
constexpr size_t kMaxServerCodeBytes = 16;  // at most this many key bytes take the server code

}  // namespace

PayloadKey BuildPayloadKey(std::string_view serverCode) {
    // The 64-byte work area (the reference fills it eight bytes at a time; the bytes are the
    // same filled one at a time).
    std::array<uint8_t, kKeyTable.size()> work;
    for (size_t i = 0; i < work.size(); ++i) {
        work[i] = kKeyTable[i] ^ kKeyTable[kKeyIndex[i % kKeyIndex.size()]];
    }

    PayloadKey key;
    std::copy_n(work.begin() + kKeyOffset, key.size(), key.begin());

    const size_t mixed = std::min(serverCode.size(), kMaxServerCodeBytes);
    for (size_t k = 0; k < mixed; ++k) {
        key[k] ^= static_cast<uint8_t>(serverCode[k]);
    }

    volatile uint8_t* wipe = work.data();
    for (size_t i = 0; i < work.size(); ++i) wipe[i] = 0;
    return key;
}

}  // namespace corvane
