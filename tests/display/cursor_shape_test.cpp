#include "display/cursor_shape.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/log.h"
#include "image_update_builder.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

using test::ExactBytes;
using test::PutHost32;

constexpr uint32_t kSourceMask = 3;  // any type that is neither 1, 2 nor a standard number

// A cursor-shape record as the dispatcher hands it on: six host-order words, then the data.
std::vector<uint8_t> ShapeRecord(uint32_t type, uint32_t width, uint32_t height, uint32_t hotX,
                                 uint32_t hotY, const std::vector<uint8_t>& data = {}) {
    std::vector<uint8_t> record;
    for (uint32_t word : {0u, type, width, height, hotX, hotY}) PutHost32(record, word);
    record.insert(record.end(), data.begin(), data.end());
    return record;
}

// Decodes from a heap copy of exactly `size` bytes (all of the record by default), so that
// AddressSanitizer sees any read past the message.
std::optional<CursorImage> Decode(const std::vector<uint8_t>& record, size_t size = SIZE_MAX,
                                  int systemCursorSize = kSystemCursorSize) {
    ExactBytes exact(record, std::min(size, record.size()));
    return DecodeCursorShape(exact.data.get(), exact.size, systemCursorSize);
}

// 1-bit planes in rows of whole bytes.
struct Plane {
    Plane(uint32_t width, uint32_t height) : rowBytes((width + 7) / 8), bytes(rowBytes * height) {}
    void Set(int x, int y, bool leastSignificantFirst) {
        const int shift = leastSignificantFirst ? x % 8 : 7 - x % 8;
        bytes[static_cast<size_t>(y) * rowBytes + static_cast<size_t>(x) / 8] |= static_cast<uint8_t>(1 << shift);
    }
    size_t rowBytes;
    std::vector<uint8_t> bytes;
};

std::vector<uint8_t> Join(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

uint32_t PixelAt(const CursorImage& image, int x, int y, int reverseCursorColor = 1) {
    return image.Pixels(reverseCursorColor)[static_cast<size_t>(y) * static_cast<size_t>(image.width) +
                                            static_cast<size_t>(x)];
}

int OpaquePixels(const std::vector<uint32_t>& pixels) {
    int count = 0;
    for (uint32_t p : pixels) count += p != kCursorTransparent;
    return count;
}

class CursorShapeTest : public ::testing::Test {
protected:
    void SetUp() override { ResetLogForTesting(); }
    void TearDown() override { ResetLogForTesting(); }
};

TEST_F(CursorShapeTest, SourceMaskBitsInBothColourings) {
    struct Case {
        const char* name;
        uint8_t source, mask;  // the first byte of each 32 x 32 bitmap
        int x;
        uint32_t normal, reversed;  // pixel (x, 0) with ReverseCursorColor 1 and 0
    };
    const Case cases[] = {
        {"0x01 is the leftmost pixel", 0x01, 0x01, 0, kCursorWhite, kCursorBlack},
        {"0x01 leaves the eighth pixel alone", 0x01, 0x01, 7, kCursorTransparent, kCursorTransparent},
        {"0x80 is the eighth pixel", 0x80, 0x80, 7, kCursorWhite, kCursorBlack},
        {"source 0 under mask 1", 0x00, 0x01, 0, kCursorBlack, kCursorWhite},
        {"mask 0 is transparent in both", 0x01, 0x00, 0, kCursorTransparent, kCursorTransparent},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Plane source(32, 32), mask(32, 32);
        source.bytes[0] = c.source;
        mask.bytes[0] = c.mask;
        const auto image = Decode(ShapeRecord(kSourceMask, 32, 32, 0, 0, Join(source.bytes, mask.bytes)));
        ASSERT_TRUE(image);
        EXPECT_EQ(image->kind, CursorImage::Kind::Picture);
        EXPECT_EQ(PixelAt(*image, c.x, 0, 1), c.normal);
        EXPECT_EQ(PixelAt(*image, c.x, 0, 0), c.reversed);
        EXPECT_EQ(OpaquePixels(image->normal), c.mask == 0 ? 0 : 1);
    }
}

TEST_F(CursorShapeTest, SourceMaskGeometry) {
    struct Case {
        const char* name;
        uint32_t width, height;
        int systemSize;
        int cursorWidth, cursorHeight;
        int x, y;  // a pixel set in both bitmaps
        bool shown;
    };
    const Case cases[] = {
        {"the platform size", 32, 32, 32, 32, 32, 31, 31, true},
        {"wider than the platform size: enlarged both ways", 48, 48, 32, 48, 48, 40, 47, true},
        {"narrower: rows keep their place", 16, 16, 32, 32, 32, 3, 9, true},
        {"taller: rows below the cursor are cut", 32, 48, 32, 32, 32, 5, 40, false},
        {"beyond the 2048-byte plane: transparent", 256, 256, 32, 256, 256, 10, 100, false},
        {"within the 2048-byte plane", 256, 256, 32, 256, 256, 10, 63, true},
        {"empty shape: a blank cursor", 0, 0, 32, 32, 32, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Plane source(c.width, c.height), mask(c.width, c.height);
        if (c.width > 0) {
            source.Set(c.x, c.y, true);
            mask.Set(c.x, c.y, true);
        }
        const size_t plane = std::min<size_t>(source.bytes.size(), kCursorPlaneBytes);
        source.bytes.resize(plane);
        mask.bytes.resize(plane);
        const auto image = Decode(ShapeRecord(kSourceMask, c.width, c.height, 0, 0, Join(source.bytes, mask.bytes)),
                                  SIZE_MAX, c.systemSize);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width, c.cursorWidth);
        EXPECT_EQ(image->height, c.cursorHeight);
        ASSERT_EQ(image->normal.size(), static_cast<size_t>(c.cursorWidth * c.cursorHeight));
        ASSERT_EQ(image->reversed.size(), image->normal.size());
        EXPECT_EQ(OpaquePixels(image->normal), c.shown ? 1 : 0);
        if (c.shown) {
            EXPECT_EQ(PixelAt(*image, c.x, c.y), kCursorWhite);
        }
    }
}

TEST_F(CursorShapeTest, HotSpotLiesInsideTheCursor) {
    struct Case {
        uint32_t type, width, height, hotX, hotY;
        int expectedX, expectedY;
    };
    const Case cases[] = {
        {kSourceMask, 32, 32, 5, 9, 5, 9},
        {kSourceMask, 16, 16, 20, 31, 20, 31},  // inside the 32 x 32 cursor it is laid into
        {kSourceMask, 32, 32, 32, 0xFFFFFFFF, 31, 31},
        {CursorShapeLayout::kMonochrome, 16, 8, 15, 7, 15, 7},
        {CursorShapeLayout::kMonochrome, 16, 8, 16, 8, 15, 7},
        {CursorShapeLayout::kColour, 8, 8, 100, 3, 7, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.type << " " << c.width << "x" << c.height << " hot "
                                        << c.hotX << "," << c.hotY);
        const size_t plane = (c.width + 7) / 8 * c.height;
        const size_t data = c.type == CursorShapeLayout::kColour ? c.width * c.height * 4 + plane : 2 * plane;
        const auto image = Decode(ShapeRecord(c.type, c.width, c.height, c.hotX, c.hotY,
                                              std::vector<uint8_t>(data, 0)));
        ASSERT_TRUE(image);
        EXPECT_EQ(image->hotX, c.expectedX);
        EXPECT_EQ(image->hotY, c.expectedY);
    }
}

TEST_F(CursorShapeTest, MonochromePlanes) {
    struct Case {
        const char* name;
        bool andBit, xorBit;
        uint32_t pixel;
    };
    const Case cases[] = {
        {"AND 0, XOR 0", false, false, kCursorBlack},
        {"AND 0, XOR 1", false, true, kCursorWhite},
        {"AND 1, XOR 0", true, false, kCursorTransparent},
        {"AND 1, XOR 1 (inverts): black", true, true, kCursorBlack},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // 16 x 4, everything transparent but pixel (9, 2), most significant bit leftmost.
        Plane andPlane(16, 4), xorPlane(16, 4);
        std::fill(andPlane.bytes.begin(), andPlane.bytes.end(), 0xFF);
        andPlane.bytes[2 * 2 + 1] = c.andBit ? 0xFF : 0xBF;
        if (c.xorBit) xorPlane.Set(9, 2, false);
        const auto image = Decode(ShapeRecord(CursorShapeLayout::kMonochrome, 16, 4, 1, 1,
                                              Join(andPlane.bytes, xorPlane.bytes)));
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width, 16);
        EXPECT_EQ(image->height, 4);
        EXPECT_EQ(PixelAt(*image, 9, 2), c.pixel);
        EXPECT_EQ(OpaquePixels(image->normal), c.pixel == kCursorTransparent ? 0 : 1);
        // One colouring only: the setting changes nothing.
        EXPECT_TRUE(image->reversed.empty());
        EXPECT_EQ(image->Pixels(0), image->normal);
    }
}

TEST_F(CursorShapeTest, ColourPixelsWithMaskOrAlpha) {
    // 8 x 2: pixel (1, 0) red, (6, 1) green; the mask hides (6, 1).
    auto record = [](uint8_t alpha) {
        std::vector<uint8_t> pixels(8 * 2 * 4, 0);
        const uint8_t red[4] = {0x00, 0x00, 0xFF, alpha};  // B, G, R, A
        const uint8_t green[4] = {0x00, 0xFF, 0x00, alpha};
        std::copy(red, red + 4, pixels.begin() + 1 * 4);
        std::copy(green, green + 4, pixels.begin() + (8 + 6) * 4);
        Plane mask(8, 2);
        mask.Set(6, 1, false);
        return ShapeRecord(CursorShapeLayout::kColour, 8, 2, 0, 0, Join(pixels, mask.bytes));
    };
    struct Case {
        const char* name;
        uint8_t alpha;
        uint32_t red, green, black;  // pixels (1, 0), (6, 1), (0, 0)
    };
    const Case cases[] = {
        {"no alpha: the mask decides", 0x00, 0xFFFF0000, kCursorTransparent, kCursorBlack},
        {"alpha: taken as it is", 0x80, 0x80FF0000, 0x8000FF00, kCursorTransparent},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto image = Decode(record(c.alpha));
        ASSERT_TRUE(image);
        EXPECT_EQ(PixelAt(*image, 1, 0), c.red);
        EXPECT_EQ(PixelAt(*image, 6, 1), c.green);
        EXPECT_EQ(PixelAt(*image, 0, 0), c.black);
        EXPECT_TRUE(image->reversed.empty());
    }
}

TEST_F(CursorShapeTest, StandardCursorsByTheirLowSixteenBits) {
    const std::pair<uint32_t, StandardCursor> cases[] = {
        {32512, StandardCursor::Arrow},   {32513, StandardCursor::IBeam},
        {32514, StandardCursor::Wait},    {32515, StandardCursor::Cross},
        {32649, StandardCursor::Hand},    {32651, StandardCursor::Help},
        {32645, StandardCursor::SizeNs},  {32640, StandardCursor::SizeAll},
        {32517, StandardCursor::Arrow},   {0x17F01, StandardCursor::IBeam},
        {0x20000, StandardCursor::Arrow}, {0xFFFFFFFF, StandardCursor::Arrow},
    };
    for (const auto& [type, expected] : cases) {
        // No shape data, and width and height beyond any limit: neither matters.
        const auto image = Decode(ShapeRecord(type, 9999, 9999, 0, 0));
        ASSERT_TRUE(image) << type;
        EXPECT_EQ(image->kind, CursorImage::Kind::Standard) << type;
        EXPECT_EQ(image->standard, expected) << type;
    }
}

TEST_F(CursorShapeTest, ShortAndOversizedShapesAreRefused) {
    test::TempDir dir;
    OpenLog(dir.file("log.txt"));
    struct Case {
        const char* name;
        uint32_t type, width, height;
        size_t dataBytes;  // present behind the six words
        bool taken;
        const char* record;
    };
    const Case cases[] = {
        {"source-mask, whole", kSourceMask, 32, 32, 256, true, nullptr},
        {"source-mask, one byte short", kSourceMask, 32, 32, 255, false,
         "CURS: shape of type 3 holds 255 data bytes, needs 256: refused\n"},
        {"source-mask, no data", kSourceMask, 32, 32, 0, false, "holds 0 data bytes, needs 256"},
        {"source-mask, 256 x 256 takes two full planes", kSourceMask, 256, 256, 4096, true, nullptr},
        {"source-mask, 257 wide", kSourceMask, 257, 8, 4096, false,
         "CURS: 257x8 shape refused: larger than 256x256\n"},
        {"source-mask, 8 x 0x80000000", kSourceMask, 8, 0x80000000u, 4096, false, "larger than 256x256"},
        {"monochrome, whole", CursorShapeLayout::kMonochrome, 32, 32, 256, true, nullptr},
        {"monochrome, one byte short", CursorShapeLayout::kMonochrome, 32, 32, 255, false, "needs 256"},
        {"monochrome, empty", CursorShapeLayout::kMonochrome, 0, 32, 256, false,
         "CURS: empty 0x32 shape refused\n"},
        {"monochrome, 4096 high", CursorShapeLayout::kMonochrome, 32, 4096, 4096, false,
         "larger than 256x256"},
        {"colour, whole", CursorShapeLayout::kColour, 32, 32, 4096 + 128, true, nullptr},
        {"colour, mask one byte short", CursorShapeLayout::kColour, 32, 32, 4096 + 127, false,
         "needs 4224"},
        {"colour, huge", CursorShapeLayout::kColour, 0xFFFFFFFF, 0xFFFFFFFF, 64, false, "larger than"},
        {"colour, empty", CursorShapeLayout::kColour, 32, 0, 64, false, "empty 32x0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto image = Decode(ShapeRecord(c.type, c.width, c.height, 0, 0, std::vector<uint8_t>(c.dataBytes, 0)));
        EXPECT_EQ(image.has_value(), c.taken);
        if (c.record != nullptr) {
            EXPECT_NE(test::ReadWholeFile(dir.file("log.txt")).find(c.record), std::string::npos);
        }
    }
    // Shorter than the six words.
    for (size_t size : {0u, 4u, 23u}) {
        EXPECT_FALSE(Decode(ShapeRecord(kSourceMask, 0, 0, 0, 0), size)) << size;
    }
    EXPECT_NE(test::ReadWholeFile(dir.file("log.txt")).find("CURS: cursor-shape record of 23 bytes is too short: refused\n"),
              std::string::npos);
}

TEST_F(CursorShapeTest, CursorLogRecords) {
    test::TempDir dir;
    OpenLog(dir.file("log.txt"));
    SetDebugLevel(62);
    Plane source(48, 48), mask(48, 48);
    source.bytes[0] = 0x01;
    source.bytes[9] = 0xAB;
    ASSERT_TRUE(Decode(ShapeRecord(7, 48, 48, 1, 2, Join(source.bytes, mask.bytes))));
    ASSERT_TRUE(Decode(ShapeRecord(CursorShapeLayout::kMonochrome, 16, 16, 3, 4, std::vector<uint8_t>(64, 0))));
    ASSERT_TRUE(Decode(ShapeRecord(CursorShapeLayout::kColour, 2, 2, 0, 1, std::vector<uint8_t>(18, 0))));
    ASSERT_TRUE(Decode(ShapeRecord(32513, 0, 0, 0, 0)));
    // 24 x 3: nine bytes of source bitmap, so the last dump line is short.
    ASSERT_TRUE(Decode(ShapeRecord(kSourceMask, 24, 3, 0, 0, std::vector<uint8_t>(18, 0x11))));
    const std::string log = test::ReadWholeFile(dir.file("log.txt"));
    for (const char* expected : {
             "Cursor Type/Shape: 7\n",
             "Using Standard X11-style Cursor...\n",
             "CURS: max 32x32  req 48x48\n",
             "CURS: hot 1, 2\n",
             "CURS: override max 48x48\n",
             "01 00 00 00 00 00 00 00 \n",
             "00 ab 00 00 00 00 00 00 \n",
             "Cursor Type/Shape: 1\n",
             "Using Windows Mono Bitmap Cursor...\n",
             "CURS: (mono) max 32x32  req 16x16\n",
             "CURS: hot 3, 4\n",
             "Using Windows Color Bitmap Cursor...\n",
             "CURS: (color) max 32x32  req 2x2\n",
             "Cursor Type/Shape: 32513\n",
             "Using Windows Cursor Shape...\n",
             ") : 11 11 11 11 11 11 11 11 \n",
             ") : 11 \n",
         }) {
        EXPECT_NE(log.find(expected), std::string::npos) << expected;
    }
    // 48 x 48 is 288 bytes a bitmap: 36 dump lines for the source, none for the mask.
    size_t lines = 0;
    for (size_t at = log.find(" 00 \n"); at != std::string::npos; at = log.find(" 00 \n", at + 1)) ++lines;
    EXPECT_EQ(lines, 36u);
}

}  // namespace
}  // namespace corvane
