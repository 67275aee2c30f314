#include "screen_content.h"

#include <cmath>
#include <random>

namespace corvane::bench {

std::vector<uint8_t> MakeScreen(int width, int height) {
    std::vector<uint8_t> screen(static_cast<size_t>(width) * height * 4);
    std::mt19937 random(12345);
    auto put = [&](int x, int y, uint8_t r, uint8_t g, uint8_t b) {
        uint8_t* p = &screen[(static_cast<size_t>(y) * width + x) * 4];
        p[0] = b;
        p[1] = g;
        p[2] = r;
        p[3] = 0;
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            put(x, y, static_cast<uint8_t>(30 + y * 60 / height), static_cast<uint8_t>(60 + x * 40 / width), 120);
        }
    }
    // Windows: a title bar, a white client area with lines of text-like glyphs.
    for (int w = 0; w < 6; ++w) {
        int left = (w * 311) % (width - 700), top = (w * 173) % (height - 500);
        int right = left + 640, bottom = top + 420;
        for (int y = top; y < bottom; ++y) {
            for (int x = left; x < right; ++x) {
                bool title = y < top + 24;
                put(x, y, title ? 40 : 250, title ? 80 : 250, title ? 160 : 250);
            }
        }
        for (int line = top + 32; line + 12 < bottom; line += 16) {
            int length = 100 + static_cast<int>(random() % 480);
            for (int x = left + 8; x < left + 8 + length; x += 7) {
                uint32_t glyph = random();
                for (int gy = 0; gy < 10; ++gy) {
                    for (int gx = 0; gx < 6; ++gx) {
                        if ((glyph >> ((gy * 6 + gx) % 31)) & 1) put(x + gx, line + gy, 20, 20, 20);
                    }
                }
            }
        }
    }
    // A photo-like area: smooth shapes with noise.
    for (int y = height / 2; y < height - 40; ++y) {
        for (int x = width / 2; x < width - 40; ++x) {
            double v = std::sin(x * 0.013) * std::cos(y * 0.021) * 80 + 120;
            int noise = static_cast<int>(random() % 24);
            put(x, y, static_cast<uint8_t>(v + noise), static_cast<uint8_t>(v * 0.8 + noise), static_cast<uint8_t>(v * 0.5 + noise));
        }
    }
    return screen;
}

}  // namespace corvane::bench
