#include "config/site_settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <unistd.h>

#include "config/host_list.h"
#include "config/log.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

// Every [Viewer] key present, so that no message is posted for a missing one.
const std::string kFullSiteFile =
    "[Viewer]\n"
    "LogFile                   client.log\n"
    "PrintDebug                2\n"
    "DebugDrawingRect          5\n"
    "DisplayPort               27600\n"
    "MaxScreenWidth            1280\n"
    "MaxScreenHeight           1024\n"
    "ColorDepth                16\n"
    "VisualClass               4\n"
    "BackingStore              1\n"
    "AddOptions                -nolisten\n"
    "CloseDialog               0\n"
    "SessionLoginDialog        0\n"
    "KeyMapNumber              1\n"
    "[User]\n"
    "Username                  ann\n"
    "[Xdmcp]\n"
    "XdmcpType                 query\n"
    "XdmcpHost                 xhost\n"
    "XdmcpAddr                 -\n"
    "[Protocol]\n"
    "ProtocolType              1\n"
    "[Hosts]\n"
    "# address name code port\n"
    "alpha.example  Alpha  CODE1  27501\n"
    "beta.example\n"
    "gamma.example  Gamma  -  70000\n"
    "\n"
    "delta.example  Delta  CODE4  1\n"
    "[EnvVars]\n"
    "SITE=1\n";

class SiteSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetLogForTesting();
        fs::create_directories(m_documents);
        fs::create_directories(m_install);
        fs::current_path(m_dir.path());
        setenv("XDG_DOCUMENTS_DIR", m_documents.c_str(), 1);
        setenv("HOME", m_dir.path().c_str(), 1);
    }
    void TearDown() override {
        fs::current_path(m_oldCwd);
        unsetenv("XDG_DOCUMENTS_DIR");
        ResetLogForTesting();
    }

    // The machine's registry: the product key with these values ("" for none), or no key.
    platform::Registry Registry(bool productKey, const std::string& qelini,
                                const std::string& installPath = "",
                                const std::string& savePassword = "") {
        std::string text;
        if (productKey) {
            text += "[HKEY_LOCAL_MACHINE\\Software\\Halden Systems]\n";
            if (!qelini.empty()) text += "QELINI=" + qelini + "\n";
            if (!installPath.empty()) text += "INSTALLPATH=" + installPath + "\n";
            if (!savePassword.empty()) text += "SAVEPASSWD=" + savePassword + "\n";
        }
        return platform::Registry::LoadFile(m_dir.write("registry", text));
    }

    std::string Installed(const std::string& text = kFullSiteFile) {
        return m_dir.write("install/qel.ini", text);
    }

    int Load(const platform::Registry& registry) {
        return LoadSiteSettings(m_settings, m_mailbox, registry, m_env);
    }

    test::TempDir m_dir;
    std::string m_documents = m_dir.file("docs");
    std::string m_install = m_dir.file("install");
    std::string m_connections = m_dir.file("docs/My Connections");
    const fs::path m_oldCwd = fs::current_path();
    ClientSettings m_settings;
    StatusMailbox m_mailbox;
    EnvBlock m_env;
};

TEST_F(SiteSettingsTest, FirstUseCopiesTheInstalledFileIntoMyConnections) {
    std::string installed = Installed();
    ASSERT_EQ(Load(Registry(true, installed, m_install)), 0);
    EXPECT_EQ(m_mailbox.Last().code, 0) << m_mailbox.Last().text;
    EXPECT_EQ(m_settings.siteFilePath, m_connections + "/qel.ini");
    EXPECT_EQ(m_settings.configDirectory, m_connections);
    EXPECT_EQ(m_settings.installPath, m_install);
    EXPECT_EQ(test::ReadWholeFile(m_connections + "/qel.ini"), kFullSiteFile);
    EXPECT_TRUE(m_settings.savePassword);

    // The copy belongs to the user from now on: a changed installed file does not replace it.
    Installed("[Viewer]\nPrintDebug 9\n");
    ASSERT_EQ(Load(Registry(true, installed, m_install)), 0);
    EXPECT_EQ(test::ReadWholeFile(m_connections + "/qel.ini"), kFullSiteFile);
    EXPECT_EQ(m_settings.printDebug, 2);
}

TEST_F(SiteSettingsTest, ReadsEveryKeyAndOpensTheLogInTheConfigurationDirectory) {
    std::string installed = Installed();
    ASSERT_EQ(Load(Registry(true, installed, m_install)), 0);
    const ClientSettings& s = m_settings;
    EXPECT_EQ(s.logPath, m_connections + "/client.log");
    EXPECT_EQ(s.printDebug, 2);
    EXPECT_EQ(DebugLevel(), 2);
    EXPECT_EQ(s.debugDrawingRect, 1);
    EXPECT_EQ(s.displayServerPort, 27600);
    EXPECT_EQ(s.displayWidth, 1280);
    EXPECT_EQ(s.displayHeight, 1024);
    EXPECT_EQ(s.displayDepth, 16);
    EXPECT_EQ(s.displayVisual, 4);
    EXPECT_EQ(s.backingStore, 1);
    EXPECT_EQ(s.useGLPlus, 0);
    EXPECT_EQ(s.addOptions, "-nolisten");
    EXPECT_FALSE(s.closeDialog);
    EXPECT_EQ(s.deviceUserName, "ann");
    EXPECT_EQ(s.keyMapNumber, 1);
    EXPECT_EQ(s.protocolType, 1);
    EXPECT_EQ(s.xdmcpType, "query");
    EXPECT_EQ(s.xdmcpHost, "xhost");
    EXPECT_EQ(s.xdmcpAddr, "") << "a lone placeholder character means not set";
    EXPECT_FALSE(s.forceLoginDialog);
    EXPECT_FALSE(s.keyMapFileEnabled);
    EXPECT_EQ(m_env.Text(), "SITE=1");
    DebugPrint(0, "into the site log\n");
    EXPECT_NE(test::ReadWholeFile(s.logPath).find("into the site log"), std::string::npos);
}

TEST_F(SiteSettingsTest, LocatingFailuresFallBackToDefaults) {
    struct Case {
        const char* name;
        bool productKey;
        bool qelini;
        bool userCopy;
        bool noDocuments;
        const char* message;
    };
    const Case cases[] = {
        {"no product key, no user copy", false, false, false, false,
         "Unable to open\r\nHKEY_LOCAL_MACHINE\\Software\\Halden Systems!\r\nDefaults will be "
         "used."},
        {"no QELINI", true, false, false, false,
         "Registry key \"QELINI\" not found!\r\nDefaults will be used."},
        {"user copy but no product key", false, false, true, false,
         "Registry key \"INSTALLPATH\" not found!\r\nDefaults will be used."},
        {"no documents folder", true, true, false, true,
         "Registry key \"Personal\" not found!\r\nDefaults will be used."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(m_connections);
        if (c.userCopy) m_dir.write("docs/My Connections/qel.ini", kFullSiteFile);
        if (c.noDocuments) {
            unsetenv("XDG_DOCUMENTS_DIR");
            setenv("HOME", m_dir.file("nowhere").c_str(), 1);
        }
        m_settings = ClientSettings{};
        m_mailbox.Post(0, "");
        EXPECT_EQ(Load(Registry(c.productKey, c.qelini ? Installed() : "", m_install)), 1);
        EXPECT_EQ(m_mailbox.Last().text, c.message);
        if (c.noDocuments) {
            EXPECT_EQ(m_settings.configDirectory, m_install);
        }
        SetUp();
    }
}

TEST_F(SiteSettingsTest, DefaultsWithoutASiteFile) {
    ASSERT_EQ(Load(Registry(false, "")), 1);
    ApplyNoSiteDefaults(m_settings);
    EXPECT_EQ(m_settings.displayDepth, 24);
    EXPECT_EQ(m_settings.displayVisual, 4);
    EXPECT_EQ(m_settings.displayServerPort, 27500);
    EXPECT_EQ(m_settings.displayWidth, 1024);
    EXPECT_EQ(m_settings.displayHeight, 768);
    EXPECT_EQ(m_settings.printDebug, 0);
    EXPECT_EQ(m_settings.useGLPlus, 1);
    EXPECT_FALSE(m_settings.closeDialog);
    EXPECT_EQ(m_settings.logPath, "QelClientLog.txt");
    EXPECT_EQ(GetLogStream(), stderr) << "the log is never opened";
}

TEST_F(SiteSettingsTest, InstalledFileThatIsMissingAndInstallPathWithoutValue) {
    EXPECT_EQ(Load(Registry(true, m_dir.file("absent/qel.ini"), m_install)), 1);
    EXPECT_EQ(m_mailbox.Last().text, "Error reading qel.ini\r\nDefaults will be used.");

    // A product key without INSTALLPATH: told, the built-in path used, and reading goes on.
    fs::remove_all(m_connections);
    m_mailbox.Post(0, "");
    ASSERT_EQ(Load(Registry(true, Installed())), 0);
    EXPECT_EQ(m_mailbox.Last().text, "Registry key \"INSTALLPATH\" not found!\r\nDefaults will be used.");
    EXPECT_FALSE(m_settings.installPath.empty());
}

TEST_F(SiteSettingsTest, DemoFileInTheCurrentDirectoryWins) {
    m_dir.write("demo.ini", "[Viewer]\nLogFile demo.log\nPrintDebug 3\n");
    ASSERT_EQ(Load(Registry(false, "")), 0);
    EXPECT_EQ(m_settings.siteFilePath, "demo.ini");
    EXPECT_EQ(m_settings.printDebug, 3);
}

TEST_F(SiteSettingsTest, MissingKeysTakeTheirDefaultsAndTheLastMessageShows) {
    Installed("[Viewer]\nLogFile client.log\nPrintDebug 1\nVisualClass 4\n");
    ASSERT_EQ(Load(Registry(true, m_install + "/qel.ini", m_install)), 0);
    EXPECT_EQ(m_settings.displayDepth, 8);
    EXPECT_EQ(m_settings.displayVisual, 4) << "present keys keep their value";
    EXPECT_EQ(m_settings.displayServerPort, 27500);
    EXPECT_TRUE(m_settings.closeDialog);
    EXPECT_EQ(m_settings.sessionLoginDialog, 1);
    EXPECT_TRUE(m_settings.forceLoginDialog);
    EXPECT_EQ(m_mailbox.Last().text, "Error:  zRP Display Client cannot read SessionLoginDialog.");

    fs::remove_all(m_connections);
    Installed("[Viewer]\nPrintDebug 1\n");
    ASSERT_EQ(Load(Registry(true, m_install + "/qel.ini", m_install)), 0);
    EXPECT_EQ(m_settings.displayDepth, 8);
    EXPECT_EQ(m_settings.displayVisual, 3);
    EXPECT_EQ(m_settings.logPath, "zRPDisplayLog.txt") << "in the current directory";
    EXPECT_TRUE(fs::exists(m_dir.file("zRPDisplayLog.txt")));
}

// The full site file with one [Viewer] key's line replaced, or dropped when `line` is empty.
std::string WithViewerLine(const std::string& key, const std::string& line) {
    std::string text = kFullSiteFile;
    const size_t at = text.find("\n" + key + " ") + 1;
    const size_t end = text.find('\n', at) + 1;
    text.replace(at, end - at, line.empty() ? "" : line + "\n");
    return text;
}

// The Session Login dialog is asked for by the file's SessionLoginDialog (1 when absent) and
// by any key the user must supply; keys with a harmless default ask for nothing.
TEST_F(SiteSettingsTest, SessionLoginDialogAndMissingRequiredKeysAskForTheLoginDialog) {
    struct Case {
        const char* key;
        std::string line;  // empty: the key is absent
        bool forcesLogin;
        const char* message;  // posted; nullptr: none
    };
    const Case cases[] = {
        {"SessionLoginDialog", "SessionLoginDialog 1", true, nullptr},
        {"SessionLoginDialog", "SessionLoginDialog 0", false, nullptr},
        {"SessionLoginDialog", "", true, "Error:  zRP Display Client cannot read SessionLoginDialog."},
        {"LogFile", "", true, "Error:  zRP Display Client cannot read LogFile"},
        {"PrintDebug", "", true, "Error:  zRP Display Client cannot read PrintDebug."},
        {"DisplayPort", "", true, "Error:  zRP Display Client cannot read PortNumber."},
        {"MaxScreenWidth", "", true, "Error:  zRP Display Client cannot read MaxScreenWidth."},
        {"MaxScreenHeight", "", true, "Error:  zRP Display Client cannot read MaxScreenHeight."},
        {"ColorDepth", "", true, "Error:  zRP Display Client cannot read ColorDepth."},
        {"VisualClass", "", true, "Error:  zRP Display Client cannot read VisualClass."},
        {"BackingStore", "", true, "Error:  zRP Display Client cannot read BackingStore."},
        {"AddOptions", "", true, "Error:  zRP Display Client cannot read AddOptions."},
        {"CloseDialog", "", true, "Error:  zRP Display Client cannot read CloseDialog."},
        {"DebugDrawingRect", "", false, nullptr},
        {"KeyMapNumber", "", false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " as \"" + c.line + "\"");
        fs::remove_all(m_connections);
        Installed(WithViewerLine(c.key, c.line));
        m_settings = ClientSettings{};
        m_mailbox.Post(0, "");
        ASSERT_EQ(Load(Registry(true, m_install + "/qel.ini", m_install)), 0);
        EXPECT_EQ(m_settings.forceLoginDialog, c.forcesLogin);
        EXPECT_EQ(m_mailbox.Last().text, c.message ? c.message : "");
    }
}

TEST_F(SiteSettingsTest, PrintDebugAbsentIsOneAndPostsItsMessage) {
    Installed("[Viewer]\nLogFile client.log\n");
    ASSERT_EQ(Load(Registry(true, m_install + "/qel.ini", m_install)), 0);
    EXPECT_EQ(m_settings.printDebug, 1);
    EXPECT_NE(test::ReadWholeFile(m_settings.logPath).find("DEBUG: No KeyMapFile defined.\n"),
              std::string::npos);
}

TEST_F(SiteSettingsTest, SavePasswordIsOffOnlyForExactlyFalse) {
    const std::pair<const char*, bool> cases[] = {{"false", false}, {"False", true}, {"", true}, {"0", true}};
    for (const auto& [value, expected] : cases) {
        ASSERT_EQ(Load(Registry(true, Installed(), m_install, value)), 0);
        EXPECT_EQ(m_settings.savePassword, expected) << value;
    }
}

TEST_F(SiteSettingsTest, KeyMapFileIsCheckedForReadAccess) {
    m_dir.write("docs/My Connections/keys.map", "! none\n");
    std::string withMap = "[Viewer]\nLogFile client.log\nPrintDebug 1\nKeyMapFile keys.map\n";
    Installed(withMap);
    ASSERT_EQ(Load(Registry(true, m_install + "/qel.ini", m_install)), 0);
    EXPECT_TRUE(m_settings.keyMapFileEnabled);
    EXPECT_EQ(m_settings.keyMapFile, m_connections + "/keys.map");

    fs::remove(m_connections + "/keys.map");
    ASSERT_EQ(Load(Registry(true, m_install + "/qel.ini", m_install)), 0);
    EXPECT_FALSE(m_settings.keyMapFileEnabled);
    EXPECT_NE(test::ReadWholeFile(m_settings.logPath)
                  .find("Error: KeyMapFile \"" + m_connections +
                        "/keys.map\" does not exist or have read permission.\n"),
              std::string::npos);
}

TEST_F(SiteSettingsTest, XdmcpPlaceholderClearsAllThree) {
    Installed("[Viewer]\nLogFile l\n[Xdmcp]\nXdmcpType -\nXdmcpHost xhost\nXdmcpAddr 10.0.0.1\n");
    ASSERT_EQ(Load(Registry(true, m_install + "/qel.ini", m_install)), 0);
    EXPECT_EQ(m_settings.xdmcpType, "");
    EXPECT_EQ(m_settings.xdmcpHost, "");
    EXPECT_EQ(m_settings.xdmcpAddr, "");
}

TEST_F(SiteSettingsTest, HostList) {
    ASSERT_EQ(Load(Registry(true, Installed(), m_install)), 0);
    auto hosts = ReadHostList(m_settings, false);
    ASSERT_EQ(hosts.size(), 4u);
    EXPECT_EQ(hosts[0].address, "alpha.example");
    EXPECT_EQ(hosts[0].name, "Alpha");
    EXPECT_EQ(hosts[0].code, "CODE1");
    EXPECT_EQ(hosts[0].port, 27501);
    EXPECT_EQ(hosts[1].address, "beta.example");
    EXPECT_EQ(hosts[1].name, "Unknown");
    EXPECT_EQ(hosts[1].code, "");
    EXPECT_EQ(hosts[1].port, 27500);
    EXPECT_EQ(hosts[2].code, "") << "a code beginning with '-' is none";
    EXPECT_EQ(hosts[2].port, 27500) << "70000 is no port";
    EXPECT_EQ(hosts[3].port, 27500) << "1 is no port";

    m_settings.displayServerAddress = "zrp.example";
    m_settings.displayServerName = "FromFile";
    hosts = ReadHostList(m_settings, true);
    ASSERT_EQ(hosts.size(), 5u);
    EXPECT_EQ(hosts[0].address, "zrp.example");
}

TEST_F(SiteSettingsTest, HostListStopsAtFiftyAndSurvivesGarbage) {
    std::string text = "[Hosts]\n" + std::string(300, 'x') + "\n";
    text += std::string(140, 'w') + " toolong\n";
    for (int i = 0; i < 80; ++i) text += "host" + std::to_string(i) + " name\n";
    m_settings.siteFilePath = m_dir.write("hosts.ini", text);
    auto hosts = ReadHostList(m_settings, false);
    EXPECT_EQ(hosts.size(), kMaxHosts);

    m_settings.siteFilePath = m_dir.file("absent.ini");
    EXPECT_TRUE(ReadHostList(m_settings, false).empty());
}

TEST(CopyTextFile, RefusesMissingSourceAndExistingDestination) {
    test::TempDir dir;
    std::string source = dir.write("a.ini", "one\ntwo " + std::string(300, 'x') + "\n");
    EXPECT_EQ(CopyTextFile(dir.file("absent"), dir.file("b.ini")), -1);
    EXPECT_EQ(CopyTextFile(source, dir.file("b.ini")), 0);
    EXPECT_EQ(test::ReadWholeFile(dir.file("b.ini")), test::ReadWholeFile(source));
    dir.write("c.ini", "mine");
    EXPECT_EQ(CopyTextFile(source, dir.file("c.ini")), -1);
    EXPECT_EQ(test::ReadWholeFile(dir.file("c.ini")), "mine");
    EXPECT_EQ(CopyTextFile(source, dir.file("no-folder/d.ini")), -1);
}

}  // namespace
}  // namespace corvane
