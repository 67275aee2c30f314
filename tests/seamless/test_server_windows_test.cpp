// The test server's side of seamless windows: the scenario lines that drive them and the
// window requests it writes, byte for byte, read back by the client's own reader.
#include <gtest/gtest.h>

#include <cstring>

#include "protocol/records.h"
#include "seamless/window_requests.h"
#include "tools/testserver/scenario.h"
#include "tools/testserver/server_messages.h"

namespace corvane {
namespace {

using testserver::ParseScenario;
using testserver::ScenarioAction;

TEST(TestServerWindows, ScenarioLinesNameEveryRequest) {
    struct Case {
        const char* line;
        ScenarioAction action;
        std::vector<int64_t> numbers;
        const char* title;
    };
    const Case cases[] = {
        {"after-ms 5 window-create 7 -10 20 300 200", ScenarioAction::WindowCreate, {7, -10, 20, 300, 200}, ""},
        {"after-ms 5 window-create 7 -29999 -29999 300 200 4000000000 xterm", ScenarioAction::WindowCreate,
         {7, -29999, -29999, 300, 200, 4000000000}, "xterm"},
        {"after-frames 1 window-move 7 5 6 7 8", ScenarioAction::WindowMove, {7, 5, 6, 7, 8}, ""},
        {"after-frames 1 window-map 7", ScenarioAction::WindowMap, {7}, ""},
        {"after-frames 1 window-unmap 7", ScenarioAction::WindowUnmap, {7}, ""},
        {"after-frames 1 window-destroy 7", ScenarioAction::WindowDestroy, {7}, ""},
        {"after-frames 1 update 1 2 3 4", ScenarioAction::Update, {1, 2, 3, 4}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const testserver::ScenarioParse parse = ParseScenario(c.line);
        ASSERT_EQ(parse.error, "");
        ASSERT_EQ(parse.steps.size(), 1u);
        EXPECT_EQ(parse.steps[0].action, c.action);
        EXPECT_EQ(parse.steps[0].numbers, c.numbers);
        EXPECT_EQ(parse.steps[0].title, c.title);
    }
    for (const char* bad : {"after-ms 5 window-create 7 1 2 3", "after-ms 5 window-map", "after-ms 5 window-map 7 8",
                            "after-ms 5 window-move 7 1 2 -3 4", "after-ms 5 window-destroy -1",
                            "after-ms 5 update 1 2 3"}) {
        EXPECT_NE(ParseScenario(bad).error, "") << bad;
    }
}

TEST(TestServerWindows, RequestsAreWrittenAsTheClientReadsThem) {
    testserver::WindowAnnouncement window{7001, 0x01020304, -5, 6, 300, 200, 0xA1B2C3D4, "xterm"};
    std::vector<uint8_t> body = testserver::WindowRequestBody(window);
    ASSERT_EQ(body.size(), kRecordHeaderSize + 64 + 6);
    const uint8_t* record = body.data() + kRecordHeaderSize;
    // Words in network order, the linked id little-endian, the title zero-terminated.
    EXPECT_EQ(GetBE32(record), 6u);
    EXPECT_EQ(GetBE32(record + 4), 7001u);
    EXPECT_EQ(GetBE32(record + 8), 0x01020304u);
    EXPECT_EQ(GetBE32(record + 16), static_cast<uint32_t>(-5));
    EXPECT_EQ(std::vector<uint8_t>(record + 32, record + 36), (std::vector<uint8_t>{0xD4, 0xC3, 0xB2, 0xA1}));
    EXPECT_EQ(std::memcmp(record + 64, "xterm", 6), 0);

    RecordToHost(body.data() + kRecordHeaderSize, ZRPPROTOCOL_MH_MESSWIND, 64);
    const WindowRequest read = ReadWindowRequest(body.data() + kRecordHeaderSize);
    EXPECT_EQ(read.code, 7001u);
    EXPECT_EQ(read.id, 0x01020304u);
    EXPECT_EQ(read.x, -5);
    EXPECT_EQ(read.y, 6);
    EXPECT_EQ(read.width, 300);
    EXPECT_EQ(read.height, 200);
    EXPECT_EQ(read.linkedId, 0xA1B2C3D4u);
}

}  // namespace
}  // namespace corvane
