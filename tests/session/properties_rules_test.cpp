#include "session/properties_rules.h"

#include <gtest/gtest.h>

#include "config/generated_definitions.h"

namespace corvane {
namespace {

TEST(PropertiesRules, XdmcpPage) {
    const struct {
        XdmcpPage page;
        const char* refusal;  // nullptr: accepted
        const char* storedType;
    } cases[] = {
        {{"-indirect", "", ""}, "Please enter a host.", nullptr},
        {{"", "xdm.example", ""}, "Please enter a type.", nullptr},
        {{"Off", "", ""}, nullptr, ""},
        {{"-query", "xdm.example", "10.0.0.2"}, nullptr, "-query"},
    };
    for (const auto& c : cases) {
        ClientSettings s;
        s.xdmcpType = "-broadcast";
        const UserMessage m = LeaveXdmcpPage(c.page, s);
        if (c.refusal != nullptr) {
            EXPECT_EQ(m.title, "Invalid parameter");
            EXPECT_EQ(m.text, c.refusal);
            EXPECT_EQ(s.xdmcpType, "-broadcast");  // nothing stored
        } else {
            EXPECT_TRUE(m.empty()) << m.text;
            EXPECT_EQ(s.xdmcpType, c.storedType);
            EXPECT_EQ(s.xdmcpHost, c.page.type == std::string("Off") ? "" : c.page.host);
        }
    }
    // The page shows a type only together with a host.
    ClientSettings s;
    s.xdmcpType = "-query";
    EXPECT_EQ(XdmcpPageFrom(s).type, "Off");
}

TEST(PropertiesRules, RdpPage) {
    const RdpPage valid{true, false, true, "1280", "1024", "ann", "win.example", ""};
    const struct {
        const char* name;
        void (*change)(RdpPage&);
        const char* refusal;
    } cases[] = {
        {"no user", [](RdpPage& p) { p.user.clear(); }, "Please enter a user name."},
        {"no host", [](RdpPage& p) { p.host.clear(); }, "Please enter a host name or I.P.."},
        {"width 2561", [](RdpPage& p) { p.width = "2561"; }, "Invalid geometry width."},
        {"width 0", [](RdpPage& p) { p.width = "0"; }, "Invalid geometry width."},
        {"height 1025", [](RdpPage& p) { p.height = "1025"; }, "Invalid geometry height."},
        {"height text", [](RdpPage& p) { p.height = "7x"; }, "Invalid geometry height."},
        {"full screen takes any size", [](RdpPage& p) { p.fullScreen = true; p.width = "junk"; }, nullptr},
        {"largest size", [](RdpPage& p) { p.width = "2560"; p.height = "1024"; }, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RdpPage page = valid;
        c.change(page);
        ClientSettings s;
        const UserMessage m = LeaveRdpPage(page, s);
        EXPECT_EQ(m.text, c.refusal != nullptr ? c.refusal : "");
        EXPECT_EQ(s.rdpEnabled, c.refusal == nullptr);
    }
}

TEST(PropertiesRules, RdpPageStoresWhatTheArgumentsAreMadeOf) {
    ClientSettings s;
    RdpPage page{true, false, false, "800", "600", "ann", "win.example", "xterm"};
    ASSERT_TRUE(LeaveRdpPage(page, s).empty());
    // Private colours off: no " -v".
    EXPECT_EQ(RemoteDesktopDefinitions(s)[1], "QELRDPARGS=-N -u ann -g 800x600 -s xterm");
    page.privateColours = true;
    page.fullScreen = true;
    ASSERT_TRUE(LeaveRdpPage(page, s).empty());
    EXPECT_EQ(s.rdpWidth, 0);
    EXPECT_EQ(RemoteDesktopDefinitions(s)[1], "QELRDPARGS=-N -u ann -v -F -s xterm");
    // Disabled: everything cleared, private colours back on.
    page.enabled = false;
    ASSERT_TRUE(LeaveRdpPage(page, s).empty());
    EXPECT_FALSE(s.rdpEnabled);
    EXPECT_TRUE(s.rdpHost.empty());
    EXPECT_TRUE(s.rdpPrivateColours);
    EXPECT_TRUE(LoginDialogDefinitions(s).empty());
}

TEST(PropertiesRules, ProtocolPage) {
    const struct {
        ProtocolPage page;
        const char* refusal;
        int loginPort;
        int protocolType;
        int useProxy;
    } cases[] = {
        {{true, true, "", "8080"}, "Please enter a proxy host.", 0, 0, 0},
        {{true, true, "proxy", "0"}, "Invalid proxy port.", 0, 0, 0},
        {{true, true, "proxy", "65536"}, "Invalid proxy port.", 0, 0, 0},
        {{true, true, "proxy", "3128"}, nullptr, kSslPort, 1, 1},
        {{true, false, "", ""}, nullptr, kSslPort, 1, 0},
        {{false, false, "", ""}, nullptr, 27600, 0, 0},  // back to the configured port
    };
    for (const auto& c : cases) {
        ClientSettings s;
        const ProtocolLeave leave = LeaveProtocolPage(c.page, 27600, s);
        EXPECT_EQ(leave.message.text, c.refusal != nullptr ? c.refusal : "");
        EXPECT_EQ(leave.loginPort.value_or(0), c.loginPort);
        EXPECT_EQ(s.protocolType, c.protocolType);
        EXPECT_EQ(s.useProxy, c.useProxy);
    }
}

}  // namespace
}  // namespace corvane
