#include "display/palette_chunks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "decoder_fixture.h"
#include "display/palette_planes.h"

namespace corvane {
namespace {

using test::ImageUpdateRecord;
using test::Join;
using test::kBackground;
using test::PutLittle32;
using test::RectSpec;
using test::RepaintCall;

// A chunk as its fields are given; the filler counts are spelled out by each test rather
// than computed, so that a wrong rule in the decoder cannot hide behind the same rule here.
std::vector<uint8_t> Chunk(const std::vector<uint8_t>& indices, uint32_t entries,
                           const std::vector<uint8_t>& palette, size_t indexFiller, size_t paletteFiller = 0) {
    std::vector<uint8_t> chunk;
    PutLittle32(chunk, static_cast<uint32_t>(indices.size()));
    PutLittle32(chunk, entries);
    chunk = Join(std::move(chunk), indices);
    chunk.insert(chunk.end(), indexFiller, 0xEE);
    chunk = Join(std::move(chunk), palette);
    chunk.insert(chunk.end(), paletteFiller, 0xEE);
    return chunk;
}

// Depth-24 entries as sent: b0 ignored, then blue, green, red.
std::vector<uint8_t> Entries24(const std::vector<std::vector<uint8_t>>& bgr) {
    std::vector<uint8_t> out;
    for (const auto& c : bgr) out = Join(std::move(out), {0x99, c[0], c[1], c[2]});
    return out;
}

class PaletteChunksTest : public test::DecoderTest {
protected:
    void TearDown() override {
        AllowPalettePlanes(true);
        DecoderTest::TearDown();
    }
    // The two ways of writing 4-byte pixels: sixty-four at a time where the processor can,
    // and the scalar reference, which runs on every processor.
    static constexpr bool kWideAndScalar[] = {true, false};
    int Draw(const std::vector<uint8_t>& record, int depth, size_t size = SIZE_MAX) {
        return DecoderTest::Draw(DrawPaletteChunkRectangles, record, depth, size);
    }
};

TEST_F(PaletteChunksTest, PaletteFollowsTheIndicesAndNAnd3FillerBytes) {
    struct Case {
        size_t n;
        size_t filler;  // n AND 3: 3 for n = 3, where the distance to a multiple of 4 is 1
    };
    const Case cases[] = {{1, 1}, {3, 3}, {4, 0}, {5, 1}, {6, 2}, {7, 3}, {8, 0}};
    const std::vector<uint8_t> palette = Entries24({{0x01, 0x02, 0x03}, {0x11, 0x12, 0x13}});
    for (const Case& c : cases) {
        SCOPED_TRACE("n = " + std::to_string(c.n));
        Create(8, 1, 24);
        std::vector<uint8_t> indices(c.n, 1);
        indices[0] = 0;
        EXPECT_EQ(Draw(ImageUpdateRecord({{0, 0, static_cast<int32_t>(c.n), 1, Chunk(indices, 2, palette, c.filler)}}), 24), 1);
        EXPECT_EQ(PixelBytes(0, 0), (std::vector<uint8_t>(4, kBackground)));
        for (size_t x = 1; x < c.n; ++x) EXPECT_EQ(PixelBytes(static_cast<int>(x), 0), (std::vector<uint8_t>{0x11, 0x12, 0x13, 0}));
        EXPECT_EQ(m_events.repaints, (std::vector<RepaintCall>{{0, 0, static_cast<int>(c.n), 1}}));
    }
}

TEST_F(PaletteChunksTest, ChunksRunOnAcrossRowsAndDepth16PalettesHaveTheirOwnFiller) {
    Create(3, 2, 16);
    // m = 3: 6 bytes of 5-6-5 entries (entry 0 never written, pure red, pure blue), then
    // 3 x 2 filler bytes.
    const std::vector<uint8_t> first = Chunk({1, 2}, 3, {0xFF, 0xFF, 0x00, 0xF8, 0x1F, 0x00}, 2, 6);
    // m = 2 (entry 1 pure green), 4 filler bytes; indices 2 and 3 were not sent with it.
    const std::vector<uint8_t> second = Chunk({2, 0, 1, 3}, 2, {0x00, 0x00, 0xE0, 0x07}, 0, 4);
    EXPECT_EQ(Draw(ImageUpdateRecord({{0, 0, 3, 2, Join(first, second)}}), 16), 1);
    // Entry 2 stays from the first chunk; entry 3 was never sent and is still zero.
    EXPECT_EQ(Area(0, 0, 3, 2), (std::vector<uint8_t>{0x00, 0x7C, 0x1F, 0x00, 0x1F, 0x00,
                                                      kBackground, kBackground, 0xE0, 0x03, 0x00, 0x00}));
}

TEST_F(PaletteChunksTest, EntryConversionOfEachDepth) {
    struct Case {
        const char* name;
        int depth;
        std::vector<uint8_t> entry;     // palette entry 1 as sent
        std::vector<uint8_t> expected;  // the pixel it writes
    };
    const Case cases[] = {
        {"16: white loses the lowest green bit", 16, {0xFF, 0xFF}, {0xFF, 0x7F}},
        {"16: the lowest green bit alone is black", 16, {0x20, 0x00}, {0x00, 0x00}},
        {"16: red and blue stay", 16, {0x1F, 0xF8}, {0x1F, 0x7C}},
        {"24: b1 b2 b3 as blue green red", 24, {0xAA, 0x10, 0x20, 0x30}, {0x10, 0x20, 0x30, 0x00}},
        {"124: index 0 keeps its colour", 124, {0x00, 0x10, 0x20, 0x30}, {0x10, 0x20, 0x30, 0x00}},
        {"124: index 5 takes entry 5", 124, {0x05, 0x10, 0x20, 0x30}, {0x33, 0x22, 0x11, 0x05}},
        {"224: FF is blue C0 green E0 red E0", 224, {0xFF, 0x10, 0x20, 0x30}, {0xC0, 0xE0, 0xE0, 0xFF}},
        {"224: 3-3-2 bits land apart", 224, {0x49, 0x00, 0x00, 0x00}, {0x40, 0x40, 0x40, 0x49}},
        {"224: 0 keeps bytes 1..3", 224, {0x00, 0x10, 0x20, 0x30}, {0x10, 0x20, 0x30, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Create(2, 1, c.depth);
        SetColour(5, 0x11, 0x22, 0x33);
        Clear();
        // Entry 0 has the entry's size; a depth-16 palette of 2 entries has 4 filler bytes.
        const std::vector<uint8_t> entry0(c.entry.size(), 0x01);
        const std::vector<uint8_t> chunk = Chunk({0, 1}, 2, Join(entry0, c.entry), 2, c.depth == 16 ? 4 : 0);
        EXPECT_EQ(Draw(ImageUpdateRecord({{0, 0, 2, 1, chunk}}), c.depth), 1);
        // Index 0 leaves the pixel; entry 0 is never written.
        EXPECT_EQ(PixelBytes(0, 0, 2), Join(std::vector<uint8_t>(c.expected.size(), kBackground), c.expected));
    }
}

// Rows long enough that the scalar path takes indices eight at a time (the wide path takes
// them as one masked block): every index lands on its own pixel, whichever of the eight
// holds a 0 and however the row's length cuts the last eight.
TEST_F(PaletteChunksTest, LongRowsWriteEachIndexsEntryAndKeepThePixelsOfIndex0) {
    const std::vector<uint8_t> entries24 = Entries24({{0, 0, 0}, {0x11, 0x12, 0x13}, {0x21, 0x22, 0x23}, {0x31, 0x32, 0x33}});
    const std::vector<uint8_t> entries16 = {0, 0, 0x1F, 0x00, 0xE0, 0x07, 0x00, 0xF8};  // as pixels 001F 03E0 7C00
    const std::vector<uint8_t> pixel24[4] = {{}, {0x11, 0x12, 0x13, 0}, {0x21, 0x22, 0x23, 0}, {0x31, 0x32, 0x33, 0}};
    const std::vector<uint8_t> pixel16[4] = {{}, {0x1F, 0x00}, {0xE0, 0x03}, {0x00, 0x7C}};
    for (const bool wide : kWideAndScalar) {
        AllowPalettePlanes(wide);
        for (const int depth : {16, 24}) {
            for (const int width : {8, 16, 29}) {
                for (int zeroAt = -1; zeroAt < 8; ++zeroAt) {
                    SCOPED_TRACE("depth " + std::to_string(depth) + ", width " + std::to_string(width) + ", 0 at " +
                                 std::to_string(zeroAt) + (wide ? ", wide" : ", scalar"));
                    std::vector<uint8_t> indices;
                    for (int x = 0; x < width; ++x) indices.push_back(x % 8 == zeroAt ? 0 : static_cast<uint8_t>(1 + (x * 5) % 3));
                    const std::vector<uint8_t> chunk = depth == 24 ? Chunk(indices, 4, entries24, indices.size() & 3)
                                                                   : Chunk(indices, 4, entries16, indices.size() & 3, 0);
                    Create(width + 2, 1, depth);
                    EXPECT_EQ(Draw(ImageUpdateRecord({{1, 0, width, 1, chunk}}), depth), 1);
                    const std::vector<uint8_t> untouched(depth == 24 ? 4 : 2, kBackground);
                    std::vector<uint8_t> expected = untouched;
                    for (const uint8_t index : indices) {
                        expected = Join(std::move(expected), index == 0 ? untouched : depth == 24 ? pixel24[index] : pixel16[index]);
                    }
                    expected = Join(std::move(expected), untouched);
                    EXPECT_EQ(Area(0, 0, width + 2, 1), expected);
                }
            }
        }
    }
}

// A row of 200 pixels, long enough for the wide path's blocks of 64 and a rest, with a full
// palette: every index picks its own entry (low and high halves of the table alike), and
// index 0 keeps its pixel wherever it falls.
TEST_F(PaletteChunksTest, LongRowsOfAFullPaletteReachEveryEntry) {
    constexpr int kWidth = 200;
    std::vector<std::vector<uint8_t>> bgr;
    for (int k = 0; k < 256; ++k) {
        bgr.push_back({static_cast<uint8_t>(k), static_cast<uint8_t>(255 - k), static_cast<uint8_t>(k ^ 0x5A)});
    }
    std::vector<uint8_t> indices;
    for (int x = 0; x < kWidth; ++x) indices.push_back(static_cast<uint8_t>(x * 37 + 5));  // 0 at 159
    indices[3] = indices[70] = 0;
    const std::vector<uint8_t> untouched(4, kBackground);
    std::vector<uint8_t> expected = untouched;
    for (const uint8_t index : indices) {
        expected = Join(std::move(expected),
                        index == 0 ? untouched : std::vector<uint8_t>{bgr[index][0], bgr[index][1], bgr[index][2], 0});
    }
    expected = Join(std::move(expected), untouched);
    for (const bool wide : kWideAndScalar) {
        SCOPED_TRACE(wide ? "wide" : "scalar");
        AllowPalettePlanes(wide);
        Create(kWidth + 2, 1, 24);
        EXPECT_EQ(
            Draw(ImageUpdateRecord({{1, 0, kWidth, 1, Chunk(indices, 256, Entries24(bgr), indices.size() & 3)}}), 24),
            1);
        EXPECT_EQ(Area(0, 0, kWidth + 2, 1), expected);
    }
}

TEST_F(PaletteChunksTest, Depth8IsOneBytePerPixelWith255Unchanged) {
    Create(4, 2, 8);
    EXPECT_EQ(Draw(ImageUpdateRecord({{1, 0, 2, 2, {7, 255, 0, 254}}}), 8), 1);
    EXPECT_EQ(Area(1, 0, 2, 2), (std::vector<uint8_t>{7, kBackground, 0, 254}));
}

TEST_F(PaletteChunksTest, DataThatEndsEarlyStopsWithOneRecordAndLeavesTheRest) {
    const std::vector<uint8_t> palette = Entries24({{1, 2, 3}, {4, 5, 6}});
    const std::vector<uint8_t> drawnRow = {4, 5, 6, 0, 4, 5, 6, 0};
    const std::vector<uint8_t> untouchedRow(8, kBackground);
    struct Case {
        const char* name;
        std::vector<uint8_t> data;  // for a 2x2 rectangle
        bool firstRowDrawn;
    };
    std::vector<uint8_t> bigPalette = Chunk({1, 1}, 257, std::vector<uint8_t>(257 * 4, 1), 2);
    std::vector<uint8_t> hugeCount;
    PutLittle32(hugeCount, 0xFFFFFFFF);
    PutLittle32(hugeCount, 2);
    hugeCount = Join(hugeCount, {1, 1, 1, 1});
    const Case cases[] = {
        {"more pixels than the chunks index", Chunk({1, 1}, 2, palette, 2), true},
        {"the next chunk's header is cut", Join(Chunk({1, 1}, 2, palette, 2), {4, 0, 0}), true},
        {"the next chunk's palette is cut", Join(Chunk({1, 1}, 2, palette, 2), Chunk({1, 1}, 2, {0, 0, 0, 0, 0}, 2)), true},
        {"a palette above 256 entries", Join(Chunk({1, 1}, 2, palette, 2), bigPalette), true},
        {"an index count near 2^32", hugeCount, false},
        {"no data at all", {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        OpenLog(dir.file("log.txt"));
        Create(4, 2, 24);
        // A rectangle the data reaches no pixel of is not counted, nor repainted.
        EXPECT_EQ(Draw(ImageUpdateRecord({{0, 0, 2, 2, c.data}, {2, 0, 1, 1, Chunk({1}, 2, palette, 1)}}), 24),
                  c.firstRowDrawn ? 2 : 1);
        EXPECT_EQ(PixelBytes(0, 0, 2), c.firstRowDrawn ? drawnRow : untouchedRow);
        EXPECT_EQ(PixelBytes(0, 1, 2), untouchedRow);
        // The next rectangle is drawn all the same.
        EXPECT_EQ(PixelBytes(2, 0), (std::vector<uint8_t>{4, 5, 6, 0}));
        ResetLogForTesting();
        EXPECT_EQ(test::CountOf(test::ReadWholeFile(dir.file("log.txt")), "Palette-chunk rectangle"), 1u);
    }
}

TEST_F(PaletteChunksTest, CutAtEveryByteNeverReadsPastTheData) {
    const std::vector<uint8_t> palette16 = {0x1F, 0x00, 0xE0, 0x07, 0x00, 0xF8};
    const std::vector<uint8_t> palette32 = Entries24({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
    struct Case {
        int depth;
        std::vector<uint8_t> data;  // for a 3x2 rectangle
    };
    const Case cases[] = {
        {8, {1, 2, 3, 4, 5, 6}},
        {16, Join(Chunk({1, 2, 3, 0, 1}, 3, palette16, 1, 6), Chunk({2}, 3, palette16, 1, 6))},
        {24, Join(Chunk({1, 2, 3, 0, 1}, 3, palette32, 1), Chunk({2}, 3, palette32, 1))},
        {124, Join(Chunk({1, 2}, 3, palette32, 2), Chunk({3, 1, 2, 3}, 3, palette32, 0))},
        {224, Join(Chunk({1, 2, 3}, 3, palette32, 3), Chunk({3, 2, 1}, 3, palette32, 3))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("depth " + std::to_string(c.depth));
        Create(4, 3, c.depth);
        ExpectCutsDrawPrefixes(DrawPaletteChunkRectangles, {1, 1, 3, 2, c.data}, c.depth, 1);
    }
}

TEST_F(PaletteChunksTest, UpdatesThatDrawNothing) {
    struct Case {
        const char* name;
        int bufferDepth;
        int depth;
    };
    const Case cases[] = {
        {"unknown depth", 24, 32},
        {"4-byte pixels on a 2-byte buffer", 16, 24},
        {"2-byte pixels on a 4-byte buffer", 24, 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Create(4, 1, c.bufferDepth);
        const std::vector<uint8_t> before = Area(0, 0, 4, 1);
        EXPECT_EQ(Draw(ImageUpdateRecord({{0, 0, 1, 1, Chunk({1}, 1, {1, 2, 3, 4}, 1)}}), c.depth), 0);
        EXPECT_EQ(Area(0, 0, 4, 1), before);
        EXPECT_TRUE(m_events.repaints.empty());
    }
}

}  // namespace
}  // namespace corvane
