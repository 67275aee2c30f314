// The client and the test server as programs on loopback, with JPEG image updates: the
// client's screen must be what libjpeg-turbo itself makes of the images the server sent,
// layered in the order they were sent, and close to the server's desktop.
#include <gtest/gtest.h>

#include <turbojpeg.h>

#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "end_to_end_fixture.h"
#include "png_reader.h"
#include "tools/testserver/desktop.h"
#include "tools/testserver/jpeg_image_updates.h"

namespace corvane::test {
namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
// The client decodes with the library the reference uses, so the screens should agree
// exactly; one step of rounding is allowed in case the build picks other SIMD paths.
constexpr int kLibraryTolerance = 1;
// JPEG loses detail: the mean difference from the desktop stays small, whatever the
// colour layout.
constexpr double kMeanDesktopTolerance = 4.0;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The screen a client shows after the full screen and `moving` updates, decoded here by
// TurboJPEG from the very images the server sends.
std::vector<uint8_t> ExpectedScreen(uint32_t compform, int moving) {
    const testserver::DesktopLayout layout{kWidth, kHeight, 24, 1};
    const testserver::Desktop desktop(layout);
    const testserver::JpegSettings settings = testserver::JpegSettingsForCompform(compform);
    std::vector<uint8_t> screen(static_cast<size_t>(kWidth) * kHeight * 3);
    tjhandle handle = tjInitDecompress();
    for (int frame = 0; frame <= moving; ++frame) {
        const auto rects = frame == 0 ? desktop.FullScreenTiles() : desktop.ChangedTiles(frame);
        if (rects.empty()) continue;
        const testserver::PixelRect box = testserver::BoundingBox(rects);
        const std::vector<uint8_t> rgb = testserver::DesktopRgb(desktop, frame, box);
        const std::vector<uint8_t> jpeg = testserver::EncodeJpegImage(
            rgb.data(), box.width, box.height, box.width * 3, settings.quality, settings.sampling, settings.progressive);
        std::vector<uint8_t> decoded(rgb.size());
        EXPECT_EQ(tjDecompress2(handle, jpeg.data(), jpeg.size(), decoded.data(), box.width, 0, box.height, TJPF_RGB, 0),
                  0);
        for (int row = 0; row < box.height; ++row) {
            std::copy_n(decoded.begin() + static_cast<std::ptrdiff_t>(row) * box.width * 3, box.width * 3,
                        screen.begin() + (static_cast<std::ptrdiff_t>(box.y + row) * kWidth + box.x) * 3);
        }
    }
    tjDestroy(handle);
    return screen;
}

struct JpegCase {
    const char* name;
    uint32_t compform;
    int movingFrames;
};

void PrintTo(const JpegCase& c, std::ostream* os) { *os << c.name; }

class JpegEndToEndTest : public EndToEndTest, public ::testing::WithParamInterface<JpegCase> {};

TEST_P(JpegEndToEndTest, ScreenIsTheLibrarysDecodeOfWhatWasSent) {
    const JpegCase& c = GetParam();
    // The server's own envelope stays compstd: JPEG images go compext whatever it is.
    std::vector<std::string> server = {"--compform", std::to_string(c.compform)};
    if (c.movingFrames == 0) {
        server.push_back("--static");
    } else {
        server.insert(server.end(), {"--frames", std::to_string(c.movingFrames), "--frame-interval", "20"});
    }
    ASSERT_TRUE(StartServer(server));
    const std::string shot = m_dir.file("shot.png");
    ClientRun run = RunClient({"--exit-after-frames", std::to_string(c.movingFrames + 1), "--exit-after", "30",
                               "--screenshot", shot},
                              ConnectionFile());
    EXPECT_EQ(run.exitCode, 0) << run.log;
    EXPECT_FALSE(Contains(run.stderrText, "JPEGIPP")) << run.stderrText;

    RgbImage image;
    ASSERT_TRUE(ReadRgbPng(ReadWholeFile(shot), image)) << shot;
    ASSERT_EQ(image.width, kWidth);
    ASSERT_EQ(image.height, kHeight);
    const std::vector<uint8_t> expected = ExpectedScreen(c.compform, c.movingFrames);
    const std::vector<uint8_t> desktop = testserver::RenderDesktopRgb({kWidth, kHeight, 24, 1}, c.movingFrames);
    ASSERT_EQ(image.rgb.size(), expected.size());
    size_t beyondTolerance = 0;
    double desktopDifference = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
        beyondTolerance += std::abs(image.rgb[i] - expected[i]) > kLibraryTolerance;
        desktopDifference += std::abs(image.rgb[i] - desktop[i]);
    }
    EXPECT_EQ(beyondTolerance, 0u) << "bytes more than " << kLibraryTolerance << " from libjpeg-turbo's decode";
    EXPECT_LT(desktopDifference / static_cast<double>(desktop.size()), kMeanDesktopTolerance);

    if (c.movingFrames > 0) {
        EXPECT_TRUE(Contains(run.log, "Updating FB  compform = " + std::to_string(c.compform) + "\n")) << run.log;
    }
    (void)ServerLog();
}

INSTANTIATE_TEST_SUITE_P(Jpeg, JpegEndToEndTest,
                         ::testing::Values(JpegCase{"Baseline420", 10, 0}, JpegCase{"Baseline420Moving", 10, 3},
                                           JpegCase{"Baseline444Moving", 11, 3},
                                           JpegCase{"Progressive420Moving", 12, 3}),
                         [](const ::testing::TestParamInfo<JpegCase>& info) { return std::string(info.param.name); });

// An 8-bit session cannot show JPEG: the server sends raw updates and the screen is exact.
TEST_F(EndToEndTest, JpegCompformOnAnIndexedSessionFallsBackToRaw) {
    ASSERT_TRUE(StartServer({"--compform", "11", "--static"}));
    const std::string shot = m_dir.file("shot.png");
    ClientRun run = RunClient({"--exit-after-frames", "1", "--exit-after", "30", "--screenshot", shot},
                              ConnectionFile("DisplayDepth 8\r\nDisplayVisual 3\r\n"));
    EXPECT_EQ(run.exitCode, 0) << run.log;
    RgbImage image;
    ASSERT_TRUE(ReadRgbPng(ReadWholeFile(shot), image)) << shot;
    EXPECT_EQ(image.rgb, testserver::RenderDesktopRgb({kWidth, kHeight, 8, 1}, 0));
    (void)ServerLog();
}

}  // namespace
}  // namespace corvane::test
