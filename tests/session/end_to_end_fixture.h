// Runs the test server and the headless client as programs on loopback, with a site file,
// a registry file and a connection file of the test's own, and collects what both logged.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "config/scrambled_text.h"
#include "support/temp_dir.h"

namespace corvane::test {

struct ClientRun {
    int exitCode = 0;
    std::string log;     // the client's log file
    std::string stderrText;
    std::chrono::milliseconds took{0};  // from the start to the end of the process
};

// How long a client may run before its test gives up on it. Every run here ends in a second
// or two; a client that hangs should cost its test seconds, not the half minute of its own
// --exit-after. A test whose client legitimately runs longer passes its own bound.
inline constexpr std::chrono::milliseconds kClientBound = std::chrono::seconds(10);

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir.write("docs/.keep", "");
        std::string site = m_dir.write("install/qel.ini", SiteFile());
        m_dir.write("registry", "[HKEY_LOCAL_MACHINE\\Software\\Halden Systems]\nQELINI=" + site +
                                    "\nINSTALLPATH=" + m_dir.file("install") + "\n");
    }

    virtual std::string SiteFile() const {
        return "[Viewer]\nLogFile client.log\nPrintDebug 15\nDisplayPort 27500\nMaxScreenWidth 640\n"
               "MaxScreenHeight 480\nColorDepth 24\nVisualClass 4\nBackingStore 0\nAddOptions \n"
               "CloseDialog 0\nSessionLoginDialog 0\nUseGLPlus 0\n";
    }

    // Starts the server with these options; false when it did not report its port.
    bool StartServer(std::vector<std::string> options, bool once = true) {
        std::vector<std::string> args = {CORVANE_TESTSERVER_PATH, "--port", "0", "--log",
                                         m_dir.file("server.log"), "--exit-after", "60",
                                         "--user", "ann:secret"};
        if (once) args.push_back("--once");
        args.insert(args.end(), options.begin(), options.end());
        if (!m_server.Start(args, {}, m_dir.file("server.stderr"))) return false;
        std::string line = m_server.ReadLine();
        const std::string prefix = "listening on ";
        if (line.rfind(prefix, 0) != 0) return false;
        m_port = std::stoi(line.substr(prefix.size()));
        return true;
    }

    // A connection file for user ann with password "secret" (scrambled) and `extra` lines.
    std::string ConnectionFile(const std::string& extra = "") {
        std::string password;
        EXPECT_EQ(ScrambleText("secret", password), 0);
        std::ostringstream zrp;
        zrp << "[ZRP Client]\r\nVersionRequired 528\r\nDeviceUserName ann\r\nPassword " << password
            << "\r\nSessionID 0\r\nDisplayServerAddress 127.0.0.1\r\nDisplayServerName test\r\n"
            << "DisplayServerPort " << m_port << "\r\nDisplayBandwidth 1\r\n" << extra;
        return m_dir.write("session.zrp", zrp.str());
    }

    // Runs the headless client to its end. A client still running at `bound` is killed and
    // the test fails, saying so and showing what the client logged.
    ClientRun RunClient(std::vector<std::string> options, const std::string& zrp,
                        std::chrono::milliseconds bound = kClientBound) {
        std::vector<std::string> args = {CORVANE_CLIENT_PATH, "--headless"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(zrp);
        ChildProcess client;
        ClientRun run;
        const auto started = std::chrono::steady_clock::now();
        if (!client.Start(args,
                          {"CORVANE_REGISTRY=" + m_dir.file("registry"),
                           "XDG_DOCUMENTS_DIR=" + m_dir.file("docs"), "HOME=" + m_dir.path()},
                          m_dir.file("client.stderr"))) {
            ADD_FAILURE() << "the client could not be started: " << CORVANE_CLIENT_PATH;
            run.exitCode = -2000;
            return run;
        }
        run.exitCode = client.Wait(bound);
        run.took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
        run.log = ReadWholeFile(m_dir.file("docs/My Connections/client.log"));
        run.stderrText = ReadWholeFile(m_dir.file("client.stderr"));
        if (run.exitCode == ChildProcess::kKilledAtBound) {
            ADD_FAILURE() << "the client did not end within " << std::chrono::duration<double>(bound).count()
                          << " s and was killed\n--- client log ---\n"
                          << run.log << "\n--- client standard error ---\n"
                          << run.stderrText;
        }
        return run;
    }

    // The server's log once it has ended (it is stopped when it does not end by itself).
    std::string ServerLog(std::chrono::milliseconds bound = std::chrono::seconds(20)) {
        (void)m_server.Wait(bound);
        return ReadWholeFile(m_dir.file("server.log"));
    }

    std::string Scenario(const std::string& text) { return m_dir.write("scenario.txt", text); }

    TempDir m_dir;
    ChildProcess m_server;
    int m_port = 0;
};

}  // namespace corvane::test
