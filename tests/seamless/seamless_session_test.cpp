// The headless client against the test server's announced windows: the window requests are
// acted on in seamless mode only, with the records the log keeps of each.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "session/child_process.h"
#include "session/end_to_end_fixture.h"
#include "tools/testserver/desktop.h"

namespace corvane::test {
namespace {

class SeamlessEndToEndTest : public EndToEndTest {
protected:
    // Level 58 is the seamless topic of the log.
    std::string SiteFile() const override {
        return "[Viewer]\nLogFile client.log\nPrintDebug 58\nDisplayPort 27500\nColorDepth 24\nVisualClass 4\n"
               "BackingStore 0\nAddOptions \nCloseDialog 0\nSessionLoginDialog 0\nUseGLPlus 0\n";
    }
};

TEST_F(SeamlessEndToEndTest, AnnouncedWindowsAreCreatedOnlyInSeamlessMode) {
    for (bool seamless : {true, false}) {
        SCOPED_TRACE(seamless);
        ASSERT_TRUE(StartServer({"--static", "--seamless", "--geometry", "800x600",
                                 "--scenario", Scenario("after-ms 300 window-move 1 10 20 30 40\n"
                                                        "after-ms 400 window-destroy 2\n"
                                                        "after-ms 1000 sctl 5002\n")}));
        // The server's exit order ends the client once every request has reached it, however
        // slowly the client runs (under the thread sanitizer a timed end came before the login).
        const ClientRun run = RunClient({"--exit-after", "30"},
                                        ConnectionFile(seamless ? "UseSeamlessWindowingMode 1\r\n" : ""));
        EXPECT_EQ(run.exitCode, 0);
        const std::string server = ServerLog();
        const testserver::Desktop desktop({800, 600, 24, testserver::kDefaultSeed});
        for (size_t i = 0; i < desktop.Windows().size(); ++i) {
            const testserver::PixelRect& r = desktop.Windows()[i];
            ASSERT_NE(server.find("window announced id=" + std::to_string(i + 1)), std::string::npos) << server;
            const std::string created = "Create  window req id " + std::to_string(i + 1) + ": " + std::to_string(r.width) +
                                        " x " + std::to_string(r.height) + " @ " + std::to_string(r.x) + ", " +
                                        std::to_string(r.y);
            EXPECT_EQ(run.log.find(created) != std::string::npos, seamless) << created << "\n" << run.log;
        }
        EXPECT_EQ(run.log.find("Resize/Move to 30 x 40 @ 10, 20") != std::string::npos, seamless) << run.log;
        EXPECT_EQ(run.log.find("Destroy window req id 2:") != std::string::npos, seamless) << run.log;
    }
}

// A terminal on a real X display served by the test server is announced as a window of the
// session, at its place and with its title, and the seamless client creates it there.
TEST_F(SeamlessEndToEndTest, AnXtermOnTheServedDisplayBecomesASessionWindow) {
    ChildProcess xvfb;
    ASSERT_TRUE(xvfb.Start({"/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0", "640x480x24", "-nolisten", "tcp"}, {},
                           "/dev/null"));
    const std::string display = ":" + xvfb.ReadLine(std::chrono::seconds(20));
    ASSERT_GT(display.size(), 1u);
    ChildProcess xterm;
    ASSERT_TRUE(xterm.Start({"/usr/bin/xterm", "-display", display, "-title", "seamless xterm", "-geometry",
                             "40x10+30+20"},
                            {}, "/dev/null"));
    // Mapped before the session starts, so that its first announcement holds it.
    bool mapped = false;
    for (int attempt = 0; attempt < 200 && !mapped; ++attempt) {
        ChildProcess query;
        mapped = query.Start({"/usr/bin/xwininfo", "-display", display, "-name", "seamless xterm"}, {}, "/dev/null") &&
                 query.Wait() == 0;
        if (!mapped) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(mapped);

    ASSERT_TRUE(StartServer({"--x11", display, "--seamless", "--scenario", Scenario("after-ms 1000 sctl 5002\n")}));
    const ClientRun run = RunClient({"--exit-after", "30"}, ConnectionFile("UseSeamlessWindowingMode 1\r\n"));
    EXPECT_EQ(run.exitCode, 0) << run.log;
    const std::string server = ServerLog();
    EXPECT_NE(server.find(" x=30 y=20 "), std::string::npos) << server;
    EXPECT_NE(server.find("title=\"seamless xterm\""), std::string::npos) << server;
    EXPECT_NE(run.log.find("@ 30, 20"), std::string::npos) << run.log;
    xterm.Terminate();
    xvfb.Terminate();
}

}  // namespace
}  // namespace corvane::test
