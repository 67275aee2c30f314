// The generated desktop: the same pixels for the same inputs, a full-screen update that a
// client draws into exactly the rendered frame (no pixel left out as "unchanged"), and
// moving updates whose tiles carry every pixel that changed from one frame to the next.
#include <gtest/gtest.h>

#include "raw_image_decoder.h"
#include "tools/testserver/desktop.h"
#include "tools/testserver/server_messages.h"

namespace corvane::testserver {

void PrintTo(const DesktopLayout& layout, std::ostream* out) {
    *out << layout.width << "x" << layout.height << "x" << layout.depth << " seed " << layout.seed;
}

namespace {

using test::BE32;
using test::DrawRawUpdate;
using test::RgbCanvas;

class DesktopTest : public ::testing::TestWithParam<DesktopLayout> {};

// Checks the record header of an update in wire order and draws it onto the canvas.
void Draw(const std::vector<uint8_t>& body, int depth, RgbCanvas& canvas) {
    ASSERT_GE(body.size(), 32u);
    EXPECT_EQ((body[0] << 8) | body[1], 1007);
    EXPECT_EQ(BE32(&body[4]), body.size());
    EXPECT_EQ((body[8] << 8) | body[9], 257);
    EXPECT_EQ(BE32(&body[12]), 4u);
    EXPECT_EQ(BE32(&body[16]), static_cast<uint32_t>(depth));
    EXPECT_EQ(DrawRawUpdate(body.data() + 32, body.size() - 32, depth, DesktopColourTable(), canvas), "");
}

TEST_P(DesktopTest, RendersTheSamePixelsForTheSameInputs) {
    const DesktopLayout layout = GetParam();
    EXPECT_EQ(RenderDesktopRgb(layout, 7), RenderDesktopRgb(layout, 7));
    DesktopLayout otherSeed = layout;
    otherSeed.seed = layout.seed + 1;
    EXPECT_NE(RenderDesktopRgb(layout, 0), RenderDesktopRgb(otherSeed, 0));
}

TEST_P(DesktopTest, FullScreenUpdateDrawsTheRenderedFrame) {
    const DesktopLayout layout = GetParam();
    const Desktop desktop(layout);
    const std::vector<uint8_t> body = ImageUpdateBody(desktop, 0, desktop.FullScreenTiles());
    for (const PixelRect& tile : desktop.FullScreenTiles()) {
        EXPECT_LE(tile.width, kFullScreenTile);
        EXPECT_LE(tile.height, kFullScreenTile);
    }
    // Two canvases of different fill: a pixel sent as "unchanged" would show its fill.
    for (uint8_t fill : {uint8_t{0x00}, uint8_t{0xFF}}) {
        RgbCanvas canvas(desktop.Width(), desktop.Height(), fill);
        Draw(body, layout.depth, canvas);
        EXPECT_EQ(canvas.rgb, RenderDesktopRgb(layout, 0)) << "fill " << int(fill);
    }
}

TEST_P(DesktopTest, ChangedTilesCarryEveryChangedPixel) {
    const DesktopLayout layout = GetParam();
    const Desktop desktop(layout);
    RgbCanvas canvas(desktop.Width(), desktop.Height(), 0);
    canvas.rgb = RenderDesktopRgb(layout, 0);
    // Enough frames for the box to bounce off an edge of the smaller desktops.
    for (int frame = 1; frame <= 30; ++frame) {
        const std::vector<uint8_t> before = canvas.rgb;
        Draw(ImageUpdateBody(desktop, frame, desktop.ChangedTiles(frame)), layout.depth, canvas);
        const std::vector<uint8_t> expected = RenderDesktopRgb(layout, frame);
        ASSERT_EQ(canvas.rgb, expected) << "frame " << frame;
        EXPECT_NE(expected, before) << "frame " << frame << " shows no movement";
    }
}

INSTANTIATE_TEST_SUITE_P(Geometries, DesktopTest,
                         ::testing::Values(DesktopLayout{320, 200, 24, 1}, DesktopLayout{320, 200, 8, 1},
                                           DesktopLayout{97, 61, 24, 5}, DesktopLayout{130, 70, 8, 9},
                                           DesktopLayout{600, 300, 24, 3}),
                         [](const auto& info) {
                             const DesktopLayout& s = info.param;
                             return std::to_string(s.width) + "x" + std::to_string(s.height) + "x" +
                                    std::to_string(s.depth);
                         });

}  // namespace
}  // namespace corvane::testserver
