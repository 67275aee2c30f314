#include "session/window_commands.h"

#include <gtest/gtest.h>

#include <string>

#include "config/log.h"
#include "session/headless_host.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

// The window commands over a session that is logged in on no connection: what the windows
// read and save comes from the published snapshot alone.
class WindowCommandsTest : public ::testing::Test {
protected:
    void SetUp() override { ResetLogForTesting(); }

    test::TempDir m_dir;
    HeadlessHost m_host{"last"};
    SessionState m_state;
    StreamConnection m_stream;
    MessageChannel m_channel{m_stream};
    MessageSender m_sender{m_channel};
    FrameBuffer m_frameBuffer;
    struct NoEvents : DisplayEvents {
        void FrameDrawn() override {}
        void Beep(int, int) override {}
        void SetTitle(const std::string&) override {}
        [[nodiscard]] std::string BaseTitle() const override { return {}; }
        [[nodiscard]] bool LocalMode() const override { return false; }
    } m_events;
    DisplayMessages m_display{m_frameBuffer, m_events};
    QuitSignal m_quit{m_state.flags.exit};
    StatusMailbox m_mailbox;
    SessionControl m_control{m_state, m_sender, m_display, m_mailbox, m_host, [] {}};
    HotKeys m_hotKeys{m_state, m_frameBuffer, m_host, [](int32_t, int32_t) { return true; }};
    InputCommands m_input{m_state, m_sender, m_hotKeys};
    WindowCommands m_commands{{m_state, m_channel, m_display, m_frameBuffer, m_control, m_input, m_quit}, [] {}};
};

TEST_F(WindowCommandsTest, SavedFileSaysWhetherTheWindowIsFullScreenNow) {
    m_state.settings.displayServerAddress = "render1";
    m_state.settings.displayServerPort = 27500;
    m_commands.Publish();
    for (bool fullScreen : {true, false}) {
        const std::string path = m_dir.file(fullScreen ? "full.zrp" : "framed.zrp");
        ASSERT_TRUE(m_commands.SaveConnectionFile(path, fullScreen));
        const std::string text = test::ReadWholeFile(path);
        const std::string expected = std::string("DisplayFullScreen         ") + (fullScreen ? "1" : "0") + "\r\n";
        EXPECT_NE(text.find(expected), std::string::npos) << text;
    }
}

TEST_F(WindowCommandsTest, WindowsSeeTheStateOnlyAsPublished) {
    m_state.sessionId = 101;
    m_state.settings.displayServerAddress = "render1";
    m_commands.Publish();
    // A reconnection rewrites the state on the receive thread; the windows keep the snapshot
    // until it is published again.
    m_state.sessionId = 202;
    m_state.settings.displayServerAddress = "render2";
    EXPECT_EQ(m_commands.Facts().sessionId, 101);
    EXPECT_EQ(m_commands.Facts().remoteHost, "render1");
    m_commands.Publish();
    EXPECT_EQ(m_commands.Facts().sessionId, 202);
    EXPECT_EQ(m_commands.Facts().remoteHost, "render2");
}

}  // namespace
}  // namespace corvane
