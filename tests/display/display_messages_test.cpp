#include "display/display_messages.h"
#include "display_rig.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "config/error_box.h"
#include "config/log.h"
#include "image_update_builder.h"
#include "protocol/frame_builder.h"
#include "recording_events.h"

namespace corvane {
namespace {

using test::ImageUpdateRecord;
using test::PutHost32;
using test::RecordingEvents;

// A record of `size` bytes whose leading words are `words` (host order).
std::vector<uint8_t> Record(size_t size, std::initializer_list<uint32_t> words = {}) {
    std::vector<uint8_t> record;
    for (uint32_t w : words) PutHost32(record, w);
    record.resize(std::max(size, record.size()), 0);
    return record;
}

// The client's dispatcher reads from one end of a socket pair; the test writes the server's
// frames on the other.
class DisplayMessagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetLogForTesting();
        SetPostErrorBoxHandler([this](const std::string& caption, const std::string& text) {
            m_boxes.emplace_back(caption, text);
        });
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, m_fds), 0);
        m_channel.SetSocket(m_fds[0]);
        ASSERT_TRUE(m_channel.AllocateBuffers(16, 16, 24));
        m_events.Watch(m_fb);
        ASSERT_TRUE(m_fb.CreateWorkBitmap(16, 16, 24, true));
        m_dispatcher.SetProtocolVersion(200);
        // Session control belongs to the session: a recorder stands in for it.
        m_dispatcher.Router().Register(ZRPPROTOCOL_MH_MESSSCTL, kSessionControlRecordSize,
                                       [this](const MessageFrame& m) { m_controls.emplace_back(m.record, m.record + 32); });
    }
    void TearDown() override {
        SetPostErrorBoxHandler(nullptr);
        close(m_fds[0]);
        if (m_fds[1] >= 0) close(m_fds[1]);
    }

    // One plain frame: a record header of `type` with the format tag, compform and depth
    // given, and `record` (host order; converted to wire order here).
    void SendBody(std::vector<uint8_t> body) {
        FrameBuilder frame;
        ASSERT_TRUE(frame.Build(kEnvelopePlain, body.data(), body.size(), {}, BodyCoding::AsIs));
        ASSERT_EQ(m_server.zRPshWrite(m_fds[1], frame.data(), static_cast<int>(frame.size())),
                  static_cast<int>(frame.size()));
    }
    int Process(int32_t type, std::vector<uint8_t> record, uint16_t tag = 0, uint32_t compform = 0,
                uint32_t depth = 0) {
        std::vector<uint8_t> body(kRecordHeaderSize);
        MakeRecordHeader(body.data(), type);
        StoreField<uint16_t>(body.data(), RecordHeaderLayout::kFormatTag, tag);
        StoreField<uint32_t>(body.data(), RecordHeaderLayout::kCompform, compform);
        StoreField<uint32_t>(body.data(), RecordHeaderLayout::kDepth, depth);
        RecordHeaderToWire(body.data());
        RecordToWire(record.data(), type, record.size());
        body.insert(body.end(), record.begin(), record.end());
        SendBody(std::move(body));
        return m_dispatcher.ProcessMessage();
    }
    std::vector<uint8_t> Pixel(int x, int y) {
        const uint8_t* p = m_fb.ScreenRow(y) + x * 4;
        return {p, p + 4};
    }

    int m_fds[2] = {-1, -1};
    StreamConnection m_client;
    StreamConnection m_server{StreamRole::Server};
    MessageChannel m_channel{m_client};
    FrameBuffer m_fb;
    RecordingEvents m_events;
    test::DisplayRig m_dispatcher{m_channel, m_fb, m_events};
    std::vector<std::vector<uint8_t>> m_controls;
    std::vector<std::pair<std::string, std::string>> m_boxes;
};

TEST_F(DisplayMessagesTest, ImageUpdatesAreRoutedByFormatTagCompformAndProtocol) {
    struct Case {
        const char* name;
        int protocol;
        int current;
        uint16_t tag;
        uint32_t compform;
        uint32_t depth;
        bool drawnRaw;
        int compformAfter;
        bool drawn16 = false;  // drawn as two 16-bit pixel words instead
    };
    const Case cases[] = {
        {"tag 257, compform 4", 200, 1, 257, 4, 24, true, 4},
        {"tag 257, compform 5", 200, 1, 257, 5, 24, true, 5},
        {"tag 257, compform 7 goes to 16-bit pixels", 200, 4, 257, 7, 24, false, 7, true},
        {"tag 257, compform 3 goes to palette chunks", 200, 4, 257, 3, 24, false, 3},
        {"tag 257, header depth 32 draws in the session depth", 200, 1, 257, 4, 32, true, 4},
        {"tag 257, header depth 224 draws nothing raw", 200, 1, 257, 4, 224, false, 4},
        {"no tag, protocol 1.00: raw whatever the compform", 100, 7, 0, 0, 0, true, 7},
        {"no tag, protocol 1.00, JPEG decode class: not raw", 100, 10, 0, 0, 0, false, 10},
        {"no tag, protocol 2.00: the current compform, 7", 200, 7, 0, 4, 24, false, 7, true},
        {"no tag, protocol 2.00: the current compform, 5", 200, 5, 0, 7, 8, true, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(m_fb.CreateWorkBitmap(16, 16, 24, true));
        m_events = RecordingEvents();
        m_dispatcher.SetProtocolVersion(c.protocol);
        m_dispatcher.SetCurrentCompform(c.current);

        const std::vector<uint8_t> record = ImageUpdateRecord({{2, 3, 1, 1, {0x00, 0x11, 0x22, 0x33}}});
        EXPECT_EQ(Process(ZRPPROTOCOL_MH_MESSIMFB, record, c.tag, c.compform, c.depth), 0);
        const std::vector<uint8_t> drawn = {0x11, 0x22, 0x33, 0x00};
        const std::vector<uint8_t> untouched = {0, 0, 0, 0};
        // The first word, 0x1100: blue 0, green 4 << 3, red 2 << 3. As palette chunks the
        // same bytes announce more indices than the data holds: nothing is drawn.
        const std::vector<uint8_t> drawn16 = {0x00, 0x20, 0x10, 0x00};
        EXPECT_EQ(Pixel(2, 3), c.drawnRaw ? drawn : c.drawn16 ? drawn16 : untouched);
        EXPECT_EQ(m_events.repaints.size(), c.drawnRaw || c.drawn16 ? 1u : 0u);
        EXPECT_EQ(m_dispatcher.CurrentCompform(), c.compformAfter);
        EXPECT_EQ(m_events.framesDrawn, 1);
    }
}

TEST_F(DisplayMessagesTest, MessagesAcceptedWithoutDrawing) {
    const std::pair<int32_t, size_t> cases[] = {
        {ZRPPROTOCOL_MH_MESSDRFB, 8},  {ZRPPROTOCOL_MH_MESSIMCD, 24}, {ZRPPROTOCOL_MH_MESSIMCR, 24},
        {ZRPPROTOCOL_MH_MESSCRSH, 24},
    };
    for (const auto& [type, size] : cases) {
        EXPECT_EQ(Process(type, Record(size, {1, 2, 3})), 0) << type;
    }
    EXPECT_TRUE(m_events.repaints.empty());
    EXPECT_EQ(m_events.repaintAll, 0);
    EXPECT_EQ(m_events.framesDrawn, 0);
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(DisplayMessagesTest, UnknownTypesEndTheCall) {
    for (int32_t type : {1016, 1001, 1011, 1013, 3000}) {
        m_boxes.clear();
        EXPECT_EQ(Process(type, Record(32, {1, 2})), -1) << type;
        ASSERT_EQ(m_boxes.size(), 1u) << type;
        EXPECT_EQ(m_boxes[0].first, "ProcessMessage() Error: ");
    }
    // The frames were read whole: the stream is still in step.
    EXPECT_EQ(Process(ZRPPROTOCOL_MH_MESSIMCR, Record(24)), 0);
}

TEST_F(DisplayMessagesTest, BellSoundsOnlyWhenItsFirstByteIsZero) {
    struct Case {
        uint8_t first, frequency;
        std::vector<test::BeepCall> beeps;
    };
    const Case cases[] = {
        {0, 64, {{64, 1000}}},
        {1, 64, {}},
        {2, 0, {}},
    };
    for (const Case& c : cases) {
        m_events.beeps.clear();
        std::vector<uint8_t> record = {c.first, c.frequency, 0, 0, 0, 0};
        EXPECT_EQ(Process(ZRPPROTOCOL_MH_MESSBELL, record), 0);
        EXPECT_EQ(m_events.beeps, c.beeps) << int(c.first);
    }
}

TEST_F(DisplayMessagesTest, SessionControlStatusAndColourTableRecordsArriveInHostOrder) {
    std::vector<uint8_t> control = Record(32, {5016, 4, 9});
    const uint8_t raw[4] = {0x01, 0x02, 0x03, 0x04};
    std::memcpy(control.data() + 12, raw, 4);
    EXPECT_EQ(Process(ZRPPROTOCOL_MH_MESSSCTL, control), 0);
    ASSERT_EQ(m_controls.size(), 1u);
    EXPECT_EQ(m_controls[0], control) << "the word at 12 travels as it is";

    EXPECT_EQ(Process(ZRPPROTOCOL_MH_MESSSTAT, Record(16, {3001, 77, 88})), 0);
    EXPECT_EQ(Process(ZRPPROTOCOL_MH_MESSSTAT, Record(16, {3002, 55, 66})), 0);
    EXPECT_EQ(m_dispatcher.ServerTime(), 77);
    EXPECT_EQ(m_dispatcher.ServerSecondValue(), 88);

    std::vector<uint8_t> table = Record(12, {2, 4, 3});
    table.insert(table.end(), {1, 2, 3, 4, 5, 6});
    EXPECT_EQ(Process(ZRPPROTOCOL_MH_MESSCOLT, table), 0);
    EXPECT_EQ(m_fb.ColourEntries()[5], 0x00040506u);
    EXPECT_EQ(m_events.repaintAll, 1);
}

TEST_F(DisplayMessagesTest, MessagesTooShortForTheirRecordAreIgnored) {
    const std::pair<int32_t, size_t> cases[] = {
        {ZRPPROTOCOL_MH_MESSBELL, 2},  {ZRPPROTOCOL_MH_MESSIMFB, 4},
        {ZRPPROTOCOL_MH_MESSSCTL, 16}, {ZRPPROTOCOL_MH_MESSCOLT, 8},
        {ZRPPROTOCOL_MH_MESSDRRQ, 0},
    };
    for (const auto& [type, size] : cases) {
        EXPECT_EQ(Process(type, Record(size)), 0) << type;
    }
    // A body too short for even the record header.
    SendBody(std::vector<uint8_t>(20, 0));
    EXPECT_EQ(m_dispatcher.ProcessMessage(), 0);

    // The body without a record header came through as the silent bell: frequency 0.
    EXPECT_EQ(m_events.beeps, (std::vector<test::BeepCall>{{0, 1000}}));
    EXPECT_TRUE(m_controls.empty());
    EXPECT_EQ(m_events.repaintAll, 0);
    EXPECT_EQ(m_events.framesDrawn, 0);
}

TEST_F(DisplayMessagesTest, DrawingRequestsCountAsFramesAndShowTheirCompform) {
    auto request = [](uint32_t bytes) {
        std::vector<uint8_t> record = Record(20, {bytes, 0, 0, 16, 16});
        record.resize(20 + bytes, 0xAB);
        return record;
    };
    // The title shows the compform current when the request arrives; the request's own
    // takes effect after it.
    EXPECT_EQ(Process(ZRPPROTOCOL_MH_MESSDRRQ, request(4), 257, 101), 0);
    EXPECT_EQ(m_dispatcher.CurrentCompform(), 101);
    EXPECT_EQ(Process(ZRPPROTOCOL_MH_MESSDRRQ, request(4), 257, 101), 0);
    EXPECT_EQ(Process(ZRPPROTOCOL_MH_MESSDRRQ, request(4), 257, 101), 0);
    EXPECT_EQ(m_events.titles, (std::vector<std::string>{"Corvane - test (0.00 fps A1)",
                                                          "Corvane - test (0.00 fps F1)"}));
    // Frames handed to decoder threads count once they are done.
    m_dispatcher.FinishDrawing();
    // An empty frame changes no compform but still counts.
    EXPECT_EQ(Process(ZRPPROTOCOL_MH_MESSDRRQ, request(0), 257, 201), 0);
    EXPECT_EQ(m_dispatcher.CurrentCompform(), 101);
    EXPECT_EQ(m_events.framesDrawn, 4);
    EXPECT_TRUE(m_events.repaints.empty());
}

TEST_F(DisplayMessagesTest, CursorShapesReachTheClientWhole) {
    struct Case {
        const char* name;
        std::vector<uint8_t> record;
        bool shown;
    };
    // A 32 x 32 source-and-mask shape whose first pixel is white: six words, then 128
    // bytes of source and 128 of mask.
    std::vector<uint8_t> whole = Record(24, {0, 3, 32, 32, 4, 5});
    whole.resize(24 + 256, 0);
    whole[24] = 0x01;
    whole[24 + 128] = 0x01;
    std::vector<uint8_t> cut = whole;
    cut.pop_back();
    const Case cases[] = {
        {"whole", whole, true},
        {"one byte short", cut, false},
        {"a standard cursor", Record(24, {0, 32513}), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_events.cursors.clear();
        EXPECT_EQ(Process(ZRPPROTOCOL_MH_MESSCRSH, c.record), 0);
        ASSERT_EQ(m_events.cursors.size(), c.shown ? 1u : 0u);
    }
    m_events.cursors.clear();
    ASSERT_EQ(Process(ZRPPROTOCOL_MH_MESSCRSH, whole), 0);
    ASSERT_EQ(m_events.cursors.size(), 1u);
    const CursorImage& image = m_events.cursors[0];
    EXPECT_EQ(image.kind, CursorImage::Kind::Picture);
    EXPECT_EQ(image.width, 32);
    EXPECT_EQ(image.hotX, 4);
    EXPECT_EQ(image.hotY, 5);
    EXPECT_EQ(image.Pixels(1)[0], kCursorWhite);
    EXPECT_EQ(image.Pixels(0)[0], kCursorBlack);
    // The stream is still in step.
    EXPECT_EQ(Process(ZRPPROTOCOL_MH_MESSIMCR, Record(24)), 0);
}

TEST_F(DisplayMessagesTest, LostStreamEndsTheCall) {
    close(m_fds[1]);
    m_fds[1] = -1;
    EXPECT_EQ(m_dispatcher.ProcessMessage(), -1);
}

}  // namespace
}  // namespace corvane
