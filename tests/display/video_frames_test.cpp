#include "display/video_frames.h"

#include <gtest/gtest.h>
#include <vpx/vp8cx.h>
#include <vpx/vpx_encoder.h>

#include <cstring>
#include <string>
#include <vector>

#include "config/log.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

constexpr uint8_t kUntouched = 0x11;

// One VP8 key frame of a grey image whose rows [0, darkRows) have luma 40 and the rest 200,
// behind the 12-byte header the server writes.
std::vector<uint8_t> GreyFrame(int width, int height, int darkRows) {
    std::vector<uint8_t> planes(static_cast<size_t>(width) * height * 3 / 2, 128);
    for (int row = 0; row < height; ++row) {
        std::memset(&planes[static_cast<size_t>(row) * width], row < darkRows ? 40 : 200, width);
    }
    vpx_codec_enc_cfg_t config;
    EXPECT_EQ(vpx_codec_enc_config_default(vpx_codec_vp8_cx(), &config, 0), VPX_CODEC_OK);
    config.g_w = static_cast<unsigned>(width);
    config.g_h = static_cast<unsigned>(height);
    config.rc_min_quantizer = 0;
    config.rc_max_quantizer = 4;
    vpx_codec_ctx_t codec;
    EXPECT_EQ(vpx_codec_enc_init(&codec, vpx_codec_vp8_cx(), &config, 0), VPX_CODEC_OK);
    vpx_image_t image;
    vpx_img_wrap(&image, VPX_IMG_FMT_I420, static_cast<unsigned>(width),
                 static_cast<unsigned>(height), 1, planes.data());
    std::vector<uint8_t> frame(12, 0);
    for (vpx_image_t* input : {&image, static_cast<vpx_image_t*>(nullptr)}) {
        EXPECT_EQ(vpx_codec_encode(&codec, input, 0, 1, VPX_EFLAG_FORCE_KF, VPX_DL_GOOD_QUALITY),
                  VPX_CODEC_OK);
        vpx_codec_iter_t iterator = nullptr;
        while (const vpx_codec_cx_pkt_t* packet = vpx_codec_get_cx_data(&codec, &iterator)) {
            if (packet->kind != VPX_CODEC_CX_FRAME_PKT) continue;
            const auto* bytes = static_cast<const uint8_t*>(packet->data.frame.buf);
            frame.insert(frame.end(), bytes, bytes + packet->data.frame.sz);
        }
    }
    vpx_codec_destroy(&codec);
    const uint32_t size = static_cast<uint32_t>(frame.size() - 12);
    for (int i = 0; i < 4; ++i) frame[i] = static_cast<uint8_t>(size >> (8 * i));
    return frame;
}

class VideoFrameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetLogForTesting();
        OpenLog(m_dir.file("log.txt"));
    }
    void TearDown() override { ResetLogForTesting(); }
    void Create(int depth) {
        ASSERT_TRUE(m_fb.CreateWorkBitmap(32, 32, depth, true));
        std::memset(m_fb.Pixels(), kUntouched, m_fb.Stride() * static_cast<size_t>(m_fb.Height()));
    }
    [[nodiscard]] std::string Log() const { return test::ReadWholeFile(m_dir.file("log.txt")); }

    test::TempDir m_dir;
    FrameBuffer m_fb;
};

TEST_F(VideoFrameTest, ImagesAreShownFromTheTopOfTheBitmapWithinBothSizes) {
    struct Case {
        const char* name;
        int depth, width, height, darkRows;
        int shownWidth, shownHeight;  // 0 x 0: nothing is drawn
    };
    const Case cases[] = {
        {"same size", 24, 32, 32, 0, 32, 32},
        {"16 rows taller: the first 16 are not shown", 24, 32, 48, 16, 32, 32},
        {"narrower: only its own width", 24, 16, 32, 0, 16, 32},
        {"shorter and wider", 24, 48, 16, 0, 32, 16},
        {"multimode bitmap: byte 3 (the colour-table index) kept", 124, 32, 32, 0, 32, 32},
        {"16-bit bitmap: nothing", 16, 32, 32, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Create(c.depth);
        VideoFrameDecoder decoder;
        const std::vector<uint8_t> frame = GreyFrame(c.width, c.height, c.darkRows);
        ASSERT_EQ(decoder.DecodeFrame(frame.data(), frame.size(), m_fb), 0);
        if (c.shownWidth == 0) {
            for (size_t i = 0; i < m_fb.Stride() * m_fb.Height(); ++i)
                ASSERT_EQ(m_fb.Pixels()[i], kUntouched);
            continue;
        }
        for (int row = 0; row < 32; ++row) {
            for (int x = 0; x < 32; ++x) {
                const uint8_t* p = m_fb.Pixels() + row * m_fb.Stride() + x * 4;
                const bool shown = x < c.shownWidth && row < c.shownHeight;
                for (int channel = 0; channel < 3; ++channel) {
                    if (shown) {
                        ASSERT_NEAR(p[channel], 200, 4) << x << "," << row;
                    } else {
                        ASSERT_EQ(p[channel], kUntouched) << x << "," << row;
                    }
                }
                // Depth 24 writes byte 3 as zero rather than read the frame buffer to keep it.
                ASSERT_EQ(p[3], shown && c.depth == 24 ? 0 : kUntouched) << x << "," << row;
            }
        }
    }
}

TEST_F(VideoFrameTest, FrameSizeIsCheckedAgainstTheLimitAndTheMessage) {
    struct Case {
        const char* name;
        uint32_t headerSize;
        size_t messageBytes;  // after the header
        int result;
        const char* logged;
    };
    const Case cases[] = {
        {"4,194,305 bytes: refused", 4'194'305, 4'194'305, 2,
         "Frame 4194305 data too big for example code buffer\n"},
        {"4,194,304 bytes: taken, and libvpx's failure reported", 4'194'304, 4'194'304, 0,
         "Failed to decode frame: "},
        {"more than the message holds", 100, 99, 2, "header names 100 bytes, the message holds 99"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Create(24);
        VideoFrameDecoder decoder;
        std::vector<uint8_t> frame(12 + c.messageBytes, 0x55);
        for (int i = 0; i < 4; ++i) frame[i] = static_cast<uint8_t>(c.headerSize >> (8 * i));
        EXPECT_EQ(decoder.DecodeFrame(frame.data(), frame.size(), m_fb), c.result);
        EXPECT_EQ(decoder.FrameCount(), 1);
        EXPECT_NE(Log().find(c.logged), std::string::npos);
    }
}

// A key frame names its size in its first ten bytes: one of 16000 x 16000 pixels (libvpx would
// take seconds and hundreds of megabytes over it) is refused before it is decoded; one at
// the largest size taken for the bitmap reaches the decoder.
TEST_F(VideoFrameTest, KeyFramesFarLargerThanTheScreenAreRefusedUndecoded) {
    struct Case {
        uint16_t side;
        bool refused;
    };
    for (const Case c : {Case{16000, true}, Case{513, true}, Case{512, false}}) {
        SCOPED_TRACE(c.side);
        const std::string log = m_dir.file("log-" + std::to_string(c.side) + ".txt");
        ResetLogForTesting();
        OpenLog(log);
        Create(24);
        VideoFrameDecoder decoder;
        // Frame tag (key frame, shown, first partition of 10 bytes), start code, width, height.
        std::vector<uint8_t> frame(12, 0);
        const uint8_t keyFrame[] = {0x50, 0x01, 0x00, 0x9d, 0x01, 0x2a, static_cast<uint8_t>(c.side),
                                    static_cast<uint8_t>(c.side >> 8), static_cast<uint8_t>(c.side),
                                    static_cast<uint8_t>(c.side >> 8)};
        frame.insert(frame.end(), std::begin(keyFrame), std::end(keyFrame));
        frame.resize(frame.size() + 32, 0);
        frame[0] = static_cast<uint8_t>(frame.size() - 12);
        EXPECT_EQ(decoder.DecodeFrame(frame.data(), frame.size(), m_fb), 0);
        const std::string refusal = "is far larger than the 32x32 screen; refused";
        const std::string logged = test::ReadWholeFile(log);
        EXPECT_EQ(logged.find(refusal) != std::string::npos, c.refused) << logged;
        EXPECT_EQ(logged.find("Failed to decode frame") != std::string::npos, !c.refused) << logged;
    }
}

}  // namespace
}  // namespace corvane
