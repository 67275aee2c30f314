// JPEG image updates from the socket to the frame buffer: the message channel with the
// general decoder hooked in, and the dispatcher's JPEG rectangle handler.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "config/log.h"
#include "display/jpeg_image_decoder.h"
#include "display/display_messages.h"
#include "display_rig.h"
#include "image_update_builder.h"
#include "jpeg_test_streams.h"
#include "protocol/frame_builder.h"
#include "protocol/message_channel.h"
#include "protocol/records.h"
#include "protocol/stream_connection.h"
#include "recording_events.h"

namespace corvane {
namespace {

using test::RecordingEvents;

class JpegImageUpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetLogForTesting();
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, m_fds), 0);
        m_channel.SetSocket(m_fds[0]);
                ASSERT_TRUE(m_channel.AllocateBuffers(32, 32, 24));
        m_events.Watch(m_fb);
        ASSERT_TRUE(m_fb.CreateWorkBitmap(32, 32, 24, true));
        std::memset(m_fb.Pixels(), 0x5A, m_fb.Stride() * static_cast<size_t>(m_fb.Height()));
        m_dispatcher.SetProtocolVersion(200);
    }
    void TearDown() override {
        close(m_fds[0]);
        close(m_fds[1]);
        ResetLogForTesting();
    }

    // Sends an image update of one rectangle whose data is `jpeg` (image type 2, format tag
    // 257 with `compform` and `depth`) in the COMPEXT envelope, and dispatches it. Returns
    // what ProcessMessage returned; the decoder's standard error output is kept.
    int SendAndProcess(const std::vector<uint8_t>& jpeg, int x, int y, int width, int height, uint32_t compform,
                       uint32_t depth) {
        std::vector<uint8_t> body(kRecordHeaderSize);
        MakeRecordHeader(body.data(), ZRPPROTOCOL_MH_MESSIMFB);
        StoreField<uint16_t>(body.data(), RecordHeaderLayout::kFormatTag, 257);
        StoreField<uint32_t>(body.data(), RecordHeaderLayout::kCompform, compform);
        StoreField<uint32_t>(body.data(), RecordHeaderLayout::kDepth, depth);
        RecordHeaderToWire(body.data());
        std::vector<uint8_t> record;
        test::PutHost32(record, 2);
        test::PutHost32(record, 1);
        RecordToWire(record.data(), ZRPPROTOCOL_MH_MESSIMFB, record.size());
        body.insert(body.end(), record.begin(), record.end());
        for (uint32_t word : {static_cast<uint32_t>(jpeg.size()), static_cast<uint32_t>(x), static_cast<uint32_t>(y),
                              static_cast<uint32_t>(width), static_cast<uint32_t>(height)}) {
            test::PutBig32(body, word);
        }
        body.insert(body.end(), jpeg.begin(), jpeg.end());
        FrameBuilder frame;
        EXPECT_TRUE(frame.Build(COMPEXT, body.data(), body.size(), {}, BodyCoding::AsIs));
        EXPECT_EQ(m_server.zRPshWrite(m_fds[1], frame.data(), static_cast<int>(frame.size())),
                  static_cast<int>(frame.size()));
        testing::internal::CaptureStderr();
        const int result = m_dispatcher.ProcessMessage();
        m_stderr = testing::internal::GetCapturedStderr();
        return result;
    }
    // The frame buffer's bytes 0..2 of the area, row by row.
    std::vector<uint8_t> AreaBgr(int x, int y, int width, int height) const {
        std::vector<uint8_t> bytes;
        for (int row = y; row < y + height; ++row) {
            for (int column = x; column < x + width; ++column) {
                const uint8_t* p = m_fb.ScreenRow(row) + column * 4;
                bytes.insert(bytes.end(), p, p + 3);
            }
        }
        return bytes;
    }
    bool Untouched() {
        const uint8_t* p = m_fb.Pixels();
        return std::all_of(p, p + m_fb.Stride() * static_cast<size_t>(m_fb.Height()),
                           [](uint8_t b) { return b == 0x5A; });
    }

    int m_fds[2] = {-1, -1};
    StreamConnection m_client;
    StreamConnection m_server{StreamRole::Server};
    JpegImageDecoder m_decoder;
    MessageChannel m_channel{m_client};
    FrameBuffer m_fb;
    RecordingEvents m_events;
    test::DisplayRig m_dispatcher{m_channel, m_fb, m_events};
    std::string m_stderr;
};

TEST_F(JpegImageUpdateTest, DrawsTheDecodedImageAtItsRectangle) {
    const std::vector<uint8_t> jpeg = test::TurboEncode(test::TestPictureRgb(20, 12), 20, 12, TJSAMP_420);
    int width = 0;
    int height = 0;
    const std::vector<uint8_t> reference = test::TurboDecodeBgr(jpeg, width, height);
    ASSERT_EQ(SendAndProcess(jpeg, 4, 6, 20, 12, 10, 24), 0);
    EXPECT_EQ(AreaBgr(4, 6, 20, 12), reference);
    EXPECT_EQ(m_events.repaints, (std::vector<test::RepaintCall>{{4, 6, 20, 12}}));
    EXPECT_EQ(m_dispatcher.CurrentCompform(), 10);
    EXPECT_EQ(m_fb.ScreenRow(6)[4 * 4 + 3], 0) << "byte 3 of a depth-24 pixel is written as zero";
}

TEST_F(JpegImageUpdateTest, DrawsNothingAtDepth16) {
    const std::vector<uint8_t> jpeg = test::TurboEncode(test::TestPictureRgb(8, 8), 8, 8, TJSAMP_444);
    ASSERT_EQ(SendAndProcess(jpeg, 0, 0, 8, 8, 11, 16), 0);
    EXPECT_TRUE(Untouched());
    EXPECT_TRUE(m_events.repaints.empty());
}

TEST_F(JpegImageUpdateTest, AnUndecodableImageIsDroppedAndTheSessionGoesOn) {
    const std::vector<uint8_t> jpeg = test::TurboEncode(test::TestPictureRgb(16, 16), 16, 16, TJSAMP_420);
    ASSERT_EQ(SendAndProcess(std::vector<uint8_t>(jpeg.begin(), jpeg.end() - 30), 0, 0, 16, 16, 12, 24), 0);
    EXPECT_NE(m_stderr.find("JPEGIPP: decoder.ReadData() failed: "), std::string::npos) << m_stderr;
    EXPECT_TRUE(Untouched());

    ASSERT_EQ(SendAndProcess(jpeg, 0, 0, 16, 16, 12, 24), 0);
    EXPECT_EQ(m_events.repaints, (std::vector<test::RepaintCall>{{0, 0, 16, 16}}));
}

}  // namespace
}  // namespace corvane
