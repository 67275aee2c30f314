#include "session/login_form_rules.h"

#include <gtest/gtest.h>

#include "config/scrambled_text.h"

namespace corvane {
namespace {

// Two monitors side by side on a 3840 x 1200 virtual screen.
constexpr MonitorModel kTwoMonitors{2, 3840, 1200, 24};

SessionLoginFields Valid() {
    SessionLoginFields f;
    f.user = "ann";
    f.password = "secret";
    f.serverText = "host.example  the office server";
    f.serverName = "Office";
    f.port = "27500";
    f.sessionId = "0";
    f.serverCode = "code";
    f.bandwidth = 2;
    f.width = "1366";
    f.height = "768";
    f.displayMode = 2;
    return f;
}

std::string Clear(const std::string& scrambled) {
    std::string clear;
    EXPECT_EQ(UnscrambleText(scrambled, clear), 0);
    return clear;
}

TEST(LoginFormRules, SizeListPutsTheHeightThatGoesWithEachWidth) {
    const struct {
        const char* width;
        int height;
    } cases[] = {{"800", 600}, {"1366", 768}, {"2732", 768}, {"2880", 900}, {"3840", 1200}};
    for (const auto& c : cases) {
        const int index = SizeIndexOf(c.width);
        ASSERT_GE(index, 0) << c.width;
        EXPECT_EQ(kSessionSizes[static_cast<size_t>(index)].height, c.height) << c.width;
    }
    EXPECT_EQ(SizeIndexOf(kFullScreenSizeText), kFullScreenSizeIndex);
    EXPECT_EQ(SizeIndexOf("1000"), -1);
}

TEST(LoginFormRules, FullScreenOnlyOnTheSupportedScreenWidths) {
    for (int width : {800, 1024, 1152, 1280, 1600, 2048, 2560, 3072, 3200, 3840, 4800}) {
        EXPECT_TRUE(FullScreenWidthSupported(width)) << width;
    }
    for (int width : {1920, 1366, 0, -1024}) EXPECT_FALSE(FullScreenWidthSupported(width)) << width;
    EXPECT_EQ(IncompatibleScreenSizeMessage().title, "Incompatible screen size");
}

TEST(LoginFormRules, BandwidthListGrowsForTheLowSettings) {
    EXPECT_EQ(BandwidthEntries(1), (std::vector<std::string>{"Low", "Medium", "High"}));
    EXPECT_EQ(BandwidthEntries(4), (std::vector<std::string>{"Low", "Medium", "High", "Low 3", "Low 4", "Low 5"}));
    EXPECT_EQ(BandwidthEntries(9).size(), 3u);
}

TEST(LoginFormRules, DisplayModesAgainstTheDesktopDepth) {
    const struct {
        int chosen;
        int desktop;
        int selected;
        const char* textPart;  // nullptr: no message
    } cases[] = {
        {3, 16, 2, "of 16 and you have chosen a depth of 24."},  // 24 bit on a 16-bit desktop
        {4, 16, 2, "of 16 and you have chosen a depth of 24."},  // multi-mode likewise
        {3, 8, 1, "of 8 and you have chosen a depth of 24."},
        {2, 8, 1, "of 8 and you have chosen a depth of 16."},
        {0, 4, 0, "of 4 and you have chosen a depth of 8.\r\nCorvane requires at least 256 colors"},
        {3, 24, 3, nullptr},
        {5, 8, 5, nullptr},  // the GL+ entries are not checked
    };
    for (const auto& c : cases) {
        const DisplayModeCheck check = CheckDisplayMode(c.chosen, c.desktop);
        EXPECT_EQ(check.index, c.selected) << c.chosen << " on " << c.desktop;
        if (c.textPart == nullptr) {
            EXPECT_TRUE(check.message.empty());
        } else {
            EXPECT_EQ(check.message.title, "Insufficient desktop colors.");
            EXPECT_NE(check.message.text.find(c.textPart), std::string::npos) << check.message.text;
        }
    }
    EXPECT_EQ(DisplayModeIndex(8, 3, false), 0);
    EXPECT_EQ(DisplayModeIndex(8, 4, false), 1);
    EXPECT_EQ(DisplayModeIndex(24, 4, true), 5);
    EXPECT_EQ(DisplayModeIndex(124, 4, true), 6);
    EXPECT_EQ(DisplayModeIndex(32, 4, false), 0);
}

// Connect refuses the first field that is wrong, and takes nothing then.
TEST(LoginFormRules, ConnectRefusesTheFirstWrongField) {
    const struct {
        const char* name;
        void (*change)(SessionLoginFields&);
        const char* title;
        const char* text;
    } cases[] = {
        {"no user", [](SessionLoginFields& f) { f.user.clear(); }, "Input Error", "Please input username"},
        {"no password", [](SessionLoginFields& f) { f.password.clear(); }, "Input Error", "Please input password"},
        {"blank server", [](SessionLoginFields& f) { f.serverText = "   "; }, "Input Error",
         "Please input Host name or I.P."},
        {"port 0", [](SessionLoginFields& f) { f.port = "0"; }, "Input Error", "Please input port number"},
        {"port text", [](SessionLoginFields& f) { f.port = "27x"; }, "Input Error", "Please input port number"},
        {"port too big", [](SessionLoginFields& f) { f.port = "65536"; }, "Input Error", "Please input port number"},
        {"no height", [](SessionLoginFields& f) { f.height.clear(); }, "Input Error",
         "Please input the session width and height"},
        {"no monitor", [](SessionLoginFields& f) { f.fullScreen = true; f.monitors = {0, 0, 0, 0}; },
         "Input Error - Full Screen Mode", "Please select at least one monitor screen."},
        {"monitors 1 and 3",
         [](SessionLoginFields& f) {
             f.fullScreen = true;
             f.monitors = {1, 0, 1, 0};
         },
         "Input Error - Full Screen Mode", "Please make sure selected screens are next to each other."},
        {"password too long", [](SessionLoginFields& f) { f.password = std::string(61, 'p'); }, "Input Error",
         "The password is too long: at most 60 characters."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SessionLoginFields f = Valid();
        c.change(f);
        ClientSettings settings;
        LoginMemory memory;
        const MonitorModel fourMonitors{4, 4096, 768, 24};
        const UserMessage message = AcceptSessionLogin(f, fourMonitors, settings, memory);
        EXPECT_EQ(message.title, c.title);
        EXPECT_EQ(message.text, c.text);
        EXPECT_EQ(settings.deviceUserName, ClientSettings{}.deviceUserName);
        EXPECT_FALSE(memory.formEntered);
    }
}

TEST(LoginFormRules, ConnectTakesWhatWasEntered) {
    ClientSettings settings;
    LoginMemory memory;
    ASSERT_TRUE(AcceptSessionLogin(Valid(), kTwoMonitors, settings, memory).empty());
    EXPECT_EQ(settings.deviceUserName, "ann");
    EXPECT_EQ(Clear(settings.password), "secret");
    EXPECT_EQ(settings.displayServerAddress, "host.example");  // the first word only
    EXPECT_EQ(settings.displayServerName, "Office");
    EXPECT_EQ(settings.displayServerPort, 27500);
    EXPECT_EQ(settings.displayWidth, 1366);
    EXPECT_EQ(settings.displayHeight, 768);
    EXPECT_EQ(settings.useFullScreenMode, 0);
    EXPECT_EQ(settings.displayDepth, 16);
    EXPECT_EQ(settings.displayVisual, 4);
    EXPECT_EQ(settings.useGLPlus, 0);
    EXPECT_EQ(settings.displayBandwidth, 2);
    EXPECT_EQ(settings.serverCode, "code");
    EXPECT_TRUE(memory.formEntered);
    EXPECT_EQ(memory.fields.password, "secret");
}

TEST(LoginFormRules, FullScreenSessionsTakeTheirSizeFromTheScreen) {
    ClientSettings settings;
    LoginMemory memory;
    SessionLoginFields f = Valid();
    f.width = kFullScreenSizeText;
    f.height = kFullScreenSizeText;
    ASSERT_TRUE(AcceptSessionLogin(f, kTwoMonitors, settings, memory).empty());
    EXPECT_EQ(settings.displayWidth, 3840);
    EXPECT_EQ(settings.displayHeight, 1200);
    EXPECT_EQ(settings.useFullScreenMode, 1);

    // Monitor 2 alone: its half of the virtual screen.
    f = Valid();
    f.fullScreen = true;
    f.monitors = {0, 1, 0, 0};
    ASSERT_TRUE(AcceptSessionLogin(f, kTwoMonitors, settings, memory).empty());
    EXPECT_EQ(settings.displayWidth, 1920);
    EXPECT_EQ(settings.displayHeight, 1200);
    EXPECT_EQ(settings.useFullScreenMode, 1);
    EXPECT_EQ(settings.monitors, (std::array<int, 4>{0, 1, 0, 0}));
}

TEST(LoginFormRules, FirstShowingFromTheSettingsAndTheHostList) {
    ClientSettings s;
    s.deviceUserName = "bob";
    ASSERT_EQ(ScrambleText("pw", s.password), 0);
    s.displayBandwidth = 4;
    s.displayWidth = 0;
    s.displayHeight = 0;
    s.displayDepth = 8;
    s.displayVisual = 3;
    const std::vector<HostEntry> hosts = {{"a.example", "A", "codeA", 27600}, {"b.example", "B", "", 27500}};
    SessionLoginFields f = FirstShowingFields(s, hosts);
    EXPECT_EQ(f.user, "bob");
    EXPECT_EQ(f.password, "pw");
    EXPECT_EQ(f.serverText, "a.example");
    EXPECT_EQ(f.serverName, "A");
    EXPECT_EQ(f.port, "27600");
    EXPECT_EQ(f.serverCode, "codeA");
    EXPECT_EQ(f.bandwidth, 4);
    EXPECT_EQ(f.width, "1024");
    EXPECT_EQ(f.height, "768");
    EXPECT_EQ(f.displayMode, 0);

    // A server code of the settings wins over the host's; a full-screen session shows as such.
    s.serverCode = "mine";
    s.displayWidth = -1;
    f = FirstShowingFields(s, hosts);
    EXPECT_EQ(f.serverCode, "mine");
    EXPECT_EQ(f.width, kFullScreenSizeText);
    EXPECT_EQ(f.height, kFullScreenSizeText);
}

TEST(LoginFormRules, EnterPasswordTakesUserAndPasswordAndIsRememberedNextTime) {
    ClientSettings settings;
    settings.deviceUserName = "ann";
    LoginMemory memory;
    EXPECT_EQ(AcceptPassword("", "x", settings, memory).text, "Please input username");
    EXPECT_EQ(AcceptPassword("ann", "", settings, memory).text, "Please input password");
    EXPECT_TRUE(PasswordFields(memory, settings).password.empty());
    ASSERT_TRUE(AcceptPassword("ann", "second try", settings, memory).empty());
    EXPECT_EQ(Clear(settings.password), "second try");
    EXPECT_EQ(PasswordFields(memory, settings).password, "second try");
}

}  // namespace
}  // namespace corvane
