#include "display/raw_rectangles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "config/log.h"
#include "display/colour_table.h"
#include "image_update_builder.h"
#include "recording_events.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

using test::ExactBytes;
using test::ImageUpdateRecord;
using test::RecordingEvents;
using test::RectSpec;
using test::RepaintCall;

constexpr uint8_t kBackground = 0x5A;

class RawRectanglesTest : public ::testing::Test {
protected:
    void SetUp() override { ResetLogForTesting(); }
    void TearDown() override { ResetLogForTesting(); }

    void Create(int width, int height, int depth) {
        ASSERT_TRUE(m_fb.CreateWorkBitmap(width, height, depth, true));
        m_events.Watch(m_fb);
        std::memset(m_fb.Pixels(), kBackground, m_fb.Stride() * static_cast<size_t>(m_fb.Height()));
    }
    // Draws from a heap copy of exactly `size` bytes of the record (all of it by default).
    int Draw(const std::vector<uint8_t>& record, int depth, size_t size = SIZE_MAX) {
        ExactBytes exact(record, std::min(size, record.size()));
        return DrawRawRectangles(m_fb, exact.data.get(), exact.size, depth);
    }
    std::vector<uint8_t> PixelBytes(int x, int y, int count = 1) {
        const uint8_t* p = m_fb.ScreenRow(y) + static_cast<size_t>(x) * m_fb.BytesPerPixel();
        return {p, p + static_cast<size_t>(count) * m_fb.BytesPerPixel()};
    }

    FrameBuffer m_fb;
    RecordingEvents m_events;
};

TEST_F(RawRectanglesTest, PixelsOfEachDepthWithTheirUnchangedMarkers) {
    struct Case {
        const char* name;
        int depth;
        std::vector<uint8_t> source;    // two pixels
        std::vector<uint8_t> expected;  // the two frame-buffer pixels afterwards
    };
    const std::vector<uint8_t> bg2(2, kBackground), bg4(4, kBackground);
    auto join = [](std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const Case cases[] = {
        {"8: index, then 255 unchanged", 8, {0x07, 0xFF}, {0x07, kBackground}},
        {"8: 0 and 254 are drawn", 8, {0x00, 0xFE}, {0x00, 0xFE}},
        {"16: 00 00 black, 00 01 unchanged", 16, {0x00, 0x00, 0x00, 0x01}, join({0x00, 0x00}, bg2)},
        // v bits 5..1 red, 10..6 green, 15..11 blue -> 5-5-5 little-endian word
        {"16: red, then green", 16, {0x00, 0x3E, 0x07, 0xC0}, {0x00, 0x7C, 0xE0, 0x03}},
        {"16: blue, and bit 0 ignored", 16, {0xF8, 0x00, 0xF8, 0x01}, {0x1F, 0x00, 0x1F, 0x00}},
        {"24: CC CC CC CD drawn, CC CC CC CC transparent", 24,
         {0xCC, 0xCC, 0xCC, 0xCD, 0xCC, 0xCC, 0xCC, 0xCC}, join({0xCC, 0xCC, 0xCD, 0x00}, bg4)},
        // Only all four bytes mark a pixel unchanged: three CC colour bytes are a colour.
        {"24: 00 CC CC CC drawn", 24, {0x00, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0x00},
         {0xCC, 0xCC, 0xCC, 0x00, 0xCC, 0xCC, 0x00, 0x00}},
        {"24: first byte dropped", 24, {0x11, 0x22, 0x33, 0x44, 0x00, 0x00, 0x00, 0x00},
         {0x22, 0x33, 0x44, 0x00, 0x00, 0x00, 0x00, 0x00}},
        // Entry 7 is red AA, green BB, blue CC (set below).
        {"124: index 0 keeps its colour, index 7 takes entry 7", 124,
         {0x00, 0x10, 0x20, 0x30, 0x07, 0x01, 0x02, 0x03},
         {0x10, 0x20, 0x30, 0x00, 0xCC, 0xBB, 0xAA, 0x07}},
        {"124: 00 CC CC CC drawn", 124, {0x00, 0xCC, 0xCC, 0xCC, 0x00, 0x01, 0x02, 0x03},
         {0xCC, 0xCC, 0xCC, 0x00, 0x01, 0x02, 0x03, 0x00}},
        {"124: CC CC CC CC transparent", 124, {0xCC, 0xCC, 0xCC, 0xCC, 0x00, 0x01, 0x02, 0x03},
         join(bg4, {0x01, 0x02, 0x03, 0x00})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Create(4, 2, c.depth);
        if (c.depth == 124) {
            std::vector<uint8_t> table;
            test::PutHost32(table, 1);
            test::PutHost32(table, 7);
            test::PutHost32(table, 3);
            table.insert(table.end(), {0xAA, 0xBB, 0xCC});
            ASSERT_EQ(UpdateColourTable(m_fb, m_events.baseTitle, table.data(), table.size()), 1);
            std::memset(m_fb.Pixels(), kBackground, m_fb.Stride() * static_cast<size_t>(m_fb.Height()));
        }
        m_events.repaints.clear();
        EXPECT_EQ(Draw(ImageUpdateRecord({{1, 1, 2, 1, c.source}}), c.depth), 1);
        EXPECT_EQ(PixelBytes(1, 1, 2), c.expected);
        // Neighbours on both sides and the row above stay untouched.
        const std::vector<uint8_t> untouched(static_cast<size_t>(m_fb.BytesPerPixel()), kBackground);
        EXPECT_EQ(PixelBytes(0, 1), untouched);
        EXPECT_EQ(PixelBytes(3, 1), untouched);
        EXPECT_EQ(PixelBytes(1, 0), untouched);
        EXPECT_EQ(m_events.repaints, (std::vector<RepaintCall>{{1, 1, 2, 1}}));
    }
}

TEST_F(RawRectanglesTest, RowsFollowTheRectangleOnABottomUpBuffer) {
    ASSERT_TRUE(m_fb.CreateWorkBitmap(3, 16, 8, false));
    EXPECT_EQ(Draw(ImageUpdateRecord({{1, 2, 2, 2, {1, 2, 3, 4}}}), 8), 1);
    EXPECT_EQ(PixelBytes(1, 2, 2), (std::vector<uint8_t>{1, 2}));
    EXPECT_EQ(PixelBytes(1, 3, 2), (std::vector<uint8_t>{3, 4}));
    // Screen line 2 of a bottom-up buffer is memory row 13.
    EXPECT_EQ(m_fb.Pixels()[13 * m_fb.Stride() + 1], 1);
}

TEST_F(RawRectanglesTest, RectanglesOutsideTheBufferAreSkippedAndTheOthersDrawn) {
    test::TempDir dir;
    OpenLog(dir.file("log.txt"));
    SetDebugLevel(10);
    Create(8, 4, 8);  // 16 rows
    const std::vector<RectSpec> rects = {
        {0, 0, 2, 1, {1, 1}},
        {1, 0, 8, 1, std::vector<uint8_t>(8, 2)},       // as wide as the buffer, at x = 1
        {0, 15, 1, 2, {2, 2}},                           // one row below the padded height
        {-1, 0, 1, 1, {2}},
        {0, -1, 1, 1, {2}},
        {0, 0, 0, 1, {}},
        {0, 0, 1, -1, {}},
        {1, 0, 0x7FFFFFFF, 1, {2}},                      // x + width would wrap in 32 bits
        {7, 15, 1, 1, {3}},                              // the last pixel of the padded rows
    };
    EXPECT_EQ(Draw(ImageUpdateRecord(rects), 8), 2);
    EXPECT_EQ(PixelBytes(0, 0, 3), (std::vector<uint8_t>{1, 1, kBackground}));
    EXPECT_EQ(PixelBytes(7, 15), (std::vector<uint8_t>{3}));
    EXPECT_EQ(PixelBytes(0, 14), (std::vector<uint8_t>{kBackground}));
    // One repaint, covering both drawn rectangles and nothing that was skipped.
    EXPECT_EQ(m_events.repaints, (std::vector<RepaintCall>{{0, 0, 8, 16}}));

    const std::string log = test::ReadWholeFile(dir.file("log.txt"));
    size_t found = 0;
    for (size_t at = log.find("Error: data from server is out of bounds!!!"); at != std::string::npos;
         at = log.find("Error: data from server is out of bounds!!!", at + 1)) {
        ++found;
    }
    EXPECT_EQ(found, 7u);
}

TEST_F(RawRectanglesTest, UpdatesThatDrawNothing) {
    struct Case {
        const char* name;
        int bufferDepth;
        int depth;
        std::vector<RectSpec> rects;
    };
    const Case cases[] = {
        {"count 0", 24, 24, {}},
        {"depth 224", 24, 224, {{0, 0, 1, 1, {1, 2, 3, 4}}}},
        {"unknown depth", 24, 32, {{0, 0, 1, 1, {1, 2, 3, 4}}}},
        {"1-byte pixels on a 4-byte buffer", 24, 8, {{0, 0, 4, 1, {1, 2, 3, 4}}}},
        {"4-byte pixels on a 1-byte buffer", 8, 24, {{0, 0, 1, 1, {1, 2, 3, 4}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Create(4, 2, c.bufferDepth);
        m_events.repaints.clear();
        EXPECT_EQ(Draw(ImageUpdateRecord(c.rects), c.depth), 0);
        EXPECT_EQ(PixelBytes(0, 0, 4), std::vector<uint8_t>(4u * m_fb.BytesPerPixel(), kBackground));
        EXPECT_TRUE(m_events.repaints.empty());
    }
}

TEST_F(RawRectanglesTest, MessagesThatEndTooSoonAreNeverReadPast) {
    Create(4, 4, 8);
    const std::vector<uint8_t> full = ImageUpdateRecord({{0, 0, 2, 1, {1, 1}}, {0, 1, 2, 1, {2, 2}}});
    const size_t secondHeader = 8 + 20 + 2;
    struct Case {
        const char* name;
        std::vector<uint8_t> record;
        size_t size;
        int drawn;
    };
    const Case cases[] = {
        {"whole message", full, full.size(), 2},
        {"second data cut short", full, full.size() - 1, 1},
        {"second header cut short", full, secondHeader + 19, 1},
        {"message ends after the first rectangle", full, secondHeader, 1},
        {"count larger than the rectangles sent",
         ImageUpdateRecord({{0, 0, 2, 1, {1, 1}}}, 1000), SIZE_MAX, 1},
        {"count read as negative", ImageUpdateRecord({{0, 0, 2, 1, {1, 1}}}, 0xFFFFFFFF), SIZE_MAX, 1},
        {"data size past the message",
         ImageUpdateRecord({{0, 0, 2, 1, {1, 1}, 0xFFFFFFF0}}), SIZE_MAX, 0},
        {"record without a count", full, 6, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::memset(m_fb.Pixels(), 0, m_fb.Stride() * static_cast<size_t>(m_fb.Height()));
        EXPECT_EQ(Draw(c.record, 8, c.size), c.drawn);
        if (c.drawn >= 1) {
            EXPECT_EQ(PixelBytes(0, 0, 2), (std::vector<uint8_t>{1, 1}));
        }
        if (c.drawn < 2) {
            EXPECT_EQ(PixelBytes(0, 1, 2), (std::vector<uint8_t>{0, 0}));
        }
    }
}

TEST_F(RawRectanglesTest, RectangleWithTooLittleDataIsSkipped) {
    Create(4, 4, 16);
    // 2x2 at 2 bytes a pixel needs 8 bytes; the first has 6, the second what it needs.
    const std::vector<RectSpec> rects = {
        {0, 0, 2, 2, {0, 0, 0, 0, 0, 0}},
        {2, 2, 1, 1, {0xF8, 0x00}},
    };
    EXPECT_EQ(Draw(ImageUpdateRecord(rects), 16), 1);
    EXPECT_EQ(PixelBytes(0, 0), (std::vector<uint8_t>{kBackground, kBackground}));
    EXPECT_EQ(PixelBytes(2, 2), (std::vector<uint8_t>{0x1F, 0x00}));
    EXPECT_EQ(m_events.repaints, (std::vector<RepaintCall>{{2, 2, 1, 1}}));
}

}  // namespace
}  // namespace corvane
