// The command line: values land in the right options, and bad arguments are refused
// with a reason instead of being half taken.
#include <gtest/gtest.h>

#include "tools/testserver/options.h"

namespace corvane::testserver {
namespace {

TEST(OptionsTest, TakesValuesAndFlags) {
    const CommandLine c = ParseCommandLine({"--port", "0", "--tls", "--once", "--user", "ann:pa:ss", "--user",
                                            "bob:x", "--geometry", "800x600", "--envelope", "compaes",
                                            "--session-count", "51", "--entry-size", "380", "--static",
                                            "--login-status", "9", "--seed", "4294967295", "--compform", "9",
                                            "--silent-after", "2", "--drop-at", "init-reply-half", "--tls-garbage",
                                            "--key-codes", "table", "--faults", "5000", "--record", "session.rec"});
    ASSERT_EQ(c.error, "");
    const ServerOptions& o = c.options;
    EXPECT_EQ(o.port, 0);
    EXPECT_TRUE(o.tls && o.once && o.still);
    EXPECT_EQ(o.users, (std::vector<UserAccount>{{"ann", "pa:ss"}, {"bob", "x"}}));  // the default is replaced
    EXPECT_EQ(o.geometry, (std::pair<int, int>(800, 600)));
    EXPECT_EQ(o.envelope, COMPAES);
    EXPECT_EQ(o.sessionCount, 51);
    EXPECT_EQ(o.entrySize, 380);
    EXPECT_EQ(o.loginStatus, 9);
    EXPECT_EQ(o.seed, 4294967295u);
    EXPECT_EQ(o.compform, 9u);
    EXPECT_EQ(o.silentAfter, 2);
    EXPECT_EQ(o.dropAt, LoginDrop::InitReplyHalf);
    EXPECT_TRUE(o.tlsGarbage);
    EXPECT_EQ(o.keyCodes, KeyCodes::KeysymTable);
    EXPECT_EQ(o.faultsMs, 5000);
    EXPECT_EQ(o.recordPath, "session.rec");
}

TEST(OptionsTest, DefaultsServeTheDemo) {
    const CommandLine c = ParseCommandLine({});
    ASSERT_EQ(c.error, "");
    EXPECT_EQ(c.options.port, 27500);
    EXPECT_EQ(c.options.users, (std::vector<UserAccount>{{"demo", "demo"}}));
    EXPECT_EQ(c.options.envelope, COMPSTD);
    EXPECT_EQ(c.options.protocolVersion, 200);
    EXPECT_EQ(c.options.serverVersion, 950);
    EXPECT_EQ(c.options.compform, 4u);
    EXPECT_GT(c.options.exitAfterSeconds, 0);
    EXPECT_EQ(c.options.keyCodes, KeyCodes::BuiltinMap);  // what the demo's client sends
}

TEST(OptionsTest, RefusesBadArguments) {
    const std::vector<std::vector<std::string>> bad = {
        {"--frobnicate"},        {"--port"},          {"--port", "65536"},       {"--session-count", "61"},
        {"--envelope", "zip"},   {"--user", "nocolon"}, {"--user", ":pw"},      {"--geometry", "5000x10"},
        {"--geometry", "800"},   {"--frames", "-1"},  {"--entry-size", "0"},     {"--frame-interval", "0"},
        {"--compform", "0"},     {"--compform", "13"},    {"--compform", "100"},     {"--compform", "202"},
        {"--compform", "6", "--envelope", "compext"}, {"--envelope", "compext", "--compform", "9"},
        {"--silent-after", "-1"}, {"--drop-at", "login"}, {"--key-codes", "evdev"}, {"--faults", "0"},
        {"--record"}, {"--replay", ""}, {"--replay", "a.rec", "--record", "b.rec"}, {"--x11", ":1", "--replay", "a.rec"},
    };
    for (const auto& arguments : bad) {
        EXPECT_NE(ParseCommandLine(arguments).error, "") << arguments[0];
    }
}

TEST(OptionsTest, TakesTheDrawingRequestCompforms) {
    for (const char* compform : {"101", "102", "201"}) {
        const CommandLine c = ParseCommandLine({"--compform", compform});
        EXPECT_EQ(c.error, "") << compform;
        EXPECT_EQ(c.options.compform, static_cast<uint32_t>(std::stoul(compform)));
    }
}

}  // namespace
}  // namespace corvane::testserver
