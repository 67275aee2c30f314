// The headless client against the test server's announced windows: the window requests are
// acted on in seamless mode only, with the records the log keeps of each.
#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace corvane::test
