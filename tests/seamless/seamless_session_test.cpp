// The headless client against the test server's announced windows: the window requests are
// acted on in seamless mode only, with the records the log keeps of each.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

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

// Waits until the file holds `what` (at most 20 s); true when it came.
bool WaitForText(const std::string& path, const std::string& what) {
    for (int i = 0; i < 400; ++i) {
        if (ReadWholeFile(path).find(what) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// The X window ("linked=XID") of the server's log line that holds `part`.
std::string LinkedXid(const std::string& log, const std::string& part) {
    const size_t at = log.find(part);
    if (at == std::string::npos) return {};
    const size_t lineStart = log.rfind('\n', at);
    const size_t linked = log.find(" linked=", lineStart == std::string::npos ? 0 : lineStart);
    if (linked == std::string::npos || linked > at) return {};
    return log.substr(linked + 8, log.find(' ', linked + 8) - linked - 8);
}

// Runs an X tool on `display` (which replaces any DISPLAY the test runs with); true when it
// succeeded.
bool RunOn(const std::string& display, const std::vector<std::string>& args) {
    std::vector<std::string> command = {"/usr/bin/env", "DISPLAY=" + display};
    command.insert(command.end(), args.begin(), args.end());
    ChildProcess tool;
    return tool.Start(command, {}, "/dev/null") && tool.Wait(std::chrono::seconds(10)) == 0;
}

// A terminal on a real X display served by the test server is announced as a window of the
// session, at its place and with its title, and the seamless client creates it there; what
// later happens to the display's windows (moved, unmapped and mapped again, a new one opened
// and closed) reaches the client as the matching requests.
TEST_F(SeamlessEndToEndTest, TheServedDisplaysWindowsBecomeSessionWindowsAndAreFollowed) {
    ChildProcess xvfb;
    ASSERT_TRUE(xvfb.Start({"/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0", "640x480x24", "-nolisten", "tcp"}, {},
                           "/dev/null"));
    const std::string display = ":" + xvfb.ReadLine(std::chrono::seconds(20));
    ASSERT_GT(display.size(), 1u);
    // Mapped before the session starts, so that its first announcement holds it. A loaded
    // machine may take its time to start a terminal; one that could not reach the display
    // (seen once while other tests started and ended X servers) is started again.
    ChildProcess xterm;
    bool mapped = false;
    for (int start = 0; start < 3 && !mapped; ++start) {
        ASSERT_TRUE(xterm.Start({"/usr/bin/xterm", "-display", display, "-title", "seamless xterm", "-geometry",
                                 "40x10+30+20"},
                                {}, m_dir.file("xterm.stderr")));
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!mapped && std::chrono::steady_clock::now() < giveUp) {
            mapped = RunOn(display, {"/usr/bin/xwininfo", "-name", "seamless xterm"});
            if (!mapped) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    ASSERT_TRUE(mapped) << "on display " << display << " xterm said: " << ReadWholeFile(m_dir.file("xterm.stderr"));

    // The session lasts until the changes below have been made and followed (a few seconds).
    ASSERT_TRUE(StartServer({"--x11", display, "--seamless", "--scenario", Scenario("after-ms 12000 sctl 5002\n")}));
    const std::string serverLog = m_dir.file("server.log");
    std::string failed;
    std::thread changes([&] {
        auto step = [&](bool done, const std::string& what) {
            if (!done && failed.empty()) failed = what + "\n" + ReadWholeFile(serverLog);
            return done && failed.empty();
        };
        if (!step(WaitForText(serverLog, "title=\"seamless xterm\""), "never announced")) return;
        const std::string xid = LinkedXid(ReadWholeFile(serverLog), "title=\"seamless xterm\"");
        if (!step(RunOn(display, {"/usr/bin/xdotool", "windowmove", xid, "100", "60"}) &&
                      WaitForText(serverLog, "window request code=7007 id=1 x=100 y=60 "),
                  "move not followed")) {
            return;
        }
        if (!step(RunOn(display, {"/usr/bin/xdotool", "windowunmap", xid}) &&
                      WaitForText(serverLog, "window request code=7011 id=1 "),
                  "unmap not followed")) {
            return;
        }
        if (!step(RunOn(display, {"/usr/bin/xdotool", "windowmap", xid}) &&
                      WaitForText(serverLog, "window request code=7010 id=1 "),
                  "map not followed")) {
            return;
        }
        ChildProcess second;
        if (!step(second.Start({"/usr/bin/xterm", "-display", display, "-title", "second", "-geometry", "20x5+300+200"},
                               {}, "/dev/null") &&
                      WaitForText(serverLog, "window announced id=2 "),
                  "second window not announced")) {
            return;
        }
        second.Terminate();
        (void)step(WaitForText(serverLog, "window request code=7002 id=2 "), "closed window not destroyed");
    });
    const ClientRun run =
        RunClient({"--exit-after", "40"}, ConnectionFile("UseSeamlessWindowingMode 1\r\n"), std::chrono::seconds(40));
    changes.join();
    EXPECT_EQ(failed, "");
    EXPECT_EQ(run.exitCode, 0) << run.log;
    const std::string server = ServerLog();
    EXPECT_NE(server.find("window announced id=1 x=30 y=20 "), std::string::npos) << server;
    EXPECT_NE(server.find("cursor sent width="), std::string::npos) << server;  // the display's own
    for (const char* seen : {"Create  window req id 1: ", "@ 30, 20", "Resize/Move to ", "Unmap window req id 1:",
                             "Map window req id 1:", "Create  window req id 2: ", "Destroy window req id 2:"}) {
        EXPECT_NE(run.log.find(seen), std::string::npos) << seen << "\n" << run.log;
    }
    xterm.Terminate();
    xvfb.Terminate();
}

}  // namespace
}  // namespace corvane::test
