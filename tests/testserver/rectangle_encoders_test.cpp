// The test server's rectangle encodings, read back from the wire format alone: planar
// codes, palette chunks within their limits, 16-bit words, and one planar rectangle per
// update.
#include "tools/testserver/rectangle_encoders.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "protocol/records.h"
#include "tools/testserver/server_messages.h"

namespace corvane::testserver {
namespace {

uint32_t LE32(const uint8_t* at) {
    return uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24;
}

TEST(RectangleEncodersTest, PlanarPlaneCodes) {
    struct Case {
        const char* name;
        std::vector<uint8_t> values;
        std::vector<uint8_t> codes;
    };
    std::vector<uint8_t> longRun(130, 0x10);
    const Case cases[] = {
        {"a run, then an even single", {0x40, 0x40, 0x40, 0x22}, {0x07, 0x40, 0x22}},
        {"an odd single is a run of 1", {0x41, 0x22}, {0x03, 0x41, 0x22}},
        {"runs stop at 127", longRun, {0xFF, 0x10, 0x07, 0x10}},
        {"nothing", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> out;
        AppendPlanarPlane(c.values, out);
        EXPECT_EQ(out, c.codes);
    }
}

TEST(RectangleEncodersTest, PaletteChunksCoverTheRectangleWithinTheirLimits) {
    const Desktop desktop({300, 200, 24, 3});
    const PixelRect r{10, 20, 250, 60};  // 15000 pixels: several chunks, ending mid-row
    std::vector<uint8_t> data;
    AppendRectangleData(desktop, 0, r, RectangleEncoding::PaletteChunks, data);
    size_t at = 0;
    size_t pixel = 0;
    int chunks = 0;
    while (at < data.size()) {
        ASSERT_LE(at + 8, data.size());
        const uint32_t n = LE32(&data[at]);
        const uint32_t m = LE32(&data[at + 4]);
        EXPECT_LE(n, kMaxChunkPixels);
        EXPECT_LE(m, 256u);
        const size_t indices = at + 8;
        const size_t palette = indices + n + (n & 3);
        ASSERT_LE(palette + size_t{m} * 4, data.size());
        for (uint32_t i = 0; i < n; ++i, ++pixel) {
            const uint8_t k = data[indices + i];
            ASSERT_GE(k, 1) << "index 0 would leave the pixel unchanged";
            ASSERT_LT(k, m);
            const uint8_t* e = &data[palette + size_t{k} * 4];
            const int x = r.x + static_cast<int>(pixel % r.width);
            const int y = r.y + static_cast<int>(pixel / r.width);
            EXPECT_EQ((Rgb{e[3], e[2], e[1]}), desktop.ColourAt(x, y, 0)) << x << "," << y;
        }
        at = palette + size_t{m} * 4;
        ++chunks;
    }
    EXPECT_EQ(pixel, size_t(r.width) * r.height);
    EXPECT_GE(chunks, 4);
}

TEST(RectangleEncodersTest, SixteenBitWordsNeverMeanUnchanged) {
    const Desktop desktop({64, 64, 24, 1});
    std::vector<uint8_t> data;
    AppendRectangleData(desktop, 0, {0, 0, 64, 64}, RectangleEncoding::Pixels16, data);
    ASSERT_EQ(data.size(), 64u * 64 * 2);
    const Rgb first = desktop.ColourAt(0, 0, 0);
    const unsigned word = data[0] | unsigned{data[1]} << 8;
    EXPECT_EQ(word & 1, 0u);
    EXPECT_EQ(((word >> 1) & 0x1F) << 3, unsigned(first.blue & 0xF8));
    EXPECT_EQ(((word >> 6) & 0x1F) << 3, unsigned(first.green & 0xF8));
    EXPECT_EQ((word >> 11) << 3, unsigned(first.red & 0xF8));
}

TEST(RectangleEncodersTest, UpdatesCarryTheirCompformAndPlanarOnesOneRectangle) {
    struct Case {
        const char* name;
        int depth;
        uint32_t asked;
        uint32_t sent;
        uint32_t rectangles;
    };
    const Case cases[] = {
        {"planar, 24-bit: one rectangle over all", 24, 6, 6, 1},
        {"planar, 8-bit: raw instead", 8, 9, 4, 2},
        {"palette chunks", 24, 2, 2, 2},
        {"16-bit pixels", 8, 7, 7, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Desktop desktop({256, 128, c.depth, 1});
        const std::vector<uint8_t> body = ImageUpdateBody(desktop, 0, {{0, 0, 64, 64}, {128, 64, 64, 64}}, c.asked);
        uint8_t header[kRecordHeaderSize];
        std::copy(body.begin(), body.begin() + kRecordHeaderSize, header);
        RecordHeaderToHost(header);
        EXPECT_EQ(LoadField<uint16_t>(header, RecordHeaderLayout::kFormatTag), kFormatTagValid);
        EXPECT_EQ(LoadField<uint32_t>(header, RecordHeaderLayout::kCompform), c.sent);
        EXPECT_EQ(LoadField<uint32_t>(header, RecordHeaderLayout::kDepth), uint32_t(c.depth));
        const uint8_t* count = &body[kRecordHeaderSize + 4];
        EXPECT_EQ(uint32_t{count[0]} << 24 | uint32_t{count[1]} << 16 | uint32_t{count[2]} << 8 | count[3], c.rectangles);
    }
}

}  // namespace
}  // namespace corvane::testserver
