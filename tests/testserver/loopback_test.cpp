// The test server against a client built from the protocol library, over loopback
// sockets: the whole login in the client's order (plain and TLS), the desktop arriving in
// every envelope and drawing the rendered frames, what the client sends showing in the
// event log, refusals, a server that falls silent, the redirect, disconnected sessions offered again, and scenario
// actions reaching the client.
#include <gtest/gtest.h>

#include <poll.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "config/scrambled_text.h"
#include "crypto/payload_cipher.h"
#include "crypto/payload_key.h"
#include "protocol/frame_builder.h"
#include "protocol/info_block.h"
#include "protocol/message_channel.h"
#include "protocol/records.h"
#include "protocol/stream_connection.h"
#include "raw_image_decoder.h"
#include "support/temp_dir.h"
#include "tools/testserver/server.h"

namespace corvane::testserver {
namespace {

using namespace std::chrono_literals;
using test::BE32;

constexpr auto kBound = 20s;
constexpr char kCode[] = "SRV-7";

// The server on a port of the system's choosing, run on a thread of its own; its event log
// in a temporary file.
class RunningServer {
  public:
    explicit RunningServer(ServerOptions options) {
        options.port = 0;
        options.exitAfterSeconds = 60;  // a hung test still ends
        options.frameIntervalMs = 5;
        EXPECT_TRUE(m_log.Open(m_dir.file("events.log")));
        m_server = std::make_unique<Server>(std::move(options), m_log);
        m_port = m_server->Listen();
        EXPECT_GT(m_port, 0);
        m_thread = std::thread([this] { m_result = m_server->Run(); });
    }
    ~RunningServer() {
        m_server->Stop();
        m_thread.join();
        EXPECT_EQ(m_result, 0);
    }

    [[nodiscard]] int port() const { return m_port; }
    [[nodiscard]] std::string Log() const { return ::corvane::test::ReadWholeFile(m_dir.file("events.log")); }

    // True once the event log holds `text`; false when the bound runs out first.
    [[nodiscard]] bool WaitForLog(const std::string& text) const {
        const auto deadline = std::chrono::steady_clock::now() + kBound;
        while (Log().find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(2ms);
        }
        return true;
    }

  private:
    ::corvane::test::TempDir m_dir;
    EventLog m_log;
    std::unique_ptr<Server> m_server;
    int m_port = -1;
    int m_result = -1;
    std::thread m_thread;
};

// The client's end, step by step as the login drives it.
class Client {
  public:
    Client(int port, bool tls) : m_tls(tls), m_channel(m_stream) {
        m_stream.SetTransportMode(tls ? 1 : 0);
        m_socket = m_stream.OpenConnection("127.0.0.1", port);
        m_channel.SetSocket(m_socket);
        m_channel.SetServerCode(kCode);
    }
    ~Client() {
        if (m_socket >= 0) (void)m_stream.Close(m_socket);
    }

    [[nodiscard]] bool Handshake() {
        if (m_socket < 0) return false;
        m_stream.StartSslLibrary();
        if (m_stream.CreateSslContext() != 0) return false;
        m_stream.AttachSsl(m_socket);
        return m_stream.SslHandshake() == 1;
    }

    // Sends the first block and returns the server's answer (status -1 when none came).
    InfoBlock Login(const std::string& user, const std::string& password, InfoGeometry geometry,
                    int32_t sessionId = 0, bool afterRedirect = false) {
        InfoBlock block;
        std::string scrambled;
        EXPECT_EQ(ScrambleText(password, scrambled), 0);
        EXPECT_TRUE(block.SetUserName(user));
        EXPECT_TRUE(block.SetPassword(scrambled));
        block.SetGeometry(geometry);
        block.SetSessionId(sessionId);
        block.SetVersion(900);
        if (afterRedirect) block.SetServerVariantFlag(1);
        InfoBlock reply;
        if (InfoPutToSocket(m_stream, m_socket, block, kCode) <= 0 ||
            InfoGetFromSocket(m_stream, m_socket, reply, kCode) <= 0) {
            reply.SetStatus(-1);
        }
        return reply;
    }

    // The session ids of the listed sessions, after checking the header.
    std::vector<uint32_t> ReadSessionList() {
        uint8_t header[32];
        if (!Read(header, sizeof header)) return {99999};
        EXPECT_EQ(BE32(header + 4), 384u);
        std::vector<uint8_t> entries(size_t(BE32(header)) * 384);
        if (!entries.empty() && !Read(entries.data(), entries.size())) return {99999};
        std::vector<uint32_t> ids;
        for (size_t at = 0; at < entries.size(); at += 384) ids.push_back(BE32(&entries[at]));
        return ids;
    }

    [[nodiscard]] bool Choose(uint32_t sessionId) {
        uint8_t choice[32] = {uint8_t(sessionId >> 24), uint8_t(sessionId >> 16), uint8_t(sessionId >> 8),
                              uint8_t(sessionId)};
        return m_stream.zRPshWrite(m_socket, choice, sizeof choice) == 32;
    }

    InfoBlock ReadFinalBlock() {
        InfoBlock final;
        if (InfoGetFromSocket(m_stream, m_socket, final, kCode) <= 0) final.SetStatus(-1);
        return final;
    }

    // Restarts TLS and exchanges init records; the reply in host order.
    std::vector<uint8_t> InitExchange(int width, int height, int depth) {
        m_stream.ReleaseSsl();
        if (m_tls && !Handshake()) return {};
        uint8_t init[kInitRecordSize] = {};
        StoreField<uint16_t>(init, InitRecordLayout::kWidth, static_cast<uint16_t>(width));
        StoreField<uint16_t>(init, InitRecordLayout::kHeight, static_cast<uint16_t>(height));
        init[InitRecordLayout::kBitsPerPixel] = depth == 8 ? 8 : 32;
        init[InitRecordLayout::kDepth] = static_cast<uint8_t>(depth);
        init[InitRecordLayout::kVisualClass] = depth == 8 ? 3 : 4;
        std::strcpy(reinterpret_cast<char*>(init + InitRecordLayout::kBanner), "GL+  ");
        std::vector<uint8_t> reply(kInitRecordSize);
        if (m_channel.SendInitMessage(init) != static_cast<int>(kInitFrameSize) ||
            m_channel.ReadInitReply(reply.data()) != 0 || !m_channel.AllocateBuffers(width, height, depth)) {
            return {};
        }
        return reply;
    }

    // One framed message: the body (record header in host order) and its length; empty on
    // failure.
    std::vector<uint8_t> ReadMessage() {
        MessageFrame frame;
        if (m_channel.ReadMessage(kDecoderDeflate, frame) != 0) return {};
        return std::vector<uint8_t>(frame.header, frame.header + kRecordHeaderSize + frame.recordBytes);
    }

    [[nodiscard]] bool Read(uint8_t* bytes, size_t size) {
        return m_stream.zRPshRead(m_socket, bytes, static_cast<int>(size)) == static_cast<int>(size);
    }

    StreamConnection& stream() { return m_stream; }
    MessageChannel& channel() { return m_channel; }
    [[nodiscard]] int socket() const { return m_socket; }

  private:
    bool m_tls;
    StreamConnection m_stream;
    MessageChannel m_channel;
    int m_socket = -1;
};

ServerOptions Accounts() {
    ServerOptions options;
    options.users = {{"ann", "secret"}};
    options.serverCode = kCode;
    return options;
}

uint16_t Type(const std::vector<uint8_t>& body) { return LoadField<uint16_t>(body.data(), RecordHeaderLayout::kType); }

// -- The whole exchange in each transport and envelope ------------------------------------

struct SessionCase {
    const char* name;
    bool tls;
    uint16_t envelope;
    int depth;
};

void PrintTo(const SessionCase& c, std::ostream* out) { *out << c.name; }

class LoopbackSessionTest : public ::testing::TestWithParam<SessionCase> {};

TEST_P(LoopbackSessionTest, LoginDesktopAndClientInputEndToEnd) {
    const SessionCase c = GetParam();
    ServerOptions options = Accounts();
    options.tls = c.tls;
    options.envelope = c.envelope;
    options.sessionCount = 2;
    options.frames = 3;
    RunningServer server(options);
    Client client(server.port(), c.tls);
    ASSERT_TRUE(client.Handshake());

    const int bpp = c.depth == 8 ? 8 : 32;
    const InfoBlock reply = client.Login("ann", "secret", {320, 240, c.depth, bpp, c.depth == 8 ? 3 : 4});
    ASSERT_EQ(reply.Status(), 0);
    EXPECT_EQ(client.ReadSessionList(), (std::vector<uint32_t>{11, 12}));
    ASSERT_TRUE(client.Choose(2));
    const InfoBlock final = client.ReadFinalBlock();
    ASSERT_EQ(final.Status(), 0);
    EXPECT_EQ(final.SessionId(), 100);
    EXPECT_EQ(final.ProtocolVersion(), 200);
    EXPECT_EQ(final.Version(), 950);
    EXPECT_EQ(final.Geometry(), (InfoGeometry{320, 240, c.depth, bpp, c.depth == 8 ? 3 : 4}));

    const std::vector<uint8_t> init = client.InitExchange(320, 240, c.depth);
    ASSERT_EQ(init.size(), kInitRecordSize);
    EXPECT_EQ(LoadField<uint32_t>(init.data(), InitRecordLayout::kStatus), 0u);
    EXPECT_EQ(LoadField<uint16_t>(init.data(), InitRecordLayout::kWidth), 320);
    EXPECT_EQ(LoadField<uint16_t>(init.data(), InitRecordLayout::kHeight), 240);
    EXPECT_EQ(init[InitRecordLayout::kDepth], c.depth);
    EXPECT_EQ(LoadField<uint32_t>(init.data(), InitRecordLayout::kSessionId), 101u);
    EXPECT_STREQ(reinterpret_cast<const char*>(&init[InitRecordLayout::kBanner]), "Corvane test server");

    // Depth 8 begins with the colour table, which the updates are then drawn through.
    std::array<Rgb, 256> table = DesktopColourTable();
    if (c.depth == 8) {
        std::vector<uint8_t> colours = client.ReadMessage();
        ASSERT_GE(colours.size(), 32u + 12 + 768);
        ASSERT_EQ(Type(colours), ZRPPROTOCOL_MH_MESSCOLT);
        uint8_t* record = colours.data() + 32;
        RecordToHost(record, ZRPPROTOCOL_MH_MESSCOLT, 12);
        EXPECT_EQ(LoadField<uint32_t>(record, 0), 256u);
        EXPECT_EQ(LoadField<uint32_t>(record, 4), 0u);
        EXPECT_EQ(LoadField<uint32_t>(record, 8), 3u);
        for (int i = 0; i < 256; ++i) table[i] = {record[12 + 3 * i], record[13 + 3 * i], record[14 + 3 * i]};
    }
    // The full screen and three moving updates, drawn as a client draws them.
    test::RgbCanvas canvas(320, 240, 0);
    for (int update = 0; update < 4; ++update) {
        const std::vector<uint8_t> body = client.ReadMessage();
        ASSERT_GE(body.size(), 40u) << "update " << update;
        ASSERT_EQ(Type(body), ZRPPROTOCOL_MH_MESSIMFB);
        EXPECT_EQ(LoadField<uint16_t>(body.data(), RecordHeaderLayout::kFormatTag), 257);
        EXPECT_EQ(LoadField<uint32_t>(body.data(), RecordHeaderLayout::kCompform), 4u);
        EXPECT_EQ(LoadField<uint32_t>(body.data(), RecordHeaderLayout::kDepth), static_cast<uint32_t>(c.depth));
        int rectangles = 0;
        ASSERT_EQ(test::DrawRawUpdate(body.data() + 32, body.size() - 32, c.depth, table, canvas, &rectangles), "");
        if (update == 0) {
            EXPECT_EQ(rectangles, 2);  // 320 wide: tiles of 256 and 64
            EXPECT_EQ(canvas.rgb, RenderDesktopRgb({320, 240, c.depth, kDefaultSeed}, 0));
        }
    }
    EXPECT_EQ(canvas.rgb, RenderDesktopRgb({320, 240, c.depth, kDefaultSeed}, 3));

    // Input as the client sends it: the key record enciphered after its conversion.
    uint8_t key[kKeyRecordSize] = {};
    StoreField<uint32_t>(key, 16, 5);
    StoreField<uint32_t>(key, 20, 38);
    StoreField<uint16_t>(key, 24, 1);
    RecordToWire(key, ZRPPROTOCOL_MH_MESSKEYE, sizeof key);
    ASSERT_EQ(EncipherBlocks(key, sizeof key, 32, BuildPayloadKey(kCode)), 0);
    uint8_t keyBody[kRecordHeaderSize + kKeyRecordSize];
    MakeRecordHeader(keyBody, ZRPPROTOCOL_MH_MESSKEYE);
    RecordHeaderToWire(keyBody);
    std::memcpy(keyBody + kRecordHeaderSize, key, sizeof key);
    FrameBuilder frame;
    ASSERT_TRUE(frame.Build(kEnvelopePlain, keyBody, sizeof keyBody, kCode, BodyCoding::AsIs));
    ASSERT_EQ(client.stream().zRPshWrite(client.socket(), frame.data(), static_cast<int>(frame.size())),
              static_cast<int>(frame.size()));

    uint8_t pointer[kPointerRecordSize] = {};
    StoreField<int32_t>(pointer, 0, 10);
    StoreField<int32_t>(pointer, 4, 20);
    StoreField<int32_t>(pointer, 8, 110);
    StoreField<int32_t>(pointer, 12, -3);
    StoreField<uint32_t>(pointer, 20, 1);
    StoreField<uint16_t>(pointer, 24, 1);
    EXPECT_GT(client.channel().SendMessage(ZRPPROTOCOL_MH_MESSMSEE, pointer, sizeof pointer), 0);
    uint8_t clip[8] = {};
    StoreField<uint32_t>(clip, 0, 7);
    StoreField<uint32_t>(clip, 4, 1);
    const char text[] = "he\"l\nlo";
    EXPECT_GT(client.channel().SendCompressedMessage(ZRPPROTOCOL_MH_MESSCLPT, clip, sizeof clip,
                                                     reinterpret_cast<const uint8_t*>(text), sizeof text, 6),
              0);
    uint8_t sctl[kSessionControlRecordSize] = {};
    StoreField<uint32_t>(sctl, 0, 5001);
    EXPECT_GT(client.channel().SendMessage(ZRPPROTOCOL_MH_MESSSCTL, sctl, sizeof sctl), 0);
    ASSERT_TRUE(server.WaitForLog("sctl code=5001 arg=0 arg2=0\n"));
    (void)client.stream().Close(client.socket());
    ASSERT_TRUE(server.WaitForLog("session end id=101 state=disconnected\n"));

    const std::string log = server.Log();
    const std::string bppText = std::to_string(bpp);
    const std::string visual = c.depth == 8 ? "3" : "4";
    for (const std::string& line : {
             "login user=ann session=0 width=320 height=240 depth=" + std::to_string(c.depth) + " bpp=" + bppText +
                 " visual=" + visual + " flag=fill version=900\n",
             std::string("login-reply status=0 flag=0 width=320 height=240\n"),
             std::string("sessions count=2 entry-size=384\n"),
             std::string("choice session=2\n"),
             "init width=320 height=240 depth=" + std::to_string(c.depth) + " bpp=" + bppText + " visual=" + visual +
                 " bandwidth=0 banner=\"GL+  \"\n",
             std::string("frame sent n=4 desktop=3 "),
             std::string("key code=38 flags=5 kind=press\n"),
             std::string("pointer x=10 y=20 screen-x=110 screen-y=-3 button=1 action=press\n"),
             std::string("clipboard len=7 text=\"he\\\"l\\nlo\"\n"),
             std::string("connection closed\n"),
         }) {
        EXPECT_NE(log.find(line), std::string::npos) << line << "\nin:\n" << log;
    }
}

INSTANTIATE_TEST_SUITE_P(Transports, LoopbackSessionTest,
                         ::testing::Values(SessionCase{"TcpCompstd24", false, COMPSTD, 24},
                                           SessionCase{"TlsCompext24", true, COMPEXT, 24},
                                           SessionCase{"TcpCompaes8", false, COMPAES, 8},
                                           SessionCase{"TcpPlain8", false, kEnvelopePlain, 8}),
                         [](const auto& info) { return std::string(info.param.name); });

// -- Refusals ----------------------------------------------------------------------------

TEST(LoopbackLoginTest, RefusesWithTheStatusItWasGiven) {
    struct Refusal {
        const char* user;
        const char* password;
        int32_t loginStatus;
        bool badMagic;
        int32_t status;  // as the client reads it
        const char* reason;
    };
    const Refusal cases[] = {
        {"ann", "wrong", 0, false, 1, "reason=bad-password"},
        {"zed", "secret", 0, false, 1, "reason=unknown-user"},
        {"ann", "secret", 6, false, 6, "reason=forced"},
        {"ann", "secret", 0, true, 8, "reason=bad-magic"},
    };
    for (const Refusal& r : cases) {
        ServerOptions options = Accounts();
        options.loginStatus = r.loginStatus;
        options.badMagic = r.badMagic;
        RunningServer server(options);
        Client client(server.port(), false);
        ASSERT_TRUE(client.Handshake());
        EXPECT_EQ(client.Login(r.user, r.password, {640, 480, 24, 32, 4}).Status(), r.status) << r.reason;
        // The server hangs up at once: a client that keeps a refused connection open and
        // tries again must not find the server still waiting on the first one.
        uint8_t byte;
        EXPECT_LE(client.stream().zRPshRead(client.socket(), &byte, 1), 0) << r.reason;
        EXPECT_TRUE(server.WaitForLog(r.reason)) << server.Log();
    }
}

TEST(LoopbackLoginTest, RedirectsOnceThenAcceptsTheSecondAttempt) {
    ServerOptions options = Accounts();
    options.redirectOnce = true;
    RunningServer server(options);
    {
        Client first(server.port(), false);
        ASSERT_TRUE(first.Handshake());
        const InfoBlock reply = first.Login("ann", "secret", {1024, 768, 24, 32, 4});
        EXPECT_EQ(reply.ServerVariantFlag(), 2);
        EXPECT_EQ(reply.Geometry(), (InfoGeometry{800, 600, 24, 32, 4}));
    }
    Client second(server.port(), false);
    ASSERT_TRUE(second.Handshake());
    const InfoBlock reply = second.Login("ann", "secret", {800, 600, 24, 32, 4}, 0, true);
    EXPECT_EQ(reply.Status(), 0);
    EXPECT_EQ(reply.ServerVariantFlag(), 0);
    EXPECT_TRUE(server.WaitForLog("width=800 height=600 depth=24 bpp=32 visual=4 flag=1 version=900\n"));
}

TEST(LoopbackLoginTest, PastSilentAfterConnectionsAreHeldOpenAndNeverAnswered) {
    ServerOptions options = Accounts();
    options.silentAfter = 1;
    RunningServer server(options);
    {
        Client refused(server.port(), false);  // a refused login counts as a connection
        ASSERT_TRUE(refused.Handshake());
        EXPECT_EQ(refused.Login("ann", "wrong", {640, 480, 24, 32, 4}).Status(), 1);
    }
    for (int n = 2; n <= 3; ++n) {
        SCOPED_TRACE(n);
        Client silent(server.port(), false);
        ASSERT_TRUE(server.WaitForLog("connection n=" + std::to_string(n) + "\nconnection held silent\n"));
        // The first block is taken, and nothing comes back, not even the end of the stream.
        uint8_t block[512] = {1, 2, 3};
        ASSERT_EQ(silent.stream().zRPshWrite(silent.socket(), block, sizeof block), 512);
        pollfd answer{silent.socket(), POLLIN, 0};
        EXPECT_EQ(::poll(&answer, 1, 300), 0);
    }  // the client gives up; the server takes the next connection
    ASSERT_TRUE(server.WaitForLog("connection n=3\nconnection held silent\nconnection closed\n")) << server.Log();
    // A stop ends a connection held silent: the server's destructor waits for the run to end.
    Client last(server.port(), false);
    ASSERT_TRUE(server.WaitForLog("connection n=4\nconnection held silent\n"));
}

// -- Sessions across connections ---------------------------------------------------------

TEST(LoopbackLoginTest, OffersADroppedSessionAtTheNextLoginAndForgetsAnEndedOne) {
    RunningServer server(Accounts());
    {
        Client client(server.port(), false);
        ASSERT_TRUE(client.Handshake());
        ASSERT_EQ(client.Login("ann", "secret", {640, 480, 24, 32, 4}).Status(), 0);
        EXPECT_TRUE(client.ReadSessionList().empty());
        ASSERT_TRUE(client.Choose(2));
        ASSERT_EQ(client.ReadFinalBlock().Status(), 0);
        ASSERT_FALSE(client.InitExchange(640, 480, 24).empty());
        EXPECT_EQ(Type(client.ReadMessage()), ZRPPROTOCOL_MH_MESSIMFB);
    }  // gone without a word
    ASSERT_TRUE(server.WaitForLog("session end id=101 state=disconnected\n"));
    {
        Client client(server.port(), false);
        ASSERT_TRUE(client.Handshake());
        ASSERT_EQ(client.Login("ann", "secret", {1024, 768, 24, 32, 4}).Status(), 0);
        EXPECT_EQ(client.ReadSessionList(), (std::vector<uint32_t>{101}));
        ASSERT_TRUE(client.Choose(101));
        const InfoBlock final = client.ReadFinalBlock();
        ASSERT_EQ(final.Status(), 0);
        EXPECT_EQ(final.Geometry().width, 640);  // the session's own size, not the request
        const std::vector<uint8_t> init = client.InitExchange(640, 480, 24);
        ASSERT_FALSE(init.empty());
        EXPECT_EQ(LoadField<uint32_t>(init.data(), InitRecordLayout::kSessionId), 101u);
        uint8_t exit[kSessionControlRecordSize] = {};
        StoreField<uint32_t>(exit, 0, 5002);
        EXPECT_GT(client.channel().SendMessage(ZRPPROTOCOL_MH_MESSSCTL, exit, sizeof exit), 0);
        ASSERT_TRUE(server.WaitForLog("sctl code=5002"));
    }
    ASSERT_TRUE(server.WaitForLog("session end id=101 state=ended\n"));
    Client last(server.port(), false);
    ASSERT_TRUE(last.Handshake());
    ASSERT_EQ(last.Login("ann", "secret", {640, 480, 24, 32, 4}).Status(), 0);
    EXPECT_TRUE(last.ReadSessionList().empty());
    ASSERT_TRUE(last.Choose(7));  // not listed
    EXPECT_EQ(last.ReadFinalBlock().Status(), 3);
}

// -- Scenario ----------------------------------------------------------------------------

TEST(LoopbackScenarioTest, ActionsReachTheClientInOrderOncePerRun) {
    ServerOptions options = Accounts();
    options.frames = 10;
    options.scenario = ParseScenario(
                           "after-frames 1 sctl 5019\n"
                           "after-frames 1 bell\n"
                           "after-frames 2 corrupt-compext\n"
                           "after-frames 2 drop\n")
                           .steps;
    RunningServer server(options);
    Client client(server.port(), false);
    ASSERT_TRUE(client.Handshake());
    ASSERT_EQ(client.Login("ann", "secret", {320, 200, 24, 32, 4}).Status(), 0);
    (void)client.ReadSessionList();
    ASSERT_TRUE(client.Choose(2));
    ASSERT_EQ(client.ReadFinalBlock().Status(), 0);
    ASSERT_FALSE(client.InitExchange(320, 200, 24).empty());

    EXPECT_EQ(Type(client.ReadMessage()), ZRPPROTOCOL_MH_MESSIMFB);
    std::vector<uint8_t> sctl = client.ReadMessage();
    ASSERT_EQ(sctl.size(), 64u);
    ASSERT_EQ(Type(sctl), ZRPPROTOCOL_MH_MESSSCTL);
    RecordToHost(sctl.data() + 32, ZRPPROTOCOL_MH_MESSSCTL, 32);
    EXPECT_EQ(LoadField<uint32_t>(sctl.data() + 32, 0), 5019u);
    const std::vector<uint8_t> bell = client.ReadMessage();
    ASSERT_EQ(bell.size(), 38u);
    EXPECT_EQ(Type(bell), ZRPPROTOCOL_MH_MESSBELL);
    EXPECT_EQ(bell[32], 0);    // sound it
    EXPECT_EQ(bell[33], 220);  // at 220 Hz
    EXPECT_EQ(Type(client.ReadMessage()), ZRPPROTOCOL_MH_MESSIMFB);
    // The corrupt frame reaches the client as a silent bell, and then the line goes dead.
    const std::vector<uint8_t> skipped = client.ReadMessage();
    ASSERT_EQ(skipped.size(), 38u);
    EXPECT_EQ(Type(skipped), ZRPPROTOCOL_MH_MESSBELL);
    EXPECT_EQ(skipped[33], 0);
    EXPECT_TRUE(client.ReadMessage().empty());
    EXPECT_TRUE(server.WaitForLog("action drop\n"));
    EXPECT_TRUE(server.WaitForLog("session end id=101 state=disconnected\n"));

    // The client's reconnection gets a session that the used-up steps leave alone.
    Client again(server.port(), false);
    ASSERT_TRUE(again.Handshake());
    ASSERT_EQ(again.Login("ann", "secret", {320, 200, 24, 32, 4}).Status(), 0);
    EXPECT_EQ(again.ReadSessionList(), (std::vector<uint32_t>{101}));
    ASSERT_TRUE(again.Choose(2));
    ASSERT_EQ(again.ReadFinalBlock().Status(), 0);
    ASSERT_FALSE(again.InitExchange(320, 200, 24).empty());
    for (int update = 0; update < 5; ++update) {
        EXPECT_EQ(Type(again.ReadMessage()), ZRPPROTOCOL_MH_MESSIMFB) << "update " << update;
    }
}

}  // namespace
}  // namespace corvane::testserver
