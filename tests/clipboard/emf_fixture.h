// A small enhanced metafile for tests: the header record and the end-of-file record, as a
// metafile writer lays them out (little-endian).
#pragma once

#include <cstdint>
#include <vector>

namespace corvane::test {

inline std::vector<uint8_t> SmallMetafile(uint32_t width = 64, uint32_t height = 32) {
    std::vector<uint8_t> bits;
    auto put = [&bits](uint32_t value) {
        for (int i = 0; i < 4; ++i) bits.push_back(static_cast<uint8_t>(value >> (8 * i)));
    };
    constexpr uint32_t kHeaderSize = 88;
    constexpr uint32_t kEofSize = 20;
    put(1);  // header record
    put(kHeaderSize);
    for (uint32_t v : {0u, 0u, width - 1, height - 1}) put(v);             // bounds
    for (uint32_t v : {0u, 0u, width * 26, height * 26}) put(v);           // frame, 0.01 mm
    put(0x464D4520);                                                       // " EMF"
    put(0x10000);                                                          // version
    put(kHeaderSize + kEofSize);                                           // bytes
    put(2);                                                                // records
    put(1);                                                                // handles (16 bits) + reserved
    put(0);                                                                // description length
    put(0);                                                                // description offset
    put(0);                                                                // palette entries
    for (uint32_t v : {1024u, 768u, 320u, 240u}) put(v);                   // device, millimetres
    put(14);  // end of file record
    put(kEofSize);
    for (uint32_t v : {0u, 16u, kEofSize}) put(v);
    return bits;
}

}  // namespace corvane::test
