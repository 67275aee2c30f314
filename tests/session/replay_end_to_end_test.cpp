// A recorded session replayed to a fresh client, on loopback and over TLS: the client must end
// with the very screen the recorded client ended with, having taken every recorded byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "end_to_end_fixture.h"

namespace corvane::test {
namespace {

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

constexpr int kMovingFrames = 12;

struct ReplayCase {
    const char* name;
    std::vector<std::string> server;  // options of both the recording and the replaying server
    std::string connection;           // lines of both clients' connection file
};

void PrintTo(const ReplayCase& c, std::ostream* os) { *os << c.name; }

class ReplayEndToEndTest : public EndToEndTest, public ::testing::WithParamInterface<ReplayCase> {
protected:
    // TLS clients keep what they trust under the configuration folder: the test's own.
    void SetUp() override {
        EndToEndTest::SetUp();
        ::setenv("XDG_CONFIG_HOME", m_dir.file(".config").c_str(), 1);
    }
    void TearDown() override { ::unsetenv("XDG_CONFIG_HOME"); }

    // Runs a client to the end of the recorded updates; its screenshot's bytes.
    std::string Shot(const std::string& name, const std::string& connection) {
        const std::string shot = m_dir.file(name);
        ClientRun run = RunClient({"--exit-after-frames", std::to_string(kMovingFrames + 1), "--exit-after", "20",
                                   "--screenshot", shot},
                                  ConnectionFile(connection));
        EXPECT_EQ(run.exitCode, 0) << run.log;
        return ReadWholeFile(shot);
    }
};

TEST_P(ReplayEndToEndTest, ReplayDrawsTheRecordedScreen) {
    const ReplayCase& c = GetParam();
    const std::string recording = m_dir.file("session.rec");
    std::vector<std::string> record = c.server;
    record.insert(record.end(), {"--frames", std::to_string(kMovingFrames), "--frame-interval", "5", "--record",
                                 recording});
    ASSERT_TRUE(StartServer(record));
    const std::string live = Shot("live.png", c.connection);
    const std::string recordLog = ServerLog();
    ASSERT_TRUE(Contains(recordLog, "recording written")) << recordLog;

    std::vector<std::string> replay = c.server;
    replay.insert(replay.end(), {"--replay", recording});
    ASSERT_TRUE(StartServer(replay));
    const std::string replayed = Shot("replayed.png", c.connection);
    const std::string replayLog = ServerLog();
    ASSERT_FALSE(live.empty());
    EXPECT_TRUE(replayed == live) << "the replayed session ended on another screen";
    EXPECT_TRUE(Contains(replayLog, "updates=" + std::to_string(kMovingFrames + 1))) << replayLog;
    EXPECT_TRUE(Contains(replayLog, "replay end ms=")) << replayLog;
    // Every recorded byte went out: "bytes=N of=N".
    const size_t at = replayLog.find("replay sent bytes=");
    ASSERT_NE(at, std::string::npos) << replayLog;
    const std::string line = replayLog.substr(at, replayLog.find('\n', at) - at);
    const std::string sent = line.substr(18, line.find(' ', 18) - 18);
    EXPECT_TRUE(Contains(line, " of=" + sent + " ")) << line;
}

INSTANTIATE_TEST_SUITE_P(
    Transports, ReplayEndToEndTest,
    ::testing::Values(ReplayCase{"RawOnLoopback", {}, ""},
                      // Enciphered envelopes and JPEG images inside TLS.
                      ReplayCase{"JpegCompextOverTls",
                                 {"--tls", "--envelope", "compext", "--compform", "10"},
                                 "ProtocolType 1\r\nNoRetries 1\r\nTlsTrust none\r\n"},
                      ReplayCase{"PaletteDepth8",
                                 {"--compform", "2"},
                                 "DisplayDepth 8\r\nDisplayVisual 3\r\n"}),
    [](const ::testing::TestParamInfo<ReplayCase>& info) { return std::string(info.param.name); });

// The recorded frames fit one frame buffer only: a login granted another depth is refused
// after the login instead of being sent frames it would draw wrong.
TEST_F(EndToEndTest, ReplayRefusesASessionOfAnotherDepth) {
    const std::string recording = m_dir.file("session.rec");
    ASSERT_TRUE(StartServer({"--static", "--record", recording}));
    EXPECT_EQ(RunClient({"--exit-after-frames", "1"}, ConnectionFile()).exitCode, 0);
    (void)ServerLog();

    ASSERT_TRUE(StartServer({"--replay", recording, "--exit-after", "5"}));
    (void)RunClient({"--exit-after", "3"}, ConnectionFile("DisplayDepth 8\r\nDisplayVisual 3\r\nNoRetries 1\r\n"));
    const std::string log = ServerLog();
    EXPECT_TRUE(Contains(log, "replay refused: session 640x480x8, recording 640x480x24")) << log;
    EXPECT_FALSE(Contains(log, "replay sent")) << log;
}

}  // namespace
}  // namespace corvane::test
