#include "display/raw_rows.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace corvane {
namespace {

// The four-at-a-time row agrees with the plain one for every width around the step and every
// mix of markers, near-markers and colours, over a target that already holds pixels.
TEST(Raw24RowTest, AgreesWithThePlainRowForEveryWidthAndMarkerMix) {
    std::mt19937 random(7);
    const uint8_t kinds[][4] = {{0xCC, 0xCC, 0xCC, 0xCC}, {0x00, 0xCC, 0xCC, 0xCC},
                                {0xCC, 0xCC, 0xCC, 0xCD}, {0xCD, 0xCC, 0xCC, 0xCC}};
    for (int width = 0; width <= 19; ++width) {
        for (int trial = 0; trial < 50; ++trial) {
            std::vector<uint8_t> source(static_cast<size_t>(width) * 4);
            for (int i = 0; i < width; ++i) {
                const unsigned pick = random() % 6;
                for (int b = 0; b < 4; ++b) {
                    source[i * 4 + b] = pick < 4 ? kinds[pick][b] : static_cast<uint8_t>(random());
                }
            }
            // One pixel more on each side, which neither may touch.
            std::vector<uint8_t> plain((static_cast<size_t>(width) + 2) * 4);
            for (uint8_t& byte : plain) byte = static_cast<uint8_t>(random());
            std::vector<uint8_t> fast = plain;
            Raw24RowScalar(source.data(), plain.data() + 4, width);
            Raw24Row(source.data(), fast.data() + 4, width);
            ASSERT_EQ(fast, plain) << "width " << width << " trial " << trial;
        }
    }
}

}  // namespace
}  // namespace corvane
