// The client program with a connection file that holds an [RDP] section: it hands the
// connection to the remote-desktop client found on PATH (here a stand-in that records what it
// was given) and ends, without a login of its own.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "end_to_end_fixture.h"

namespace corvane::test {
namespace {

TEST_F(EndToEndTest, RdpSectionHandsTheConnectionToTheRemoteDesktopClient) {
    const std::string standIn = m_dir.write("bin/xfreerdp",
                                            "#!/bin/sh\n"
                                            "printf '%s\\n' \"$@\" > \"$0.args.part\" && mv \"$0.args.part\" \"$0.args\"\n"
                                            "cat > \"$0.input\"\n");
    ASSERT_EQ(::chmod(standIn.c_str(), 0755), 0);
    const char* oldPath = std::getenv("PATH");
    const std::string saved = oldPath != nullptr ? oldPath : "";
    setenv("PATH", (m_dir.file("bin") + ":" + saved).c_str(), 1);
    const std::string zrp = ConnectionFile("DisplayWidth -1\r\nDisplayHeight -1\r\n\r\n[RDP]\r\nscreen mode id:i:2\r\n");
    ClientRun run = RunClient({}, zrp);
    setenv("PATH", saved.c_str(), 1);

    EXPECT_EQ(run.exitCode, 0) << run.log;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((ReadWholeFile(standIn + ".args").empty() || ReadWholeFile(standIn + ".input").empty()) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const std::string rdpFile = zrp.substr(0, zrp.size() - 3) + "rdp";
    EXPECT_EQ(ReadWholeFile(standIn + ".args"), rdpFile + "\n/v:127.0.0.1\n/u:ann\n/from-stdin:force\n/f\n");
    EXPECT_EQ(ReadWholeFile(standIn + ".input"), "secret\n");
    EXPECT_EQ(ReadWholeFile(rdpFile), "screen mode id:i:2\r\n");
    // No login was tried, and the password is in no log.
    EXPECT_EQ(run.log.find("Starting Login Session"), std::string::npos) << run.log;
    EXPECT_EQ(run.log.find("secret"), std::string::npos) << run.log;
}

}  // namespace
}  // namespace corvane::test
