// The cursor the test server sends is the display's picture as the client shows it.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "display/cursor_shape.h"
#include "protocol/message_types.h"
#include "protocol/records.h"
#include "tools/testserver/server_messages.h"

namespace corvane::testserver {
namespace {

constexpr uint32_t kWhite = 0xFFFFFFFF;
constexpr uint32_t kBlack = 0xFF000000;
constexpr uint32_t kClear = 0x00000000;
constexpr uint32_t kFaintWhite = 0x40404040;  // premultiplied, mostly transparent
constexpr uint32_t kGrey = 0xFF909090;        // lighter than half
constexpr uint32_t kDarkGrey = 0xFF606060;    // darker than half

// What the client makes of a cursor-shape body (system cursor size 32).
CursorImage Decoded(const std::vector<uint8_t>& body) {
    EXPECT_GE(body.size(), kRecordHeaderSize + CursorShapeLayout::kData);
    std::vector<uint8_t> record(body.begin() + static_cast<std::ptrdiff_t>(kRecordHeaderSize), body.end());
    RecordToHost(record.data(), ZRPPROTOCOL_MH_MESSCRSH, CursorShapeLayout::kData);
    const std::optional<CursorImage> image = DecodeCursorShape(record.data(), record.size());
    EXPECT_TRUE(image.has_value());
    return image.value_or(CursorImage{});
}

TEST(CursorShapeBodyTest, OpaqueLightAndDarkPixelsAreShownAndTheRestIsClear) {
    // 10 wide: the second byte of each row holds two pixels.
    CursorPicture picture{10, 2, 9, 1, {}};
    picture.pixels = {kWhite, kBlack, kClear, kFaintWhite, kGrey, kDarkGrey, kClear, kClear, kBlack, kWhite,
                      kBlack, kClear, kWhite, kClear,      kClear, kClear,   kClear, kClear, kWhite, kBlack};
    const CursorImage image = Decoded(CursorShapeBody(picture));
    ASSERT_EQ(image.kind, CursorImage::Kind::Picture);
    EXPECT_EQ(image.hotX, 9);
    EXPECT_EQ(image.hotY, 1);
    const uint32_t expected[2][10] = {
        {kCursorWhite, kCursorBlack, kCursorTransparent, kCursorTransparent, kCursorWhite, kCursorBlack,
         kCursorTransparent, kCursorTransparent, kCursorBlack, kCursorWhite},
        {kCursorBlack, kCursorTransparent, kCursorWhite, kCursorTransparent, kCursorTransparent, kCursorTransparent,
         kCursorTransparent, kCursorTransparent, kCursorWhite, kCursorBlack}};
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 10; ++x) {
            EXPECT_EQ(image.normal[static_cast<size_t>(y * image.width + x)], expected[y][x]) << x << "," << y;
        }
    }
    // Nothing outside the picture.
    EXPECT_EQ(image.normal[static_cast<size_t>(2 * image.width)], kCursorTransparent);
}

TEST(CursorShapeBodyTest, APictureTooLargeIsCutAndItsHotSpotKeptInside) {
    CursorPicture picture{kMaxSentCursorSide + 6, kMaxSentCursorSide + 6, 68, 69, {}};
    picture.pixels.assign(static_cast<size_t>(picture.width * picture.height), kBlack);
    const CursorImage image = Decoded(CursorShapeBody(picture));
    EXPECT_EQ(image.width, kMaxSentCursorSide);
    EXPECT_EQ(image.hotX, kMaxSentCursorSide - 1);
    EXPECT_EQ(image.hotY, kMaxSentCursorSide - 1);
    EXPECT_EQ(image.normal.back(), kCursorBlack);

    // Fewer pixels than the size claims: an empty shape, nothing read past them.
    picture.pixels.resize(10);
    const std::vector<uint8_t> body = CursorShapeBody(picture);
    EXPECT_EQ(body.size(), kRecordHeaderSize + CursorShapeLayout::kData);
}

}  // namespace
}  // namespace corvane::testserver
