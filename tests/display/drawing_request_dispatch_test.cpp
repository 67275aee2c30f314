#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

#include "config/log.h"
#include "display/display_messages.h"
#include "display_rig.h"
#include "image_update_builder.h"
#include "protocol/frame_builder.h"
#include "recording_events.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

using test::PutHost32;
using test::RecordingEvents;

// Frames of this test are three bytes: the blue, green and red every pixel decodes to.
int SolidDecode(const uint8_t* data, size_t length, uint8_t* destination, size_t capacity,
                int& width, int& height) {
    if (length < 3) return -1;
    const size_t bytes =
        std::min(capacity, static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    for (size_t i = 0; i + 2 < bytes; i += 3) std::memcpy(destination + i, data, 3);
    return 0;
}

// Frames whose first byte is kGated decode only once the gate opens.
constexpr uint8_t kGated = 0xEE;
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    bool decoded = false;
} g_gate;

int GatedDecode(const uint8_t* data, size_t length, uint8_t* destination, size_t capacity, int& width,
                int& height) {
    if (length > 0 && data[0] == kGated) {
        std::unique_lock lock(g_gate.mutex);
        g_gate.changed.wait(lock, [] { return g_gate.open; });
        g_gate.decoded = true;
    }
    return SolidDecode(data, length, destination, capacity, width, height);
}

constexpr uint8_t kMarker = 0x99;

class DrawingRequestDispatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetLogForTesting();
        OpenLog(m_dir.file("log.txt"));
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, m_fds), 0);
        m_channel.SetSocket(m_fds[0]);
        ASSERT_TRUE(m_channel.AllocateBuffers(16, 16, 24));
        m_dispatcher.SetProtocolVersion(200);
    }
    void TearDown() override {
        close(m_fds[0]);
        close(m_fds[1]);
        ResetLogForTesting();
    }
    void Create(bool topDown) {
        m_events.Watch(m_fb);
        ASSERT_TRUE(m_fb.CreateWorkBitmap(16, 16, 24, topDown));
        m_fb.Pixels()[15 * m_fb.Stride() + 15 * 4] = kMarker;
    }
    // A drawing request whose record names `bytes` of frame data; `frame` is what follows.
    int Request(uint16_t tag, uint32_t compform, uint32_t bytes, const std::vector<uint8_t>& frame,
                uint32_t x = 1, uint32_t y = 2, uint32_t width = 2, uint32_t height = 2, bool finish = true) {
        std::vector<uint8_t> record;
        for (uint32_t word : {bytes, x, y, width, height}) PutHost32(record, word);
        std::vector<uint8_t> body(kRecordHeaderSize);
        MakeRecordHeader(body.data(), ZRPPROTOCOL_MH_MESSDRRQ);
        StoreField<uint16_t>(body.data(), RecordHeaderLayout::kFormatTag, tag);
        StoreField<uint32_t>(body.data(), RecordHeaderLayout::kCompform, compform);
        StoreField<uint32_t>(body.data(), RecordHeaderLayout::kDepth, 24);
        RecordHeaderToWire(body.data());
        RecordToWire(record.data(), ZRPPROTOCOL_MH_MESSDRRQ, record.size());
        body.insert(body.end(), record.begin(), record.end());
        body.insert(body.end(), frame.begin(), frame.end());
        FrameBuilder builder;
        EXPECT_TRUE(builder.Build(kEnvelopePlain, body.data(), body.size(), {}, BodyCoding::AsIs));
        EXPECT_EQ(m_server.zRPshWrite(m_fds[1], builder.data(), static_cast<int>(builder.size())),
                  static_cast<int>(builder.size()));
        const int result = m_dispatcher.ProcessMessage();
        if (finish) m_dispatcher.FinishDrawing();
        return result;
    }
    std::vector<uint8_t> MemoryPixel(int x, int row) {
        const uint8_t* p = m_fb.Pixels() + static_cast<size_t>(row) * m_fb.Stride() + x * 4;
        return {p, p + 4};
    }
    [[nodiscard]] std::string Log() const { return test::ReadWholeFile(m_dir.file("log.txt")); }

    test::TempDir m_dir;
    int m_fds[2] = {-1, -1};
    StreamConnection m_client;
    StreamConnection m_server{StreamRole::Server};
    MessageChannel m_channel{m_client};
    FrameBuffer m_fb;
    RecordingEvents m_events;
    test::DisplayRig m_dispatcher{m_channel, m_fb, m_events, &GatedDecode};
};

TEST_F(DrawingRequestDispatchTest, OrientationFollowsTheFormatTagAndServerVersion) {
    struct Case {
        const char* name;
        int serverVersion;
        bool topDownBefore;
        uint16_t tag;
        uint32_t bytes;
        bool topDownAfter;
        bool recreated;
        bool drawn;
    };
    const Case cases[] = {
        {"byte count 0 changes nothing", 939, false, 260, 0, false, false, false},
        {"tag 260 from 9.39: top-down, nothing drawn", 939, false, 260, 3, true, true, false},
        {"tag 257 from 9.39: bottom-up", 939, true, 257, 3, false, true, true},
        {"tag 257 from 9.40: top-down", 940, true, 257, 3, true, false, true},
        {"9.50 turns a bottom-up bitmap", 950, false, 257, 3, true, true, true},
    };
    const std::vector<uint8_t> colour = {0x10, 0x20, 0x30};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Create(c.topDownBefore);
        m_events = RecordingEvents();
        m_dispatcher.SetServerVersion(c.serverVersion);
        EXPECT_EQ(Request(c.tag, 101, c.bytes, c.bytes ? colour : std::vector<uint8_t>{}), 0);
        EXPECT_EQ(m_fb.TopDown(), c.topDownAfter);
        EXPECT_EQ(MemoryPixel(15, 15)[0], c.recreated ? 0 : kMarker);
        EXPECT_EQ(MemoryPixel(1, 2), c.drawn ? (std::vector<uint8_t>{0x10, 0x20, 0x30, 0})
                                             : std::vector<uint8_t>(4, 0));
        EXPECT_EQ(m_events.framesDrawn, 1);
    }
}

TEST_F(DrawingRequestDispatchTest, FramesThatCannotBeDrawnAreCountedAndDropped) {
    struct Case {
        const char* name;
        uint32_t compform;
        uint32_t bytes;
        std::vector<uint8_t> frame;
        const char* logged;
        int repaintAll;
    };
    const Case cases[] = {
        {"byte count beyond the message",
         101,
         64,
         {1, 2, 3},
         "frame of 64 bytes, the message holds 3",
         0},
        {"video frame without its header", 201, 3, {1, 2, 3}, "hold no frame header", 1},
        {"compform without a frame decoder", 7, 3, {1, 2, 3}, nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Create(true);
        m_events = RecordingEvents();
        m_dispatcher.SetServerVersion(950);
        EXPECT_EQ(Request(257, c.compform, c.bytes, c.frame), 0);
        EXPECT_EQ(MemoryPixel(1, 2), std::vector<uint8_t>(4, 0));
        EXPECT_EQ(m_events.framesDrawn, 1);
        EXPECT_EQ(m_events.repaintAll, c.repaintAll);
        if (c.logged) {
            EXPECT_NE(Log().find(c.logged), std::string::npos);
        }
    }
}

// A frame still decoding was clipped to the bitmap it started on, and it is older than what
// follows: a new bitmap, or a video frame drawn at once, waits until it has landed.
TEST_F(DrawingRequestDispatchTest, FramesInFlightLandBeforeTheBitmapChangesOrAVideoFrameDraws) {
    struct Case {
        const char* name;
        uint16_t tag;
        uint32_t compform;
    };
    const Case cases[] = {
        {"the orientation changes", 260, 101},
        {"a video frame follows", 257, 201},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Create(false);
        m_dispatcher.SetServerVersion(939);
        {
            std::lock_guard lock(g_gate.mutex);
            g_gate.open = false;
            g_gate.decoded = false;
        }
        ASSERT_EQ(Request(257, 101, 3, {kGated, 0x20, 0x30}, 1, 2, 2, 2, false), 0);
        std::thread opener([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            std::lock_guard lock(g_gate.mutex);
            g_gate.open = true;
            g_gate.changed.notify_all();
        });
        EXPECT_EQ(Request(c.tag, c.compform, 3, {1, 2, 3}, 1, 2, 2, 2, false), 0);
        bool landedFirst = false;
        {
            std::lock_guard lock(g_gate.mutex);
            landedFirst = g_gate.decoded;
        }
        opener.join();
        m_dispatcher.FinishDrawing();
        EXPECT_TRUE(landedFirst) << "the second message was acted on while the first frame was decoding";
    }
}

}  // namespace
}  // namespace corvane
