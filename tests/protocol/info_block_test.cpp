#include "protocol/info_block.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <ctime>
#include <future>
#include <string>
#include <tuple>
#include <vector>

#include "config/log.h"
#include "crypto/payload_cipher.h"
#include "crypto/payload_key.h"
#include "protocol/loopback_peer.h"
#include "protocol/records.h"
#include "protocol/stream_link.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

using Bytes = std::vector<uint8_t>;
using test::StreamLink;
using test::Watchdog;

// The scrambling key shared with every server, written down here on its own so that a
// wrong key in the client shows as wrong bytes on the wire.
constexpr uint8_t kSharedScrambleKey[64] = {
    0xA1, 0x47, 0x33, 0x3D, 0x61, 0x54, 0x15, 0x45, 0xC0, 0x3B, 0x4A, 0xF9, 0x72, 0xE6, 0x7F, 0x67,
    0xAD, 0xDE, 0x28, 0x0D, 0x41, 0xE2, 0xDE, 0x5E, 0xBC, 0x93, 0xA7, 0xD9, 0x14, 0x63, 0xA8, 0x58,
    0x8F, 0xB4, 0x9F, 0x4D, 0x43, 0xEA, 0x51, 0x02, 0x96, 0x5B, 0x99, 0xFB, 0xC1, 0x99, 0x11, 0x54,
    0x49, 0xC0, 0xF8, 0x0B, 0xC8, 0x6E, 0xB7, 0x83, 0xBB, 0x75, 0x87, 0x8F, 0xDF, 0x24, 0x4D, 0x37,
};

constexpr uint8_t CA = 0xCA;

Bytes At(const InfoBlock& block, size_t offset, size_t size) {
    return Bytes(block.Data() + offset, block.Data() + offset + size);
}

Bytes BigEndian(uint32_t value) {
    return {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
            static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
}

// The wire form without the cipher: big-endian length and stream, XORed with the key from
// index 0 on.
Bytes ScrambledWireForm(const Bytes& stream) {
    Bytes wire(4 + stream.size());
    PutBE32(wire.data(), static_cast<uint32_t>(stream.size()));
    std::copy(stream.begin(), stream.end(), wire.begin() + 4);
    for (size_t i = 0; i < wire.size(); ++i) wire[i] ^= kSharedScrambleKey[i % 64];
    return wire;
}

Bytes Deflate(const uint8_t* record) {
    Bytes stream(compressBound(kInfoBlockSize));
    uLongf length = stream.size();
    EXPECT_EQ(compress2(stream.data(), &length, record, kInfoBlockSize, 6), Z_OK);
    stream.resize(length);
    return stream;
}

// A record of zeros whose first bytes vary just enough for its zlib stream to be `wanted`
// bytes long; empty when no such record was found.
Bytes RecordDeflatingTo(size_t wanted) {
    for (size_t varied = 0; varied < 400; ++varied) {
        Bytes record(kInfoBlockSize, 0);
        uint32_t state = 12345;
        for (size_t i = 0; i < varied; ++i) {
            state = state * 1103515245u + 12345u;
            record[i] = static_cast<uint8_t>(state >> 23);
        }
        if (Deflate(record.data()).size() == wanted) return record;
    }
    return {};
}

class InfoBlockTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetLogForTesting();
        OpenLog(m_dir.file("log.txt"));
    }
    void TearDown() override { ResetLogForTesting(); }
    std::string LogText() const { return test::ReadWholeFile(m_dir.file("log.txt")); }

    // Each record appears after the one before it.
    void ExpectRecordsInOrder(const std::vector<std::string>& records) const {
        const std::string log = LogText();
        size_t at = 0;
        for (const std::string& record : records) {
            const size_t found = log.find(record, at);
            ASSERT_NE(found, std::string::npos) << "missing or out of order: " << record;
            at = found + record.size();
        }
    }

    test::TempDir m_dir;
};

TEST_F(InfoBlockTest, FreshBlockHasTheFillAndTheFieldsEverySenderWrites) {
    const auto before = static_cast<uint32_t>(std::time(nullptr));
    InfoBlock block;
    const auto after = static_cast<uint32_t>(std::time(nullptr));

    struct Field {
        const char* name;
        size_t offset;
        Bytes bytes;
    };
    const Field fields[] = {
        {"block magic 143", 4, {0x00, 0x00, 0x00, 0x8F}},
        {"size 676", 8, {0x00, 0x00, 0x02, 0xA4}},
        {"status (fill)", 12, {CA, CA, CA, CA}},
        {"user name and password (fill until set)", 16, Bytes(96, CA)},
        {"second magic 247", 112, {0x00, 0x00, 0x00, 0xF7}},
        {"width 1024", 116, {0x00, 0x00, 0x04, 0x00}},
        {"height 768", 120, {0x00, 0x00, 0x03, 0x00}},
        {"depth 8", 124, {0x00, 0x00, 0x00, 0x08}},
        {"bits per pixel 8", 128, {0x00, 0x00, 0x00, 0x08}},
        {"visual class 3", 132, {0x00, 0x00, 0x00, 0x03}},
        {"session id 0", 136, {0x00, 0x00, 0x00, 0x00}},
        {"server-variant flag (fill)", 140, {CA, CA, CA, CA}},
        {"version 0", 144, {0x00, 0x00}},
        {"protocol version 1", 146, {0x00, 0x01}},
        {"project id and environment, empty", 148, Bytes(16 + 512, 0x00)},
    };
    for (const Field& field : fields) {
        EXPECT_EQ(At(block, field.offset, field.bytes.size()), field.bytes) << field.name;
    }
    const Bytes time = At(block, 0, 4);
    const uint32_t stamp =
        (uint32_t{time[0]} << 24) | (uint32_t{time[1]} << 16) | (uint32_t{time[2]} << 8) | time[3];
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, after);
    EXPECT_EQ(block.Status(), static_cast<int32_t>(0xCACACACA));
}

TEST_F(InfoBlockTest, AccessorsWriteNetworkOrderAtTheirOffsets) {
    InfoBlock block;
    const InfoGeometry geometry{1280, 1024, 224, 32, 4};
    block.SetGeometry(geometry);
    block.SetSessionId(0x01020304);
    block.SetServerVariantFlag(1);
    block.SetVersion(900);
    block.SetProtocolVersion(200);
    block.SetStatus(5);

    struct Field {
        const char* name;
        size_t offset;
        Bytes bytes;
    };
    const Field fields[] = {
        {"status", 12, {0x00, 0x00, 0x00, 0x05}},
        {"width", 116, {0x00, 0x00, 0x05, 0x00}},
        {"height", 120, {0x00, 0x00, 0x04, 0x00}},
        {"depth", 124, {0x00, 0x00, 0x00, 0xE0}},
        {"bits per pixel", 128, {0x00, 0x00, 0x00, 0x20}},
        {"visual class", 132, {0x00, 0x00, 0x00, 0x04}},
        {"session id", 136, {0x01, 0x02, 0x03, 0x04}},
        {"server-variant flag", 140, {0x00, 0x00, 0x00, 0x01}},
        {"version", 144, {0x03, 0x84}},
        {"protocol version", 146, {0x00, 0xC8}},
    };
    for (const Field& field : fields) {
        EXPECT_EQ(At(block, field.offset, field.bytes.size()), field.bytes) << field.name;
    }
    EXPECT_EQ(block.Geometry(), geometry);
    EXPECT_EQ(block.SessionId(), 0x01020304);
    EXPECT_EQ(block.ServerVariantFlag(), 1);
    EXPECT_EQ(block.Version(), 900);
    EXPECT_EQ(block.ProtocolVersion(), 200);
    EXPECT_EQ(block.Status(), 5);
}

TEST_F(InfoBlockTest, StatusReadsEightWhenTheBlockMagicIsNot143) {
    struct Case {
        uint32_t magic;
        int32_t status;
        int32_t reads;
    };
    for (const Case& c : {Case{143, 0, 0}, Case{143, 3, 3}, Case{144, 0, 8}, Case{0, 1, 8}}) {
        InfoBlock block;
        block.SetStatus(c.status);
        const Bytes magic = BigEndian(c.magic);
        std::copy(magic.begin(), magic.end(), block.Data() + 4);
        EXPECT_EQ(block.Status(), c.reads) << "magic " << c.magic << " status " << c.status;
    }
}

TEST_F(InfoBlockTest, UserNameAndPasswordThatDoNotFitAreRefused) {
    struct Case {
        const char* name;
        bool (InfoBlock::*set)(std::string_view);
        size_t offset;
        size_t longest;
    };
    const Case cases[] = {
        {"user name", &InfoBlock::SetUserName, 16, 31},
        {"password", &InfoBlock::SetPassword, 48, 63},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InfoBlock block;
        EXPECT_TRUE((block.*c.set)("ann"));
        EXPECT_EQ(At(block, c.offset, 5), (Bytes{'a', 'n', 'n', 0, CA}));

        const std::string longest(c.longest, 'x');
        EXPECT_TRUE((block.*c.set)(longest));
        Bytes expected(longest.begin(), longest.end());
        expected.push_back(0);
        EXPECT_EQ(At(block, c.offset, c.longest + 1), expected);

        EXPECT_FALSE((block.*c.set)(std::string(c.longest + 1, 'y')));
        EXPECT_EQ(At(block, c.offset, c.longest + 1), expected);  // left as it was
    }
    const std::string log = LogText();
    EXPECT_NE(log.find("ZRPSH:  A user name of 32 characters does not fit (at most 31)\n"),
              std::string::npos);
    EXPECT_NE(log.find("ZRPSH:  A password of 64 characters does not fit (at most 63)\n"),
              std::string::npos);
}

TEST_F(InfoBlockTest, ProjectIdAndEnvironmentAreClearedAndCut) {
    SetDebugLevel(1);
    struct Case {
        std::string text;
        std::string kept;
    };
    const Case projectIds[] = {
        {"", ""},
        {"Proj-7", "Proj-7"},
        {"ABCDEFGHIJKLMNO", "ABCDEFGHIJKLMNO"},
        {"ABCDEFGHIJKLMNOP", "ABCDEFGHIJKLMNO"},
        {std::string(40, 'Z'), std::string(15, 'Z')},
    };
    InfoBlock block;
    block.SetProjectId(std::string(15, '#'));  // leftovers of a longer text must not remain
    for (const Case& c : projectIds) {
        block.SetProjectId(c.text);
        Bytes expected(c.kept.begin(), c.kept.end());
        expected.resize(16, 0);
        EXPECT_EQ(At(block, 148, 16), expected) << c.text;
        EXPECT_NE(LogText().find("cnct:  ProjectID = " + c.kept + "\n"), std::string::npos);
    }

    const Case environments[] = {
        {std::string(511, 'e'), std::string(511, 'e')},
        {std::string(600, 'f'), std::string(511, 'f')},
        {"A=1\nB=2", "A=1\nB=2"},
    };
    for (const Case& c : environments) {
        block.SetEnvironment(c.text);
        Bytes expected(c.kept.begin(), c.kept.end());
        expected.resize(512, 0);
        EXPECT_EQ(At(block, 164, 512), expected) << c.text.size();
    }
}

// The wire form of a record of zeros, whose zlib stream is shorter than one cipher block:
// only scrambled on the way out, and taken as such on the way in.
TEST_F(InfoBlockTest, StreamShorterThanOneCipherBlockTravelsOnlyScrambled) {
    StreamLink link(0);
    ASSERT_TRUE(link.Connect());
    Watchdog watchdog({link.clientSocket, link.serverSocket});
    InfoBlock block;
    std::fill(block.Data(), block.Data() + kInfoBlockSize, 0);
    const Bytes stream = Deflate(block.Data());
    ASSERT_LT(stream.size(), 32u);
    const Bytes expectedWire = ScrambledWireForm(stream);

    EXPECT_EQ(InfoPutToSocket(link.client, link.clientSocket, block),
              static_cast<int>(stream.size()));
    const std::string wire = test::ReceiveUpTo(link.serverSocket, expectedWire.size());
    EXPECT_EQ(Bytes(wire.begin(), wire.end()), expectedWire);

    ASSERT_TRUE(test::SendAll(link.serverSocket, wire));
    InfoBlock received;
    EXPECT_EQ(InfoGetFromSocket(link.client, link.clientSocket, received),
              static_cast<int>(stream.size()));
    EXPECT_EQ(At(received, 0, kInfoBlockSize), Bytes(kInfoBlockSize, 0));
    EXPECT_FALSE(watchdog.Fired());
}

// A 70-byte stream: its first 64 bytes (two cipher blocks) are enciphered with the payload
// key that the server code modifies, its last 6 only scrambled.
TEST_F(InfoBlockTest, SeventyByteStreamHasItsFirst64BytesEnciphered) {
    SetDebugLevel(2);
    const Bytes record = RecordDeflatingTo(70);
    ASSERT_EQ(record.size(), kInfoBlockSize) << "no record deflates to 70 bytes";
    StreamLink link(0);
    ASSERT_TRUE(link.Connect());
    Watchdog watchdog({link.clientSocket, link.serverSocket});

    InfoBlock block;
    std::copy(record.begin(), record.end(), block.Data());
    EXPECT_EQ(InfoPutToSocket(link.client, link.clientSocket, block, "ABC"), 70);
    const std::string received = test::ReceiveUpTo(link.serverSocket, 4 + 70);
    const Bytes wire(received.begin(), received.end());
    ASSERT_EQ(wire.size(), 74u);

    const Bytes scrambled = ScrambledWireForm(Deflate(record.data()));
    Bytes enciphered(scrambled.begin() + 4, scrambled.begin() + 68);
    ASSERT_EQ(EncipherBlocks(enciphered.data(), enciphered.size(), 32, BuildPayloadKey("ABC")), 0);
    EXPECT_EQ(Bytes(wire.begin(), wire.begin() + 4),
              Bytes(scrambled.begin(), scrambled.begin() + 4))
        << "length";
    EXPECT_EQ(Bytes(wire.begin() + 4, wire.begin() + 68), enciphered) << "first 64 stream bytes";
    EXPECT_EQ(Bytes(wire.begin() + 68, wire.end()), Bytes(scrambled.begin() + 68, scrambled.end()))
        << "last 6 stream bytes";

    ASSERT_TRUE(test::SendAll(link.serverSocket, received));
    InfoBlock back;
    EXPECT_EQ(InfoGetFromSocket(link.client, link.clientSocket, back, "ABC"), 70);
    EXPECT_EQ(At(back, 0, kInfoBlockSize), record);
    EXPECT_FALSE(watchdog.Fired());

    ExpectRecordsInOrder({
        "ZRPSH:     InfoCompress(): uncomprlen =676\n",
        "ZRPSH:     InfoCompress:  size: 70\n",
        "ZRPSH:     InfoEncrypt:  size: 70\n",
        "ZRPSH:     InfoPutToSocket: totbytes =70\n",
        "ZRPSH:     InfoGetFromSocket: nbytes =4\n",
        "ZRPSH:     InfoGetFromSocket: totbytes =70\n",
        "ZRPSH:     InfoGetFromSocket: nbytes =70\n",
        "ZRPSH:     InfoGetFromSocket: Call decrypt\n",
        "ZRPSH:     InfoDecrypt:  size: 70\n",
        "ZRPSH:     InfoGetFromSocket: Call decompress\n",
        "ZRPSH:     InfoDecompress(): comprlen =70\n",
        "ZRPSH:     InfoDecompress(): uncomprlen =676\n",
        "ZRPSH:     InfoGetFromSocket: return(70)\n",
    });
}

TEST_F(InfoBlockTest, LengthThatDoesNotFitTheBufferIsRefusedWithoutReading) {
    for (uint32_t length : {2045u, 0u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(length);
        StreamLink link(0);
        ASSERT_TRUE(link.Connect());
        Watchdog watchdog({link.clientSocket, link.serverSocket});
        Bytes wire = ScrambledWireForm({});
        const Bytes announced = BigEndian(length);
        for (size_t i = 0; i < 4; ++i) wire[i] = announced[i] ^ kSharedScrambleKey[i];
        ASSERT_TRUE(test::SendAll(link.serverSocket, wire.data(), wire.size()));
        ASSERT_TRUE(test::SendAll(link.serverSocket, "TAIL", 4));

        InfoBlock block;
        EXPECT_LT(InfoGetFromSocket(link.client, link.clientSocket, block), 0);
        char tail[4];
        ASSERT_EQ(link.client.zRPshRead(link.clientSocket, tail, 4), 4);
        EXPECT_EQ(std::string(tail, 4), "TAIL");  // the stream behind the length stayed unread
        EXPECT_NE(LogText().find("ZRPSH:     InfoGetFromSocket: refused a stream of " +
                                 std::to_string(length) + " bytes (1 to 2044 fit)\n"),
                  std::string::npos);
        EXPECT_FALSE(watchdog.Fired());
    }
}

// The longest stream that fits is read whole; one that does not inflate is logged and the
// block then reads as a bad magic.
TEST_F(InfoBlockTest, LongestStreamIsReadAndAStreamThatDoesNotInflateReadsAsStatus8) {
    StreamLink link(0);
    ASSERT_TRUE(link.Connect());
    Watchdog watchdog({link.clientSocket, link.serverSocket});
    const Bytes wire = ScrambledWireForm(Bytes(2044, 0x55));
    ASSERT_TRUE(test::SendAll(link.serverSocket, wire.data(), wire.size()));
    InfoBlock block;
    EXPECT_EQ(InfoGetFromSocket(link.client, link.clientSocket, block), 2044);
    EXPECT_EQ(block.Status(), 8);
    EXPECT_NE(LogText().find("ZRPSH:     InfoDecompress():  status: -3\n"), std::string::npos);
    EXPECT_FALSE(watchdog.Fired());
}

TEST_F(InfoBlockTest, StreamThatEndsEarlyFailsTheGet) {
    const Bytes wire = ScrambledWireForm(Bytes(100, 0x11));
    for (size_t sent : {size_t{2}, size_t{50}}) {
        SCOPED_TRACE(sent);
        StreamLink link(0);
        ASSERT_TRUE(link.Connect());
        Watchdog watchdog({link.clientSocket, link.serverSocket});
        ASSERT_TRUE(test::SendAll(link.serverSocket, wire.data(), sent));
        EXPECT_EQ(link.server.Close(link.serverSocket), 0);
        link.serverSocket = -1;
        InfoBlock block;
        EXPECT_LT(InfoGetFromSocket(link.client, link.clientSocket, block), 0);
        EXPECT_FALSE(watchdog.Fired());
    }
}

// A server's block as the wire carries it, written down byte by byte at the record's own
// offsets rather than through the setters, so a reader that takes a field from the wrong place
// shows. Depth and bits per pixel differ, as they do in every true-colour session.
TEST_F(InfoBlockTest, ServersBlockIsReadFromTheRecordsOwnOffsets) {
    Bytes record(kInfoBlockSize, 0);
    const auto put = [&record](size_t offset, uint32_t value) {
        PutBE32(record.data() + offset, value);
    };
    put(4, 143);  // block magic
    put(12, 0);   // status
    put(116, 1600);
    put(120, 1200);
    put(124, 24);   // depth
    put(128, 32);   // bits per pixel
    put(132, 4);    // visual class
    put(136, 100);  // session id: the geometry is the session's
    record[144] = 0x03;  // version 9.40
    record[145] = 0xAC;
    record[146] = 0x00;  // protocol version 2.00
    record[147] = 0xC8;
    Bytes wire = ScrambledWireForm(Deflate(record.data()));
    ASSERT_EQ(EncipherBlocks(wire.data() + 4, wire.size() - 4, 32, BuildPayloadKey("ABC")), 0);

    StreamLink link(0);
    ASSERT_TRUE(link.Connect());
    Watchdog watchdog({link.clientSocket, link.serverSocket});
    ASSERT_TRUE(test::SendAll(link.serverSocket, wire.data(), wire.size()));
    InfoBlock block;
    EXPECT_EQ(InfoGetFromSocket(link.client, link.clientSocket, block, "ABC"),
              static_cast<int>(wire.size() - 4));
    EXPECT_EQ(block.Status(), 0);
    EXPECT_EQ(block.Geometry(), (InfoGeometry{1600, 1200, 24, 32, 4}));
    EXPECT_EQ(block.SessionId(), 100);
    EXPECT_EQ(block.Version(), 940);
    EXPECT_EQ(block.ProtocolVersion(), 200);
    EXPECT_FALSE(watchdog.Fired());
}

// Both ends as the login uses them, over TLS: the client's block reaches the server end
// field for field, and the server's answer reaches the client. A server end with a different
// server code cannot read the block.
TEST_F(InfoBlockTest, LoginExchangeOverTlsInBothDirections) {
    StreamLink link(1);
    ASSERT_TRUE(link.Connect());
    Watchdog watchdog({link.clientSocket, link.serverSocket});
    const InfoGeometry requested{1280, 1024, 24, 32, 4};
    const InfoGeometry session{1600, 1200, 24, 32, 4};

    auto server = std::async(std::launch::async, [&] {
        InfoBlock received;
        const int length = InfoGetFromSocket(link.server, link.serverSocket, received, "ABC");
        InfoBlock answer;
        answer.SetStatus(0);
        answer.SetSessionId(100);
        answer.SetGeometry(session);
        answer.SetVersion(950);
        answer.SetProtocolVersion(200);
        const int written = InfoPutToSocket(link.server, link.serverSocket, answer, "ABC");
        return std::make_tuple(length, received, written);
    });

    InfoBlock block;
    ASSERT_TRUE(block.SetUserName("ann"));
    ASSERT_TRUE(block.SetPassword("s3cret"));
    block.SetGeometry(requested);
    block.SetSessionId(7);
    block.SetVersion(900);
    block.SetProjectId("Proj");
    block.SetEnvironment("A=1\nB=2");
    const int put = InfoPutToSocket(link.client, link.clientSocket, block, "ABC");
    EXPECT_GT(put, 0);
    EXPECT_EQ(At(block, 0, kInfoBufferSize), Bytes(kInfoBufferSize, 0))
        << "the sent block still holds the password in one form or another";
    InfoBlock reply;
    const int got = InfoGetFromSocket(link.client, link.clientSocket, reply, "ABC");

    auto [length, received, written] = server.get();
    EXPECT_EQ(length, put);
    EXPECT_EQ(got, written);
    EXPECT_EQ(At(received, 16, 4), (Bytes{'a', 'n', 'n', 0}));
    EXPECT_EQ(At(received, 48, 7), (Bytes{'s', '3', 'c', 'r', 'e', 't', 0}));
    EXPECT_EQ(received.Geometry(), requested);
    EXPECT_EQ(received.SessionId(), 7);
    EXPECT_EQ(received.Version(), 900);
    EXPECT_EQ(received.ProtocolVersion(), 1);
    EXPECT_EQ(At(received, 148, 5), (Bytes{'P', 'r', 'o', 'j', 0}));
    EXPECT_EQ(At(received, 164, 8), (Bytes{'A', '=', '1', '\n', 'B', '=', '2', 0}));
    EXPECT_EQ(At(received, 140, 4), (Bytes{CA, CA, CA, CA}));

    EXPECT_EQ(reply.Status(), 0);
    EXPECT_EQ(reply.SessionId(), 100);
    EXPECT_EQ(reply.Geometry(), session);
    EXPECT_EQ(reply.Version(), 950);
    EXPECT_EQ(reply.ProtocolVersion(), 200);

    InfoBlock another;
    EXPECT_GT(InfoPutToSocket(link.client, link.clientSocket, another, "ABC"), 0);
    InfoBlock misread;
    EXPECT_GT(InfoGetFromSocket(link.server, link.serverSocket, misread, "XYZ"), 0);
    EXPECT_EQ(misread.Status(), 8);
    EXPECT_FALSE(watchdog.Fired());
}

}  // namespace
}  // namespace corvane
