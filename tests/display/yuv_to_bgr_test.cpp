#include "display/yuv_to_bgr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace corvane {
namespace {

int Exact(double value) {
    return std::clamp(static_cast<int>(std::lround(value)), 0, 255);
}

TEST(YuvToBgrTest, EveryYuvTripleIsWithinOneUnitOfTheFormula) {
    // One row holds every Y value; each row pairs it with one U and one V, so the sweep covers
    // all 2^24 combinations.
    constexpr int kWidth = 256;
    std::vector<uint8_t> y(kWidth);
    for (int i = 0; i < kWidth; ++i) y[i] = static_cast<uint8_t>(i);
    std::vector<uint8_t> u(kWidth / 2), v(kWidth / 2);
    std::vector<uint8_t> out(kWidth * 4);
    int worst = 0;
    for (int uValue = 0; uValue < 256; ++uValue) {
        for (int vValue = 0; vValue < 256; ++vValue) {
            std::fill(u.begin(), u.end(), static_cast<uint8_t>(uValue));
            std::fill(v.begin(), v.end(), static_cast<uint8_t>(vValue));
            ConvertYuvRowToBgrx(y.data(), u.data(), v.data(), out.data(), kWidth);
            const double cu = uValue - 128.0;
            const double cv = vValue - 128.0;
            for (int i = 0; i < kWidth; ++i) {
                const int expected[3] = {Exact(i + 2.032 * cu), Exact(i - 0.394 * cu - 0.581 * cv),
                                         Exact(i + 1.140 * cv)};
                for (int channel = 0; channel < 3; ++channel) {
                    worst = std::max(worst, std::abs(out[i * 4 + channel] - expected[channel]));
                }
            }
            if (worst > 1) FAIL() << "Y " << 0 << "..255, U " << uValue << ", V " << vValue;
        }
    }
    EXPECT_LE(worst, 1);
}

TEST(YuvToBgrTest, ChromaIsSharedByPixelPairsAndRowPairsAndTheFourthByteFollowsTheRule) {
    // A 37 x 3 image: odd width (a vector's worth of pixels and a few over) and height,
    // chroma of 19 x 2 samples, distinct everywhere.
    constexpr int kWidth = 37, kHeight = 3, kChromaWidth = (kWidth + 1) / 2;
    uint8_t y[kHeight][kWidth];
    uint8_t u[2][kChromaWidth];
    uint8_t v[2][kChromaWidth];
    for (int row = 0; row < kHeight; ++row) {
        for (int x = 0; x < kWidth; ++x) y[row][x] = static_cast<uint8_t>(row * 50 + x * 7);
    }
    for (int row = 0; row < 2; ++row) {
        for (int x = 0; x < kChromaWidth; ++x) {
            u[row][x] = static_cast<uint8_t>(x * 53 + row * 101);
            v[row][x] = static_cast<uint8_t>(x * 29 + row * 71 + 17);
        }
    }
    const YuvPlanes planes{&y[0][0], &u[0][0], &v[0][0], kWidth, kChromaWidth, kChromaWidth};
    constexpr size_t kStride = kWidth * 4 + 4;  // rows padded, as the frame buffer pads them
    const struct {
        FourthByte rule;
        uint8_t fourth;
    } rules[] = {{FourthByte::Kept, 0xEE}, {FourthByte::Zero, 0}};
    for (const auto& rule : rules) {
        std::vector<uint8_t> out(kStride * kHeight, 0xEE);
        ConvertYuvToBgrx(planes, 0, kHeight, kWidth, out.data(), kStride, rule.rule);

        for (int row = 0; row < kHeight; ++row) {
            std::vector<uint8_t> bgr(kWidth * 3);
            ConvertYuvRowToBgr(y[row], u[row / 2], v[row / 2], bgr.data(), kWidth);
            for (int x = 0; x < kWidth; ++x) {
                const uint8_t* pixel = &out[row * kStride + x * 4];
                const double cu = u[row / 2][x / 2] - 128.0;
                const double cv = v[row / 2][x / 2] - 128.0;
                EXPECT_NEAR(pixel[0], Exact(y[row][x] + 2.032 * cu), 1) << row << "," << x;
                EXPECT_NEAR(pixel[1], Exact(y[row][x] - 0.394 * cu - 0.581 * cv), 1) << row << "," << x;
                EXPECT_NEAR(pixel[2], Exact(y[row][x] + 1.140 * cv), 1) << row << "," << x;
                EXPECT_EQ(pixel[3], rule.fourth) << row << "," << x;
                EXPECT_EQ(std::vector<uint8_t>(pixel, pixel + 3),
                          std::vector<uint8_t>(&bgr[x * 3], &bgr[x * 3] + 3));
            }
            EXPECT_EQ(out[row * kStride + kWidth * 4], 0xEE);  // the padding is not written
        }
    }
}

}  // namespace
}  // namespace corvane
