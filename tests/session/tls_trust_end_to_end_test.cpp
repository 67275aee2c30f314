// TLS trust against the test server, which makes a new self-signed certificate at every
// start: with no trust every server is taken; trusted on first use, a server's certificate is
// remembered and a different one later is refused until the user removes the old line; with
// the system's authorities a self-signed server is refused. Each mode is logged.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>

#include "end_to_end_fixture.h"

namespace corvane::test {
namespace {

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class TlsTrustEndToEndTest : public EndToEndTest {
protected:
    // The client inherits this process's environment, whose HOME comes before the one the
    // fixture adds: the configuration folder is named outright so that no test writes to the
    // real user's.
    void SetUp() override {
        EndToEndTest::SetUp();
        ::setenv("XDG_CONFIG_HOME", m_dir.file(".config").c_str(), 1);
    }
    void TearDown() override { ::unsetenv("XDG_CONFIG_HOME"); }

    std::string KnownServers() const { return m_dir.file(".config/corvane/known_servers"); }

    // Starts a fresh TLS server (a new certificate) and runs one client against it.
    ClientRun RunAgainstNewServer(const std::string& trust) {
        if (m_port != 0) (void)ServerLog(std::chrono::milliseconds(100));
        EXPECT_TRUE(StartServer({"--static", "--tls"}, false));
        return RunTrusting(trust);
    }
    ClientRun RunTrusting(const std::string& trust) {
        return RunClient({"--exit-after-frames", "1"},
                         ConnectionFile("ProtocolType 1\r\nNoRetries 1\r\nTlsTrust " + trust + "\r\n"));
    }
    std::string Entry() const { return "127.0.0.1:" + std::to_string(m_port) + " "; }
};

TEST_F(TlsTrustEndToEndTest, NoneTakesEveryServer) {
    for (int run = 0; run < 2; ++run) {
        ClientRun client = RunAgainstNewServer("none");
        EXPECT_EQ(client.exitCode, 0) << client.log;
        EXPECT_TRUE(Contains(client.log, "TLS server trust: none\n")) << client.log;
    }
    EXPECT_EQ(ReadWholeFile(KnownServers()), "");
}

TEST_F(TlsTrustEndToEndTest, FirstUseRemembersTheCertificateAndRefusesAnother) {
    // First connection: remembered; the same server again: taken.
    ClientRun first = RunAgainstNewServer("first-use");
    EXPECT_EQ(first.exitCode, 0) << first.log;
    EXPECT_TRUE(Contains(first.log, "TLS server trust: first-use\n")) << first.log;
    const std::string known = ReadWholeFile(KnownServers());
    const std::regex line("127\\.0\\.0\\.1:" + std::to_string(m_port) + " ((?:[0-9A-F]{2}:){31}[0-9A-F]{2})\n");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(known, match, line)) << known << "\n" << first.log;
    const std::string firstFingerprint = match[1];
    ClientRun again = RunTrusting("first-use");
    EXPECT_EQ(again.exitCode, 0) << again.log;
    EXPECT_EQ(ReadWholeFile(KnownServers()), known);

    // A new server at the place the first one was trusted: the file says this host and port
    // had the first certificate.
    (void)ServerLog(std::chrono::milliseconds(100));
    ASSERT_TRUE(StartServer({"--static", "--tls"}, false));
    m_dir.write(".config/corvane/known_servers", Entry() + firstFingerprint + "\n");
    ClientRun refused = RunTrusting("first-use");
    EXPECT_EQ(refused.exitCode, 255) << refused.log;
    EXPECT_TRUE(Contains(refused.log, "Error:  The certificate of " + Entry().substr(0, Entry().size() - 1) +
                                          " has changed.\r\nTrusted:   SHA-256 " + firstFingerprint +
                                          "\r\nPresented: SHA-256 "))
        << refused.log;
    EXPECT_TRUE(Contains(refused.log, "remove the line of " + Entry().substr(0, Entry().size() - 1) + " from " +
                                          KnownServers() + " and connect again."))
        << refused.log;
    EXPECT_FALSE(Contains(refused.log, "Connected to server version")) << "the login went on";
    EXPECT_EQ(ReadWholeFile(KnownServers()), Entry() + firstFingerprint + "\n") << "the file was changed";

    // Doing what the message says takes the new certificate.
    m_dir.write(".config/corvane/known_servers", "");
    ClientRun accepted = RunTrusting("first-use");
    EXPECT_EQ(accepted.exitCode, 0) << accepted.log;
    const std::string now = ReadWholeFile(KnownServers());
    EXPECT_EQ(now.rfind(Entry(), 0), 0u) << now;
    EXPECT_FALSE(Contains(now, firstFingerprint)) << now;
}

TEST_F(TlsTrustEndToEndTest, SystemAuthoritiesRefuseASelfSignedServer) {
    ClientRun run = RunAgainstNewServer("system-ca");
    EXPECT_EQ(run.exitCode, 255) << run.log;
    EXPECT_TRUE(Contains(run.log, "TLS server trust: system-ca\n")) << run.log;
    EXPECT_TRUE(Contains(run.log, "Error:  The certificate of 127.0.0.1:" + std::to_string(m_port) +
                                      " is not trusted:\r\n"))
        << run.log;
    EXPECT_FALSE(Contains(run.log, "Connected to server version")) << "the login went on";
}

}  // namespace
}  // namespace corvane::test
