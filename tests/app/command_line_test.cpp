#include "app/command_line.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(CommandLine, ParsesEveryOption) {
    CommandLine cl;
    std::string error;
    ASSERT_EQ(ParseCommandLine({"--headless", "--session-choice", "new", "--exit-after-frames",
                                "30", "--exit-after", "2.5", "--screenshot", "/tmp/s.png",
                                "demo.zrp"},
                               cl, error),
              0)
        << error;
    EXPECT_TRUE(cl.headless);
    EXPECT_EQ(cl.sessionChoice, "new");
    EXPECT_EQ(cl.exitAfterFrames, 30);
    EXPECT_DOUBLE_EQ(cl.exitAfterSeconds, 2.5);
    EXPECT_EQ(cl.screenshotPath, "/tmp/s.png");
    EXPECT_EQ(cl.connectionFile, "demo.zrp");
}

TEST(CommandLine, DefaultsAndQuotedPathKeptAsItStands) {
    CommandLine cl;
    std::string error;
    ASSERT_EQ(ParseCommandLine({"\"my file.zrp\""}, cl, error), 0);
    EXPECT_FALSE(cl.headless);
    EXPECT_EQ(cl.sessionChoice, "last");
    EXPECT_EQ(cl.connectionFile, "\"my file.zrp\"");
}

TEST(CommandLine, DoubleDashEndsTheOptions) {
    CommandLine cl;
    std::string error;
    ASSERT_EQ(ParseCommandLine({"--version", "--headless", "--", "--headless"}, cl, error), 0) << error;
    EXPECT_TRUE(cl.showVersion);
    EXPECT_TRUE(cl.headless);
    EXPECT_EQ(cl.connectionFile, "--headless");
}

TEST(CommandLine, RefusesMalformedInput) {
    const std::vector<std::vector<std::string>> bad = {
        {"--exit-after-frames"},          {"--exit-after-frames", "0"},
        {"--exit-after-frames", "12x"},   {"--exit-after", "-1"},
        {"--exit-after", "nan"},          {"--session-choice", "maybe"},
        {"--bogus"},                      {"a.zrp", "b.zrp"},
        {"--exit-after-frames", "99999999999999999999999"},
        {"-x"},                           {"--", "a.zrp", "b.zrp"},
    };
    for (const auto& args : bad) {
        CommandLine cl;
        std::string error;
        EXPECT_EQ(ParseCommandLine(args, cl, error), -1) << args[0];
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace corvane
