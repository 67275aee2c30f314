// Scenario files: every action and trigger read from good lines, and bad lines refused
// with their line number and nothing half-read.
#include <gtest/gtest.h>

#include "tools/testserver/scenario.h"

namespace corvane::testserver {
namespace {

using Trigger = ScenarioTrigger;
using Action = ScenarioAction;

struct GoodLine {
    const char* line;
    ScenarioStep step;
};

TEST(ScenarioTest, ReadsEveryActionAndTrigger) {
    const GoodLine cases[] = {
        {"after-frames 3 sctl 5019", {Trigger::AfterFrames, 3, Action::SessionControl, 5019, 0}},
        {"after-ms 250 sctl 5016 10   # a format", {Trigger::AfterMs, 250, Action::SessionControl, 5016, 10}},
        {"  after-frames 0\tdrop", {Trigger::AfterFrames, 0, Action::Drop}},
        {"after-ms 10 bell\r", {Trigger::AfterMs, 10, Action::Bell}},
        {"after-frames 2 bad-frame-size-12", {Trigger::AfterFrames, 2, Action::BadFrameSize12}},
        {"after-frames 2 corrupt-compext", {Trigger::AfterFrames, 2, Action::CorruptCompext}},
        {"after-frames 1 half-frame", {Trigger::AfterFrames, 1, Action::HalfFrame}},
        {"after-ms 5 colour-table", {Trigger::AfterMs, 5, Action::ColourTable}},
        {"after-frames 1000000 stop-updates", {Trigger::AfterFrames, 1'000'000, Action::StopUpdates}},
        {"after-frames 2 warp 40 30", {Trigger::AfterFrames, 2, Action::Warp, 40, 30}},
        {"after-ms 5 clipboard-text a  b\\tc\\x41\\\\\\n", {Trigger::AfterMs, 5, Action::ClipboardText, 0, 0, "a  b\tcA\\\n"}},
        {"after-ms 5 clipboard-set  lead\r", {Trigger::AfterMs, 5, Action::ClipboardSet, 0, 0, " lead"}},
        {"after-frames 1 clipboard-file /tmp/a b.txt", {Trigger::AfterFrames, 1, Action::ClipboardFile, 0, 0, "/tmp/a b.txt"}},
        {"after-frames 1 clipboard-set-file /p", {Trigger::AfterFrames, 1, Action::ClipboardSetFile, 0, 0, "/p"}},
        {"after-ms 9 clipboard-metafile /m.emf", {Trigger::AfterMs, 9, Action::ClipboardMetafile, 0, 0, "/m.emf"}},
    };
    for (const GoodLine& c : cases) {
        const ScenarioParse parse = ParseScenario(c.line);
        EXPECT_EQ(parse.error, "") << c.line;
        ASSERT_EQ(parse.steps.size(), 1u) << c.line;
        EXPECT_EQ(parse.steps[0], c.step) << c.line;
    }
}

TEST(ScenarioTest, KeepsFileOrderAndSkipsCommentsAndBlankLines) {
    const ScenarioParse parse = ParseScenario(
        "# reconnect test\n"
        "\n"
        "after-frames 1 sctl 5019\n"
        "   # indented comment\n"
        "after-frames 1 drop");
    ASSERT_EQ(parse.error, "");
    ASSERT_EQ(parse.steps.size(), 2u);
    EXPECT_EQ(parse.steps[0].action, Action::SessionControl);
    EXPECT_EQ(parse.steps[1].action, Action::Drop);
    EXPECT_EQ(DescribeAction(parse.steps[0]), "sctl code=5019 arg=0");
}

TEST(ScenarioTest, RefusesBadLinesWithTheirNumber) {
    const char* bad[] = {
        "after-frame 3 bell",          // unknown trigger
        "after-ms -1 bell",            // negative
        "after-ms 1x bell",            // not a number
        "after-ms 86400001 bell",      // beyond a day
        "after-frames 3",              // no action
        "after-frames 3 explode",      // unknown action
        "after-frames 3 bell loudly",  // argument where none is taken
        "after-frames 3 sctl",         // no code
        "after-frames 3 sctl 1 2 3",   // too many arguments
        "after-frames 3 sctl abc",     // code not a number
        "after-frames 3 sctl 4294967296",
        "after-frames 3 warp 40",      // no y
        "after-frames 3 warp 40 -1",   // negative
        "after-frames 3 clipboard-text",           // no text
        "after-frames 3 clipboard-text bad\\q",    // no such escape
        "after-frames 3 clipboard-text cut\\x4",   // half an escape
        "after-frames 3 clipboard-file",           // no path
    };
    for (const char* line : bad) {
        const ScenarioParse parse = ParseScenario(std::string("after-frames 1 bell\n# fine\n") + line + "\n");
        EXPECT_EQ(parse.error.rfind("line 3: ", 0), 0u) << line << " -> " << parse.error;
        EXPECT_TRUE(parse.steps.empty()) << line;
    }
}

}  // namespace
}  // namespace corvane::testserver
