#include "display/pixels16_rows.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace corvane {
namespace {

// The eight-at-a-time row agrees with the plain one for every width around the step, with
// unchanged words (bit 0 set) mixed in, over a target that already holds pixels.
TEST(Pixel16Row24Test, AgreesWithThePlainRowForEveryWidthAndMarkerMix) {
    std::mt19937 random(11);
    for (int width = 0; width <= 35; ++width) {
        for (int trial = 0; trial < 50; ++trial) {
            std::vector<uint8_t> source(static_cast<size_t>(width) * 2);
            for (uint8_t& byte : source) byte = static_cast<uint8_t>(random());
            // Runs without a marker take the fast store: make some rows all colours.
            if (trial % 3 == 0) {
                for (size_t i = 0; i < source.size(); i += 2) source[i] &= 0xFE;
            }
            // One pixel more on each side, which neither may touch.
            std::vector<uint8_t> plain((static_cast<size_t>(width) + 2) * 4);
            for (uint8_t& byte : plain) byte = static_cast<uint8_t>(random());
            std::vector<uint8_t> fast = plain;
            Pixel16Row24Scalar(source.data(), plain.data() + 4, width);
            Pixel16Row24(source.data(), fast.data() + 4, width);
            ASSERT_EQ(fast, plain) << "width " << width << " trial " << trial;
        }
    }
}

}  // namespace
}  // namespace corvane
