// The login-side exchange end to end over real sockets: the client's stream, information
// block and init message against the server end of the same exchange, over plain TCP, over
// TLS with the restart after the blocks, and over TLS through a real HTTP proxy.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "config/log.h"
#include "loopback_peer.h"
#include "protocol/info_block.h"
#include "protocol/login_peer.h"
#include "protocol/message_channel.h"
#include "protocol/records.h"
#include "protocol/stream_connection.h"
#include "tinyproxy_process.h"
#include "tls_test_identity.h"

namespace corvane {
namespace {

enum class Transport { Plain, Tls, TlsThroughProxy };

struct ServerSeen {
    bool ok = false;
    std::string user;
    int32_t sessionId = -1;
    uint8_t init[kInitRecordSize] = {};
};

// The server end: accept, handshake, answer the block, restart TLS, answer the init message.
void Serve(test::LoopbackListener& listener, bool tls, const std::string& code, ServerSeen& seen) {
    test::UniqueFd fd = listener.Accept();
    if (fd.get() < 0) return;
    StreamConnection server(StreamRole::Server, test::TestTlsIdentity());
    server.SetTransportMode(tls ? 1 : 0);
    auto handshake = [&] {
        if (server.CreateSslContext() != 0) return false;
        server.AttachSsl(fd.get());
        return server.SslHandshake() == 1;
    };
    server.StartSslLibrary();
    if (!handshake()) return;

    InfoAnswer answer;
    answer.status = 0;
    answer.geometry = {1280, 1024, 24, 32, 4};
    InfoBlock received;
    if (AnswerInfoBlock(server, fd.get(), code, answer, received) != 0) return;
    seen.user = reinterpret_cast<const char*>(received.Data() + 16);
    seen.sessionId = received.SessionId();

    server.ReleaseSsl();
    if (!handshake()) return;

    if (ReadInitMessage(server, fd.get(), seen.init) != 0) return;
    uint8_t reply[kInitRecordSize] = {};
    StoreField<uint32_t>(reply, InitRecordLayout::kStatus, 1);
    StoreField<uint16_t>(reply, InitRecordLayout::kWidth, 1280);
    StoreField<uint16_t>(reply, InitRecordLayout::kHeight, 1024);
    StoreField<uint32_t>(reply, InitRecordLayout::kSessionId, 4711);
    reply[InitRecordLayout::kDepth] = 24;
    std::strcpy(reinterpret_cast<char*>(reply + InitRecordLayout::kBanner), "Corvane test server");
    seen.ok = SendInitReply(server, fd.get(), reply) == static_cast<int>(kInitFrameSize);
    // Wait for the client to finish reading before the socket closes.
    uint8_t end;
    (void)server.zRPshRead(fd.get(), &end, 1);
}

class LoginExchangeTest : public ::testing::TestWithParam<Transport> {
protected:
    void SetUp() override { ResetLogForTesting(); }
};

TEST_P(LoginExchangeTest, BlocksRestartAndInitRecords) {
    const Transport transport = GetParam();
    const bool tls = transport != Transport::Plain;
    const std::string code = "SRV-7";
    test::LoopbackListener listener;
    ASSERT_TRUE(listener.ok());
    test::TinyproxyProcess proxy;
    if (transport == Transport::TlsThroughProxy) {
        if (test::TinyproxyProcess::Executable().empty()) GTEST_SKIP() << "tinyproxy is not installed";
        ASSERT_TRUE(proxy.Start(listener.port()));
    }
    ServerSeen seen;
    std::thread server([&] { Serve(listener, tls, code, seen); });

    // The client's side, in the order the login drives it.
    StreamConnection client;
    client.SetTransportMode(tls ? 1 : 0);
    client.SetProxyRequest(transport == Transport::TlsThroughProxy, "127.0.0.1", listener.port());
    int socket = transport == Transport::TlsThroughProxy ? client.OpenConnection("127.0.0.1", proxy.port())
                                                         : client.OpenConnection("127.0.0.1", listener.port());
    ASSERT_GE(socket, 0);
    client.StartSslLibrary();
    ASSERT_EQ(client.CreateSslContext(), 0);
    client.AttachSsl(socket);
    ASSERT_EQ(client.SslHandshake(), 1);

    InfoBlock block;
    ASSERT_TRUE(block.SetUserName("ann"));
    ASSERT_TRUE(block.SetPassword("scrambled-form"));
    block.SetGeometry({1280, 1024, 24, 32, 4});
    block.SetSessionId(0);
    block.SetVersion(900);
    EXPECT_GT(InfoPutToSocket(client, socket, block, code), 0);
    EXPECT_GT(InfoGetFromSocket(client, socket, block, code), 0);
    EXPECT_EQ(block.Status(), 0);
    EXPECT_EQ(block.SessionId(), 100);
    EXPECT_EQ(block.Geometry(), (InfoGeometry{1280, 1024, 24, 32, 4}));

    client.ReleaseSsl();
    client.SetProxyRequest(false, "127.0.0.1", listener.port());
    ASSERT_EQ(client.CreateSslContext(), 0);
    client.AttachSsl(socket);
    ASSERT_EQ(client.SslHandshake(), 1);

    MessageChannel channel(client);
    channel.SetSocket(socket);
    channel.SetServerCode(code);
    uint8_t init[kInitRecordSize] = {};
    StoreField<uint16_t>(init, InitRecordLayout::kWidth, 1280);
    StoreField<uint16_t>(init, InitRecordLayout::kHeight, 1024);
    init[InitRecordLayout::kBitsPerPixel] = 32;
    init[InitRecordLayout::kDepth] = 24;
    init[InitRecordLayout::kVisualClass] = 4;
    std::strcpy(reinterpret_cast<char*>(init + InitRecordLayout::kBanner), "GL+  ");
    ASSERT_EQ(channel.SendInitMessage(init), static_cast<int>(kInitFrameSize));
    uint8_t reply[kInitRecordSize];
    ASSERT_EQ(channel.ReadInitReply(reply), 0);
    uint8_t done = 0;
    EXPECT_EQ(client.zRPshWrite(socket, &done, 1), 1);
    server.join();
    client.Close(socket);

    ASSERT_TRUE(seen.ok);
    EXPECT_EQ(seen.user, "ann");
    EXPECT_EQ(seen.sessionId, 0);
    EXPECT_EQ(LoadField<uint16_t>(seen.init, InitRecordLayout::kWidth), 1280);
    EXPECT_EQ(seen.init[InitRecordLayout::kDepth], 24);
    EXPECT_STREQ(reinterpret_cast<const char*>(seen.init + InitRecordLayout::kBanner), "GL+  ");
    EXPECT_EQ(LoadField<uint32_t>(reply, InitRecordLayout::kStatus), 1u);
    EXPECT_EQ(LoadField<uint32_t>(reply, InitRecordLayout::kSessionId), 4711u);
    EXPECT_EQ(LoadField<uint16_t>(reply, InitRecordLayout::kHeight), 1024);
    EXPECT_STREQ(reinterpret_cast<const char*>(reply + InitRecordLayout::kBanner), "Corvane test server");
    if (transport == Transport::TlsThroughProxy) {
        EXPECT_NE(proxy.Log().find("CONNECT"), std::string::npos) << proxy.Log();
    }
}

INSTANTIATE_TEST_SUITE_P(Transports, LoginExchangeTest,
                         ::testing::Values(Transport::Plain, Transport::Tls, Transport::TlsThroughProxy),
                         [](const auto& info) {
                             switch (info.param) {
                                 case Transport::Plain: return "Tcp";
                                 case Transport::Tls: return "Tls";
                                 default: return "TlsThroughProxy";
                             }
                         });

}  // namespace
}  // namespace corvane
