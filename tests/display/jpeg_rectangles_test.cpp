#include "display/jpeg_rectangles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decoder_fixture.h"
#include "display/display_records.h"

namespace corvane::test {
namespace {

class JpegRectanglesTest : public DecoderTest {
protected:
    void SetUp() override {
        DecoderTest::SetUp();
        Create(16, 16, 24);
    }
    // Draws an update whose first rectangle is `rect` and whose decoded image (what the
    // reader put in place of the stream) is `width` x `height` distinct pixels.
    int DrawDecoded(RectSpec rect, int width, int height, int depth = 24) {
        rect.data.clear();
        for (int i = 0; i < width * height * 3; ++i) rect.data.push_back(static_cast<uint8_t>(i % 251));
        rect.declaredSize = 1234;  // the size of the JPEG stream the pixels replaced
        m_image = rect.data;
        m_imageWidth = width;
        // The record up to the end of the first rectangle header; the pixels lie elsewhere.
        std::vector<uint8_t> record = ImageUpdateRecord({rect});
        record.resize(ImageUpdateLayout::kFirstRectangle + RectangleHeaderLayout::kSize);
        ExactBytes exact(record);
        ExactBytes pixels(m_image);
        return DrawJpegRectangles(m_fb, exact.data.get(), exact.size, depth, pixels.data.get(), width, height);
    }
    // The decoded pixel (column, row) as a frame-buffer pixel: byte 3 is zero at depth 24,
    // elsewhere the background's (a multimode pixel's colour-table index) is kept.
    std::vector<uint8_t> Decoded(int column, int row) const {
        const size_t at = (static_cast<size_t>(row) * m_imageWidth + column) * 3;
        return {m_image[at], m_image[at + 1], m_image[at + 2], m_fb.Depth() == 24 ? uint8_t{0} : kBackground};
    }
    // Every frame-buffer pixel: inside [left, right) x [top, bottom) the decoded pixel at the
    // offset from (x, y); elsewhere untouched.
    void ExpectDrawn(int x, int y, int left, int top, int right, int bottom) {
        for (int row = 0; row < 16; ++row) {
            for (int column = 0; column < 16; ++column) {
                const bool inside = column >= left && column < right && row >= top && row < bottom;
                const std::vector<uint8_t> expected =
                    inside ? Decoded(column - x, row - y) : std::vector<uint8_t>(4, kBackground);
                ASSERT_EQ(PixelBytes(column, row), expected) << "pixel " << column << "," << row;
            }
        }
    }

    std::vector<uint8_t> m_image;
    int m_imageWidth = 0;
};

TEST_F(JpegRectanglesTest, ByteThreeIsKeptOnlyInAMultimodeBuffer) {
    for (const int bufferDepth : {24, 124, 224}) {
        SCOPED_TRACE("buffer depth " + std::to_string(bufferDepth));
        Create(16, 16, bufferDepth);
        // Rows wide enough for the copy's four-pixel steps and its last pixels.
        ASSERT_EQ(DrawDecoded({0, 5, 16, 2}, 16, 2), 1);
        ExpectDrawn(0, 5, 0, 5, 16, 7);
    }
}

TEST_F(JpegRectanglesTest, CopiesTheDecodedPixelsCutAtTheBitmapAndImageEdges) {
    const struct {
        const char* name;
        RectSpec rect;
        int width, height;  // of the decoded image
        int left, top, right, bottom;
    } cases[] = {
        {"inside", {2, 3, 5, 4}, 5, 4, 2, 3, 7, 7},
        {"wider than the space to the right edge", {12, 1, 8, 4}, 8, 4, 12, 1, 16, 5},
        {"lower than the space to the bottom", {0, 14, 3, 5}, 3, 5, 0, 14, 3, 16},
        {"larger than the decoded image", {1, 1, 10, 10}, 4, 3, 1, 1, 5, 4},
        {"left of and above the bitmap", {-2, -1, 6, 3}, 6, 3, 0, 0, 4, 2},
        {"the bitmap's full width", {0, 5, 16, 2}, 16, 2, 0, 5, 16, 7},
        {"wider than the bitmap on both sides", {-3, 8, 21, 3}, 21, 3, 0, 8, 16, 11},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Clear();
        ASSERT_EQ(DrawDecoded(c.rect, c.width, c.height), 1);
        ExpectDrawn(c.rect.x, c.rect.y, c.left, c.top, c.right, c.bottom);
        EXPECT_EQ(m_events.repaints,
                  (std::vector<RepaintCall>{{c.left, c.top, c.right - c.left, c.bottom - c.top}}));
    }
}

TEST_F(JpegRectanglesTest, DrawsNothingOutsideDepth24OrWithoutAUsableImage) {
    EXPECT_EQ(DrawDecoded({0, 0, 4, 4}, 4, 4, 16), 0);
    EXPECT_EQ(DrawDecoded({20, 0, 4, 4}, 4, 4), 0);  // wholly right of the bitmap
    EXPECT_EQ(DrawDecoded({0, 0, 4, 4}, 0, 0), 0);   // the image did not decode
    // A record cut before the end of its first rectangle header.
    RectSpec rect{0, 0, 4, 4, std::vector<uint8_t>(4 * 4 * 3, 7)};
    std::vector<uint8_t> record = ImageUpdateRecord({rect});
    record.resize(ImageUpdateLayout::kFirstRectangle + RectangleHeaderLayout::kSize - 1);
    ExactBytes exact(record);
    EXPECT_EQ(DrawJpegRectangles(m_fb, exact.data.get(), exact.size, 24, rect.data.data(), 4, 4), 0);
    ExpectDrawn(0, 0, 0, 0, 0, 0);
    EXPECT_TRUE(m_events.repaints.empty());
}

}  // namespace
}  // namespace corvane::test
