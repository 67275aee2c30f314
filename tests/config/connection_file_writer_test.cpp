#include "config/connection_file_writer.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "config/connection_file.h"
#include "config/error_box.h"
#include "config/log.h"
#include "config/scrambled_text.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

ClientSettings Saved() {
    ClientSettings s;
    s.displayServerAddress = "10.1.2.3";
    s.displayServerPort = 27500;
    s.displayBandwidth = 2;
    s.displayServerName = "Render1";
    s.displayWidth = 1600;
    s.displayHeight = 900;
    s.displayDepth = 24;
    s.displayVisual = 4;
    s.useGLPlus = 1;
    s.monitors = {1, 1, 0, 0};
    s.useFullScreenMode = 1;
    s.deviceUserName = "ann";
    s.projectID = "P42";
    s.protocolType = 1;
    s.proxyHost = "proxy";
    s.proxyPort = 3128;
    return s;
}

class ConnectionFileWriterTest : public ::testing::Test {
protected:
    void SetUp() override { ResetLogForTesting(); }
    void TearDown() override {
        SetErrorBoxHandler(nullptr);
        SetThreadMayWaitForPerson(false);
        ResetLogForTesting();
    }
    test::TempDir m_dir;
};

TEST_F(ConnectionFileWriterTest, FullScreenSessionWithoutSavedPasswordByteForByte) {
    ClientSettings s = Saved();
    s.savePassword = false;
    s.password = std::string(63, 'x');
    std::string path = m_dir.file("saved.zrp");
    ASSERT_EQ(WriteConnectionFile(path, s, {.fullScreenSession = true, .windowFullScreen = true}), 0);
    EXPECT_EQ(test::ReadWholeFile(path),
              "[ZRP Client]\r\n"
              "VersionRequired           528\r\n"
              "DisplayClientType         1\r\n"
              "DisplayServerAddress      10.1.2.3\r\n"
              "DisplayServerPort         27500\r\n"
              "DisplayBandwidth          2\r\n"
              "DisplayProtocol           1\r\n"
              "DisplayClientAutoStart    True\r\n"
              "DisplayServerName         Render1\r\n"
              "DisplayWidth              -1\r\n"
              "DisplayHeight             -1\r\n"
              "DisplayDepth              24\r\n"
              "DisplayVisual             4\r\n"
              "UseGLPlus                 1\r\n"
              "DisplayFullScreen         1\r\n"
              "Monitors                  1 1 0 0\r\n"
              "UseFullScreenMode         1\r\n"
              "UseSeamlessWindowingMode  0\r\n\r\n"
              "ServerCode                \r\n"
              "ProjectID                 P42\r\n"
              "DeviceClientAutoStart     True\r\n"
              "DeviceUserName            ann\r\n"
              "DeviceGroupName           zrp\r\n"
              "DeviceSupport             0\r\n"
              "DeviceServerPort          27001\r\n"
              "DeviceServerAddress       \r\n"
              "Authentication1           00000000000000000000000000000000\r\n"
              "Authentication2           00000000000000000000000000000000\r\n"
              "Authentication3           00000000000000000000000000000000\r\n"
              "Authentication4           00000000000000000000000000000000\r\n"
              "SessionID                 0\r\n"
              "Password                  \r\n"
              "ProtocolType              1\r\n"
              "UseProxy                  0\r\n"
              "ProxyHost                 proxy\r\n"
              "ProxyPort                 3128\r\n\r\n"
              "[EnvVars]\r\n");
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u) << "the file holds a password: its owner's alone";

    // Read back: a full-screen session, and the password must be asked for.
    ClientSettings back;
    StatusMailbox mailbox;
    ASSERT_EQ(ReadConnectionFile(path, back, mailbox, 4), 0);
    EXPECT_EQ(back.displayWidth, -1);
    EXPECT_EQ(back.displayHeight, -1);
    EXPECT_EQ(back.password, "");
}

TEST_F(ConnectionFileWriterTest, ReadingASavedFileBackGivesTheSameConnection) {
    ClientSettings s = Saved();
    ASSERT_EQ(ScrambleText("pass word}~", s.password), 0);
    s.serverCode = "ABC";
    std::string path = m_dir.file("saved.zrp");
    ASSERT_EQ(WriteConnectionFile(path, s, {}), 0);

    ClientSettings back;
    StatusMailbox mailbox;
    ASSERT_EQ(ReadConnectionFile(path, back, mailbox, 4), 0);
    EXPECT_EQ(mailbox.Last().code, 0) << mailbox.Last().text;
    EXPECT_FALSE(back.forceLoginDialog);
    EXPECT_EQ(back.displayServerAddress, s.displayServerAddress);
    EXPECT_EQ(back.displayServerPort, s.displayServerPort);
    EXPECT_EQ(back.displayServerName, s.displayServerName);
    EXPECT_EQ(back.deviceUserName, s.deviceUserName);
    EXPECT_EQ(back.displayWidth, s.displayWidth);
    EXPECT_EQ(back.displayHeight, s.displayHeight);
    EXPECT_EQ(back.displayDepth, s.displayDepth);
    EXPECT_EQ(back.displayVisual, s.displayVisual);
    EXPECT_EQ(back.monitors, s.monitors);
    EXPECT_EQ(back.protocolType, s.protocolType);
    EXPECT_EQ(back.proxyHost, s.proxyHost);
    EXPECT_EQ(back.proxyPort, s.proxyPort);
    EXPECT_EQ(back.password, s.password);
    EXPECT_EQ(back.serverCode, "ABC");
    EXPECT_EQ(back.sessionID, 0);
}

TEST_F(ConnectionFileWriterTest, GeneratedEnvironmentDefinitions) {
    struct Case {
        const char* name;
        void (*setup)(ClientSettings&);
        const char* tail;
    };
    const Case cases[] = {
        {"rdp full screen",
         [](ClientSettings& s) {
             s.rdpEnabled = true;
             s.rdpHost = "win1";
             s.rdpUser = "ann";
             s.rdpPrivateColours = true;
             s.rdpFullScreen = true;
             s.rdpProgram = "notepad";
         },
         "[EnvVars]\r\nQELRDPHOST=win1\r\nQELRDPARGS=-N -u ann -v -F -s notepad\r\n"},
        {"rdp window",
         [](ClientSettings& s) {
             s.rdpEnabled = true;
             s.rdpHost = "win1";
             s.rdpUser = "ann";
             s.rdpWidth = 800;
             s.rdpHeight = 600;
         },
         "[EnvVars]\r\nQELRDPHOST=win1\r\nQELRDPARGS=-N -u ann -g 800x600\r\nQELWM=Motif\r\n"},
        {"rdp without host",
         [](ClientSettings& s) {
             s.rdpEnabled = true;
             s.xdmcpType = "query";
             s.xdmcpHost = "xhost";
         },
         "[EnvVars]\r\n"},
        {"xdmcp",
         [](ClientSettings& s) {
             s.xdmcpType = "query";
             s.xdmcpHost = "xhost";
             s.xdmcpAddr = "10.0.0.9";
         },
         "[EnvVars]\r\nQELXDMCPTYPE=query\r\nQELXDMCPHOST=xhost\r\nQELXDMCPFROM=10.0.0.9\r\n"},
        {"xdmcp without host", [](ClientSettings& s) { s.xdmcpType = "query"; }, "[EnvVars]\r\n"},
    };
    for (const Case& c : cases) {
        ClientSettings s = Saved();
        c.setup(s);
        std::string path = m_dir.file("env.zrp");
        ASSERT_EQ(WriteConnectionFile(path, s, {}), 0);
        std::string text = test::ReadWholeFile(path);
        std::string tail = c.tail;
        ASSERT_GE(text.size(), tail.size());
        EXPECT_EQ(text.substr(text.size() - tail.size()), tail) << c.name;
    }
}

TEST_F(ConnectionFileWriterTest, UncreatableFileShowsTheBoxAndKeepsNothingHalfWritten) {
    std::vector<std::pair<std::string, std::string>> boxes;
    // Saving runs on the user-interface thread, which may wait for the user's answer.
    SetThreadMayWaitForPerson(true);
    SetErrorBoxHandler([&](const std::string& caption, const std::string& text) {
        boxes.emplace_back(caption, text);
    });
    std::string path = m_dir.file("missing-folder/saved.zrp");
    EXPECT_EQ(WriteConnectionFile(path, Saved(), {}), 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, "Error creating zrp file!");
    EXPECT_EQ(boxes[0].second, "Unable to create file:\r\n" + path);

    // A save that replaces an earlier file replaces it whole.
    std::string existing = m_dir.write("saved.zrp", "earlier contents");
    ASSERT_EQ(WriteConnectionFile(existing, Saved(), {}), 0);
    EXPECT_EQ(test::ReadWholeFile(existing).rfind("[ZRP Client]\r\n", 0), 0u);
    EXPECT_FALSE(test::ReadWholeFile(existing + ".part").size());
}

// The earlier file is replaced only by a rename: a save that fails partway leaves it whole,
// and one that succeeds puts a new file in its place instead of rewriting the old one, so a
// second link to the old file still shows the earlier contents.
TEST_F(ConnectionFileWriterTest, TheEarlierFileIsReplacedOnlyByRename) {
    std::vector<std::string> boxes;
    SetThreadMayWaitForPerson(true);
    SetErrorBoxHandler(
        [&](const std::string& caption, const std::string&) { boxes.push_back(caption); });
    const std::string path = m_dir.write("saved.zrp", "earlier contents");
    const std::string earlier = m_dir.file("earlier.zrp");
    ASSERT_EQ(::link(path.c_str(), earlier.c_str()), 0);

    // A line too long for the writer fails the save after the lines before it were written.
    ClientSettings failing = Saved();
    failing.displayServerName = std::string(600, 'n');
    EXPECT_EQ(WriteConnectionFile(path, failing, {}), 1);
    EXPECT_EQ(boxes, std::vector<std::string>{"Error creating zrp file!"});
    EXPECT_EQ(test::ReadWholeFile(path), "earlier contents");
    EXPECT_FALSE(std::filesystem::exists(path + ".part"));

    ASSERT_EQ(WriteConnectionFile(path, Saved(), {}), 0);
    EXPECT_EQ(test::ReadWholeFile(path).rfind("[ZRP Client]\r\n", 0), 0u);
    EXPECT_EQ(test::ReadWholeFile(earlier), "earlier contents");
}

// A saved server code is its scrambled form whatever its length. The reader takes a short code
// in clear as well, so reading the file back cannot tell the two apart: the line must.
TEST_F(ConnectionFileWriterTest, TheServerCodeIsSavedScrambled) {
    const std::string key = "\r\nServerCode                ";
    for (const std::string code : {"ABC", "A-SERVER-CODE-OF-20"}) {
        SCOPED_TRACE(code);
        ClientSettings s = Saved();
        s.serverCode = code;
        const std::string path = m_dir.file("code.zrp");
        ASSERT_EQ(WriteConnectionFile(path, s, {}), 0);
        const std::string text = test::ReadWholeFile(path);
        const size_t at = text.find(key);
        ASSERT_NE(at, std::string::npos);
        const std::string stored = text.substr(at + key.size(), kScrambledLength);
        EXPECT_EQ(text.substr(at + key.size() + kScrambledLength, 2), "\r\n");
        std::string clear;
        ASSERT_EQ(UnscrambleText(stored, clear), 0) << "stored as: " << stored;
        EXPECT_EQ(clear, code);
    }
}

}  // namespace
}  // namespace corvane
