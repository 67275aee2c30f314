#include "display/jpeg_image_decoder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "config/log.h"
#include "display/lossless_jpeg.h"
#include "image_update_builder.h"
#include "jpeg_test_streams.h"

namespace corvane {
namespace {

using test::ExactBytes;

class JpegImageDecoderTest : public ::testing::Test {
protected:
    void SetUp() override { ResetLogForTesting(); }
    void TearDown() override { ResetLogForTesting(); }

    // Decodes from a heap copy of exactly the stream into exactly `capacity` bytes; keeps
    // what the decoder wrote to standard error.
    int Decode(const std::vector<uint8_t>& stream, size_t capacity, int& width, int& height) {
        ExactBytes in(stream.empty() ? std::vector<uint8_t>{0} : stream, stream.size());
        ExactBytes out(std::vector<uint8_t>(capacity, 0xEE));
        testing::internal::CaptureStderr();
        const int result = m_decoder.Decode(in.data.get(), in.size, out.data.get(), out.size, width, height);
        m_stderr = testing::internal::GetCapturedStderr();
        m_out.assign(out.data.get(), out.data.get() + capacity);
        return result;
    }
    // The JPEGIPP line the decoder wrote, without log records.
    std::string FailureLine() const {
        const size_t at = m_stderr.find("JPEGIPP: ");
        return at == std::string::npos ? "" : m_stderr.substr(at, m_stderr.find('\n', at) - at + 1);
    }

    JpegImageDecoder m_decoder;
    std::vector<uint8_t> m_out;
    std::string m_stderr;
};

TEST_F(JpegImageDecoderTest, DecodesEveryHuffmanDctKindLikeTurboJpegAtThreeBytesPerPixel) {
    const std::vector<uint8_t> picture = test::TestPictureRgb(37, 21);
    const struct {
        const char* name;
        int sampling;
        int flags;
    } cases[] = {
        {"baseline 4:2:0", TJSAMP_420, 0},     {"baseline 4:2:2", TJSAMP_422, 0},
        {"baseline 4:4:4", TJSAMP_444, 0},     {"grey", TJSAMP_GRAY, 0},
        {"progressive 4:2:0", TJSAMP_420, TJFLAG_PROGRESSIVE}, {"progressive grey", TJSAMP_GRAY, TJFLAG_PROGRESSIVE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> stream = test::TurboEncode(picture, 37, 21, c.sampling, 85, c.flags);
        int refWidth = 0;
        int refHeight = 0;
        const std::vector<uint8_t> reference = test::TurboDecodeBgr(stream, refWidth, refHeight);
        int width = 0;
        int height = 0;
        // Exactly width x height x 3 bytes, whatever the channel count of the stream.
        ASSERT_EQ(Decode(stream, 37 * 21 * 3, width, height), 0) << m_stderr;
        EXPECT_EQ(width, 37);
        EXPECT_EQ(height, 21);
        EXPECT_EQ(m_out, reference);
        if (c.sampling == TJSAMP_GRAY) {
            for (size_t i = 0; i < m_out.size(); i += 3) {
                ASSERT_TRUE(m_out[i] == m_out[i + 1] && m_out[i] == m_out[i + 2]) << "pixel " << i / 3;
            }
        }
    }
}

TEST_F(JpegImageDecoderTest, ConvertsFourChannelImagesToColours) {
    // libjpeg hands CMYK back as stored, Adobe-inverted (255 = no ink), so red = C * K / 255
    // and so on. Upper half: full cyan, magenta and yellow ink (black); lower half: only a
    // little black ink over C = 200, M = 0, Y = 100.
    std::vector<uint8_t> cmyk(16 * 16 * 4);
    for (size_t i = 0; i < cmyk.size(); i += 4) {
        const bool lower = i >= cmyk.size() / 2;
        cmyk[i] = lower ? 200 : 0;
        cmyk[i + 1] = 0;
        cmyk[i + 2] = lower ? 100 : 0;
        cmyk[i + 3] = lower ? 204 : 255;
    }
    const std::vector<uint8_t> stream = test::TurboEncode(cmyk, 16, 16, TJSAMP_444, 100, 0, TJPF_CMYK);
    ASSERT_FALSE(stream.empty());
    int width = 0;
    int height = 0;
    ASSERT_EQ(Decode(stream, 16 * 16 * 3, width, height), 0) << m_stderr;
    const size_t lower = 16 * 15 * 3;
    EXPECT_NEAR(m_out[0], 0, 3);
    EXPECT_NEAR(m_out[2], 0, 3);
    EXPECT_NEAR(m_out[lower + 2], 160, 3);  // red: 200 * 204 / 255
    EXPECT_NEAR(m_out[lower + 1], 0, 3);
    EXPECT_NEAR(m_out[lower + 0], 80, 3);   // blue: 100 * 204 / 255
}

TEST_F(JpegImageDecoderTest, RefusesWithTheStepItFailedIn) {
    const std::vector<uint8_t> good = test::TurboEncode(test::TestPictureRgb(32, 16), 32, 16, TJSAMP_420);
    auto withFrameMarker = [&good](uint8_t marker) {
        std::vector<uint8_t> out = good;
        out[test::SegmentOffset(good, 0xC0) + 1] = marker;
        return out;
    };
    const struct {
        const char* name;
        std::vector<uint8_t> stream;
        size_t capacity;
        const char* line;
    } cases[] = {
        {"empty", {}, 32 * 16 * 3, "JPEGIPP: decoder.SetSource() failed: "},
        {"arithmetic", withFrameMarker(0xC9), 32 * 16 * 3, "JPEGIPP: decoder.ReadHeader() failed: arithmetic"},
        {"hierarchical", withFrameMarker(0xC5), 32 * 16 * 3, "JPEGIPP: decoder.ReadHeader() failed: arithmetic"},
        {"no frame header", std::vector<uint8_t>(good.begin(), good.begin() + 20), 32 * 16 * 3,
         "JPEGIPP: decoder.ReadHeader() failed: "},
        {"buffer one byte short", good, 32 * 16 * 3 - 1, "JPEGIPP: decoder.SetDestination() failed: "},
        {"data cut short", std::vector<uint8_t>(good.begin(), good.end() - 40), 32 * 16 * 3,
         "JPEGIPP: decoder.ReadData() failed: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int width = 0;
        int height = 0;
        EXPECT_EQ(Decode(c.stream, c.capacity, width, height), -1);
        EXPECT_EQ(FailureLine().rfind(c.line, 0), 0u) << m_stderr;
        EXPECT_EQ(width, 0);
    }
}

TEST_F(JpegImageDecoderTest, DecodesLosslessFramesForEveryPredictor) {
    const int width = 23;
    const int height = 11;
    for (const int components : {1, 3}) {
        for (const int precision : {8, 12}) {
            std::vector<uint16_t> samples(static_cast<size_t>(width) * height * components);
            const std::vector<uint8_t> rgb = test::TestPictureRgb(width, height, components);
            for (size_t i = 0; i < samples.size(); ++i) {
                const uint16_t v = rgb[i * 3 / components];
                samples[i] = static_cast<uint16_t>(precision == 8 ? v : (v << 4 | (i & 0xF)));
            }
            for (int predictor = 1; predictor <= 7; ++predictor) {
                for (const int pointTransform : {0, 2}) {
                    SCOPED_TRACE(testing::Message() << components << " components, " << precision << " bits, predictor "
                                                    << predictor << ", point transform " << pointTransform);
                    const std::vector<uint8_t> stream =
                        test::LosslessEncode(samples, width, height, components, precision, predictor, pointTransform);
                    int w = 0;
                    int h = 0;
                    ASSERT_EQ(Decode(stream, static_cast<size_t>(width) * height * 3, w, h), 0) << m_stderr;
                    EXPECT_EQ(w, width);
                    EXPECT_EQ(h, height);
                    for (size_t p = 0; p < static_cast<size_t>(width) * height; ++p) {
                        for (int c = 0; c < 3; ++c) {
                            // Red, green, blue in the stream; blue, green, red out.
                            const int from = components == 1 ? 0 : 2 - c;
                            const int sample = samples[p * components + from] >> pointTransform << pointTransform;
                            ASSERT_EQ(m_out[p * 3 + c], sample >> (precision - 8)) << "pixel " << p << " byte " << c;
                        }
                    }
                }
            }
        }
    }
}

TEST_F(JpegImageDecoderTest, RefusesLosslessFramesItCannotDecodeCleanly) {
    std::vector<uint16_t> samples(8 * 8);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint16_t>(i * 3);
    const std::vector<uint8_t> good = test::LosslessEncode(samples, 8, 8, 1, 8, 1, 0);
    auto changed = [&good](size_t at, uint8_t value) {
        std::vector<uint8_t> out = good;
        out[at] = value;
        return out;
    };
    const size_t sos = test::SegmentOffset(good, 0xDA);
    const struct {
        const char* name;
        std::vector<uint8_t> stream;
        const char* line;
    } cases[] = {
        {"data cut short", std::vector<uint8_t>(good.begin(), good.end() - 12), "JPEGIPP: decoder.ReadData() failed: "},
        {"predictor 0", changed(sos + 7, 0), "JPEGIPP: decoder.ReadHeader() failed: bad lossless scan"},
        {"restart interval", test::Inserted(good, sos, {0xFF, 0xDD, 0x00, 0x04, 0x00, 0x02}),
         "JPEGIPP: decoder.ReadHeader() failed: restart"},
        {"subsampled", changed(test::SegmentOffset(good, 0xC3) + 11, 0x22),
         "JPEGIPP: decoder.ReadHeader() failed: subsampled"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int width = 0;
        int height = 0;
        EXPECT_EQ(Decode(c.stream, 8 * 8 * 3, width, height), -1);
        EXPECT_EQ(FailureLine().rfind(c.line, 0), 0u) << m_stderr;
    }
}

}  // namespace
}  // namespace corvane
