// The client and the test server as programs on loopback, with drawing requests: JFIF frames
// decoded on the client's worker threads and VP8 video frames. The client's screen must match
// what libjpeg-turbo and libvpx themselves make of the frames the server sent.
#include <gtest/gtest.h>
#include <turbojpeg.h>
#include <vpx/vp8dx.h>
#include <vpx/vpx_decoder.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "end_to_end_fixture.h"
#include "png_reader.h"
#include "tools/testserver/desktop.h"
#include "tools/testserver/drawing_stream.h"

namespace corvane::test {
namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// libjpeg-turbo's own decode of the last JFIF frame, red, green, blue.
std::vector<uint8_t> JfifReference(const std::vector<uint8_t>& jfif) {
    std::vector<uint8_t> rgb(static_cast<size_t>(kWidth) * kHeight * 3);
    tjhandle handle = tjInitDecompress();
    const int result = tjDecompress2(handle, jfif.data(), static_cast<unsigned long>(jfif.size()),
                                     rgb.data(), kWidth, 0, kHeight, TJPF_RGB, 0);
    tjDestroy(handle);
    return result == 0 ? rgb : std::vector<uint8_t>{};
}

uint8_t Channel(double value) {
    return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

// libvpx's own decode of the whole stream, converted with the real-valued formula.
std::vector<uint8_t> VideoReference(const std::vector<std::vector<uint8_t>>& frames) {
    vpx_codec_ctx_t codec;
    if (vpx_codec_dec_init(&codec, vpx_codec_vp8_dx(), nullptr, 0) != VPX_CODEC_OK) return {};
    std::vector<uint8_t> rgb;
    for (const std::vector<uint8_t>& frame : frames) {
        if (vpx_codec_decode(&codec, frame.data() + 12, static_cast<unsigned>(frame.size() - 12),
                             nullptr, 0) != VPX_CODEC_OK) {
            break;
        }
        vpx_codec_iter_t iterator = nullptr;
        while (const vpx_image_t* image = vpx_codec_get_frame(&codec, &iterator)) {
            rgb.assign(static_cast<size_t>(kWidth) * kHeight * 3, 0);
            for (int y = 0; y < kHeight; ++y) {
                for (int x = 0; x < kWidth; ++x) {
                    const double luma = image->planes[0][y * image->stride[0] + x];
                    const double u = image->planes[1][(y / 2) * image->stride[1] + x / 2] - 128.0;
                    const double v = image->planes[2][(y / 2) * image->stride[2] + x / 2] - 128.0;
                    uint8_t* out = &rgb[(static_cast<size_t>(y) * kWidth + x) * 3];
                    out[0] = Channel(luma + 1.140 * v);
                    out[1] = Channel(luma - 0.394 * u - 0.581 * v);
                    out[2] = Channel(luma + 2.032 * u);
                }
            }
        }
    }
    vpx_codec_destroy(&codec);
    return rgb;
}

struct DrawingCase {
    const char* name;
    uint32_t compform;
    int movingFrames;  // frames after the first; the screen then shows this desktop frame
    int tolerance;     // per channel, against the library's own decode
};

void PrintTo(const DrawingCase& c, std::ostream* os) {
    *os << c.name;
}

class DrawingEndToEndTest : public EndToEndTest,
                            public ::testing::WithParamInterface<DrawingCase> {};

TEST_P(DrawingEndToEndTest, ScreenMatchesTheLibrarysOwnDecode) {
    const DrawingCase& c = GetParam();
    std::vector<std::string> server = {"--compform", std::to_string(c.compform)};
    if (c.movingFrames == 0) {
        server.push_back("--static");
    } else {
        server.insert(server.end(),
                      {"--frames", std::to_string(c.movingFrames), "--frame-interval", "20"});
    }
    ASSERT_TRUE(StartServer(server));
    const std::string shot = m_dir.file("shot.png");
    ClientRun run = RunClient({"--exit-after-frames", std::to_string(c.movingFrames + 1),
                               "--exit-after", "30", "--screenshot", shot},
                              ConnectionFile());
    EXPECT_EQ(run.exitCode, 0) << run.log;

    RgbImage image;
    ASSERT_TRUE(ReadRgbPng(ReadWholeFile(shot), image)) << shot;
    ASSERT_EQ(image.width, kWidth);
    ASSERT_EQ(image.height, kHeight);

    // The same stream again: both encoders are deterministic.
    const testserver::Desktop desktop({kWidth, kHeight, 24, 1});
    testserver::DrawingStream stream(desktop, c.compform);
    std::vector<std::vector<uint8_t>> frames;
    for (int frame = 0; frame <= c.movingFrames; ++frame) frames.push_back(stream.Frame(frame));
    const std::vector<uint8_t> expected = c.compform == testserver::kCompformVideo
                                              ? VideoReference(frames)
                                              : JfifReference(frames.back());
    ASSERT_EQ(image.rgb.size(), expected.size());
    int worst = 0;
    for (size_t i = 0; i < expected.size(); ++i)
        worst = std::max(worst, std::abs(image.rgb[i] - expected[i]));
    EXPECT_LE(worst, c.tolerance) << "largest channel difference from the library's decode";

    EXPECT_TRUE(Contains(run.log, "Received Drawing Request: 640x480 @ 0,0 : ")) << run.log;
    EXPECT_FALSE(Contains(run.log, "No threads available")) << run.log;
    EXPECT_FALSE(Contains(run.log, "Decompression routine returned")) << run.log;
    EXPECT_FALSE(Contains(run.log, "Failed to decode frame")) << run.log;
}

// JFIF: the restricted decoder and libjpeg-turbo may round the upsampled chroma differently.
// Video: the fixed-point conversion is within one unit of the formula.
INSTANTIATE_TEST_SUITE_P(
    Frames, DrawingEndToEndTest,
    ::testing::Values(DrawingCase{"Jfif101", 101, 0, 2}, DrawingCase{"Jfif102Moving", 102, 4, 2},
                      DrawingCase{"Video201", 201, 0, 1}, DrawingCase{"Video201Moving", 201, 4, 1}),
    [](const ::testing::TestParamInfo<DrawingCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvane::test
