#include "protocol/stream_connection.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/ioctl.h>

#include <atomic>
#include <cstring>
#include <future>
#include <mutex>
#include <thread>

#include "config/log.h"
#include "protocol/loopback_peer.h"
#include "protocol/stream_link.h"
#include "protocol/tinyproxy_process.h"
#include "protocol/tls_test_identity.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

using test::LoopbackListener;
using test::StreamLink;
using test::UniqueFd;
using test::Watchdog;
using namespace std::chrono_literals;

constexpr int kPlain = 0;
constexpr int kTls = 1;

// Bytes that differ from message to message, so that a misplaced byte shows.
std::string Pattern(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    uint32_t state = seed * 2654435761u + 1;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 23);
    }
    return bytes;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

size_t OpenDescriptors() {
    size_t count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir) != nullptr) ++count;
        closedir(dir);
    }
    return count;
}

class StreamConnectionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetLogForTesting();
        OpenLog(m_dir.file("log.txt"));
    }
    void TearDown() override { ResetLogForTesting(); }
    std::string LogText() const { return test::ReadWholeFile(m_dir.file("log.txt")); }

    // The client sends a message and the server end answers with another, each checked
    // byte for byte on arrival.
    static void ExpectExchange(StreamLink& link, uint32_t seed) {
        const std::string request = Pattern(3000, seed);
        const std::string answer = Pattern(5000, seed + 1);
        Watchdog watchdog({link.clientSocket, link.serverSocket});
        auto server = std::async(std::launch::async, [&] {
            std::string got(request.size(), '\0');
            if (link.server.zRPshRead(link.serverSocket, got.data(),
                                      static_cast<int>(got.size())) !=
                static_cast<int>(got.size())) {
                return std::string("server read failed");
            }
            if (link.server.zRPshWrite(link.serverSocket, answer.data(),
                                       static_cast<int>(answer.size())) !=
                static_cast<int>(answer.size())) {
                return std::string("server write failed");
            }
            return got == request ? std::string() : std::string("request corrupted");
        });
        EXPECT_EQ(link.client.zRPshWrite(link.clientSocket, request.data(),
                                         static_cast<int>(request.size())),
                  static_cast<int>(request.size()));
        std::string got(answer.size(), '\0');
        EXPECT_EQ(
            link.client.zRPshRead(link.clientSocket, got.data(), static_cast<int>(got.size())),
            static_cast<int>(got.size()));
        EXPECT_EQ(server.get(), "");
        EXPECT_TRUE(got == answer) << "answer corrupted";
        EXPECT_FALSE(watchdog.Fired());
    }

    test::TempDir m_dir;
};

TEST_F(StreamConnectionTest, OpensByDottedAddressOrByNameWithNoDelay) {
    SetDebugLevel(1);
    for (const std::string host : {"127.0.0.1", "localhost"}) {
        SCOPED_TRACE(host);
        LoopbackListener listener;
        ASSERT_TRUE(listener.ok());
        StreamConnection connection;
        const int socket = connection.OpenConnection(host, listener.port());
        ASSERT_GE(socket, 0);
        UniqueFd peer = listener.Accept();
        ASSERT_GE(peer.get(), 0);

        int noDelay = 0;
        socklen_t length = sizeof noDelay;
        ASSERT_EQ(getsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &noDelay, &length), 0);
        EXPECT_EQ(noDelay, 1);
        EXPECT_EQ(connection.zRPshWrite(socket, "ping", 4), 4);
        EXPECT_EQ(test::ReceiveUpTo(peer.get(), 4), "ping");
        EXPECT_EQ(connection.Close(socket), 0);

        const std::string where = host + ":" + std::to_string(listener.port()) + "\n";
        const std::string log = LogText();
        EXPECT_NE(log.find("ZRPSH:   Connecting to server " + where), std::string::npos);
        EXPECT_NE(log.find("ZRPSH:   Connection established to server " + where),
                  std::string::npos);
    }
}

TEST_F(StreamConnectionTest, FailedOpeningsAreLoggedAndLeaveNoSocketBehind) {
    SetDebugLevel(1);
    const size_t descriptorsBefore = OpenDescriptors();
    StreamConnection connection;
    EXPECT_EQ(connection.OpenConnection("no-such-host.invalid", 27500), -1);
    const int refusedPort = test::UnusedLoopbackPort();
    EXPECT_EQ(connection.OpenConnection("127.0.0.1", refusedPort), -1);
    EXPECT_EQ(connection.OpenConnection("127.0.0.1", 0), -1);
    EXPECT_EQ(OpenDescriptors(), descriptorsBefore);

    const std::string log = LogText();
    EXPECT_NE(log.find("ZRPSH:  no-such-host.invalid: Unknown host.\n"), std::string::npos);
    EXPECT_NE(log.find("ZRPSH:  Error connecting to 127.0.0.1:" + std::to_string(refusedPort) +
                       "  Error code 10061\n"),
              std::string::npos);
}

TEST_F(StreamConnectionTest, TransfersSurviveAPeerThatMovesOneByteAtATime) {
    StreamLink link(kPlain);
    ASSERT_TRUE(link.Connect());
    // Small socket buffers cut the client's side of the transfer up as well.
    link.client.SetSocketBuffers(link.clientSocket);
    const std::string toClient = Pattern(3000, 1);
    const std::string toPeer = Pattern(100'000, 2);
    Watchdog watchdog({link.clientSocket, link.serverSocket});
    auto peer = std::async(std::launch::async, [&] {
        const bool sent = test::SendAll(link.serverSocket, toClient.data(), toClient.size(), 1);
        return std::make_pair(sent, test::ReceiveUpTo(link.serverSocket, toPeer.size(), 1));
    });

    std::string got(toClient.size(), '\0');
    EXPECT_EQ(link.client.zRPshRead(link.clientSocket, got.data(), static_cast<int>(got.size())),
              static_cast<int>(got.size()));
    EXPECT_TRUE(got == toClient);
    EXPECT_EQ(
        link.client.zRPshWrite(link.clientSocket, toPeer.data(), static_cast<int>(toPeer.size())),
        static_cast<int>(toPeer.size()));
    auto [sent, received] = peer.get();
    EXPECT_TRUE(sent);
    EXPECT_TRUE(received == toPeer);
    EXPECT_FALSE(watchdog.Fired());
}

TEST_F(StreamConnectionTest, RefusesNegativeCounts) {
    StreamLink link(kPlain);
    ASSERT_TRUE(link.Connect());
    char byte = 0;
    EXPECT_EQ(link.client.zRPshRead(link.clientSocket, &byte, -1), -1);
    EXPECT_EQ(link.client.zRPshWrite(link.clientSocket, &byte, -5), -1);
    EXPECT_EQ(link.client.zRPshRead(link.clientSocket, nullptr, 4), -1);
    EXPECT_NE(LogText().find("zRPshRead: refused a read of -1 bytes\n"), std::string::npos);
}

// The peer ends the connection while the client still waits for bytes: plain TCP reports the
// close as 0; TLS, where the close comes without a close alert, as a failure. Writes to the
// gone peer then fail instead of killing the process with SIGPIPE.
TEST_F(StreamConnectionTest, PeerClosingMidReadEndsTheReadAndLaterWritesFail) {
    for (int mode : {kPlain, kTls}) {
        SCOPED_TRACE(mode);
        StreamLink link(mode);
        ASSERT_TRUE(link.Connect());
        Watchdog watchdog({link.clientSocket});
        ASSERT_EQ(link.server.zRPshWrite(link.serverSocket, "abc", 3), 3);
        EXPECT_EQ(link.server.Close(link.serverSocket), 0);
        link.serverSocket = -1;

        char buffer[10];
        const int result = link.client.zRPshRead(link.clientSocket, buffer, sizeof buffer);
        if (mode == kPlain) {
            EXPECT_EQ(result, 0);
            EXPECT_NE(LogText().find("zRPshRead: this_read 0. Error reading socket: 0\n"),
                      std::string::npos);
        } else {
            EXPECT_LT(result, 0);
        }

        const std::string chunk = Pattern(65536, 3);
        int written = 0;
        for (int i = 0; i < 64; ++i) {
            written = link.client.zRPshWrite(link.clientSocket, chunk.data(),
                                             static_cast<int>(chunk.size()));
            if (written != static_cast<int>(chunk.size())) break;
        }
        EXPECT_EQ(written, -1);
        EXPECT_FALSE(watchdog.Fired());
    }
}

TEST_F(StreamConnectionTest, CloseWakesAReaderBlockedOnTheSocket) {
    for (int mode : {kPlain, kTls}) {
        SCOPED_TRACE(mode);
        StreamLink link(mode);
        ASSERT_TRUE(link.Connect());
        Watchdog watchdog({link.clientSocket, link.serverSocket});
        auto reader = std::async(std::launch::async, [&] {
            char buffer[16];
            return link.client.zRPshRead(link.clientSocket, buffer, sizeof buffer);
        });
        // Half of what the reader waits for: once the socket has handed it over, the reader
        // is past its first read and waits for the rest.
        ASSERT_EQ(link.server.zRPshWrite(link.serverSocket, "12345678", 8), 8);
        const auto deadline = std::chrono::steady_clock::now() + test::kTestBound;
        int queued = 1;
        while ((ioctl(link.clientSocket, FIONREAD, &queued) != 0 || queued > 0) &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(1ms);
        }
        EXPECT_EQ(link.client.Close(link.clientSocket), 0);
        link.clientSocket = -1;
        ASSERT_EQ(reader.wait_for(test::kTestBound), std::future_status::ready);
        EXPECT_LE(reader.get(), 0);

        char byte = 0;
        EXPECT_EQ(link.client.zRPshRead(-1, &byte, 1), -1);  // refused before any socket call
        EXPECT_NE(LogText().find("zRPshRead: the connection is closed\n"), std::string::npos);
        EXPECT_FALSE(watchdog.Fired());
    }
}

TEST_F(StreamConnectionTest, TlsRestartsOnTheSameConnectionAndCarriesBothWays) {
    SetDebugLevel(64);
    StreamLink link(kTls);
    ASSERT_TRUE(link.Connect());
    ExpectExchange(link, 10);
    ASSERT_TRUE(link.RestartTls());
    ExpectExchange(link, 20);

    const std::string log = LogText();
    EXPECT_EQ(Count(log, "**** Calling SSL_connect()\n"), 2u);
    EXPECT_EQ(Count(log, "**** Return 1 from SSL_connect()\n"), 2u);
    EXPECT_EQ(Count(log, "**** Return 1 from SSL_accept()\n"), 2u);
    EXPECT_EQ(Count(log, "**** Calling SSL_write(24)\n"), 2u);
    EXPECT_EQ(Count(log, "**** Calling SSL_free(0x"), 2u);  // one per end
    EXPECT_EQ(Count(log, "**** Calling SSL_CTX_free(0x"), 2u);
    EXPECT_EQ(Count(log, "**** Calling SSL_read(3000)\n"), 2u);
    EXPECT_NE(log.find("     SSL_read(3000) returned 3000\n"), std::string::npos);
}

// The handshake preamble against an OpenSSL peer that is not ours: the client writes 24
// zero bytes after its handshake, and our server end refuses a preamble that is not zero.
class PlainOpenSslPeer {
  public:
    explicit PlainOpenSslPeer(const std::string& directory, bool server) {
        const TlsIdentity& identity = test::TestTlsIdentity();
        m_context.reset(SSL_CTX_new(server ? TLS_server_method() : TLS_client_method()));
        if (server) {
            const std::string certificate = directory + "/peer-cert.pem";
            const std::string key = directory + "/peer-key.pem";
            FILE* out = std::fopen(certificate.c_str(), "w");
            std::fputs(identity.certificatePem.c_str(), out);
            std::fclose(out);
            out = std::fopen(key.c_str(), "w");
            std::fputs(identity.privateKeyPem.c_str(), out);
            std::fclose(out);
            SSL_CTX_use_certificate_file(m_context.get(), certificate.c_str(), SSL_FILETYPE_PEM);
            SSL_CTX_use_PrivateKey_file(m_context.get(), key.c_str(), SSL_FILETYPE_PEM);
        }
        m_server = server;
    }

    // A blocking handshake on the socket, then the bytes exchanged as asked.
    std::string Run(int socket, const std::string& toSend, size_t toReceive) {
        m_ssl.reset(SSL_new(m_context.get()));
        SSL_set_fd(m_ssl.get(), socket);
        if ((m_server ? SSL_accept(m_ssl.get()) : SSL_connect(m_ssl.get())) != 1) {
            return "handshake failed";
        }
        if (!toSend.empty() &&
            SSL_write(m_ssl.get(), toSend.data(), static_cast<int>(toSend.size())) <= 0) {
            return "write failed";
        }
        std::string got(toReceive, '\0');
        size_t done = 0;
        while (done < toReceive) {
            int n = SSL_read(m_ssl.get(), got.data() + done, static_cast<int>(toReceive - done));
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        got.resize(done);
        return got;
    }

  private:
    struct ContextFree {
        void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
    };
    struct SslFree {
        void operator()(SSL* ssl) const { SSL_free(ssl); }
    };
    std::unique_ptr<SSL_CTX, ContextFree> m_context;
    std::unique_ptr<SSL, SslFree> m_ssl;
    bool m_server = false;
};

TEST_F(StreamConnectionTest, ClientWritesTwentyFourZeroBytesAfterItsHandshake) {
    LoopbackListener listener;
    ASSERT_TRUE(listener.ok());
    StreamConnection client;
    client.SetTransportMode(kTls);
    const int socket = client.OpenConnection("127.0.0.1", listener.port());
    ASSERT_GE(socket, 0);
    UniqueFd accepted = listener.Accept();
    ASSERT_GE(accepted.get(), 0);
    Watchdog watchdog({socket, accepted.get()});
    PlainOpenSslPeer peer(m_dir.path(), true);
    auto received =
        std::async(std::launch::async, [&] { return peer.Run(accepted.get(), "", 24 + 5); });

    client.StartSslLibrary();
    ASSERT_EQ(client.CreateSslContext(), 0);
    client.AttachSsl(socket);
    EXPECT_EQ(client.SslHandshake(), 1);
    EXPECT_EQ(client.zRPshWrite(socket, "hello", 5), 5);
    EXPECT_EQ(received.get(), std::string(24, '\0') + "hello");
    EXPECT_EQ(client.Close(socket), 0);
    EXPECT_FALSE(watchdog.Fired());
}

TEST_F(StreamConnectionTest, ServerEndRefusesAPreambleThatIsNotZero) {
    LoopbackListener listener;
    ASSERT_TRUE(listener.ok());
    UniqueFd peerSocket = test::ConnectRaw(listener.port());
    ASSERT_GE(peerSocket.get(), 0);
    UniqueFd accepted = listener.Accept();
    ASSERT_GE(accepted.get(), 0);
    Watchdog watchdog({peerSocket.get(), accepted.get()});
    PlainOpenSslPeer peer(m_dir.path(), false);
    auto peerDone = std::async(
        std::launch::async, [&] { return peer.Run(peerSocket.get(), std::string(24, '\1'), 0); });

    StreamConnection server(StreamRole::Server, test::TestTlsIdentity());
    server.SetTransportMode(kTls);
    server.StartSslLibrary();
    ASSERT_EQ(server.CreateSslContext(), 0);
    server.AttachSsl(accepted.get());
    EXPECT_EQ(server.SslHandshake(), -1);
    EXPECT_EQ(peerDone.get(), "");
    EXPECT_NE(LogText().find("ZRPSH:  The 24 bytes after the handshake are not all zero\n"),
              std::string::npos);
    EXPECT_FALSE(watchdog.Fired());
}

// One thread of each end reads a long stream of messages while others write to the peer,
// each whole message under the writers' send lock; both ends check every byte.
TEST_F(StreamConnectionTest, ConcurrentReadsAndWritesOverTls) {
    constexpr int kWriters = 2;
    constexpr uint32_t kMessagesPerWriter = 400;
    StreamLink link(kTls);
    ASSERT_TRUE(link.Connect());
    Watchdog watchdog({link.clientSocket, link.serverSocket}, 120s);

    // Message: writer id (1 byte), sequence (4), payload length (4), payload.
    auto payload = [](int writer, uint32_t sequence) {
        return Pattern(1 + (sequence * 977 + static_cast<uint32_t>(writer) * 131) % 6000,
                       sequence * 8 + static_cast<uint32_t>(writer));
    };
    auto writeAll = [&](StreamConnection& stream, int socket, std::mutex& sendLock, int writer) {
        for (uint32_t sequence = 0; sequence < kMessagesPerWriter; ++sequence) {
            const std::string body = payload(writer, sequence);
            std::string message(9, '\0');
            message[0] = static_cast<char>(writer);
            const uint32_t fields[2] = {htonl(sequence), htonl(static_cast<uint32_t>(body.size()))};
            std::memcpy(message.data() + 1, fields, sizeof fields);
            message += body;
            std::lock_guard lock(sendLock);
            if (stream.zRPshWrite(socket, message.data(), static_cast<int>(message.size())) !=
                static_cast<int>(message.size())) {
                return false;
            }
        }
        return true;
    };
    auto readAll = [&](StreamConnection& stream, int socket) -> std::string {
        uint32_t expected[kWriters] = {};
        for (uint32_t i = 0; i < kWriters * kMessagesPerWriter; ++i) {
            char header[9];
            if (stream.zRPshRead(socket, header, sizeof header) != 9) return "header read failed";
            const int writer = header[0];
            uint32_t fields[2];
            std::memcpy(fields, header + 1, sizeof fields);
            if (writer < 0 || writer >= kWriters || ntohl(fields[0]) != expected[writer]) {
                return "message out of order";
            }
            const std::string body = payload(writer, expected[writer]++);
            if (ntohl(fields[1]) != body.size()) return "wrong length";
            std::string got(body.size(), '\0');
            if (stream.zRPshRead(socket, got.data(), static_cast<int>(got.size())) !=
                static_cast<int>(got.size())) {
                return "body read failed";
            }
            if (got != body) return "body corrupted";
        }
        return "";
    };

    std::mutex clientSendLock;
    std::mutex serverSendLock;
    std::vector<std::future<bool>> writers;
    for (int writer = 0; writer < kWriters; ++writer) {
        writers.push_back(std::async(std::launch::async, [&, writer] {
            return writeAll(link.client, link.clientSocket, clientSendLock, writer);
        }));
        writers.push_back(std::async(std::launch::async, [&, writer] {
            return writeAll(link.server, link.serverSocket, serverSendLock, writer);
        }));
    }
    auto serverReader =
        std::async(std::launch::async, [&] { return readAll(link.server, link.serverSocket); });
    EXPECT_EQ(readAll(link.client, link.clientSocket), "");
    EXPECT_EQ(serverReader.get(), "");
    for (auto& writer : writers) EXPECT_TRUE(writer.get());
    EXPECT_FALSE(watchdog.Fired());
}

TEST_F(StreamConnectionTest, ConnectsThroughTinyproxyAndRestartsTlsInTheTunnel) {
    if (test::TinyproxyProcess::Executable().empty()) GTEST_SKIP() << "tinyproxy is not installed";
    StreamLink link(kTls);
    test::TinyproxyProcess proxy;
    ASSERT_TRUE(proxy.Start(link.ServerPort()));
    ASSERT_TRUE(link.Connect(proxy.port())) << proxy.Log();
    ExpectExchange(link, 30);
    ASSERT_TRUE(link.RestartTls());
    ExpectExchange(link, 40);

    const std::string log = LogText();
    const size_t reply = log.find("buf = >>>>HTTP/1.");
    ASSERT_NE(reply, std::string::npos);
    EXPECT_NE(log.find("\r\n\r\n<<<<\n", reply), std::string::npos);
}

TEST_F(StreamConnectionTest, ProxyThatRefusesTheTargetFailsTheHandshake) {
    if (test::TinyproxyProcess::Executable().empty()) GTEST_SKIP() << "tinyproxy is not installed";
    LoopbackListener server;
    ASSERT_TRUE(server.ok());
    test::TinyproxyProcess proxy;
    ASSERT_TRUE(proxy.Start(1));  // CONNECT allowed to port 1 only
    StreamConnection client;
    client.SetTransportMode(kTls);
    client.SetProxyRequest(true, "127.0.0.1", server.port());
    const int socket = client.OpenConnection("127.0.0.1", proxy.port());
    ASSERT_GE(socket, 0);
    Watchdog watchdog({socket});
    client.StartSslLibrary();
    ASSERT_EQ(client.CreateSslContext(), 0);
    client.AttachSsl(socket);
    EXPECT_LE(client.SslHandshake(), 0);
    const std::string log = LogText();
    const size_t reply = log.find("buf = >>>>HTTP/1.");
    ASSERT_NE(reply, std::string::npos);
    EXPECT_EQ(log.compare(reply + 18, 5, " 403 "), 0) << log.substr(reply, 40);
    EXPECT_EQ(client.Close(socket), 0);
    EXPECT_FALSE(watchdog.Fired());
}

TEST_F(StreamConnectionTest, ProxyReplyThatNeverEndsItsHeaderFailsTheAttempt) {
    struct Case {
        const char* name;
        std::string reply;
        bool closeAfterReply;
        const char* record;
    };
    const Case cases[] = {
        {"header longer than the buffer",
         "HTTP/1.1 200 Connection established\r\nX-Padding: " + std::string(600, 'a') + "\r\n\r\n",
         false, "ZRPSH:  The proxy reply header is longer than 511 bytes: giving up\n"},
        {"closed inside the header", "HTTP/1.1 200 Connection established\r\nVia: x\r\n", true,
         "ZRPSH:  The proxy ended its reply after 45 bytes, before the end of its header\n"},
        {"bare line feeds", "HTTP/1.1 200 OK\n\n", true,
         "ZRPSH:  The proxy ended its reply after 17 bytes, before the end of its header\n"},
    };
    const std::string expectedRequest =
        "CONNECT 127.0.0.1:27500 HTTP/1.1\r\nUser-Agent: Corvane/5.30 (X11; en-US)\r\n"
        "Host: 127.0.0.1:27500\r\n\r\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackListener fakeProxy;
        ASSERT_TRUE(fakeProxy.ok());
        StreamConnection client;
        client.SetTransportMode(kTls);
        client.SetProxyRequest(true, "127.0.0.1", 27500);
        const int socket = client.OpenConnection("127.0.0.1", fakeProxy.port());
        ASSERT_GE(socket, 0);
        UniqueFd peer = fakeProxy.Accept();
        ASSERT_GE(peer.get(), 0);
        Watchdog watchdog({socket, peer.get()});
        auto request = std::async(std::launch::async, [&] {
            std::string text = test::ReceiveUntil(peer.get(), "\r\n\r\n");
            test::SendAll(peer.get(), c.reply);
            if (c.closeAfterReply) peer.reset();
            return text;
        });

        client.StartSslLibrary();
        ASSERT_EQ(client.CreateSslContext(), 0);
        client.AttachSsl(socket);
        EXPECT_EQ(request.get(), expectedRequest);
        EXPECT_EQ(client.SslHandshake(), -1);
        char byte = 0;
        EXPECT_EQ(client.zRPshRead(socket, &byte, 1), -1);
        EXPECT_EQ(client.zRPshWrite(socket, &byte, 1), -1);
        EXPECT_EQ(client.Close(socket), 0);
        const std::string log = LogText();
        EXPECT_NE(log.find(c.record), std::string::npos);
        EXPECT_EQ(log.find("buf = >>>>"), std::string::npos);
        EXPECT_FALSE(watchdog.Fired());
    }
}

TEST_F(StreamConnectionTest, PlainModeIgnoresTheProxyRequest) {
    LoopbackListener listener;
    ASSERT_TRUE(listener.ok());
    StreamConnection client;
    client.SetTransportMode(kPlain);
    client.SetProxyRequest(true, "127.0.0.1", 27500);
    const int socket = client.OpenConnection("127.0.0.1", listener.port());
    ASSERT_GE(socket, 0);
    UniqueFd peer = listener.Accept();
    client.StartSslLibrary();
    EXPECT_EQ(client.CreateSslContext(), 0);
    client.AttachSsl(socket);
    EXPECT_EQ(client.SslHandshake(), 1);
    EXPECT_EQ(client.zRPshWrite(socket, "abc", 3), 3);
    EXPECT_EQ(client.Close(socket), 0);
    EXPECT_EQ(test::ReceiveUpTo(peer.get(), 100), "abc");  // everything up to the close
}

TEST_F(StreamConnectionTest, SocketBuffersAreRaisedButNeverShrunkAndTheSizesLogged) {
    SetDebugLevel(1);
    StreamLink link(kPlain);
    ASSERT_TRUE(link.Connect());
    // A small buffer is raised to 8192 bytes ...
    int small = 2048;
    ASSERT_EQ(setsockopt(link.clientSocket, SOL_SOCKET, SO_RCVBUF, &small, sizeof small), 0);
    link.client.SetSocketBuffers(link.clientSocket);
    int raised = 0;
    socklen_t raisedLength = sizeof raised;
    ASSERT_EQ(getsockopt(link.clientSocket, SOL_SOCKET, SO_RCVBUF, &raised, &raisedLength), 0);
    // (Linux reports twice the size asked for, its bookkeeping included.)
    EXPECT_TRUE(raised == 8192 || raised == 16384) << raised;
    // ... and a larger one, the kernel's own, is kept: shrinking it throttles every transfer.
    int large = 262144;
    ASSERT_EQ(setsockopt(link.clientSocket, SOL_SOCKET, SO_RCVBUF, &large, sizeof large), 0);
    int before = 0;
    socklen_t beforeLength = sizeof before;
    ASSERT_EQ(getsockopt(link.clientSocket, SOL_SOCKET, SO_RCVBUF, &before, &beforeLength), 0);
    link.client.SetSocketBuffers(link.clientSocket);
    int sendSize = 0;
    int receiveSize = 0;
    socklen_t length = sizeof sendSize;
    ASSERT_EQ(getsockopt(link.clientSocket, SOL_SOCKET, SO_SNDBUF, &sendSize, &length), 0);
    ASSERT_EQ(getsockopt(link.clientSocket, SOL_SOCKET, SO_RCVBUF, &receiveSize, &length), 0);
    EXPECT_GE(sendSize, 8192);
    EXPECT_EQ(receiveSize, before);
    const std::string log = LogText();
    EXPECT_NE(log.find("Socket SendBuffer size = " + std::to_string(sendSize) + "\n"),
              std::string::npos);
    EXPECT_NE(log.find("Socket ReceiveBuffer size = " + std::to_string(receiveSize) + "\n"),
              std::string::npos);
}

}  // namespace
}  // namespace corvane
