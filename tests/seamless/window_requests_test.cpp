#include "seamless/window_requests.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "config/error_box.h"
#include "config/log.h"
#include "protocol/message_router.h"
#include "protocol/records.h"
#include "seamless/window_messages.h"

namespace corvane {
namespace {

// What the handler asked of the user interface, one line per call.
class RecordingPort : public SeamlessPort {
public:
    std::vector<std::string> calls;

    void CreatePopup(const SeamlessWindow& w) override { calls.push_back("create " + Describe(w)); }
    void RetakePopup(const SeamlessWindow& w) override { calls.push_back("retake " + Describe(w)); }
    void MovePopup(uint32_t handle, int32_t x, int32_t y, int32_t width, int32_t height, bool freeze) override {
        calls.push_back("move #" + std::to_string(handle) + " " + Place(x, y, width, height) +
                        (freeze ? " frozen" : ""));
    }
    void ShowPopup(uint32_t handle, PopupShow how) override {
        const char* names[] = {"restore", "normal", "minimise"};
        calls.push_back(std::string(names[static_cast<int>(how)]) + " #" + std::to_string(handle));
    }
    void DestroyPopup(uint32_t handle) override { calls.push_back("destroy #" + std::to_string(handle)); }

private:
    static std::string Place(int x, int y, int w, int h) {
        return std::to_string(w) + "x" + std::to_string(h) + "@" + std::to_string(x) + "," + std::to_string(y);
    }
    static std::string Describe(const SeamlessWindow& w) {
        return "#" + std::to_string(w.handle) + " id=" + std::to_string(w.id) + " linked=" +
               std::to_string(w.linkedId) + " " + Place(w.x, w.y, w.width, w.height) + " \"" + w.title + "\"";
    }
};

WindowRequest Request(uint32_t code, uint32_t id, int x = 0, int y = 0, int width = 0, int height = 0,
                      uint32_t linked = 0) {
    return {code, id, x, y, width, height, linked};
}

class WindowRequestsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetLogForTesting();
        // The receive thread never waits for a person: its boxes are posted.
        SetPostErrorBoxHandler([this](const std::string& caption, const std::string& text) {
            boxes.push_back(caption + ": " + text);
        });
    }
    void TearDown() override { SetPostErrorBoxHandler(nullptr); }

    // The calls made since the last look.
    std::vector<std::string> Take() { return std::exchange(port.calls, {}); }

    RecordingPort port;
    std::vector<std::vector<uint8_t>> sent;
    std::vector<std::string> boxes;
    WindowRequests requests{port, [this](const uint8_t* record, size_t size) {
                                sent.emplace_back(record, record + size);
                                return true;
                            }};
};

TEST_F(WindowRequestsTest, EveryCodeActsOnTheWindowItNames) {
    using Calls = std::vector<std::string>;
    struct Step {
        const char* name;
        WindowRequest request;
        const char* title;
        int result;
        Calls calls;
    };
    const Step steps[] = {
        {"create", Request(7001, 10, 5, 6, 300, 200, 0), "xterm", 0, {"create #1 id=10 linked=0 300x200@5,6 \"xterm\""}},
        {"create of a known id: shown again where it is", Request(7001, 10, 50, 60, 30, 20), "", 0, {"restore #1"}},
        {"move and resize", Request(7007, 10, 7, 8, 310, 210), "", 0, {"move #1 310x210@7,8"}},
        {"unmap", Request(7011, 10), "", 0, {"minimise #1"}},
        {"map", Request(7010, 10), "", 0, {"normal #1"}},
        {"second window", Request(7001, 11, -29999, -29999, 40, 30, 99), "", 0,
         {"create #2 id=11 linked=99 40x30@-29999,-29999 \"\""}},
        {"ignored codes", Request(7003, 10), "", 0, {}},
        {"ignored 7009", Request(7009, 10), "", 0, {}},
        {"unknown code", Request(7012, 10), "", -1, {}},
        {"move of an unknown id", Request(7007, 77, 1, 1, 1, 1), "", 0, {}},
        {"map of an unknown id", Request(7010, 77), "", 0, {}},
        {"destroy of an unknown id", Request(7002, 77), "", 0, {}},
        {"destroy", Request(7002, 10), "", 0, {"destroy #1"}},
        {"the destroyed id is unknown", Request(7011, 10), "", 0, {}},
        {"create with a linked id of none does not take over", Request(7001, 0, 1, 2, 3, 4, 0), "", 0,
         {"create #3 id=0 linked=0 3x4@1,2 \"\""}},
        {"a create whose linked id is 0 is no takeover of window 0", Request(7001, 12, 1, 2, 3, 4, 0), "", 0,
         {"create #4 id=12 linked=0 3x4@1,2 \"\""}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        EXPECT_EQ(requests.Handle(step.request, step.title), step.result);
        EXPECT_EQ(Take(), step.calls);
    }
    EXPECT_EQ(requests.Count(), 3);
    EXPECT_FALSE(requests.Find(10).has_value());
    // The repeated create left the geometry as it was; the move changed it.
    ASSERT_TRUE(requests.Find(11).has_value());
    EXPECT_EQ(requests.Find(11)->width, 40);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(WindowRequestsTest, CreateNamingAKnownWindowTakesItOverUnderTheNewId) {
    (void)requests.Handle(Request(7001, 10, 5, 6, 300, 200), "first");
    Take();
    EXPECT_EQ(requests.Handle(Request(7001, 20, 15, 16, 320, 220, 10), "second"), 0);
    EXPECT_EQ(Take(), (std::vector<std::string>{"retake #1 id=20 linked=10 320x220@15,16 \"first\"", "restore #1"}));
    EXPECT_EQ(requests.Count(), 1);
    EXPECT_FALSE(requests.Find(10).has_value());
    ASSERT_TRUE(requests.Find(20).has_value());
    // The window answers to its new id from now on.
    (void)requests.Handle(Request(7002, 20), "");
    EXPECT_EQ(Take(), std::vector<std::string>{"destroy #1"});
}

TEST_F(WindowRequestsTest, TheCreateAfterFiveThousandIsRefusedEvenWhenWindowsWereDestroyed) {
    for (uint32_t id = 1; id <= WindowTable::kSlots; ++id) {
        ASSERT_EQ(requests.Handle(Request(7001, id, 0, 0, 10, 10), ""), 0);
        if (id % 2 == 0) (void)requests.Handle(Request(7002, id), "");
    }
    EXPECT_EQ(requests.Added(), 5000);
    EXPECT_EQ(requests.Count(), 2500);
    EXPECT_TRUE(boxes.empty());
    Take();
    (void)requests.Handle(Request(7001, 6000, 0, 0, 10, 10), "");
    EXPECT_TRUE(Take().empty());
    EXPECT_FALSE(requests.Find(6000).has_value());
    EXPECT_EQ(boxes, std::vector<std::string>{"ERROR: ERROR: No more windows allowed."});
    // Windows that exist still take their requests.
    (void)requests.Handle(Request(7007, 1, 1, 1, 10, 10), "");
    EXPECT_EQ(Take(), std::vector<std::string>{"move #1 10x10@1,1"});
}

TEST_F(WindowRequestsTest, SameSizeMoveWhileAButtonIsHeldFreezesThePictureUntilRelease) {
    (void)requests.Handle(Request(7001, 10, 0, 0, 300, 200), "");
    Take();
    struct Step {
        const char* name;
        int held;  // -1 no change, 0 release, 1 press
        WindowRequest move;
        std::string call;
    };
    const Step steps[] = {
        {"no button: a move is a move", -1, Request(7007, 10, 5, 5, 300, 200), "move #1 300x200@5,5"},
        {"button held, same size: the user drags", 1, Request(7007, 10, 9, 9, 300, 200), "move #1 300x200@9,9 frozen"},
        {"still dragging, even when the size changes", -1, Request(7007, 10, 9, 9, 310, 200),
         "move #1 310x200@9,9 frozen"},
        {"released: the next move paints", 0, Request(7007, 10, 12, 12, 310, 200), "move #1 310x200@12,12"},
        {"button held, new size: a resize, not a drag", 1, Request(7007, 10, 12, 12, 320, 210),
         "move #1 320x210@12,12"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        if (step.held >= 0) requests.ButtonHeld(1, step.held == 1);
        (void)requests.Handle(step.move, "");
        EXPECT_EQ(Take(), std::vector<std::string>{step.call});
    }
}

TEST_F(WindowRequestsTest, RestoreAndCloseGoToTheServerOnlyForLinkedWindows) {
    (void)requests.Handle(Request(7001, 10, 0, 0, 30, 20, 0), "");
    (void)requests.Handle(Request(7001, 0x01020304, 0, 0, 30, 20, 0xA1B2C3D4), "");
    requests.Restored(1);
    requests.CloseRequested(1);
    requests.Restored(77);
    EXPECT_TRUE(sent.empty());
    requests.Restored(2);
    requests.CloseRequested(2);
    ASSERT_EQ(sent.size(), 2u);
    for (size_t i = 0; i < sent.size(); ++i) {
        const std::vector<uint8_t>& r = sent[i];
        ASSERT_EQ(r.size(), 64u);
        EXPECT_EQ(LoadField<uint32_t>(r.data(), 0), 0u);
        EXPECT_EQ(LoadField<uint32_t>(r.data(), 4), i == 0 ? 7010u : 7002u);
        EXPECT_EQ(LoadField<uint32_t>(r.data(), 8), 0x01020304u);
        // The linked id travels little-endian whatever the host's order.
        EXPECT_EQ(std::vector<uint8_t>(r.begin() + 32, r.begin() + 36), (std::vector<uint8_t>{0xD4, 0xC3, 0xB2, 0xA1}));
        for (size_t b = 12; b < 64; ++b) {
            if (b < 32 || b >= 36) {
                EXPECT_EQ(r[b], 0) << "byte " << b;
            }
        }
    }
    // The window stays until the server destroys it.
    EXPECT_TRUE(requests.Find(0x01020304).has_value());
}

TEST_F(WindowRequestsTest, ConcurrentPopupReportsAndServerRequestsShareTheTable) {
    // The receive thread creates, moves and destroys while the user-interface thread reports
    // buttons, restores and closes of the same windows.
    std::atomic<bool> done{false};
    std::thread ui([&] {
        while (!done.load()) {
            for (uint32_t handle = 1; handle <= 40; ++handle) {
                requests.ButtonHeld(handle, handle % 2 == 0);
                requests.Restored(handle);
                requests.CloseRequested(handle);
            }
        }
    });
    for (uint32_t round = 0; round < 20; ++round) {
        for (uint32_t id = 1; id <= 2; ++id) {
            (void)requests.Handle(Request(7001, round * 2 + id, 0, 0, 10, 10, 1000 + id), "");
            (void)requests.Handle(Request(7007, round * 2 + id, 1, 1, 10, 10), "");
        }
        (void)requests.Handle(Request(7002, round * 2 + 1), "");
    }
    done.store(true);
    ui.join();
    EXPECT_EQ(requests.Count(), 20);
    EXPECT_EQ(requests.Added(), 40);
}

// A windowing message as the channel hands it on: record header (host order), record in wire
// order with the linked id little-endian, then the text.
std::vector<uint8_t> WireMessage(uint32_t code, uint32_t id, int x, int y, int w, int h, uint32_t linked,
                                 const std::string& text) {
    std::vector<uint8_t> bytes(kRecordHeaderSize + WindowRecordLayout::kSize, 0);
    MakeRecordHeader(bytes.data(), ZRPPROTOCOL_MH_MESSWIND);
    uint8_t* record = bytes.data() + kRecordHeaderSize;
    PutBE32(record, static_cast<uint32_t>(text.size()));
    PutBE32(record + 4, code);
    PutBE32(record + 8, id);
    PutBE32(record + 16, static_cast<uint32_t>(x));
    PutBE32(record + 20, static_cast<uint32_t>(y));
    PutBE32(record + 24, static_cast<uint32_t>(w));
    PutBE32(record + 28, static_cast<uint32_t>(h));
    for (int i = 0; i < 4; ++i) record[32 + i] = static_cast<uint8_t>(linked >> (8 * i));
    bytes.insert(bytes.end(), text.begin(), text.end());
    return bytes;
}

TEST_F(WindowRequestsTest, WireRecordsReachTheHandlerOnlyInSeamlessMode) {
    for (bool seamless : {false, true}) {
        SCOPED_TRACE(seamless);
        WindowMessages messages;
        messages.SetSeamless(seamless);
        messages.SetRequests(&requests);
        MessageRouter router;
        messages.Register(router);
        std::vector<uint8_t> bytes =
            WireMessage(7001, 42, -20, 30, 640, 480, 0x00000105, std::string("Terminal\0junk", 13));
        MessageFrame frame{ZRPPROTOCOL_MH_MESSWIND, bytes.data(), bytes.data() + kRecordHeaderSize,
                           bytes.size() - kRecordHeaderSize, false};
        EXPECT_EQ(router.Route(frame), 0);
        EXPECT_EQ(Take(), seamless ? std::vector<std::string>{"create #1 id=42 linked=261 640x480@-20,30 \"Terminal\""}
                                   : std::vector<std::string>{});
    }
}

}  // namespace
}  // namespace corvane
