// The client and the test server as programs on loopback, with image updates in each
// rectangle encoding: the client's screen must equal the server's desktop pixel for pixel,
// first picture and moving updates alike.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "end_to_end_fixture.h"
#include "png_reader.h"
#include "tools/testserver/desktop.h"

namespace corvane::test {
namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

struct EncodingCase {
    const char* name;
    std::string compform;
    int depth;        // 8, 16 or 24: what the test server grants
    int movingFrames; // updates after the first picture; the screen then shows this frame
    std::string envelope = "compstd";
    bool fiveBitChannels = false;  // 16-bit pixels keep the top 5 bits of each channel
};

// Test names, not bytes, in failure messages.
void PrintTo(const EncodingCase& c, std::ostream* os) { *os << c.name; }

class EncodingsEndToEndTest : public EndToEndTest, public ::testing::WithParamInterface<EncodingCase> {};

TEST_P(EncodingsEndToEndTest, ScreenEqualsTheServersDesktop) {
    const EncodingCase& c = GetParam();
    std::vector<std::string> server = {"--compform", c.compform, "--envelope", c.envelope};
    if (c.movingFrames == 0) {
        server.push_back("--static");
    } else {
        server.insert(server.end(), {"--frames", std::to_string(c.movingFrames), "--frame-interval", "20"});
    }
    ASSERT_TRUE(StartServer(server));
    const std::string shot = m_dir.file("shot.png");
    const std::string depthLines = c.depth == 8    ? "DisplayDepth 8\r\nDisplayVisual 3\r\n"
                                   : c.depth == 16 ? "DisplayDepth 16\r\nDisplayVisual 4\r\n"
                                                   : "";
    ClientRun run = RunClient({"--exit-after-frames", std::to_string(c.movingFrames + 1), "--exit-after", "30",
                               "--screenshot", shot},
                              ConnectionFile(depthLines));
    EXPECT_EQ(run.exitCode, 0) << run.log;

    RgbImage image;
    ASSERT_TRUE(ReadRgbPng(ReadWholeFile(shot), image)) << shot;
    ASSERT_EQ(image.width, kWidth);
    ASSERT_EQ(image.height, kHeight);
    std::vector<uint8_t> expected = testserver::RenderDesktopRgb({kWidth, kHeight, c.depth, 1}, c.movingFrames);
    if (c.fiveBitChannels) {
        for (uint8_t& channel : expected) channel &= 0xF8;
    }
    if (c.depth == 16) {
        // Five bits a channel, shown widened to eight.
        for (uint8_t& channel : expected) channel = static_cast<uint8_t>((channel & 0xF8) | channel >> 5);
    }
    ASSERT_EQ(image.rgb.size(), expected.size());
    size_t differing = 0;
    for (size_t i = 0; i < expected.size(); ++i) differing += image.rgb[i] != expected[i];
    EXPECT_EQ(differing, 0u) << "bytes that differ from the server's desktop";

    const std::string serverLog = ServerLog();
    EXPECT_TRUE(Contains(serverLog, "depth=" + std::to_string(c.depth))) << serverLog;
    // Each update names its compform; the client logs it from the second update on.
    if (c.movingFrames > 0) {
        EXPECT_TRUE(Contains(run.log, "Updating FB  compform = " + c.compform + "\n")) << run.log;
    }
    EXPECT_FALSE(Contains(run.log, "out of bounds")) << run.log;
    EXPECT_FALSE(Contains(run.log, "before its last pixel")) << run.log;
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, EncodingsEndToEndTest,
    ::testing::Values(EncodingCase{"PaletteChunks24", "2", 24, 0}, EncodingCase{"PaletteChunks24Moving", "1", 24, 3},
                      EncodingCase{"PaletteChunks8", "3", 8, 0}, EncodingCase{"PaletteChunks8Moving", "3", 8, 3},
                      EncodingCase{"Pixels16In24", "7", 24, 0, "compstd", true},
                      EncodingCase{"Pixels16In24Moving", "8", 24, 3, "compstd", true},
                      EncodingCase{"Pixels16In8", "7", 8, 0}, EncodingCase{"Pixels16In8Moving", "8", 8, 3},
                      EncodingCase{"Raw16", "4", 16, 0}, EncodingCase{"Raw16Moving", "5", 16, 3},
                      EncodingCase{"PaletteChunks16Moving", "2", 16, 3},
                      EncodingCase{"Pixels16In16Moving", "8", 16, 3},
                      EncodingCase{"Planar24", "6", 24, 0}, EncodingCase{"Planar24Moving", "9", 24, 3},
                      EncodingCase{"Planar24PlainEnvelope", "6", 24, 3, "plain"},
                      EncodingCase{"PaletteChunks24Compext", "2", 24, 3, "compext"}),
    [](const ::testing::TestParamInfo<EncodingCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvane::test
