#include "seamless/window_messages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/log.h"
#include "protocol/records.h"

namespace corvane {
namespace {

// A windowing message as the channel hands it on: record header (host order) and a record
// in wire order whose text length is `declared`, with `present` text bytes behind byte 64.
std::vector<uint8_t> WindowMessage(uint32_t declared, size_t present) {
    std::vector<uint8_t> bytes(kRecordHeaderSize + WindowRecordLayout::kText, 0);
    MakeRecordHeader(bytes.data(), ZRPPROTOCOL_MH_MESSWIND);
    PutBE32(bytes.data() + kRecordHeaderSize, declared);
    for (size_t i = 0; i < present; ++i) bytes.push_back(static_cast<uint8_t>('a' + i % 26));
    return bytes;
}

TEST(WindowMessages, TextIsTakenOnlyInSeamlessModeAndCutToItsBuffer) {
    ResetLogForTesting();
    struct Case {
        const char* name;
        bool seamless;
        uint32_t declared;
        size_t present;
        size_t taken;
    };
    const Case cases[] = {
        {"seamless off", false, 5, 5, 0},
        {"seamless on", true, 5, 5, 5},
        {"longer than the buffer: cut", true, 600, 600, 511},
        {"longer than the message: cut", true, 100, 10, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowMessages windows;
        windows.SetSeamless(c.seamless);
        MessageRouter router;
        windows.Register(router);
        std::vector<uint8_t> bytes = WindowMessage(c.declared, c.present);
        MessageFrame frame{ZRPPROTOCOL_MH_MESSWIND, bytes.data(), bytes.data() + kRecordHeaderSize,
                           bytes.size() - kRecordHeaderSize, false};
        EXPECT_EQ(router.Route(frame), 0);
        std::string expected;
        for (size_t i = 0; i < c.taken; ++i) expected += static_cast<char>('a' + i % 26);
        EXPECT_EQ(windows.WindowText(), expected);
    }
}

TEST(WindowMessages, ARecordShorterThanItsFixedPartIsDropped) {
    ResetLogForTesting();
    WindowMessages windows;
    windows.SetSeamless(true);
    MessageRouter router;
    windows.Register(router);
    std::vector<uint8_t> bytes = WindowMessage(5, 5);
    bytes.resize(kRecordHeaderSize + 40);
    MessageFrame frame{ZRPPROTOCOL_MH_MESSWIND, bytes.data(), bytes.data() + kRecordHeaderSize, 40, false};
    EXPECT_EQ(router.Route(frame), 0);
    EXPECT_TRUE(windows.WindowText().empty());
}

}  // namespace
}  // namespace corvane
