// The client and the test server as programs on loopback: logins, session choice, refusals,
// the server's orders, reconnection (and an exit while it hangs), the pixels of the first
// picture, and the bound on a client's run.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <chrono>

#include "end_to_end_fixture.h"
#include "png_reader.h"
#include "tools/testserver/desktop.h"

namespace corvane::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The screenshot equals the server's rendering of its desktop frame 0.
void ExpectScreenshotOfFrameZero(const std::string& path, int width, int height, int depth) {
    RgbImage shot;
    ASSERT_TRUE(ReadRgbPng(ReadWholeFile(path), shot)) << path;
    ASSERT_EQ(shot.width, width);
    ASSERT_EQ(shot.height, height);
    std::vector<uint8_t> expected = testserver::RenderDesktopRgb({width, height, depth, 1}, 0);
    ASSERT_EQ(shot.rgb.size(), expected.size());
    size_t differing = 0;
    for (size_t i = 0; i < expected.size(); ++i) differing += shot.rgb[i] != expected[i];
    EXPECT_EQ(differing, 0u) << "bytes that differ from the server's desktop";
}

TEST_F(EndToEndTest, NewSessionDrawsRaw24BitUpdatesPixelExact) {
    ASSERT_TRUE(StartServer({"--static"}));
    std::string shot = m_dir.file("shot.png");
    ClientRun run = RunClient({"--exit-after-frames", "1", "--screenshot", shot}, ConnectionFile());
    EXPECT_EQ(run.exitCode, 0) << run.log;
    ExpectScreenshotOfFrameZero(shot, 640, 480, 24);
    std::string server = ServerLog();
    EXPECT_TRUE(Contains(server, "login user=ann session=0 width=640 height=480 depth=24")) << server;
    EXPECT_TRUE(Contains(server, "choice session=2")) << server;
    EXPECT_TRUE(Contains(run.log, "Authenticating: Complete") || Contains(run.log, "Returned Xzrp zrpScreenWidth: 640"));
}

TEST_F(EndToEndTest, StartUpRecordsReachTheLogInTheirOrder) {
    ASSERT_TRUE(StartServer({"--static"}));
    ClientRun run = RunClient({"--exit-after-frames", "1"}, ConnectionFile());
    EXPECT_EQ(run.exitCode, 0) << run.log;
    // Each record once, in the order the start-up writes them; the socket buffers are logged
    // when they are set and again once the session's buffers exist.
    size_t at = 0;
    for (const char* record :
         {"Start Splash Thread\n", "---  ", "Desktop colors = 24\n", "Socket SendBuffer size = ",
          "Socket SendBuffer size = ", "Start SessionStat Thread\n",
          "StatThreadEntry Priority ", "MainWin Priority ", "ProcessUDPMsgThreadEntry Priority ",
          "Start Process UDP Messages Thread\n"}) {
        at = run.log.find(record, at);
        ASSERT_NE(at, std::string::npos) << record << "\n" << run.log;
        at += std::string(record).size();
    }
    EXPECT_TRUE(Contains(run.log, "ProcessMsgThreadEntry Priority ")) << run.log;
}

TEST_F(EndToEndTest, FullScreenSessionAsksForTheMonitorsArea) {
    // Without screens the client counts one monitor of 1024 x 768.
    ASSERT_TRUE(StartServer({"--static"}));
    ClientRun run = RunClient({"--exit-after-frames", "1"},
                              ConnectionFile("DisplayWidth -1\r\nDisplayHeight -1\r\n"));
    EXPECT_EQ(run.exitCode, 0) << run.log;
    std::string server = ServerLog();
    EXPECT_TRUE(Contains(server, "login user=ann session=0 width=1024 height=768 depth=24")) << server;
}

TEST_F(EndToEndTest, EightBitSessionWithColourTablePixelExactOverTls) {
    ASSERT_TRUE(StartServer({"--static", "--tls"}));
    std::string shot = m_dir.file("shot.png");
    ClientRun run = RunClient({"--exit-after-frames", "1", "--screenshot", shot},
                              ConnectionFile("DisplayDepth 8\r\nDisplayVisual 3\r\nProtocolType 1\r\n"));
    EXPECT_EQ(run.exitCode, 0) << run.log;
    ExpectScreenshotOfFrameZero(shot, 640, 480, 8);
    EXPECT_TRUE(Contains(run.log, "Received Color Table -- 256 colors"));
}

TEST_F(EndToEndTest, ChoosingAmongDisconnectedSessions) {
    struct Case {
        const char* choice;
        const char* chosen;
        const char* initGeometry;
    };
    const Case cases[] = {
        {"last", "choice session=13", "init width=1024 height=768"},
        {"new", "choice session=2", "init width=640 height=480"},
        {"12", "choice session=12", "init width=1024 height=768"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.choice);
        ASSERT_TRUE(StartServer({"--static", "--session-count", "3"}));
        ClientRun run = RunClient({"--session-choice", c.choice, "--exit-after-frames", "1"}, ConnectionFile());
        EXPECT_EQ(run.exitCode, 0) << run.log;
        EXPECT_TRUE(Contains(run.log, "Found 3 disconnected sessions"));
        std::string server = ServerLog();
        EXPECT_TRUE(Contains(server, c.chosen)) << server;
        EXPECT_TRUE(Contains(server, c.initGeometry)) << server;
    }
}

TEST_F(EndToEndTest, ServerVariantRedirect) {
    ASSERT_TRUE(StartServer({"--static", "--redirect-once"}));
    ClientRun run = RunClient({"--exit-after-frames", "1"}, ConnectionFile());
    EXPECT_EQ(run.exitCode, 0) << run.log;
    EXPECT_TRUE(Contains(run.log, "JKT Server detected... closing connection"));
    std::string server = ServerLog();
    EXPECT_TRUE(Contains(server, "flag=1")) << server;
    EXPECT_TRUE(Contains(server, "session start")) << server;
}

TEST_F(EndToEndTest, RefusedLoginsShowTheirTextAndExitCode) {
    struct Case {
        std::vector<std::string> server;
        const char* text;
        int exitCode;
    };
    const Case cases[] = {
        {{"--login-status", "1"}, "Error:  The username or password you entered is incorrect.", 255},
        {{"--bad-magic"}, "Error:  User name, password or\r\nauthorization code is incorrect.", 255},
        {{"--final-status", "7"}, "Error:  Requested session is unavailable.\r\nPlease try again.", 255},
        {{"--init-status", "5"}, "Error:  The session could not be started.\r\nPlease contact System Administrator.", 255},
        {{"--session-count", "51"}, "Error: Invalid zRP Server or wrong version", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(StartServer(c.server, false));
        ClientRun run = RunClient({}, ConnectionFile("NoRetries 1\r\n"));
        EXPECT_EQ(run.exitCode, c.exitCode) << run.log;
        EXPECT_TRUE(Contains(run.log, c.text)) << run.log;
        (void)ServerLog(std::chrono::milliseconds(100));
    }
}

TEST_F(EndToEndTest, WithoutNoRetriesThreeAttemptsThenTheClientGivesUp) {
    ASSERT_TRUE(StartServer({"--login-status", "1"}, false));
    ClientRun run = RunClient({}, ConnectionFile());
    EXPECT_EQ(run.exitCode, 255);
    EXPECT_TRUE(Contains(run.log, "Error:  Exceeded Login retries!")) << run.log;
    std::string server = ServerLog(std::chrono::milliseconds(100));
    size_t logins = 0;
    for (size_t at = server.find("login user="); at != std::string::npos; at = server.find("login user=", at + 1)) ++logins;
    EXPECT_EQ(logins, 3u) << server;
}

TEST_F(EndToEndTest, ServerExitOrderEndsTheClient) {
    ASSERT_TRUE(StartServer({"--scenario", Scenario("after-frames 1 sctl 5002\n")}));
    ClientRun run = RunClient({"--exit-after", "30"}, ConnectionFile());
    EXPECT_EQ(run.exitCode, 0) << run.log;
    EXPECT_TRUE(Contains(run.log, "Received SCtl request sesscntl=5002  Exit."));
}

TEST_F(EndToEndTest, ReconnectsWhenAllowedAndDrawsAgain) {
    ASSERT_TRUE(StartServer({"--frames", "100", "--frame-interval", "20", "--scenario",
                             Scenario("after-frames 1 sctl 5019\nafter-frames 3 drop\n")},
                            false));
    ClientRun run = RunClient({"--exit-after-frames", "8", "--exit-after", "30"}, ConnectionFile());
    EXPECT_EQ(run.exitCode, 0) << run.log;
    EXPECT_TRUE(Contains(run.log, "Enable auto-reconnection."));
    EXPECT_TRUE(Contains(run.log, "Retry worked")) << run.log;
    EXPECT_TRUE(Contains(run.log, "Ending the session after 8 frames")) << run.log;
    std::string server = ServerLog(std::chrono::milliseconds(100));
    size_t starts = 0;
    for (size_t at = server.find("session start"); at != std::string::npos; at = server.find("session start", at + 1)) ++starts;
    EXPECT_EQ(starts, 2u) << server;
}

TEST_F(EndToEndTest, ASecondDropEndsTheSessionUnlessReconnectionIsAllowedAgain) {
    // The first session allows reconnection and is dropped; the second is dropped too, and
    // nobody allowed it again.
    ASSERT_TRUE(StartServer({"--frames", "100", "--frame-interval", "20", "--scenario",
                             Scenario("after-frames 1 sctl 5019\nafter-frames 3 drop\nafter-frames 5 drop\n")},
                            false));
    const auto started = std::chrono::steady_clock::now();
    ClientRun run = RunClient({"--exit-after", "30"}, ConnectionFile());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15)) << run.log;
    EXPECT_EQ(run.exitCode, 0) << run.log;
    size_t retries = 0;
    for (size_t at = run.log.find("Retry worked"); at != std::string::npos; at = run.log.find("Retry worked", at + 1)) {
        ++retries;
    }
    EXPECT_EQ(retries, 1u) << run.log;
    EXPECT_FALSE(Contains(run.log, "Ending the session after 30")) << run.log;
}

// A server that breaks every session at random, over and over: the client reconnects each
// time and ends when it was told to, normally.
TEST_F(EndToEndTest, RandomFaultsAndReconnectionsEndTheClientNormally) {
    ASSERT_TRUE(StartServer({"--faults", "250", "--frame-interval", "20", "--seed", "5"}, false));
    ClientRun run = RunClient({"--exit-after", "6"}, ConnectionFile());
    EXPECT_EQ(run.exitCode, 0) << run.log;
    EXPECT_TRUE(Contains(run.log, "Retry worked")) << run.log;
    const std::string server = ServerLog(std::chrono::milliseconds(100));
    const auto count = [&server](const std::string& what) {
        size_t n = 0;
        for (size_t at = server.find(what); at != std::string::npos; at = server.find(what, at + 1)) ++n;
        return n;
    };
    EXPECT_GE(count("\nfault "), 3u) << server;
    EXPECT_GE(count("session start"), 2u) << server;
}

TEST_F(EndToEndTest, AReconnectionThatCannotConnectSaysInvalidDataAndEnds) {
    // The server takes one connection only: the reconnection finds nobody listening.
    ASSERT_TRUE(StartServer({"--frames", "100", "--frame-interval", "20", "--scenario",
                             Scenario("after-frames 1 sctl 5019\nafter-frames 3 drop\n")}));
    ClientRun run = RunClient({"--exit-after", "30"}, ConnectionFile());
    EXPECT_EQ(run.exitCode, 0) << run.log;
    EXPECT_TRUE(Contains(run.log, "Return from cnctConnect = -1")) << run.log;
    EXPECT_TRUE(Contains(run.log, "Error: Read wrong amount of data from server: -1")) << run.log;
    EXPECT_FALSE(Contains(run.log, "Ending the session after 30")) << run.log;
}

TEST_F(EndToEndTest, ExitWhileAReconnectionWaitsForASilentServerEndsTheClientAtOnce) {
    // The first connection allows reconnection and is dropped; the server answers no
    // connection after it, so the reconnection is waiting for its answer when the exit comes.
    ASSERT_TRUE(StartServer({"--frames", "100", "--frame-interval", "20", "--silent-after", "1", "--scenario",
                             Scenario("after-frames 1 sctl 5019\nafter-frames 3 drop\n")},
                            false));
    ClientRun run = RunClient({"--exit-after", "3"}, ConnectionFile());
    EXPECT_EQ(run.exitCode, 0) << run.log;
    EXPECT_LT(run.took, milliseconds(6500)) << "the exit came at 3 s\n" << run.log;
    // The reconnection's first block went out, and its read was still waiting when the
    // exit came.
    const size_t reconnecting = run.log.find("Reconnecting to the server");
    const size_t exit = run.log.find("Ending the session after 3.0 seconds");
    ASSERT_NE(reconnecting, std::string::npos) << run.log;
    ASSERT_NE(exit, std::string::npos) << run.log;
    const size_t asked = run.log.find("Status from info put", reconnecting);
    const size_t answered = run.log.find("Status from info get", reconnecting);
    EXPECT_LT(asked, exit) << run.log;
    EXPECT_TRUE(answered == std::string::npos || answered > exit) << run.log;
    EXPECT_EQ(run.log.find("Retry worked"), std::string::npos) << run.log;
    // Shutting the socket wakes that read, so the session's threads end by themselves and
    // the last-resort watchdog (which leaves without them, and without the screenshot) is
    // not what ended the process.
    EXPECT_TRUE(Contains(run.log, "ProcessMessages Thread closing")) << run.log;
    std::string server = ServerLog(milliseconds(100));
    EXPECT_TRUE(Contains(server, "connection n=2\nconnection held silent\n")) << server;
}

TEST_F(EndToEndTest, AClientStillRunningAtItsBoundIsKilledAndFailsItsTest) {
    // One picture and then nothing: this client would wait for its --exit-after 30.
    ASSERT_TRUE(StartServer({"--static"}));
    ClientRun run;
    ::testing::TestPartResultArray failures;
    {
        ::testing::ScopedFakeTestPartResultReporter reporter(
            ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &failures);
        run = RunClient({"--exit-after-frames", "2", "--exit-after", "30"}, ConnectionFile(), seconds(2));
    }
    EXPECT_EQ(run.exitCode, ChildProcess::kKilledAtBound);
    EXPECT_GE(run.took, seconds(2));
    EXPECT_LT(run.took, seconds(4));
    ASSERT_EQ(failures.size(), 1);
    const std::string message = failures.GetTestPartResult(0).message();
    EXPECT_TRUE(Contains(message, "the client did not end within 2 s")) << message;
    EXPECT_TRUE(Contains(message, "Start ProcessMessages Thread")) << "the client's log is shown\n" << message;
}

TEST_F(EndToEndTest, FrameOfTwelveBytesEndsTheSessionCleanly) {
    ASSERT_TRUE(StartServer({"--scenario", Scenario("after-frames 1 bad-frame-size-12\n")}));
    ClientRun run = RunClient({"--exit-after", "30"}, ConnectionFile());
    EXPECT_EQ(run.exitCode, 0) << run.log;
    EXPECT_TRUE(Contains(run.log, "ZRPGEN:  Message Too Small"));
    EXPECT_TRUE(Contains(run.log, "ProcessMessages Thread closing"));
}

}  // namespace
}  // namespace corvane::test
