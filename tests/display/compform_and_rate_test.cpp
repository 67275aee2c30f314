#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "config/log.h"
#include "display/compform_table.h"
#include "display/frame_rate.h"
#include "protocol/message_channel.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

TEST(CompformTableTest, NamesDecodeClassesAndDecoders) {
    struct Case {
        int compform;
        const char* name;
        int index;  // the table position the name is logged with; 4 for a number it lacks
        int decodeClass;
        ImageDecoder decoder;
    };
    const Case cases[] = {
        {1, "A1", 0, kDecoderDeflate, ImageDecoder::PaletteChunks},
        {2, "A2", 1, kDecoderDeflate, ImageDecoder::PaletteChunks},
        {3, "C1", 4, kDecoderDeflate, ImageDecoder::PaletteChunks},
        {4, "B1", 2, kDecoderDeflate, ImageDecoder::Raw},
        {5, "B2", 3, kDecoderDeflate, ImageDecoder::Raw},
        {6, "C1", 4, kDecoderRawCompext, ImageDecoder::Planar},
        {7, "C1", 4, kDecoderDeflate, ImageDecoder::Pixels16},
        {8, "C2", 5, kDecoderDeflate, ImageDecoder::Pixels16},
        {9, "C1", 4, kDecoderRawCompext, ImageDecoder::Planar},
        {10, "D1", 6, kDecoderJpeg, ImageDecoder::Jpeg},
        {11, "D2", 7, kDecoderJpeg, ImageDecoder::Jpeg},
        {12, "D3", 8, kDecoderJpeg, ImageDecoder::Jpeg},
        {13, "C1", 4, kDecoderDeflate, ImageDecoder::PaletteChunks},
        {0, "C1", 4, kDecoderDeflate, ImageDecoder::PaletteChunks},
        {101, "F1", 9, kDecoderDeflate, ImageDecoder::PaletteChunks},
        {102, "F2", 10, kDecoderDeflate, ImageDecoder::PaletteChunks},
        {201, "G1", 11, kDecoderDeflate, ImageDecoder::PaletteChunks},
    };
    test::TempDir dir;
    ResetLogForTesting();
    SetDebugLevel(10);
    for (const Case& c : cases) {
        OpenLog(dir.file("log.txt"));
        EXPECT_STREQ(CompformName(c.compform), c.name) << c.compform;
        const std::string record = "compform name[" + std::to_string(c.index) + "] = " + c.name + "\n";
        EXPECT_NE(test::ReadWholeFile(dir.file("log.txt")).find(record), std::string::npos) << record;
        EXPECT_EQ(DecodeClassForCompform(c.compform), c.decodeClass) << c.compform;
        EXPECT_EQ(ImageDecoderForCompform(c.compform), c.decoder) << c.compform;
    }
    EXPECT_EQ(CompformAtIndex(0), 1);
    EXPECT_EQ(CompformAtIndex(4), 7);
    EXPECT_EQ(CompformAtIndex(11), 201);
    EXPECT_EQ(CompformAtIndex(12), 0);
    EXPECT_EQ(CompformAtIndex(-1), 0);
    EXPECT_EQ(CompformAtIndex(99), 0);
    ResetLogForTesting();
}

TEST(FrameRateTest, RateOverEachFiveSecondPeriod) {
    struct Case {
        const char* name;
        std::vector<uint32_t> ticks;
        std::vector<bool> periodEnds;  // per tick
        double framesPerSecond;
    };
    const Case cases[] = {
        {"first frame only starts the clock", {100}, {false}, 0.0},
        {"exactly 5000 ms is not past", {0, 5000}, {false, false}, 0.0},
        {"one frame a second", {0, 1000, 2000, 3000, 4000, 5000, 6000},
         {false, false, false, false, false, false, true}, 1.0},
        // 5001 / 2 = 2500 whole milliseconds a frame
        {"whole milliseconds per frame", {10, 2000, 5011}, {false, false, true}, 0.4},
        {"across the tick's wrap", {0xFFFFF000u, 2000}, {false, true}, 1000.0 / 6096},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FrameRateCounter counter;
        for (size_t i = 0; i < c.ticks.size(); ++i) EXPECT_EQ(counter.Count(c.ticks[i]), c.periodEnds[i]) << i;
        EXPECT_DOUBLE_EQ(counter.FramesPerSecond(), c.framesPerSecond);
    }

    // More frames than milliseconds: the exact rate, never a division by zero.
    FrameRateCounter fast;
    (void)fast.Count(0);
    for (uint32_t t = 1; t <= 5001; ++t) {
        (void)fast.Count(t);
        (void)fast.Count(t);
    }
    EXPECT_DOUBLE_EQ(fast.FramesPerSecond(), 1000.0 * 10001 / 5001);

    // The next period counts only its own frames.
    FrameRateCounter next;
    for (uint32_t t : {0u, 100u, 5100u, 7600u, 10101u}) (void)next.Count(t);
    EXPECT_DOUBLE_EQ(next.FramesPerSecond(), 0.4);
}

TEST(FrameRateTest, Title) {
    EXPECT_EQ(RateTitle("Corvane - host", 12.345, "F1", false), "Corvane - host (12.35 fps F1)");
    EXPECT_EQ(RateTitle("T", 0, "C1", true), "T (0.00 fps C1)  (Local mode: - On -)");
}

}  // namespace
}  // namespace corvane
