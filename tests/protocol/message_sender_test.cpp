// The sender thread over a socket pair, read back by a second channel the way the server
// reads: messages stay whole and in order, nothing goes out while held, a full queue refuses
// instead of losing what it took, and each coding arrives in its envelope.
#include "protocol/message_sender.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include "config/log.h"
#include "crypto/payload_cipher.h"
#include "crypto/payload_key.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using Coding = MessageSender::Coding;

constexpr const char* kServerCode = "K7-relay";

std::vector<uint8_t> Pattern(size_t n, uint32_t seed) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(seed * 13 + i * 31 + (i >> 7));
    return bytes;
}

struct Message {
    int32_t type = 0;
    std::vector<uint8_t> record;  // host order
    std::vector<uint8_t> payload;
};

// What a message's body holds behind its record header on the wire: the record in wire
// order, then the payload.
std::vector<uint8_t> WireBody(const Message& m) {
    std::vector<uint8_t> bytes = m.record;
    RecordToWire(bytes.data(), m.type, bytes.size());
    bytes.insert(bytes.end(), m.payload.begin(), m.payload.end());
    return bytes;
}

// Message `seq` of poster `thread`: both numbers in the record, a payload of varying length
// (empty now and then) whose bytes depend on both.
Message Numbered(uint32_t thread, uint32_t seq) {
    Message m{ZRPPROTOCOL_MH_MESSSCTL, std::vector<uint8_t>(kSessionControlRecordSize, 0), {}};
    StoreField<uint32_t>(m.record.data(), 0, thread);
    StoreField<uint32_t>(m.record.data(), 4, seq);
    m.payload = Pattern((seq * 37 + thread * 11) % 600, thread * 1000 + seq);
    return m;
}

class MessageSenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetLogForTesting();
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, m_fds), 0);
        m_channel.SetSocket(m_fds[0]);
        m_channel.SetServerCode(kServerCode);
        m_reader.SetSocket(m_fds[1]);
        m_reader.SetServerCode(kServerCode);
        ASSERT_TRUE(m_reader.AllocateBuffers(64, 64, 24));
    }
    void TearDown() override {
        // A sender stuck in a write (a test that failed half-way) must not hang the test.
        ::shutdown(m_fds[0], SHUT_RDWR);
        m_sender.Stop();
        close(m_fds[0]);
        close(m_fds[1]);
    }

    [[nodiscard]] bool Post(const Message& m, Coding coding = Coding::Plain) {
        return m_sender.Post(m.type, m.record.data(), m.record.size(), m.payload.data(), m.payload.size(),
                             coding);
    }

    // The next message as the peer's channel reads it: its type, and the bytes behind its
    // record header as they came. Empty when nothing arrives within a few seconds.
    struct Arrival {
        uint16_t type = 0;
        std::vector<uint8_t> body;
    };
    std::optional<Arrival> Next() {
        pollfd p{m_fds[1], POLLIN, 0};
        if (::poll(&p, 1, 5000) != 1) return std::nullopt;
        MessageFrame frame;
        if (m_reader.ReadMessage(kDecoderDeflate, frame) != 0) return std::nullopt;
        return Arrival{frame.type, {frame.record, frame.record + frame.recordBytes}};
    }
    void ExpectNext(const Message& m, const std::string& what) {
        std::optional<Arrival> got = Next();
        ASSERT_TRUE(got) << what << ": nothing arrived";
        EXPECT_EQ(got->type, m.type) << what;
        EXPECT_EQ(got->body, WireBody(m)) << what;
    }

    // The frame header of the next message, left in place (call once it has been flushed).
    std::pair<uint32_t, uint16_t> PeekFrameHeader() {
        uint8_t header[kFrameHeaderSize] = {};
        EXPECT_EQ(::recv(m_fds[1], header, sizeof header, MSG_PEEK | MSG_DONTWAIT),
                  static_cast<ssize_t>(sizeof header));
        FrameHeaderToHost(header);
        return {LoadField<uint32_t>(header, FrameHeaderLayout::kSize),
                LoadField<uint16_t>(header, FrameHeaderLayout::kEnvelope)};
    }

    int Pending() {
        int bytes = 0;
        ioctl(m_fds[1], FIONREAD, &bytes);
        return bytes;
    }

    int m_fds[2] = {-1, -1};
    StreamConnection m_client;
    MessageChannel m_channel{m_client};
    StreamConnection m_server{StreamRole::Server};
    MessageChannel m_reader{m_server};
    MessageSender m_sender{m_channel};
};

TEST_F(MessageSenderTest, MessagesFromManyThreadsArriveWholeAndInEachThreadsOrder) {
    m_sender.Start();
    // Together no more than the queue holds, so that none may be refused.
    constexpr uint32_t kThreads = 4;
    constexpr uint32_t kMessages = MessageSender::kCapacity / kThreads;
    std::vector<std::thread> posters;
    for (uint32_t t = 0; t < kThreads; ++t) {
        posters.emplace_back([this, t] {
            for (uint32_t i = 0; i < kMessages; ++i) EXPECT_TRUE(Post(Numbered(t, i))) << t << "/" << i;
        });
    }
    std::vector<uint32_t> next(kThreads, 0);
    for (uint32_t m = 0; m < kThreads * kMessages; ++m) {
        std::optional<Arrival> got = Next();
        ASSERT_TRUE(got) << "message " << m << " of " << kThreads * kMessages << " did not arrive";
        ASSERT_EQ(got->type, ZRPPROTOCOL_MH_MESSSCTL);
        ASSERT_GE(got->body.size(), kSessionControlRecordSize);
        std::vector<uint8_t> record(got->body.begin(), got->body.begin() + kSessionControlRecordSize);
        RecordToHost(record.data(), ZRPPROTOCOL_MH_MESSSCTL, record.size());
        const uint32_t t = LoadField<uint32_t>(record.data(), 0);
        const uint32_t i = LoadField<uint32_t>(record.data(), 4);
        ASSERT_LT(t, kThreads);
        EXPECT_EQ(i, next[t]) << "poster " << t << " out of order";
        next[t] = i + 1;
        EXPECT_EQ(got->body, WireBody(Numbered(t, i))) << "poster " << t << " message " << i;
    }
    for (std::thread& poster : posters) poster.join();
    EXPECT_TRUE(m_sender.Flush(5s));
    EXPECT_EQ(Pending(), 0);
    EXPECT_GT(m_sender.LastResult(), 0);
}

TEST_F(MessageSenderTest, NothingIsWrittenWhileHeldAndEverythingInOrderAfterResume) {
    // Held before it starts (a queue filled ahead of the session) and held again in the middle
    // of the session (a reconnection).
    m_sender.Hold();
    for (uint32_t i = 0; i < 5; ++i) ASSERT_TRUE(Post(Numbered(0, i)));
    m_sender.Start();
    EXPECT_FALSE(m_sender.Flush(100ms)) << "written while held";
    EXPECT_EQ(Pending(), 0);
    m_sender.Resume();
    for (uint32_t i = 0; i < 5; ++i) ExpectNext(Numbered(0, i), "before the start, #" + std::to_string(i));
    ASSERT_TRUE(m_sender.Flush(5s));

    m_sender.Hold();
    for (uint32_t i = 0; i < 40; ++i) ASSERT_TRUE(Post(Numbered(1, i)));
    EXPECT_FALSE(m_sender.Flush(100ms)) << "written while held";
    EXPECT_EQ(Pending(), 0);
    m_sender.Resume();
    for (uint32_t i = 0; i < 40; ++i) ExpectNext(Numbered(1, i), "held in the session, #" + std::to_string(i));
    EXPECT_TRUE(m_sender.Flush(5s));
    EXPECT_EQ(Pending(), 0);
}

TEST_F(MessageSenderTest, AFullQueueRefusesTheNextMessageAndKeepsWhatItTook) {
    m_sender.Start();
    m_sender.Hold();
    for (uint32_t i = 0; i < MessageSender::kCapacity; ++i) ASSERT_TRUE(Post(Numbered(2, i))) << i;
    EXPECT_FALSE(Post(Numbered(9, 0))) << "one past the capacity";
    EXPECT_FALSE(Post(Numbered(9, 1)));
    m_sender.Resume();
    for (uint32_t i = 0; i < MessageSender::kCapacity; ++i) ExpectNext(Numbered(2, i), "#" + std::to_string(i));
    ASSERT_TRUE(m_sender.Flush(5s));
    EXPECT_EQ(Pending(), 0) << "a refused message went out";
    // Once drained, the queue takes messages again.
    ASSERT_TRUE(Post(Numbered(3, 0)));
    ExpectNext(Numbered(3, 0), "after the queue drained");
}

TEST_F(MessageSenderTest, StopDropsWhatIsQueuedAtOnceAndRefusesLaterMessages) {
    m_sender.Start();
    m_sender.Hold();
    for (uint32_t i = 0; i < 20; ++i) ASSERT_TRUE(Post(Numbered(4, i)));
    const auto started = std::chrono::steady_clock::now();
    m_sender.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 500ms);
    EXPECT_FALSE(Post(Numbered(4, 20)));
    EXPECT_TRUE(m_sender.Flush(0ms)) << "a stopped sender has nothing left to write";
    // Neither a resume nor a second start brings the dropped messages back.
    m_sender.Resume();
    m_sender.Start();
    pollfd p{m_fds[1], POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 100), 0);
    EXPECT_EQ(Pending(), 0);
}

TEST_F(MessageSenderTest, EachCodingArrivesInItsEnvelope) {
    m_sender.Start();
    Message clip{ZRPPROTOCOL_MH_MESSCLPT, std::vector<uint8_t>(8, 0), std::vector<uint8_t>(6000, 'q')};
    StoreField<uint32_t>(clip.record.data(), 0, 6000);
    StoreField<uint32_t>(clip.record.data(), 4, 1);
    const size_t plainFrame = kFrameHeaderSize + kRecordHeaderSize + clip.record.size() + clip.payload.size();
    struct Case {
        const char* name;
        Coding coding;
        uint16_t envelope;
    };
    for (const Case& c : {Case{"plain", Coding::Plain, kEnvelopePlain}, Case{"compressed", Coding::Compressed, COMPEXT}}) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Post(clip, c.coding));
        ASSERT_TRUE(m_sender.Flush(5s));
        const auto [size, envelope] = PeekFrameHeader();
        EXPECT_EQ(envelope, c.envelope);
        if (c.coding == Coding::Compressed) {
            EXPECT_LT(size, plainFrame / 10) << "not deflated";
        } else {
            EXPECT_EQ(size, plainFrame);
        }
        ExpectNext(clip, c.name);
    }
}

TEST_F(MessageSenderTest, AKeyRecordTravelsEncipheredAsOneBlockOfAPlainMessage) {
    m_sender.Start();
    Message key{ZRPPROTOCOL_MH_MESSKEYE, Pattern(kKeyRecordSize, 5), {}};
    ASSERT_TRUE(Post(key, Coding::KeyRecord));
    ASSERT_TRUE(m_sender.Flush(5s));
    const auto [size, envelope] = PeekFrameHeader();
    EXPECT_EQ(envelope, kEnvelopePlain);
    EXPECT_EQ(size, kFrameHeaderSize + kRecordHeaderSize + kKeyRecordSize);
    std::optional<Arrival> got = Next();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->type, ZRPPROTOCOL_MH_MESSKEYE);
    ASSERT_EQ(got->body.size(), kKeyRecordSize);
    EXPECT_NE(got->body, WireBody(key)) << "sent in clear";
    ASSERT_EQ(DecipherBlocks(got->body.data(), kKeyRecordSize, 32, BuildPayloadKey(kServerCode)), 0);
    RecordToHost(got->body.data(), ZRPPROTOCOL_MH_MESSKEYE, kKeyRecordSize);
    EXPECT_EQ(got->body, key.record);
}

}  // namespace
}  // namespace corvane
