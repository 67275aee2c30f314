// Secrets and the log: a session logged at the highest debug level, over TLS, with a password
// given in the connection file or as a ticket and a long server code, leaves none of them in
// the client's log or on its standard error, in clear or in the form the file stored them;
// and the log file is its owner's alone.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "config/scrambled_text.h"
#include "crypto/payload_cipher.h"
#include "crypto/payload_key.h"
#include "end_to_end_fixture.h"

namespace corvane::test {
namespace {

constexpr const char* kUser = "bob";
constexpr const char* kPassword = "Zq7pw94x";
// Longer than 16 characters: the file holds it scrambled.
constexpr const char* kServerCode = "Kx93-relay-code-4417";

// The sixteen Authentication values of a valid ticket for a scrambled password.
std::vector<std::string> TicketValues(const std::string& scrambledPassword) {
    uint8_t ticket[512] = {};
    const int32_t type = 1001;
    const int32_t length = static_cast<int32_t>(scrambledPassword.size());
    const int64_t start = static_cast<int64_t>(std::time(nullptr)) - 60;
    const int64_t validFor = 3600;
    std::memcpy(ticket, &type, 4);
    std::memcpy(ticket + 4, &length, 4);
    std::memcpy(ticket + 8, scrambledPassword.data(), scrambledPassword.size());
    std::memcpy(ticket + 80, &start, 8);
    std::memcpy(ticket + 88, &validFor, 8);
    EXPECT_EQ(EncipherBlocks(ticket, sizeof ticket, 32, BuildPayloadKey()), 0);
    std::vector<std::string> values;
    for (int i = 0; i < 16; ++i) {
        std::string hex;
        char digits[3];
        for (int b = 0; b < 32; ++b) {
            std::snprintf(digits, sizeof digits, "%02X", ticket[i * 32 + b]);
            hex += digits;
        }
        values.push_back(hex);
    }
    return values;
}

class SecretsEndToEndTest : public EndToEndTest {
protected:
    std::string SiteFile() const override {
        std::string site = EndToEndTest::SiteFile();
        return site.replace(site.find("PrintDebug 15"), 13, "PrintDebug 100");
    }

    // A connection file for kUser over TLS with the long server code and `credentials`.
    std::string SecretFile(const std::string& credentials) {
        std::string code;
        EXPECT_EQ(ScrambleText(kServerCode, code), 0);
        m_secrets.push_back(code);
        return m_dir.write("secret.zrp",
                           std::string("[ZRP Client]\r\nVersionRequired 528\r\nDeviceUserName ") +
                               kUser + "\r\n" + credentials + "SessionID 0\r\n" +
                               "DisplayServerAddress 127.0.0.1\r\nDisplayServerName test\r\n" +
                               "DisplayServerPort " + std::to_string(m_port) +
                               "\r\nDisplayBandwidth 1\r\nProtocolType 1\r\nServerCode " + code +
                               "\r\n");
    }

    void ExpectNoSecretIn(const ClientRun& run) {
        for (const std::string& secret : m_secrets) {
            SCOPED_TRACE(secret);
            EXPECT_EQ(run.log.find(secret), std::string::npos) << run.log;
            EXPECT_EQ(run.stderrText.find(secret), std::string::npos) << run.stderrText;
        }
        struct stat st {};
        ASSERT_EQ(::stat(m_dir.file("docs/My Connections/client.log").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 077, 0u) << "the log is readable by others";
    }

    std::vector<std::string> m_secrets{kPassword, kServerCode,
                                       std::string(kServerCode).substr(0, 16)};
};

TEST_F(SecretsEndToEndTest, NoPasswordServerCodeOrTicketReachesTheLogAtTheHighestLevel) {
    std::string scrambled;
    ASSERT_EQ(ScrambleText(kPassword, scrambled), 0);
    m_secrets.push_back(scrambled);
    const std::vector<std::string> ticket = TicketValues(scrambled);
    m_secrets.insert(m_secrets.end(), ticket.begin(), ticket.end());

    struct Case {
        const char* name;
        std::string credentials;
    };
    std::string ticketLines = "ClientTime 1700000000\r\nTimeWindow 3600\r\n";
    for (size_t i = 0; i < ticket.size(); ++i) {
        char key[48];
        std::snprintf(key, sizeof key, "Authentication%2.2zu ", i + 1);
        ticketLines += key + ticket[i] + "\r\n";
    }
    const Case cases[] = {
        {"password line", "Password " + scrambled + "\r\n"},
        {"ticket", ticketLines},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(StartServer({"--static", "--tls", "--user", std::string(kUser) + ":" + kPassword,
                                 "--server-code", kServerCode}));
        ClientRun run = RunClient({"--exit-after-frames", "1"}, SecretFile(c.credentials));
        EXPECT_EQ(run.exitCode, 0) << run.log;
        EXPECT_NE(run.log.find("Connected to server version"), std::string::npos) << run.log;
        EXPECT_NE(run.log.find("**** Calling SSL_read("), std::string::npos)
            << "not the highest level";
        ExpectNoSecretIn(run);
        (void)ServerLog();
    }
}

}  // namespace
}  // namespace corvane::test
