// The TlsTrust setting: named in any case, the connection file over the site file, an
// unknown value logged and ignored, and a saved connection keeping it.
#include "config/tls_trust_setting.h"

#include <gtest/gtest.h>

#include "config/connection_file.h"
#include "config/connection_file_writer.h"
#include "config/log.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

TEST(TlsTrustSetting, TheConnectionFileOverridesTheSiteAndUnknownValuesAreIgnored) {
    struct Case {
        const char* site;        // the [Viewer] line, or empty
        const char* connection;  // the [ZRP Client] line, or empty
        int expected;
        bool logged;
    };
    const Case cases[] = {
        {"", "", kTlsTrustNone, false},
        {"TlsTrust system-ca", "", kTlsTrustSystemCa, false},
        {"TlsTrust system-ca", "TlsTrust First-Use", kTlsTrustFirstUse, false},
        {"TlsTrust first-use", "TlsTrust NONE", kTlsTrustNone, false},
        {"TlsTrust first-use", "TlsTrust always", kTlsTrustFirstUse, true},
        {"TlsTrust", "", kTlsTrustSystemCa, true},  // no value: what came before stays
    };
    test::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.site) + " / " + c.connection);
        ResetLogForTesting();
        OpenLog(dir.file("log.txt"));
        ClientSettings settings;
        settings.tlsTrust = kTlsTrustSystemCa;  // whatever came before the site file
        ReadTlsTrustSetting(dir.write("qel.ini", std::string("[Viewer]\n") + c.site + "\n"), "[Viewer]", true,
                            settings);
        ReadTlsTrustSetting(dir.write("c.zrp", std::string("[ZRP Client]\n") + c.connection + "\n"),
                            "[ZRP Client]", false, settings);
        EXPECT_EQ(settings.tlsTrust, c.expected);
        EXPECT_EQ(test::ReadWholeFile(dir.file("log.txt")).find("ERROR: TlsTrust ") != std::string::npos,
                  c.logged);
    }
    ResetLogForTesting();
}

TEST(TlsTrustSetting, ASavedConnectionKeepsItsTrust) {
    test::TempDir dir;
    for (int trust : {kTlsTrustNone, kTlsTrustFirstUse, kTlsTrustSystemCa}) {
        ClientSettings saved;
        saved.displayServerAddress = "host";
        saved.deviceUserName = "ann";
        saved.tlsTrust = trust;
        const std::string path = dir.file("saved.zrp");
        ASSERT_EQ(WriteConnectionFile(path, saved, {}), 0);
        ClientSettings back;
        StatusMailbox mailbox;
        ASSERT_EQ(ReadConnectionFile(path, back, mailbox, 4), 0);
        EXPECT_EQ(back.tlsTrust, trust);
        // Files saved without trust read as they always have: no line at all.
        EXPECT_EQ(test::ReadWholeFile(path).find("TlsTrust") != std::string::npos, trust != kTlsTrustNone);
    }
}

}  // namespace
}  // namespace corvane
