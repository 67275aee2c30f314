#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "config/connection_file.h"
#include "config/log.h"
#include "config/scrambled_text.h"
#include "crypto/payload_cipher.h"
#include "crypto/payload_key.h"
#include "platform/process.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

// A complete connection file as key -> value; tests change or drop keys.
std::vector<std::pair<std::string, std::string>> FullFile() {
    return {
        {"DemoMode", "0"},
        {"VersionRequired", "528"},
        {"DeviceUserName", "ann"},
        {"SessionID", "0"},
        {"DisplayServerAddress", "server.example"},
        {"DisplayServerName", "Render1"},
        {"DisplayServerPort", "27600"},
        {"DisplayBandwidth", "3"},
        {"ServerCode", "ABC"},
        {"DisplayWidth", "1280"},
        {"DisplayHeight", "1024"},
        {"DisplayVisual", "4"},
        {"DisplayDepth", "16"},
        {"UseGLPlus", "1"},
        {"Monitors", "1 0 1 1"},
        {"UseFullScreenMode", "1"},
        {"UseSeamlessWindowingMode", "0"},
        {"ProjectID", "P42"},
        {"ProtocolType", "1"},
        {"UseProxy", "1"},
        {"ProxyHost", "proxy.example second-word"},
        {"ProxyPort", "3128"},
        {"NoRetries", "1"},
        {"NoShowServer", "1"},
        {"KeyMapNumber", "1"},
        {"DisableDiscButton", "1"},
        {"ReverseCursorColor", "0"},
    };
}

std::string Render(const std::vector<std::pair<std::string, std::string>>& keys,
                   const std::string& tail = "") {
    std::string text = "[ZRP Client]\r\n";
    for (const auto& [key, value] : keys) text += key + std::string(26 - key.size(), ' ') + value + "\r\n";
    return text + tail;
}

std::vector<std::pair<std::string, std::string>> Without(const std::string& key) {
    auto keys = FullFile();
    std::erase_if(keys, [&](const auto& kv) { return kv.first == key; });
    return keys;
}

class ConnectionFileReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetLogForTesting();
        OpenLog(m_dir.file("log.txt"));
    }
    void TearDown() override { ResetLogForTesting(); }

    int Read(const std::string& text, int monitorCount = 4) {
        m_path = m_dir.write("session.zrp", text);
        return ReadConnectionFile(m_path, m_settings, m_mailbox, monitorCount);
    }
    std::string Log() const { return test::ReadWholeFile(m_dir.file("log.txt")); }

    test::TempDir m_dir;
    std::string m_path;
    ClientSettings m_settings;
    StatusMailbox m_mailbox;
};

TEST_F(ConnectionFileReaderTest, ReadsEveryKey) {
    auto keys = FullFile();
    keys.push_back({"Password", ""});
    ASSERT_EQ(Read(Render(keys)), 0);
    const ClientSettings& s = m_settings;
    EXPECT_EQ(s.deviceUserName, "ann");
    EXPECT_EQ(s.displayServerAddress, "server.example");
    EXPECT_EQ(s.displayServerName, "Render1");
    EXPECT_EQ(s.displayServerPort, 27600);
    EXPECT_EQ(s.displayBandwidth, 3);
    EXPECT_EQ(s.serverCode, "ABC");
    EXPECT_EQ(s.displayWidth, 1280);
    EXPECT_EQ(s.displayHeight, 1024);
    EXPECT_EQ(s.displayVisual, 4);
    EXPECT_EQ(s.displayDepth, 16);
    EXPECT_EQ(s.monitors, (std::array<int, 4>{1, 0, 1, 1}));
    EXPECT_EQ(s.useFullScreenMode, 1);
    EXPECT_EQ(s.projectID, "P42");
    EXPECT_EQ(s.protocolType, 1);
    EXPECT_EQ(s.useProxy, 1);
    EXPECT_EQ(s.proxyHost, "proxy.example");  // only the first word
    EXPECT_EQ(s.proxyPort, 3128);
    EXPECT_EQ(s.noRetries, 1);
    EXPECT_EQ(s.noShowServer, 1);
    EXPECT_EQ(s.keyMapNumber, 1);
    EXPECT_EQ(s.disableDiscButton, 1);
    EXPECT_EQ(s.reverseCursorColor, 0);
    EXPECT_FALSE(s.forceLoginDialog);
    EXPECT_FALSE(s.remoteDesktopMode);
    EXPECT_EQ(s.connectionFilePath, m_path);
    EXPECT_EQ(m_mailbox.Last().code, 0);
}

TEST_F(ConnectionFileReaderTest, NoPasswordAndNoTicketAsksForThePassword) {
    ASSERT_EQ(Read(Render(FullFile())), 0);
    EXPECT_EQ(m_mailbox.Last().text, "Error:  Cannot read password.");
    EXPECT_NE(Log().find("\nERROR: Unable to get password from zRP File\n"), std::string::npos);
    EXPECT_TRUE(m_settings.forceLoginDialog);
}

TEST_F(ConnectionFileReaderTest, MonitorsBeyondThosePresentAreOff) {
    ASSERT_EQ(Read(Render(FullFile()), 2), 0);
    EXPECT_EQ(m_settings.monitors, (std::array<int, 4>{1, 0, 0, 0}));
}

TEST_F(ConnectionFileReaderTest, VersionRequired) {
    struct Case {
        const char* value;  // nullptr: key absent
        int result;
        const char* message;
        const char* record;
    };
    const Case cases[] = {
        {"527", 0, nullptr, nullptr},
        {"526", 1, "Error:  Incorrect zrp file version.", "\nERROR: Incorrect zrp file version.\n"},
        {nullptr, 1, "Error:  zRP Display Client cannot read VersionRequired.",
         "\nERROR: Unable to get VersionRequired from zRP File\n"},
    };
    for (const Case& c : cases) {
        SetUp();
        m_settings = ClientSettings{};
        m_mailbox.Post(0, "");
        auto keys = Without("VersionRequired");
        if (c.value) keys.insert(keys.begin(), {"VersionRequired", c.value});
        keys.insert(keys.begin(), {"Password", ""});
        EXPECT_EQ(Read(Render(keys)), c.result) << c.value;
        if (c.message) {
            EXPECT_EQ(m_mailbox.Last().text, c.message);
            EXPECT_NE(Log().find(c.record), std::string::npos);
            EXPECT_TRUE(m_settings.forceLoginDialog);
            EXPECT_EQ(m_settings.deviceUserName, "") << "reading stops";
        } else {
            EXPECT_FALSE(m_settings.forceLoginDialog);
            EXPECT_EQ(m_settings.deviceUserName, "ann");
        }
    }
}

TEST_F(ConnectionFileReaderTest, MissingRequiredKeys) {
    struct Case {
        const char* key;
        const char* message;
        const char* record;
        bool forcesLogin;
    };
    const Case cases[] = {
        {"DeviceUserName", "Error:  zRP Display Client cannot read username.",
         "\nERROR: Unable to get username from zRP File\n", true},
        {"SessionID", "Error:  zRP Display Client cannot read SessionID.",
         "\nERROR: Unable to get SessionID from zRP File\n", true},
        {"DisplayServerAddress", "Error:  zRP Display Client cannot read ServerAddress.",
         "\nERROR: Unable to get ServerAddress from zRP File\n", true},
        {"DisplayServerName", "Error:  zRP Display Client cannot read DisplayServerName.",
         "\nERROR: Unable to get DisplayServerName from zRP File\n", false},
        {"DisplayServerPort", "Error:  zRP Display Client cannot read Server Port.",
         "\nERROR: Unable to get Server Port from zRP File\n", true},
        {"DisplayBandwidth", "Error:  zRP Display Client cannot read Bandwidth.",
         "\nERROR: Unable to get Bandwidth from zRP File\n", true},
    };
    for (const Case& c : cases) {
        SetUp();
        m_settings = ClientSettings{};
        m_settings.sessionID = 77;
        auto keys = Without(c.key);
        keys.insert(keys.begin(), {"Password", ""});
        EXPECT_EQ(Read(Render(keys)), 0) << c.key;
        EXPECT_EQ(m_mailbox.Last().text, c.message);
        EXPECT_NE(Log().find(c.record), std::string::npos) << c.key;
        EXPECT_EQ(m_settings.forceLoginDialog, c.forcesLogin) << c.key;
        EXPECT_EQ(m_settings.displayWidth, 1280) << "reading goes on after " << c.key;
    }
    SetUp();
    m_settings = ClientSettings{};
    m_settings.sessionID = 77;
    auto keys = Without("SessionID");
    ASSERT_EQ(Read(Render(keys)), 0);
    EXPECT_EQ(m_settings.sessionID, 0);
    auto noName = Without("DisplayServerName");
    ASSERT_EQ(Read(Render(noName)), 0);
    EXPECT_EQ(m_settings.displayServerName, "Unknown");
}

TEST_F(ConnectionFileReaderTest, LookupRules) {
    // First line wins; keys match by prefix; a key in a later section is not found; a value
    // that does not parse keeps the earlier value.
    std::string text = "garbage before the section\n"
                       "[ZRP Client]\n"
                       "VersionRequired 528\n"
                       "Password\n"
                       "DisplayWidthPixels 640\n"
                       "DisplayWidth 800\n"
                       "DisplayHeight lots\n"
                       "DisplayDepth 99999999999999999999\n"
                       "[Other]\n"
                       "DeviceUserName bob\n";
    m_settings.displayHeight = 555;
    m_settings.displayDepth = 24;
    ASSERT_EQ(Read(text), 0);
    EXPECT_EQ(m_settings.displayWidth, 640);
    EXPECT_EQ(m_settings.displayHeight, 555);
    EXPECT_EQ(m_settings.displayDepth, 24);
    EXPECT_EQ(m_settings.deviceUserName, "");
    EXPECT_TRUE(m_settings.forceLoginDialog);
}

TEST_F(ConnectionFileReaderTest, EmptyPasswordLineCountsAsPresent) {
    auto keys = FullFile();
    keys.push_back({"Password", ""});
    m_settings.password = "stale";
    ASSERT_EQ(Read(Render(keys)), 0);
    EXPECT_EQ(m_settings.password, "");
    EXPECT_EQ(m_mailbox.Last().code, 0) << m_mailbox.Last().text;
    EXPECT_FALSE(m_settings.forceLoginDialog);
}

TEST_F(ConnectionFileReaderTest, ScrambledPasswordWithBlanksIsKeptWhole) {
    std::string scrambled;
    // Clear position 0 has no offset, so the leading blank stays a blank in the scrambled form.
    ASSERT_EQ(ScrambleText(" pass word ", scrambled), 0);
    ASSERT_NE(scrambled.find(' '), std::string::npos);
    auto keys = FullFile();
    keys.push_back({"Password", scrambled});
    ASSERT_EQ(Read(Render(keys)), 0);
    EXPECT_EQ(m_settings.password, scrambled);
}

TEST_F(ConnectionFileReaderTest, PasswordThatDoesNotUnscrambleIsRefused) {
    auto keys = FullFile();
    keys.push_back({"Password", "plaintext"});
    ASSERT_EQ(Read(Render(keys)), 0);
    EXPECT_EQ(m_settings.password, "");
    EXPECT_EQ(m_mailbox.Last().text, "Error:  Cannot read password.");
    EXPECT_TRUE(m_settings.forceLoginDialog);
}

TEST_F(ConnectionFileReaderTest, LongServerCodeIsUnscrambled) {
    std::string scrambled;
    ASSERT_EQ(ScrambleText("SITECODE-0123456789", scrambled), 0);
    auto keys = FullFile();
    for (auto& [key, value] : keys) {
        if (key == "ServerCode") value = scrambled;
    }
    ASSERT_EQ(Read(Render(keys)), 0);
    EXPECT_EQ(m_settings.serverCode, "SITECODE-0123456789");
}

// Builds the sixteen Authentication lines of a ticket.
std::string TicketLines(int32_t type, int32_t length, const std::string& password, int64_t start,
                        int64_t validFor, int skip = 0) {
    uint8_t ticket[kTicketSize] = {};
    std::memcpy(ticket, &type, 4);
    std::memcpy(ticket + 4, &length, 4);
    std::memcpy(ticket + 8, password.data(), std::min<size_t>(password.size(), 72));
    std::memcpy(ticket + 80, &start, 8);
    std::memcpy(ticket + 88, &validFor, 8);
    EXPECT_EQ(EncipherBlocks(ticket, sizeof ticket, 32, BuildPayloadKey()), 0);
    std::string lines = "ClientTime                1700000000\r\nTimeWindow                3600\r\n";
    for (int i = 1; i <= 16; ++i) {
        if (i == skip) continue;
        char line[128];
        int n = std::snprintf(line, sizeof line, "Authentication%2.2d          ", i);
        for (int b = 0; b < 32; ++b) n += std::snprintf(line + n, sizeof line - n, "%02X", ticket[(i - 1) * 32 + b]);
        lines += std::string(line) + "\r\n";
    }
    return lines;
}

TEST_F(ConnectionFileReaderTest, PasswordTicket) {
    std::string scrambled;
    ASSERT_EQ(ScrambleText("s3cret", scrambled), 0);
    const int64_t now = platform::UnixTimeSeconds();
    struct Case {
        const char* name;
        std::string lines;
        bool passwordApplies;
        const char* message;  // nullptr: nothing posted
    };
    const Case cases[] = {
        {"valid", TicketLines(1001, 63, scrambled, now - 60, 3600), true, nullptr},
        {"expired", TicketLines(1001, 63, scrambled, now - 7200, 3600), true,
         "Error:  Cannot process this .ZRP File."},
        {"not yet valid", TicketLines(1001, 63, scrambled, now + 600, 3600), true,
         "Error:  Cannot process this .ZRP File."},
        {"missing block", TicketLines(1001, 63, scrambled, now - 60, 3600, 9), true,
         "Error:  Cannot read password."},
        {"wrong type", TicketLines(1002, 63, scrambled, now - 60, 3600), false,
         "Error:  Cannot read password."},
        {"length past the field", TicketLines(1001, 100000, scrambled, now - 60, 3600), false,
         "Error:  Cannot read password."},
        {"negative length", TicketLines(1001, -5, scrambled, now - 60, 3600), false,
         "Error:  Cannot read password."},
        {"huge window", TicketLines(1001, 63, scrambled, now - 60, INT64_MAX), true, nullptr},
    };
    for (const Case& c : cases) {
        SetUp();
        m_settings = ClientSettings{};
        m_mailbox.Post(0, "");
        ASSERT_EQ(Read(Render(FullFile()) + c.lines), 0) << c.name;
        EXPECT_EQ(m_settings.password, c.passwordApplies ? scrambled : "") << c.name;
        if (c.message) {
            EXPECT_EQ(m_mailbox.Last().text, c.message) << c.name;
            EXPECT_TRUE(m_settings.forceLoginDialog) << c.name;
        } else {
            EXPECT_EQ(m_mailbox.Last().code, 0) << c.name << ": " << m_mailbox.Last().text;
            EXPECT_FALSE(m_settings.forceLoginDialog) << c.name;
        }
    }
    SetUp();
    ASSERT_EQ(Read(Render(FullFile()) + TicketLines(1001, 63, scrambled, now - 7200, 60)), 0);
    EXPECT_NE(Log().find("\nERROR: This zRP File cannot be used.\n"), std::string::npos);
}

TEST_F(ConnectionFileReaderTest, RemoteDesktopSectionIsCopiedBesideTheFile) {
    auto keys = FullFile();
    keys.push_back({"Password", ""});
    std::string rdp = "full address:s:win.example\r\nusername:s:ann\r\nscreen mode id:i:2\r\n";
    ASSERT_EQ(Read(Render(keys, "\r\n[RDP]\r\n" + rdp + "\r\nnot copied:s:x\r\n")), 0);
    EXPECT_TRUE(m_settings.remoteDesktopMode);
    EXPECT_EQ(m_settings.remoteDesktopFile, m_dir.file("session.rdp"));
    EXPECT_EQ(test::ReadWholeFile(m_dir.file("session.rdp")), rdp);

    ASSERT_EQ(Read(Render(keys)), 0);
    EXPECT_FALSE(m_settings.remoteDesktopMode);
}

// The remote-desktop file is named by swapping the extension, which only works for a .zrp
// file: any other name would be overwritten or would put a stray file beside it.
TEST_F(ConnectionFileReaderTest, RemoteDesktopSectionIsCopiedOnlyFromAZrpFile) {
    auto keys = FullFile();
    keys.push_back({"Password", ""});
    const std::string rdp = "full address:s:win.example\r\nusername:s:ann\r\n";
    const std::string text = Render(keys, "\r\n[RDP]\r\n" + rdp);
    struct Case {
        const char* name;
        const char* rdpName;  // nullptr: nothing is copied
    };
    const Case cases[] = {
        {"A.ZRP", "A.rdp"}, {"b.Zrp", "b.rdp"}, {"x.rdp", nullptr},
        {"noext", nullptr}, {"zrp", nullptr},   {"y.xzrp.txt", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        const std::string folder = m_dir.file(c.name) + ".d";
        const std::string path = m_dir.write(std::string(c.name) + ".d/" + c.name, text);
        m_settings = ClientSettings{};
        ASSERT_EQ(ReadConnectionFile(path, m_settings, m_mailbox, 4), 0);

        EXPECT_TRUE(m_settings.remoteDesktopMode);
        EXPECT_EQ(test::ReadWholeFile(path), text);
        std::set<std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            files.insert(entry.path().filename().string());
        }
        if (c.rdpName != nullptr) {
            EXPECT_EQ(m_settings.remoteDesktopFile, folder + "/" + c.rdpName);
            EXPECT_EQ(files, (std::set<std::string>{c.name, c.rdpName}));
            EXPECT_EQ(test::ReadWholeFile(folder + "/" + c.rdpName), rdp);
        } else {
            EXPECT_EQ(m_settings.remoteDesktopFile, "");
            EXPECT_EQ(files, std::set<std::string>{c.name});
            EXPECT_NE(Log().find("does not end in .zrp"), std::string::npos);
        }
    }
}

TEST_F(ConnectionFileReaderTest, MissingFileOrDirectory) {
    EXPECT_NE(ReadConnectionFile(m_dir.file("absent.zrp"), m_settings, m_mailbox, 1), 0);
    EXPECT_EQ(m_mailbox.Last().text, "Error reading .zrp file");
    EXPECT_NE(ReadConnectionFile(m_dir.path(), m_settings, m_mailbox, 1), 0);
}

TEST_F(ConnectionFileReaderTest, BadInputNeverCrashes) {
    std::string garbage;
    for (int i = 0; i < 5000; ++i) garbage += static_cast<char>((i * 7919) % 256);
    const std::string longValue(5000, 'v');
    const std::string inputs[] = {
        garbage,
        "[ZRP Client]\n" + garbage,
        Render(FullFile()) + "DeviceUserName " + longValue + "\n",
        "[ZRP Client]\nVersionRequired 528\nDeviceUserName " + longValue + "\nProxyHost " +
            std::string(120, 'h') + "\nAuthentication01 zz\n" + std::string(3000, '[') + "\n",
        std::string("[ZRP Client]\nVersionRequired 528\n\0\0\0DeviceUserName x\n", 50),
    };
    for (const std::string& input : inputs) {
        m_settings = ClientSettings{};
        (void)Read(input);
    }
    // A word longer than a dialog field is refused, not cut.
    EXPECT_EQ(m_settings.proxyHost, "");
}

}  // namespace
}  // namespace corvane
