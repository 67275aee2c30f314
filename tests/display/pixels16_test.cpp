#include "display/pixels16.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "decoder_fixture.h"

namespace corvane {
namespace {

using test::ImageUpdateRecord;
using test::Join;
using test::kBackground;
using test::RepaintCall;

class Pixels16Test : public test::DecoderTest {
protected:
    int Draw(const std::vector<uint8_t>& record, int depth, size_t size = SIZE_MAX) {
        return DecoderTest::Draw(DrawPixel16Rectangles, record, depth, size);
    }
};

TEST_F(Pixels16Test, WordsOfEachDepthWithTheirMarkers) {
    struct Case {
        const char* name;
        int depth;
        std::vector<uint8_t> source;    // one pixel as sent
        std::vector<uint8_t> expected;  // the frame-buffer pixel afterwards
    };
    const std::vector<uint8_t> bg4(4, kBackground);
    const Case cases[] = {
        {"8: an index", 8, {0x07}, {0x07}},
        {"8: 255 unchanged", 8, {0xFF}, {kBackground}},
        {"16: big-endian, as the raw pixels", 16, {0x00, 0x3E}, {0x00, 0x7C}},
        {"16: 00 01 unchanged", 16, {0x00, 0x01}, {kBackground, kBackground}},
        {"24: 0x0001 unchanged", 24, {0x01, 0x00}, bg4},
        {"24: 0x0000 black", 24, {0x00, 0x00}, {0x00, 0x00, 0x00, 0x00}},
        {"24: 0xFFFE white as F8", 24, {0xFE, 0xFF}, {0xF8, 0xF8, 0xF8, 0x00}},
        {"24: blue bits 5..1", 24, {0x3E, 0x00}, {0xF8, 0x00, 0x00, 0x00}},
        {"24: green bits 10..6", 24, {0xC0, 0x07}, {0x00, 0xF8, 0x00, 0x00}},
        {"24: red bits 15..11", 24, {0x00, 0xF8}, {0x00, 0x00, 0xF8, 0x00}},
        {"24: bit 1 set with bit 0 clear is colour", 24, {0x02, 0x05}, {0x08, 0xA0, 0x00, 0x00}},
        {"124: bit 0 clear is direct colour, index 0", 124, {0xFE, 0xFF}, {0xF8, 0xF8, 0xF8, 0x00}},
        {"124: 0x0503 is colour-table entry 5", 124, {0x03, 0x05}, {0x33, 0x22, 0x11, 0x05}},
        {"124: 0x0501 unchanged", 124, {0x01, 0x05}, bg4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Create(3, 2, c.depth);
        SetColour(5, 0x11, 0x22, 0x33);
        Clear();
        EXPECT_EQ(Draw(ImageUpdateRecord({{1, 1, 1, 1, c.source}}), c.depth), 1);
        EXPECT_EQ(PixelBytes(1, 1), c.expected);
        const std::vector<uint8_t> untouched(static_cast<size_t>(m_fb.BytesPerPixel()), kBackground);
        EXPECT_EQ(PixelBytes(0, 1), untouched);
        EXPECT_EQ(PixelBytes(2, 1), untouched);
        EXPECT_EQ(PixelBytes(1, 0), untouched);
        EXPECT_EQ(m_events.repaints, (std::vector<RepaintCall>{{1, 1, 1, 1}}));
    }
}

TEST_F(Pixels16Test, RowsOfARectangle) {
    Create(4, 3, 24);
    // 2x2: black, unchanged / red, blue.
    EXPECT_EQ(Draw(ImageUpdateRecord({{2, 1, 2, 2, {0x00, 0x00, 0x01, 0x00, 0x00, 0xF8, 0x3E, 0x00}}}), 24), 1);
    EXPECT_EQ(Area(2, 1, 2, 2), Join(Join({0, 0, 0, 0}, std::vector<uint8_t>(4, kBackground)),
                                     {0x00, 0x00, 0xF8, 0x00, 0xF8, 0x00, 0x00, 0x00}));
}

TEST_F(Pixels16Test, DataThatEndsEarlyDrawsUpToItsEnd) {
    struct Case {
        int depth;
        std::vector<uint8_t> data;  // for a 3x2 rectangle
    };
    const Case cases[] = {
        {8, {1, 2, 3, 4, 5, 6}},
        {16, {0x00, 0x3E, 0x07, 0xC0, 0xF8, 0x00, 0x12, 0x34, 0x00, 0x02, 0x40, 0x00}},
        {24, {0x00, 0xF8, 0xC0, 0x07, 0x3E, 0x00, 0x34, 0x12, 0x02, 0x00, 0xFE, 0xFF}},
        {124, {0x00, 0xF8, 0x03, 0x05, 0x3E, 0x00, 0x03, 0x07, 0x02, 0x00, 0xFE, 0xFF}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("depth " + std::to_string(c.depth));
        Create(4, 3, c.depth);
        SetColour(5, 0x11, 0x22, 0x33);
        SetColour(7, 0x44, 0x55, 0x66);
        ExpectCutsDrawPrefixes(DrawPixel16Rectangles, {1, 1, 3, 2, c.data}, c.depth, 1);
    }
}

TEST_F(Pixels16Test, UpdatesThatDrawNothing) {
    struct Case {
        const char* name;
        int bufferDepth;
        int depth;
    };
    const Case cases[] = {
        {"depth 224", 24, 224},
        {"unknown depth", 24, 32},
        {"4-byte pixels on a 2-byte buffer", 16, 24},
        {"1-byte pixels on a 4-byte buffer", 24, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Create(4, 1, c.bufferDepth);
        const std::vector<uint8_t> before = Area(0, 0, 4, 1);
        EXPECT_EQ(Draw(ImageUpdateRecord({{0, 0, 1, 1, {0x00, 0x00}}}), c.depth), 0);
        EXPECT_EQ(Area(0, 0, 4, 1), before);
        EXPECT_TRUE(m_events.repaints.empty());
    }
}

}  // namespace
}  // namespace corvane
