#include "session/remote_desktop.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "config/error_box.h"
#include "config/scrambled_text.h"
#include "platform/program_launch.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

using test::ReadWholeFile;
using test::TempDir;

// Puts `folder` first on PATH for the test's life.
class PathFirst {
public:
    explicit PathFirst(const std::string& folder) {
        const char* old = std::getenv("PATH");
        m_old = old != nullptr ? old : "";
        setenv("PATH", (folder + ":" + m_old).c_str(), 1);
    }
    ~PathFirst() { setenv("PATH", m_old.c_str(), 1); }

private:
    std::string m_old;
};

// Records the captions of the error boxes shown meanwhile.
class BoxRecorder {
public:
    // The hand-off runs on the session thread, which may wait for the user's answer.
    BoxRecorder() {
        SetThreadMayWaitForPerson(true);
        SetErrorBoxHandler([this](const std::string& caption, const std::string&) { captions.push_back(caption); });
    }
    ~BoxRecorder() {
        SetErrorBoxHandler(nullptr);
        SetThreadMayWaitForPerson(false);
    }
    std::vector<std::string> captions;
};

ClientSettings Connection() {
    ClientSettings s;
    s.displayServerAddress = "win.example";
    s.deviceUserName = "ann";
    EXPECT_EQ(ScrambleText("pa ss;$(word)", s.password), 0);
    s.remoteDesktopFile = "/home/ann/Documents/My Connections/office.rdp";
    s.displayWidth = 1280;
    s.displayHeight = 1024;
    return s;
}

// Waits, with a bound, until the file holds a whole line.
std::string WaitForLine(const std::string& path) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::string text;
    while ((text = ReadWholeFile(path)).find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return text;
}

TEST(RemoteDesktop, ArgumentsForEachSize) {
    const struct {
        int width;
        int height;
        std::vector<std::string> size;
    } cases[] = {
        {1280, 1024, {"/w:1280", "/h:1024"}},
        {-1, -1, {"/f"}},  // a full-screen connection file
        {0, 0, {}},
        {1280, 0, {}},
    };
    for (const auto& c : cases) {
        ClientSettings s = Connection();
        s.displayWidth = c.width;
        s.displayHeight = c.height;
        std::vector<std::string> expected = {"xfreerdp", s.remoteDesktopFile, "/v:win.example", "/u:ann",
                                             "/from-stdin:force"};
        expected.insert(expected.end(), c.size.begin(), c.size.end());
        EXPECT_EQ(RemoteDesktopArguments(s), expected) << c.width << "x" << c.height;
    }
}

// A stand-in for the remote-desktop client records what it was given: the password arrives on
// its standard input and nowhere in its arguments.
TEST(RemoteDesktop, ThePasswordGoesToStandardInputOnly) {
    TempDir dir;
    const std::string program = dir.write("bin/xfreerdp",
                                          "#!/bin/sh\n"
                                          "printf '%s\\n' \"$@\" > \"$0.args.part\" && mv \"$0.args.part\" \"$0.args\"\n"
                                          "cat > \"$0.input\"\n");
    ASSERT_EQ(::chmod(program.c_str(), 0755), 0);
    PathFirst path(dir.file("bin"));
    BoxRecorder boxes;

    EXPECT_EQ(ConnectByRemoteDesktop(Connection()), 1);
    const std::string input = WaitForLine(program + ".input");
    const std::string args = WaitForLine(program + ".args");
    EXPECT_EQ(input, "pa ss;$(word)\n");
    EXPECT_EQ(args, "/home/ann/Documents/My Connections/office.rdp\n/v:win.example\n/u:ann\n/from-stdin:force\n"
                    "/w:1280\n/h:1024\n");
    EXPECT_EQ(args.find("pa ss"), std::string::npos);
    EXPECT_TRUE(boxes.captions.empty());
}

TEST(RemoteDesktop, AMissingProgramIsReported) {
    TempDir dir;
    dir.write("bin/.keep", "");
    const char* old = std::getenv("PATH");
    const std::string saved = old != nullptr ? old : "";
    setenv("PATH", dir.file("bin").c_str(), 1);
    BoxRecorder boxes;
    EXPECT_EQ(ConnectByRemoteDesktop(Connection()), 1);
    setenv("PATH", saved.c_str(), 1);
    EXPECT_EQ(boxes.captions, std::vector<std::string>{"ERROR: RDP Client Connector"});
}

TEST(RemoteDesktop, ProgramsAreFoundOnThePath) {
    TempDir dir;
    const std::string tool = dir.write("b/tool", "#!/bin/sh\n");
    dir.write("a/tool", "not executable");
    ASSERT_EQ(::chmod(tool.c_str(), 0755), 0);
    const std::string search = dir.file("a") + "::" + dir.file("b");
    EXPECT_EQ(platform::FindProgramOnPath("tool", search), tool);
    EXPECT_EQ(platform::FindProgramOnPath("other", search), "");
    EXPECT_EQ(platform::FindProgramOnPath(tool, ""), tool);
}

// The real client, where the machine has it: found, and started with --version. (It wants an
// X display even for that, so only that it ran is checked, not what it said.)
TEST(RemoteDesktop, TheInstalledClientIsFoundAndRuns) {
    const std::string program = platform::FindProgram(kRemoteDesktopProgram);
    if (program.empty()) GTEST_SKIP() << "xfreerdp is not installed";
    const platform::StartedProgram started = platform::StartProgram(program, {kRemoteDesktopProgram, "--version"}, "");
    ASSERT_GT(started.pid, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(started.pid, &status, 0), started.pid);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_NE(WEXITSTATUS(status), 127);
}

}  // namespace
}  // namespace corvane
