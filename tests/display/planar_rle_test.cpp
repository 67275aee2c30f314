#include "display/planar_rle.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "decoder_fixture.h"

namespace corvane {
namespace {

using test::ImageUpdateRecord;
using test::Join;
using test::kBackground;
using test::PutLittle32;
using test::RectSpec;
using test::RepaintCall;

// A stream of three planes with the lengths they have (or the ones given).
std::vector<uint8_t> Stream(const std::vector<uint8_t>& blue, const std::vector<uint8_t>& green,
                            const std::vector<uint8_t>& red, std::vector<uint32_t> lengths = {}) {
    if (lengths.empty()) {
        lengths = {static_cast<uint32_t>(blue.size()), static_cast<uint32_t>(green.size()),
                   static_cast<uint32_t>(red.size())};
    }
    std::vector<uint8_t> stream;
    PutLittle32(stream, 0xDEADBEEF);
    for (uint32_t length : lengths) PutLittle32(stream, length);
    PutLittle32(stream, 0x12345678);
    return Join(Join(Join(stream, blue), green), red);
}

int DrawPlanar(FrameBuffer& frameBuffer, const uint8_t* record, size_t size, int depth) {
    return DrawPlanarRectangles(frameBuffer, record, size, depth);
}

class PlanarRleTest : public test::DecoderTest {
protected:
    int Draw(const std::vector<uint8_t>& record, int depth = 24) {
        return DecoderTest::Draw(DrawPlanar, record, depth);
    }
    // One plane's bytes of a rectangle (byte `p` of each pixel).
    std::vector<uint8_t> PlaneOf(int x, int y, int width, int height, int p) const {
        const std::vector<uint8_t> area = Area(x, y, width, height);
        std::vector<uint8_t> plane;
        for (size_t i = static_cast<size_t>(p); i < area.size(); i += 4) plane.push_back(area[i]);
        return plane;
    }
};

TEST_F(PlanarRleTest, CodesOfOnePlane) {
    struct Case {
        const char* name;
        std::vector<uint8_t> codes;     // for a 4x1 rectangle
        std::vector<uint8_t> expected;  // its plane bytes
    };
    const Case cases[] = {
        {"a run of three, then a single", {0x07, 0x40, 0x22}, {0x40, 0x40, 0x40, 0x22}},
        {"singles", {0x00, 0x02, 0xFE, 0x10}, {0x00, 0x02, 0xFE, 0x10}},
        {"a run of 0 takes its value byte", {0x01, 0x77, 0x09, 0x33}, {0x33, 0x33, 0x33, 0x33}},
        {"a run value may be odd", {0x09, 0xFF}, {0xFF, 0xFF, 0xFF, 0xFF}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Create(6, 2, 24);
        // The same codes in the green plane; blue and red have runs of their own.
        EXPECT_EQ(Draw(ImageUpdateRecord({{1, 1, 4, 1, Stream({0x09, 0x10}, c.codes, {0x20, 0x22, 0x05, 0x24})}})), 1);
        EXPECT_EQ(PlaneOf(1, 1, 4, 1, 1), c.expected);
        EXPECT_EQ(PlaneOf(1, 1, 4, 1, 0), (std::vector<uint8_t>{0x10, 0x10, 0x10, 0x10}));
        EXPECT_EQ(PlaneOf(1, 1, 4, 1, 2), (std::vector<uint8_t>{0x20, 0x22, 0x24, 0x24}));
        // The fourth byte is left as it was, and so is everything around the rectangle.
        EXPECT_EQ(PlaneOf(1, 1, 4, 1, 3), std::vector<uint8_t>(4, kBackground));
        EXPECT_EQ(PixelBytes(0, 1), std::vector<uint8_t>(4, kBackground));
        EXPECT_EQ(PixelBytes(5, 1), std::vector<uint8_t>(4, kBackground));
        EXPECT_EQ(Area(0, 0, 6, 1), std::vector<uint8_t>(24, kBackground));
        EXPECT_EQ(m_events.repaints, (std::vector<RepaintCall>{{1, 1, 4, 1}}));
    }
}

TEST_F(PlanarRleTest, RunsCarryOnAcrossRows) {
    Create(4, 3, 24);
    // 2x3: blue a run of 5 over rows 0, 1 and 2, then a single; green a run of 127 cut by
    // the rectangle's end; red singles around a run of 1.
    EXPECT_EQ(Draw(ImageUpdateRecord({{1, 0, 2, 3, Stream({0x0B, 0x60, 0x62}, {0xFF, 0x44}, {0x04, 0x03, 0x06, 0x08, 0x0A, 0x0C, 0x0E})}})), 1);
    EXPECT_EQ(PlaneOf(1, 0, 2, 3, 0), (std::vector<uint8_t>{0x60, 0x60, 0x60, 0x60, 0x60, 0x62}));
    EXPECT_EQ(PlaneOf(1, 0, 2, 3, 1), (std::vector<uint8_t>(6, 0x44)));
    EXPECT_EQ(PlaneOf(1, 0, 2, 3, 2), (std::vector<uint8_t>{0x04, 0x06, 0x08, 0x0A, 0x0C, 0x0E}));
}

TEST_F(PlanarRleTest, EveryRectangleIsDecodedFromTheStreamStart) {
    Create(4, 2, 24);
    const std::vector<uint8_t> stream = Stream({0x02, 0x04}, {0x06, 0x08}, {0x0A, 0x0C});
    EXPECT_EQ(Draw(ImageUpdateRecord({{0, 0, 2, 1, stream}, {2, 1, 2, 1, {}}})), 2);
    const std::vector<uint8_t> pixels = {0x02, 0x06, 0x0A, kBackground, 0x04, 0x08, 0x0C, kBackground};
    EXPECT_EQ(PixelBytes(0, 0, 2), pixels);
    EXPECT_EQ(PixelBytes(2, 1, 2), pixels);
    EXPECT_EQ(m_events.repaints, (std::vector<RepaintCall>{{0, 0, 4, 2}}));
}

TEST_F(PlanarRleTest, PlanesThatEndEarlyStopThereWithOneRecord) {
    struct Case {
        const char* name;
        std::vector<uint8_t> stream;  // for a 2x2 rectangle
        std::vector<std::vector<uint8_t>> planes;
    };
    const std::vector<uint8_t> bg2(2, kBackground);
    const Case cases[] = {
        {"green plane short", Stream({0x09, 0x10}, {0x20}, {0x09, 0x30}),
         {{0x10, 0x10, 0x10, 0x10}, Join({0x20}, {kBackground, kBackground, kBackground}), {0x30, 0x30, 0x30, 0x30}}},
        {"run without its value", Stream({0x09, 0x10}, {0x22, 0x07}, {0x09, 0x30}),
         {{0x10, 0x10, 0x10, 0x10}, Join({0x22}, {kBackground, kBackground, kBackground}), {0x30, 0x30, 0x30, 0x30}}},
        {"plane lengths past the stream", Stream({0x09, 0x10}, {0x09, 0x20}, {0x02}, {2, 2, 0x7FFFFFFF}),
         {{0x10, 0x10, 0x10, 0x10}, {0x20, 0x20, 0x20, 0x20}, Join({0x02}, {kBackground, kBackground, kBackground})}},
        {"plane 0 swallows the stream", Stream({0x09, 0x10}, {0x09, 0x20}, {0x09, 0x30}, {0xFFFFFFFF, 2, 2}),
         {{0x10, 0x10, 0x10, 0x10}, std::vector<uint8_t>(4, kBackground), std::vector<uint8_t>(4, kBackground)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        OpenLog(dir.file("log.txt"));
        Create(2, 2, 24);
        EXPECT_EQ(Draw(ImageUpdateRecord({{0, 0, 2, 2, c.stream}})), 1);
        for (int p = 0; p < 3; ++p) EXPECT_EQ(PlaneOf(0, 0, 2, 2, p), c.planes[static_cast<size_t>(p)]) << "plane " << p;
        ResetLogForTesting();
        EXPECT_EQ(test::CountOf(test::ReadWholeFile(dir.file("log.txt")), "Planar rectangle"), 1u);
    }
}

TEST_F(PlanarRleTest, CutAtEveryByteNeverReadsPastTheData) {
    Create(4, 3, 24);
    const std::vector<uint8_t> stream =
        Stream({0x05, 0x60, 0x02, 0x04, 0x03, 0x08}, {0x0D, 0x70}, {0x02, 0x04, 0x06, 0x08, 0x0A, 0x0C});
    ExpectCutsDrawPrefixes(DrawPlanar, {1, 1, 3, 2, stream}, 24, 4);
}

TEST_F(PlanarRleTest, OtherDepthsCheckTheRectanglesAndDrawNothing) {
    const std::vector<uint8_t> stream = Stream({0x09, 0x10}, {0x09, 0x20}, {0x09, 0x30});
    for (int depth : {8, 16, 124, 224, 32}) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        test::TempDir dir;
        OpenLog(dir.file("log.txt"));
        SetDebugLevel(10);
        Create(4, 1, depth == 8 || depth == 16 ? depth : 24);
        const std::vector<uint8_t> before = Area(0, 0, 4, 1);
        EXPECT_EQ(Draw(ImageUpdateRecord({{0, 0, 4, 1, stream}, {2, 0, 4, 1, {}}}), depth), 0);
        EXPECT_EQ(Area(0, 0, 4, 1), before);
        EXPECT_TRUE(m_events.repaints.empty());
        ResetLogForTesting();
        EXPECT_EQ(test::CountOf(test::ReadWholeFile(dir.file("log.txt")), "Error: data from server is out of bounds!!!"), 1u);
    }
}

TEST_F(PlanarRleTest, StreamOutsideTheFirstRectangleDrawsNothingFromIt) {
    Create(2, 1, 24);
    const std::vector<uint8_t> record = ImageUpdateRecord({{0, 0, 2, 1, Stream({0x05, 0x10}, {0x05, 0x20}, {0x05, 0x30})}});
    test::ExactBytes exact(record);
    // A stream offset behind the first rectangle's data: empty planes, nothing written.
    EXPECT_EQ(DrawPlanarRectangles(m_fb, exact.data.get(), exact.size, 24, record.size() + 1), 0);
    EXPECT_EQ(Area(0, 0, 2, 1), std::vector<uint8_t>(8, kBackground));
    EXPECT_TRUE(m_events.repaints.empty());
}

}  // namespace
}  // namespace corvane
