#include "display/frame_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <zlib.h>

#include "config/log.h"
#include "display/png_writer.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

class FrameBufferTest : public ::testing::Test {
protected:
    void SetUp() override { ResetLogForTesting(); }
    FrameBuffer m_fb;
};

TEST_F(FrameBufferTest, GeometryOfEachDepth) {
    struct Case {
        int width, height, depth;
        int rows, bytesPerPixel;
        size_t stride;
    };
    const Case cases[] = {
        {800, 600, 24, 608, 4, 3200},
        {5, 16, 8, 16, 1, 8},  // rows padded to 4 bytes
        {5, 17, 16, 32, 2, 12},
        {5, 1, 124, 16, 4, 20},
        {3, 1, 224, 16, 4, 12},
        {32767, 1, 8, 16, 1, 32768},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << "x" << c.depth);
        ASSERT_TRUE(m_fb.CreateWorkBitmap(c.width, c.height, c.depth, true));
        EXPECT_TRUE(m_fb.Valid());
        EXPECT_EQ(m_fb.Width(), c.width);
        EXPECT_EQ(m_fb.Height(), c.rows);
        EXPECT_EQ(m_fb.SessionHeight(), c.height);
        EXPECT_EQ(m_fb.Depth(), c.depth);
        EXPECT_EQ(m_fb.BytesPerPixel(), c.bytesPerPixel);
        EXPECT_EQ(m_fb.Stride(), c.stride);
        // Zero-filled, every byte of every row.
        std::vector<uint8_t> zero(c.stride * static_cast<size_t>(c.rows), 0);
        EXPECT_EQ(std::memcmp(m_fb.Pixels(), zero.data(), zero.size()), 0);
    }
}

TEST_F(FrameBufferTest, UnusableGeometryIsRefusedAndTheOldBufferKept) {
    ASSERT_TRUE(m_fb.CreateWorkBitmap(10, 10, 16, true));
    m_fb.Pixels()[0] = 0x42;
    m_fb.ColourEntries()[3] = 0x00112233;
    const int bad[][3] = {{0, 10, 24},  {10, 0, 24},  {-5, 10, 24}, {32768, 10, 24},
                          {10, 32768, 24}, {10, 10, 32}, {10, 10, 0},  {10, 10, 15}};
    for (const auto& g : bad) {
        EXPECT_FALSE(m_fb.CreateWorkBitmap(g[0], g[1], g[2], true)) << g[0] << "x" << g[1] << "x" << g[2];
    }
    EXPECT_EQ(m_fb.Width(), 10);
    EXPECT_EQ(m_fb.Depth(), 16);
    EXPECT_EQ(m_fb.Pixels()[0], 0x42);

    // Re-creating (a new orientation) clears the pixels but keeps the colour table.
    ASSERT_TRUE(m_fb.CreateWorkBitmap(10, 10, 16, false));
    EXPECT_EQ(m_fb.Pixels()[0], 0);
    EXPECT_FALSE(m_fb.TopDown());
    EXPECT_EQ(m_fb.ColourEntries()[3], 0x00112233u);
}

TEST_F(FrameBufferTest, ScreenRowFollowsTheOrientation) {
    ASSERT_TRUE(m_fb.CreateWorkBitmap(3, 20, 8, true));
    EXPECT_EQ(m_fb.ScreenRow(0), m_fb.Pixels());
    EXPECT_EQ(m_fb.ScreenRow(31), m_fb.Pixels() + 31 * m_fb.Stride());
    ASSERT_TRUE(m_fb.CreateWorkBitmap(3, 20, 8, false));
    EXPECT_EQ(m_fb.ScreenRow(0), m_fb.Pixels() + 31 * m_fb.Stride());
    EXPECT_EQ(m_fb.ScreenRow(31), m_fb.Pixels());
}

TEST_F(FrameBufferTest, ShownRgbOfEachDepth) {
    struct Case {
        const char* name;
        int depth;
        std::vector<uint8_t> pixels;  // two pixels of screen line 0
        std::vector<uint8_t> rgb;
    };
    const Case cases[] = {
        {"8: through the colour table", 8, {2, 0}, {0x11, 0x22, 0x33, 0, 0, 0}},
        {"16: 5-5-5 widened", 16, {0xFF, 0x7F, 0x10, 0x42}, {255, 255, 255, 0x84, 0x84, 0x84}},
        {"16: one channel each", 16, {0x00, 0x7C, 0x1F, 0x00}, {255, 0, 0, 0, 0, 255}},
        {"24", 24, {1, 2, 3, 0, 4, 5, 6, 0}, {3, 2, 1, 6, 5, 4}},
        {"124 ignores the index", 124, {1, 2, 3, 9, 4, 5, 6, 0}, {3, 2, 1, 6, 5, 4}},
        {"224", 224, {1, 2, 3, 9, 4, 5, 6, 0}, {3, 2, 1, 6, 5, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (bool topDown : {true, false}) {
            ASSERT_TRUE(m_fb.CreateWorkBitmap(2, 3, c.depth, topDown));
            m_fb.ColourEntries()[2] = 0x00112233;
            std::memcpy(m_fb.ScreenRow(0), c.pixels.data(), c.pixels.size());
            std::vector<uint8_t> shown = m_fb.ShownRgb();
            ASSERT_EQ(shown.size(), 2u * 3 * 3) << "session height, not the padded rows";
            EXPECT_EQ(std::vector<uint8_t>(shown.begin(), shown.begin() + 6), c.rgb) << topDown;
        }
    }
    EXPECT_TRUE(FrameBuffer().ShownRgb().empty());
}

// Reads a PNG written by WritePng back: checks the structure and every CRC, and returns the
// inflated image data.
struct ReadPng {
    uint32_t width = 0, height = 0;
    uint8_t bitDepth = 0, colourType = 0, interlace = 0;
    std::vector<std::string> chunks;
    std::vector<uint8_t> inflated;
};

uint32_t Big32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

ReadPng ParsePng(const std::string& file) {
    ReadPng png;
    const auto* bytes = reinterpret_cast<const uint8_t*>(file.data());
    const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_GE(file.size(), 8u);
    EXPECT_EQ(std::memcmp(bytes, signature, 8), 0);
    std::vector<uint8_t> idat;
    for (size_t at = 8; at + 12 <= file.size();) {
        const uint32_t length = Big32(bytes + at);
        EXPECT_LE(at + 12 + length, file.size());
        if (at + 12 + length > file.size()) break;
        const std::string type(file, at + 4, 4);
        png.chunks.push_back(type);
        const uint8_t* data = bytes + at + 8;
        EXPECT_EQ(Big32(data + length), crc32(0, bytes + at + 4, 4 + length)) << type;
        if (type == "IHDR") {
            EXPECT_EQ(length, 13u);
            png.width = Big32(data);
            png.height = Big32(data + 4);
            png.bitDepth = data[8];
            png.colourType = data[9];
            EXPECT_EQ(data[10], 0);
            EXPECT_EQ(data[11], 0);
            png.interlace = data[12];
        } else if (type == "IDAT") {
            idat.insert(idat.end(), data, data + length);
        }
        at += 12 + length;
    }
    png.inflated.resize(static_cast<size_t>(png.height) * (1 + png.width * 3) + 1);
    uLongf size = png.inflated.size();
    EXPECT_EQ(uncompress(png.inflated.data(), &size, idat.data(), idat.size()), Z_OK);
    png.inflated.resize(size);
    return png;
}

TEST_F(FrameBufferTest, PngReadsBackAsTheRowsWritten) {
    test::TempDir dir;
    const int width = 5;
    const int height = 3;
    std::vector<uint8_t> rgb(width * height * 3);
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 37 + 11);
    const std::string path = dir.file("shot.png");
    ASSERT_TRUE(WritePng(path, rgb.data(), width, height));

    ReadPng png = ParsePng(test::ReadWholeFile(path));
    EXPECT_EQ(png.chunks, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
    EXPECT_EQ(png.width, 5u);
    EXPECT_EQ(png.height, 3u);
    EXPECT_EQ(png.bitDepth, 8);
    EXPECT_EQ(png.colourType, 2);
    EXPECT_EQ(png.interlace, 0);
    std::vector<uint8_t> expected;
    for (int y = 0; y < height; ++y) {
        expected.push_back(0);  // filter: none
        expected.insert(expected.end(), rgb.begin() + y * width * 3, rgb.begin() + (y + 1) * width * 3);
    }
    EXPECT_EQ(png.inflated, expected);

    EXPECT_FALSE(WritePng(path, rgb.data(), 0, 3));
    EXPECT_FALSE(WritePng(dir.file("no/such/folder/shot.png"), rgb.data(), width, height));
}

}  // namespace
}  // namespace corvane
