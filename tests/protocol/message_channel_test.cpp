#include "protocol/message_channel.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <numeric>
#include <thread>
#include <vector>

#include <zlib.h>

#include "config/log.h"
#include "crypto/payload_cipher.h"
#include "crypto/payload_key.h"

namespace corvane {
namespace {

// A message body in wire order: record header of `type`, then `record`.
std::vector<uint8_t> Body(int32_t type, std::vector<uint8_t> record) {
    std::vector<uint8_t> body(kRecordHeaderSize);
    MakeRecordHeader(body.data(), type);
    RecordHeaderToWire(body.data());
    body.insert(body.end(), record.begin(), record.end());
    return body;
}

std::vector<uint8_t> Pattern(size_t n, uint8_t seed = 7) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 31 + (i >> 7));
    return bytes;
}

// The client's channel on one end of a socket pair; the test writes the server's bytes on
// the other end.
class MessageChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetLogForTesting();
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, m_fds), 0);
        m_channel.SetSocket(m_fds[0]);
        ASSERT_TRUE(m_channel.AllocateBuffers(64, 64, 24));
    }
    void TearDown() override {
        close(m_fds[0]);
        close(m_fds[1]);
    }

    void WriteRaw(const uint8_t* bytes, size_t size) {
        ASSERT_EQ(m_server.zRPshWrite(m_fds[1], bytes, static_cast<int>(size)), static_cast<int>(size));
    }
    void WriteFrame(uint16_t envelope, const std::vector<uint8_t>& body,
                    BodyCoding coding, std::string_view code = {}) {
        FrameBuilder frame;
        ASSERT_TRUE(frame.Build(envelope, body.data(), body.size(), code, coding));
        WriteRaw(frame.data(), frame.size());
    }
    void WriteHeader(uint32_t size, uint16_t envelope) {
        uint8_t header[kFrameHeaderSize];
        MakeFrameHeader(header, size, envelope, 0);
        FrameHeaderToWire(header);
        WriteRaw(header, sizeof header);
    }
    // Reads one frame; `length`: its record header and record.
    int Read(size_t& length, int selector = kDecoderDeflate) {
        const int result = m_channel.ReadMessage(selector, m_frame);
        length = result == 0 ? kRecordHeaderSize + m_frame.recordBytes : 0;
        return result;
    }
    std::vector<uint8_t> Message(size_t size) { return {m_frame.header, m_frame.header + size}; }
    int Pending() {
        int bytes = 0;
        ioctl(m_fds[0], FIONREAD, &bytes);
        return bytes;
    }

    int m_fds[2] = {-1, -1};
    StreamConnection m_client;
    StreamConnection m_server{StreamRole::Server};
    MessageChannel m_channel{m_client};
    MessageFrame m_frame;
};

TEST_F(MessageChannelTest, FrameSizeLimits) {
    size_t capacity = 0;
    WriteHeader(12, kEnvelopePlain);
    EXPECT_EQ(Read(capacity), -1) << "12 bytes: too small";

    WriteHeader(13, kEnvelopePlain);
    uint8_t one = 0x55;
    WriteRaw(&one, 1);
    ASSERT_EQ(Read(capacity), 0);
    // Too short for a record header: dropped as a silent bell, and the stream goes on.
    EXPECT_EQ(m_frame.type, ZRPPROTOCOL_MH_MESSBELL);
    EXPECT_EQ(Message(kRecordHeaderSize + kBellRecordSize)[kRecordHeaderSize], 0);

    WriteHeader(kMaxFrameSize + 1, kEnvelopePlain);
    EXPECT_EQ(Read(capacity), -1) << "one byte over the limit";

    // Larger than the session's buffers: refused before a byte of the body is read.
    size_t tooBig = m_channel.BufferSize() + 1;
    WriteHeader(static_cast<uint32_t>(kFrameHeaderSize + tooBig), kEnvelopePlain);
    std::vector<uint8_t> someBody(100, 1);
    WriteRaw(someBody.data(), someBody.size());
    EXPECT_EQ(Read(capacity), -1);
    EXPECT_EQ(Pending(), 100);
}

TEST_F(MessageChannelTest, LargestFrameIsAccepted) {
    MessageChannel big(m_client);
    big.SetSocket(m_fds[0]);
    ASSERT_TRUE(big.AllocateBuffers(8192, 8192, 24));
    ASSERT_EQ(big.BufferSize(), kMaxFrameSize);
    std::vector<uint8_t> body = Body(ZRPPROTOCOL_MH_MESSIMFB, Pattern(kMaxFrameSize - kFrameHeaderSize - kRecordHeaderSize));
    std::thread writer([&] { WriteFrame(kEnvelopePlain, body, BodyCoding::AsIs); });
    MessageFrame frame;
    ASSERT_EQ(big.ReadMessage(kDecoderDeflate, frame), 0);
    writer.join();
    EXPECT_EQ(kRecordHeaderSize + frame.recordBytes, kMaxFrameSize - kFrameHeaderSize);
    EXPECT_EQ(frame.type, ZRPPROTOCOL_MH_MESSIMFB);
    EXPECT_EQ(0, std::memcmp(frame.record, body.data() + kRecordHeaderSize,
                             body.size() - kRecordHeaderSize));
}

// The frame limit holds on its own: a frame one byte over it would still fit buffers of the
// largest size, and must be refused before a byte of its body is read.
TEST_F(MessageChannelTest, FrameOneByteOverTheLimitIsRefusedByTheLargestBuffers) {
    MessageChannel big(m_client);
    big.SetSocket(m_fds[0]);
    ASSERT_TRUE(big.AllocateBuffers(8192, 8192, 24));
    ASSERT_EQ(big.BufferSize(), kMaxFrameSize);
    ASSERT_LE(kMaxFrameSize + 1 - kFrameHeaderSize, big.BufferSize())
        << "the body would fit the buffers";

    WriteHeader(static_cast<uint32_t>(kMaxFrameSize + 1), kEnvelopePlain);
    const std::vector<uint8_t> start = Body(ZRPPROTOCOL_MH_MESSIMFB, Pattern(68));
    WriteRaw(start.data(), start.size());
    shutdown(m_fds[1], SHUT_WR);  // no more comes: a read of the body would end here, not hang

    MessageFrame frame;
    EXPECT_EQ(big.ReadMessage(kDecoderDeflate, frame), -1);
    EXPECT_EQ(Pending(), static_cast<int>(start.size())) << "the body was read";
}

TEST_F(MessageChannelTest, EnvelopesRoundTrip) {
    struct Case {
        const char* name;
        uint16_t envelope;
        int selector;
        size_t recordSize;
    };
    const Case cases[] = {
        {"plain", kEnvelopePlain, kDecoderDeflate, 3000},
        {"compstd", COMPSTD, kDecoderDeflate, 12000},
        {"compext deflated", COMPEXT, kDecoderDeflate, 5000},
        {"compext raw", COMPEXT, kDecoderRawCompext, 700},
        {"compaes", COMPAES, kDecoderDeflate, 900},
    };
    m_channel.SetServerCode("ABC");
    for (const Case& c : cases) {
        std::vector<uint8_t> record = Pattern(c.recordSize);
        std::vector<uint8_t> body = Body(ZRPPROTOCOL_MH_MESSIMFB, record);
        BodyCoding coding = c.selector == kDecoderRawCompext ? BodyCoding::AsIs : DefaultCoding(c.envelope);
        WriteFrame(c.envelope, body, coding, "ABC");
        size_t capacity = 0;
        ASSERT_EQ(Read(capacity, c.selector), 0) << c.name;
        EXPECT_EQ(capacity, body.size()) << c.name;
        EXPECT_EQ(m_frame.type, ZRPPROTOCOL_MH_MESSIMFB) << c.name;
        EXPECT_EQ(0, std::memcmp(m_frame.record, record.data(), record.size()))
            << c.name;
    }
}

TEST_F(MessageChannelTest, OnlyWholeBlocksOfTheFirst64BytesAreEnciphered) {
    const PayloadKey key = BuildPayloadKey();
    for (size_t size : {15u, 40u, 70u}) {
        std::vector<uint8_t> body = Pattern(size);
        FrameBuilder frame;
        ASSERT_TRUE(frame.Build(COMPAES, body.data(), body.size(), {}, BodyCoding::AsIs));
        const uint8_t* wire = frame.data() + kFrameHeaderSize;
        size_t enciphered = std::min<size_t>(size, 64) / 16 * 16;
        // What the wire must hold, from the cipher applied block by block.
        std::vector<uint8_t> expected = body;
        for (size_t at = 0; at < enciphered; at += 16) {
            ASSERT_EQ(EncipherBlocks(expected.data() + at, 16, 16, key), 0);
        }
        EXPECT_EQ(std::vector<uint8_t>(wire, wire + size), expected) << size;
        if (enciphered < size) {
            EXPECT_EQ(0, std::memcmp(wire + enciphered, body.data() + enciphered, size - enciphered));
        }

        WriteRaw(frame.data(), frame.size());
        size_t capacity = 0;
        ASSERT_EQ(Read(capacity), 0);
        if (size < kRecordHeaderSize) {
            EXPECT_EQ(m_frame.type, ZRPPROTOCOL_MH_MESSBELL);
            continue;
        }
        ASSERT_EQ(capacity, size);
        // The record header is converted on arrival; compare what lies behind it.
        if (size > kRecordHeaderSize) {
            EXPECT_EQ(0, std::memcmp(m_frame.record, body.data() + kRecordHeaderSize,
                                     size - kRecordHeaderSize)) << size;
        }
    }
}

TEST_F(MessageChannelTest, CorruptFrames) {
    // A corrupt deflated COMPEXT body becomes a bell with a zero record; the next frame reads.
    std::vector<uint8_t> junk = Pattern(300, 99);
    FrameBuilder frame;
    ASSERT_TRUE(frame.Build(COMPEXT, junk.data(), junk.size(), {}, BodyCoding::AsIs));
    WriteRaw(frame.data(), frame.size());
    size_t capacity = 0;
    ASSERT_EQ(Read(capacity), 0);
    EXPECT_EQ(capacity, 38u);
    EXPECT_EQ(m_frame.type, ZRPPROTOCOL_MH_MESSBELL);
    EXPECT_EQ(Message(38), [] { std::vector<uint8_t> b(38, 0); b[0] = 0xEA; b[1] = 0x03; return b; }());

    std::vector<uint8_t> good = Body(ZRPPROTOCOL_MH_MESSSTAT, Pattern(16));
    WriteFrame(COMPEXT, good, BodyCoding::Deflate);
    ASSERT_EQ(Read(capacity), 0);
    EXPECT_EQ(m_frame.type, ZRPPROTOCOL_MH_MESSSTAT);

    // An unknown envelope is read past and dropped the same way.
    ASSERT_TRUE(frame.Build(9, junk.data(), junk.size(), {}, BodyCoding::AsIs));
    WriteRaw(frame.data(), frame.size());
    ASSERT_EQ(Read(capacity), 0);
    EXPECT_EQ(m_frame.type, ZRPPROTOCOL_MH_MESSBELL);
    EXPECT_EQ(Pending(), 0);

    // A corrupt COMPSTD body ends the read.
    ASSERT_TRUE(frame.Build(COMPSTD, junk.data(), junk.size(), {}, BodyCoding::AsIs));
    WriteRaw(frame.data(), frame.size());
    EXPECT_EQ(Read(capacity), -1);

    // So does a deflated body that inflates past the message buffer.
    std::vector<uint8_t> large = Body(ZRPPROTOCOL_MH_MESSIMFB, std::vector<uint8_t>(m_channel.BufferSize(), 0));
    WriteFrame(COMPSTD, large, BodyCoding::Deflate);
    EXPECT_EQ(Read(capacity), -1);
}

TEST_F(MessageChannelTest, InflateFailuresCarryTheNumberUncompressGives) {
    std::vector<uint8_t> body = Body(ZRPPROTOCOL_MH_MESSSTAT, Pattern(3000));
    std::vector<uint8_t> whole(compressBound(body.size()));
    uLongf wholeSize = whole.size();
    ASSERT_EQ(compress2(whole.data(), &wholeSize, body.data(), body.size(), 6), Z_OK);
    std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(wholeSize / 2));
    std::vector<uint8_t> big = Body(ZRPPROTOCOL_MH_MESSSTAT, std::vector<uint8_t>(m_channel.BufferSize(), 7));
    std::vector<uint8_t> bigZ(compressBound(big.size()));
    uLongf bigSize = bigZ.size();
    ASSERT_EQ(compress2(bigZ.data(), &bigSize, big.data(), big.size(), 6), Z_OK);
    bigZ.resize(bigSize);
    struct Case {
        const char* name;
        std::vector<uint8_t> deflated;
    };
    for (const Case& c : {Case{"stream cut short", cut}, Case{"no room for the output", bigZ}}) {
        // What zlib's own one-shot routine says of the same bytes, into a buffer of our size.
        std::vector<uint8_t> out(m_channel.BufferSize());
        uLongf outSize = out.size();
        const int expected = uncompress(out.data(), &outSize, c.deflated.data(), c.deflated.size());
        ASSERT_NE(expected, Z_OK) << c.name;

        const std::string logPath = ::testing::TempDir() + "/inflate_status.log";
        OpenLog(logPath);
        FrameBuilder frame;
        ASSERT_TRUE(frame.Build(COMPSTD, c.deflated.data(), c.deflated.size(), {}, BodyCoding::AsIs));
        WriteRaw(frame.data(), frame.size());
        size_t length = 0;
        EXPECT_EQ(Read(length), -1) << c.name;
        ResetLogForTesting();
        std::ifstream log(logPath);
        const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
        EXPECT_NE(text.find("Error during uncompress(): " + std::to_string(expected) + "\n"), std::string::npos)
            << c.name << ": " << text;
    }
}

TEST_F(MessageChannelTest, PeerClosingMidBodyFailsTheRead) {
    WriteHeader(kFrameHeaderSize + 500, kEnvelopePlain);
    std::vector<uint8_t> part(100, 3);
    WriteRaw(part.data(), part.size());
    shutdown(m_fds[1], SHUT_WR);
    size_t capacity = 0;
    EXPECT_EQ(Read(capacity), -1);
}

TEST_F(MessageChannelTest, RateSamplesOnlyAbove4096Bytes) {
    for (size_t bodySize : {4096u, 4097u, 10000u}) {
        std::vector<uint8_t> body = Body(ZRPPROTOCOL_MH_MESSIMFB, Pattern(bodySize - kRecordHeaderSize));
        WriteFrame(kEnvelopePlain, body, BodyCoding::AsIs);
        size_t capacity = 0;
        ASSERT_EQ(Read(capacity), 0);
        RateSummary summary = m_channel.Rates().Read();
        EXPECT_EQ(summary.any, bodySize > 4096) << bodySize;
    }
    RateSummary summary = m_channel.Rates().Read(true);
    EXPECT_GT(summary.mean, 0);
    EXPECT_LE(summary.minimum, summary.maximum);
    EXPECT_FALSE(m_channel.Rates().Read().any);
}

TEST_F(MessageChannelTest, JpegImageFramesComeAsTheyAreForTheDisplayCode) {
    std::vector<uint8_t> record(28, 0);
    record[3] = ImageRecordLayout::kJpegImage;  // image type 2, big-endian
    std::vector<uint8_t> body = Body(ZRPPROTOCOL_MH_MESSIMFB, record);
    std::vector<uint8_t> image = Pattern(40, 5);
    body.insert(body.end(), image.begin(), image.end());

    WriteFrame(COMPEXT, body, BodyCoding::AsIs);
    size_t length = 0;
    ASSERT_EQ(Read(length), 0);
    EXPECT_TRUE(m_frame.jpegImage);
    EXPECT_EQ(m_frame.type, ZRPPROTOCOL_MH_MESSIMFB);
    EXPECT_EQ(m_frame.recordBytes, 28u + image.size());
    EXPECT_EQ(0, std::memcmp(m_frame.record + 28, image.data(), image.size()));

    // Too short to hold the image record: dropped as a bell.
    std::vector<uint8_t> shortBody = Body(ZRPPROTOCOL_MH_MESSIMFB, {0, 0, 0, 2, 0, 0, 0, 1});
    WriteFrame(COMPEXT, shortBody, BodyCoding::AsIs);
    ASSERT_EQ(Read(length), 0);
    EXPECT_FALSE(m_frame.jpegImage);
    EXPECT_EQ(m_frame.type, ZRPPROTOCOL_MH_MESSBELL);
}

TEST_F(MessageChannelTest, ASocketEndedFromManyThreadsAtOnceIsClosedOnce) {
    // The receive thread, the shut-down and the destructor all end the session at once.
    for (int round = 0; round < 50; ++round) {
        int fds[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        StreamConnection stream;
        MessageChannel channel(stream);
        channel.SetSocket(fds[0]);
        std::vector<std::thread> enders;
        for (int t = 0; t < 3; ++t) enders.emplace_back([&channel] { channel.CloseSocket(); });
        for (auto& t : enders) t.join();
        EXPECT_EQ(stream.Closes(), 1) << "round " << round;
        EXPECT_EQ(channel.Socket(), -1);
        // The peer sees the end: the descriptor was shut down and closed.
        char byte = 0;
        EXPECT_EQ(read(fds[1], &byte, 1), 0);
        close(fds[1]);
    }
}

TEST_F(MessageChannelTest, InitMessageOnTheWire) {
    std::vector<uint8_t> record(kInitRecordSize, 0);
    StoreField<uint16_t>(record.data(), InitRecordLayout::kWidth, 1280);
    StoreField<uint16_t>(record.data(), InitRecordLayout::kHeight, 1024);
    record[InitRecordLayout::kDepth] = 24;
    std::memcpy(&record[InitRecordLayout::kBanner], "GL+  ", 6);
    std::vector<uint8_t> before = record;
    ASSERT_EQ(m_channel.SendInitMessage(record.data()), 468);
    EXPECT_EQ(record, before);

    std::vector<uint8_t> wire(468);
    ASSERT_EQ(m_server.zRPshRead(m_fds[1], wire.data(), 468), 468);
    const uint8_t header[] = {0xFE, 0xED, 0xBE, 0xEF, 0x00, 0x00, 0x01, 0xD4, 0x00, 0x00, 0x00, 0x01,
                              0x03, 0xE9, 0x00, 0x00};
    EXPECT_EQ(0, std::memcmp(wire.data(), header, sizeof header));
    const uint8_t* r = wire.data() + 44;
    EXPECT_EQ(r[4], 0x05);
    EXPECT_EQ(r[5], 0x00);  // 1280
    EXPECT_EQ(r[6], 0x04);
    EXPECT_EQ(r[7], 0x00);  // 1024
    EXPECT_EQ(r[30], 24);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r + 296)), "GL+  ");
}

TEST_F(MessageChannelTest, InitReplies) {
    auto reply = [&](uint32_t frameSize, int32_t type, uint32_t status) {
        std::vector<uint8_t> record(kInitRecordSize, 0);
        StoreField<uint32_t>(record.data(), 0, status);
        StoreField<uint32_t>(record.data(), InitRecordLayout::kSessionId, 4711);
        RecordToWire(record.data(), ZRPPROTOCOL_MH_MESSINIT, record.size());
        std::vector<uint8_t> body = Body(type, record);
        body.resize(frameSize - kFrameHeaderSize);
        WriteHeader(frameSize, kEnvelopePlain);
        WriteRaw(body.data(), body.size());
    };
    uint8_t record[kInitRecordSize];

    reply(468, ZRPPROTOCOL_MH_MESSINIT, 1);
    ASSERT_EQ(m_channel.ReadInitReply(record), 0);
    EXPECT_EQ(LoadField<uint32_t>(record, 0), 1u);
    EXPECT_EQ(LoadField<uint32_t>(record, InitRecordLayout::kSessionId), 4711u);

    reply(468, ZRPPROTOCOL_MH_MESSBELL, 1);
    ASSERT_EQ(m_channel.ReadInitReply(record), 0);
    EXPECT_EQ(LoadField<uint32_t>(record, 0), 5u);
    EXPECT_STREQ(reinterpret_cast<const char*>(record + InitRecordLayout::kBanner), "Wrong message type!");

    reply(40, ZRPPROTOCOL_MH_MESSINIT, 1);  // too short for a record header
    ASSERT_EQ(m_channel.ReadInitReply(record), 0);
    EXPECT_EQ(LoadField<uint32_t>(record, 0), 5u);

    WriteHeader(989, kEnvelopePlain);
    ASSERT_EQ(m_channel.ReadInitReply(record), 0);
    EXPECT_EQ(LoadField<uint32_t>(record, 0), 4u);
    EXPECT_STREQ(reinterpret_cast<const char*>(record + InitRecordLayout::kBanner), "Init message too big!");
}

TEST_F(MessageChannelTest, MessagesFromManyThreadsArriveWhole) {
    MessageChannel serverSide(m_server);
    serverSide.SetSocket(m_fds[1]);
    ASSERT_TRUE(serverSide.AllocateBuffers(64, 64, 24));
    constexpr int kThreads = 4;
    constexpr int kMessages = 200;
    std::vector<std::thread> senders;
    for (int t = 0; t < kThreads; ++t) {
        senders.emplace_back([&, t] {
            for (int i = 0; i < kMessages; ++i) {
                uint8_t record[kPointerRecordSize] = {};
                StoreField<uint32_t>(record, 0, static_cast<uint32_t>(t));
                StoreField<uint32_t>(record, 4, static_cast<uint32_t>(i));
                std::vector<uint8_t> payload(static_cast<size_t>(i % 50), static_cast<uint8_t>(t));
                int total = static_cast<int>(kFrameHeaderSize + kRecordHeaderSize + sizeof record + payload.size());
                EXPECT_EQ(m_channel.SendMessage(ZRPPROTOCOL_MH_MESSMSEE, record, sizeof record,
                                                payload.data(), payload.size()),
                          total);
            }
        });
    }
    std::vector<int> next(kThreads, 0);
    for (int m = 0; m < kThreads * kMessages; ++m) {
        MessageFrame frame;
        ASSERT_EQ(serverSide.ReadMessage(kDecoderDeflate, frame), 0);
        const size_t capacity = kRecordHeaderSize + frame.recordBytes;
        uint8_t* body = frame.header;
        ASSERT_EQ(LoadField<uint16_t>(body, 0), ZRPPROTOCOL_MH_MESSMSEE);
        RecordToHost(body + kRecordHeaderSize, ZRPPROTOCOL_MH_MESSMSEE, capacity - kRecordHeaderSize);
        uint32_t t = LoadField<uint32_t>(body + kRecordHeaderSize, 0);
        uint32_t i = LoadField<uint32_t>(body + kRecordHeaderSize, 4);
        ASSERT_LT(t, static_cast<uint32_t>(kThreads));
        EXPECT_EQ(static_cast<int>(i), next[t]++);
        EXPECT_EQ(capacity, kRecordHeaderSize + kPointerRecordSize + i % 50);
    }
    for (auto& s : senders) s.join();
}

TEST_F(MessageChannelTest, CompressedMessagesArePaddedToOneBlock) {
    // A body that deflates to fewer than 16 bytes still carries one whole cipher block.
    std::vector<uint8_t> zeros(41, 0);
    FrameBuilder tiny;
    ASSERT_TRUE(tiny.Build(COMPEXT, zeros.data(), zeros.size(), {}, BodyCoding::Deflate));
    EXPECT_EQ(tiny.size(), kFrameHeaderSize + 16);

    MessageChannel serverSide(m_server);
    serverSide.SetSocket(m_fds[1]);
    ASSERT_TRUE(serverSide.AllocateBuffers(64, 64, 24));
    m_channel.SetServerCode("XYZ");
    serverSide.SetServerCode("XYZ");
    for (std::string text : {std::string("hi"), std::string(5000, 'q')}) {
        uint8_t record[8] = {};
        StoreField<uint32_t>(record, 0, static_cast<uint32_t>(text.size() + 1));
        StoreField<uint32_t>(record, 4, 1);
        ASSERT_GT(m_channel.SendCompressedMessage(ZRPPROTOCOL_MH_MESSCLPT, record, sizeof record,
                                                  reinterpret_cast<const uint8_t*>(text.c_str()),
                                                  text.size() + 1, Z_DEFAULT_COMPRESSION),
                  0);
        MessageFrame frame;
        ASSERT_EQ(serverSide.ReadMessage(kDecoderDeflate, frame), 0);
        EXPECT_EQ(kRecordHeaderSize + frame.recordBytes, kRecordHeaderSize + 8 + text.size() + 1);
        EXPECT_STREQ(reinterpret_cast<const char*>(frame.record + 8), text.c_str());
    }
}

}  // namespace
}  // namespace corvane
