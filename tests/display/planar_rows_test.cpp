#include "display/planar_rows.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace corvane {
namespace {

// Codes for one plane: literal stretches long and short, stretches of literals and runs of
// one, runs that cross rows, runs of 0, and now and then a cut, mid-run or after a run's
// first byte.
std::vector<uint8_t> RandomPlane(std::mt19937& random, size_t pixels) {
    std::vector<uint8_t> codes;
    size_t made = 0;
    while (made < pixels + 8) {
        switch (random() % 5) {
            case 0:
            case 1: {  // literals
                const size_t n = random() % 40;
                for (size_t i = 0; i < n; ++i) codes.push_back(static_cast<uint8_t>(random() & 0xFE));
                made += n;
                break;
            }
            case 2: {  // a run
                const uint8_t length = static_cast<uint8_t>(random() % 128);
                codes.push_back(static_cast<uint8_t>(length << 1 | 1));
                codes.push_back(static_cast<uint8_t>(random()));
                made += length;
                break;
            }
            case 3: {  // a photograph's stretch: single pixels and runs of one, odd values among them
                const size_t n = random() % 60;
                for (size_t i = 0; i < n; ++i) {
                    const auto value = static_cast<uint8_t>(random());
                    if ((value & 1u) != 0) codes.push_back(3);
                    codes.push_back(value);
                }
                made += n;
                break;
            }
            default:
                codes.push_back(static_cast<uint8_t>(random() & 0xFE));
                ++made;
        }
    }
    if (random() % 4 == 0) codes.resize(random() % (codes.size() + 1));
    return codes;
}

// The stretch-wise decoder agrees with the byte-wise one, pixels and answer, on random planes
// over rectangles narrower and wider than a stretch, top-down and bottom-up, over a buffer
// that already holds pixels whose fourth bytes must survive.
TEST(PlanarRowsTest, AgreesWithTheByteWiseDecoder) {
    std::mt19937 random(5);
    const int widths[] = {1, 3, 15, 16, 17, 40, 255, 256, 257, 600};
    for (int width : widths) {
        for (int trial = 0; trial < 30; ++trial) {
            const int height = 1 + static_cast<int>(random() % 6);
            const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
            std::vector<uint8_t> codes[3];
            PlanarPlane planes[3];
            for (int p = 0; p < 3; ++p) {
                codes[p] = RandomPlane(random, pixels);
                planes[p] = {codes[p].data(), codes[p].size()};
            }
            const size_t stride = static_cast<size_t>(width) * 4 + 8;
            std::vector<uint8_t> reference(stride * static_cast<size_t>(height));
            for (uint8_t& byte : reference) byte = static_cast<uint8_t>(random());
            std::vector<uint8_t> fast = reference;
            const bool bottomUp = trial % 2 == 1;
            const ptrdiff_t step = bottomUp ? -static_cast<ptrdiff_t>(stride) : static_cast<ptrdiff_t>(stride);
            const size_t first = bottomUp ? stride * static_cast<size_t>(height - 1) : 0;
            const bool referenceWhole =
                DecodePlanarRowsScalar(planes, reference.data() + first, step, width, height);
            const bool fastWhole = DecodePlanarRows(planes, fast.data() + first, step, width, height);
            ASSERT_EQ(fastWhole, referenceWhole) << "width " << width << " trial " << trial;
            ASSERT_EQ(fast, reference) << "width " << width << " trial " << trial;
        }
    }
}

}  // namespace
}  // namespace corvane
