// The clipboard exchange as the server sees it on the wire: the request record, text records
// of every size up to the limit in their deflated and enciphered envelope, and the focus
// rules (what activation and its loss send, and what is never sent).
#include "clipboard/clipboard_exchange.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <zlib.h>

#include <string>
#include <vector>

#include "config/log.h"
#include "crypto/payload_cipher.h"
#include "crypto/payload_key.h"
#include "protocol/message_channel.h"
#include "protocol/records.h"

namespace corvane {
namespace {

constexpr const char* kServerCode = "K7-relay";

// One frame as it came off the socket.
struct WireFrame {
    uint32_t size = 0;
    uint16_t envelope = 0;
    std::vector<uint8_t> body;  // deciphered and inflated: record header, record, payload
    size_t compressedSize = 0;
    uint32_t count = 0;        // the clipboard record
    uint32_t elementSize = 0;
    [[nodiscard]] std::string Payload() const {
        return std::string(body.begin() + kRecordHeaderSize + 8, body.end());
    }
};

bool ReadExactly(int fd, uint8_t* into, size_t size) {
    while (size > 0) {
        const ssize_t n = read(fd, into, size);
        if (n <= 0) return false;
        into += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

std::vector<uint8_t> Inflate(const std::vector<uint8_t>& in) {
    std::vector<uint8_t> out;
    z_stream z{};
    EXPECT_EQ(inflateInit(&z), Z_OK);
    z.next_in = const_cast<uint8_t*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    uint8_t piece[1 << 16];
    int status = Z_OK;
    while (status == Z_OK) {
        z.next_out = piece;
        z.avail_out = sizeof piece;
        status = inflate(&z, Z_NO_FLUSH);
        out.insert(out.end(), piece, piece + (sizeof piece - z.avail_out));
    }
    EXPECT_EQ(status, Z_STREAM_END);
    inflateEnd(&z);
    return out;
}

class ClipboardExchangeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetLogForTesting();
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, m_fds), 0);
        m_channel.SetSocket(m_fds[0]);
        m_channel.SetServerCode(kServerCode);
        m_sender.Start();
    }
    void TearDown() override {
        m_sender.Stop();
        close(m_fds[0]);
        close(m_fds[1]);
    }

    // Everything the sender wrote since the last call.
    std::vector<WireFrame> Sent() {
        std::vector<WireFrame> frames;
        for (;;) {
            // The sender may still be writing a long frame: wait for its first bytes a while.
            pollfd ready{m_fds[1], POLLIN, 0};
            if (poll(&ready, 1, frames.empty() ? 300 : 50) != 1) break;
            uint8_t header[kFrameHeaderSize];
            if (!ReadExactly(m_fds[1], header, sizeof header)) break;
            FrameHeaderToHost(header);
            WireFrame frame;
            frame.size = LoadField<uint32_t>(header, FrameHeaderLayout::kSize);
            frame.envelope = LoadField<uint16_t>(header, FrameHeaderLayout::kEnvelope);
            std::vector<uint8_t> body(frame.size - kFrameHeaderSize);
            if (!ReadExactly(m_fds[1], body.data(), body.size())) break;
            frame.compressedSize = body.size();
            if (frame.envelope == COMPEXT) {
                (void)DecipherBlocks(body.data(), std::min<size_t>(body.size(), 64), 16, BuildPayloadKey(kServerCode));
                body = Inflate(body);
            }
            EXPECT_GE(body.size(), kRecordHeaderSize + 8);
            RecordHeaderToHost(body.data());
            EXPECT_EQ(LoadField<uint16_t>(body.data(), RecordHeaderLayout::kType), ZRPPROTOCOL_MH_MESSCLPT);
            frame.count = GetBE32(body.data() + kRecordHeaderSize);
            frame.elementSize = GetBE32(body.data() + kRecordHeaderSize + 4);
            frame.body = std::move(body);
            frames.push_back(std::move(frame));
        }
        return frames;
    }

    // Sends once the sender wrote everything queued so far.
    std::vector<WireFrame> Flushed() {
        EXPECT_TRUE(m_sender.Flush(std::chrono::seconds(20)));
        return Sent();
    }

    int m_fds[2] = {-1, -1};
    StreamConnection m_stream;
    MessageChannel m_channel{m_stream};
    MessageSender m_sender{m_channel};
    bool m_allowed = true;
    ClipboardExchange m_exchange{m_sender, [this] { return m_allowed; }};
};

TEST_F(ClipboardExchangeTest, TheRequestIsAPlainEmptyRecord) {
    m_exchange.RequestServerText();
    const std::vector<WireFrame> sent = Flushed();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].envelope, kEnvelopePlain);
    EXPECT_EQ(sent[0].size, 52u);
    EXPECT_EQ(sent[0].count, 0u);
    EXPECT_EQ(sent[0].elementSize, 0u);
}

TEST_F(ClipboardExchangeTest, TextRecordsOfEverySize) {
    struct Case {
        const char* name;
        std::string local;
        std::string wire;
    };
    const Case cases[] = {
        {"one byte", "x", "x"},
        {"multi-line", "a\r\nb\r\nc", "a\nb\nc"},
        {"limit-sized", std::string(kClipboardTextLimit, 'q'), std::string(kClipboardTextLimit, 'q')},
        {"over the limit", std::string(kClipboardTextLimit + 5, 'r'), std::string(kClipboardTextLimit, 'r')},
    };
    for (const Case& c : cases) {
        m_exchange.Activated(c.local);
        const std::vector<WireFrame> sent = Flushed();
        ASSERT_EQ(sent.size(), 1u) << c.name;
        const WireFrame& frame = sent[0];
        EXPECT_EQ(frame.envelope, COMPEXT) << c.name;
        EXPECT_EQ(frame.size, frame.compressedSize + kFrameHeaderSize) << c.name;
        EXPECT_GE(frame.compressedSize, 16u) << c.name;
        // Header, record, text and its NUL: the text's length + 41 bytes.
        EXPECT_EQ(frame.body.size(), c.wire.size() + 41) << c.name;
        EXPECT_EQ(frame.count, c.wire.size()) << c.name;
        EXPECT_EQ(frame.elementSize, 1u) << c.name;
        EXPECT_TRUE(frame.Payload() == c.wire + '\0') << c.name;
        // Each activation sends the text again: deactivate without asking (a copied rectangle).
        m_exchange.RectangleCopied();
        m_exchange.Deactivated();
        EXPECT_TRUE(Flushed().empty()) << c.name;
    }
}

TEST_F(ClipboardExchangeTest, AnEmptyTextIsNotSentAsARequest) {
    m_exchange.Activated(std::string());
    m_exchange.Activated(std::string("\0abc", 4));
    EXPECT_TRUE(Flushed().empty());
}

TEST_F(ClipboardExchangeTest, ActivationSendsAndItsLossAsks) {
    m_exchange.Activated(std::string("local"));
    m_exchange.Deactivated();
    std::vector<WireFrame> sent = Flushed();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].Payload(), std::string("local", 6));
    EXPECT_EQ(sent[1].count, 0u);
    EXPECT_EQ(sent[1].size, 52u);

    // A clipboard with no text (a picture) sends the text it held before.
    m_exchange.Activated(std::nullopt);
    sent = Flushed();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].Payload(), std::string("local", 6));
}

TEST_F(ClipboardExchangeTest, TheServersOwnTextIsNeverSentBack) {
    m_exchange.Activated(std::string("mine"));
    m_exchange.Deactivated();
    ASSERT_EQ(Flushed().size(), 2u);
    // The answer went onto the local clipboard; coming back sends nothing, whether the
    // clipboard is still ours or a clipboard manager copied the same text.
    m_exchange.ServerTextPlaced("from the server");
    m_exchange.Activated(std::nullopt);
    m_exchange.Activated(std::string("from the server"));
    EXPECT_TRUE(Flushed().empty());
    // Another program's new text is sent again.
    m_exchange.Activated(std::string("new"));
    const std::vector<WireFrame> sent = Flushed();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].Payload(), std::string("new", 4));
}

TEST_F(ClipboardExchangeTest, ACopiedRectangleStopsTheRequests) {
    m_exchange.Deactivated();
    ASSERT_EQ(Flushed().size(), 1u);
    m_exchange.RectangleCopied();
    m_exchange.Deactivated();
    m_exchange.Deactivated();
    EXPECT_TRUE(Flushed().empty());
}

TEST_F(ClipboardExchangeTest, ACollaboratorSendsNothing) {
    m_allowed = false;
    m_exchange.Activated(std::string("text"));
    m_exchange.Deactivated();
    EXPECT_TRUE(Flushed().empty());
    EXPECT_FALSE(m_exchange.Allowed());
}

TEST_F(ClipboardExchangeTest, TheCharacterSetDecidesTheBytes) {
    m_exchange.Activated(std::string("caf\xC3\xA9"));
    m_exchange.SetCharset(ClipboardCharset::Utf8);
    m_exchange.Activated(std::string("caf\xC3\xA9"));
    const std::vector<WireFrame> sent = Flushed();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].Payload(), std::string("caf\xE9", 5));
    EXPECT_EQ(sent[1].Payload(), std::string("caf\xC3\xA9", 6));
}

}  // namespace
}  // namespace corvane
