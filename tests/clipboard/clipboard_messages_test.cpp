// The server's clipboard messages as the router hands them on: the text reaches the desktop
// converted, a metafile as a picture, and a message that lies about its length or carries a
// bad metafile changes nothing.
#include "clipboard/clipboard_messages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "clipboard/clipboard_metafile.h"
#include "clipboard/emf_fixture.h"
#include "config/log.h"
#include "protocol/message_types.h"
#include "protocol/records.h"

namespace corvane {
namespace {

class RecordingPort : public ClipboardPort {
public:
    void PutServerText(std::string text) override { texts.push_back(std::move(text)); }
    void PutServerMetafile(std::vector<uint8_t> bits) override { metafiles.push_back(std::move(bits)); }
    std::vector<std::string> texts;
    std::vector<std::vector<uint8_t>> metafiles;
};

// A clipboard message as the channel hands it on: the header in host order, the record in
// wire order claiming `declared` bytes, then `text`.
std::vector<uint8_t> ClipboardMessage(uint32_t declared, const std::string& text) {
    std::vector<uint8_t> bytes(kRecordHeaderSize + ClipboardRecordLayout::kSize, 0);
    MakeRecordHeader(bytes.data(), ZRPPROTOCOL_MH_MESSCLPT);
    PutBE32(bytes.data() + kRecordHeaderSize, declared);
    PutBE32(bytes.data() + kRecordHeaderSize + 4, 1);
    bytes.insert(bytes.end(), text.begin(), text.end());
    return bytes;
}

struct Delivered {
    std::vector<std::string> texts;
    size_t metafiles = 0;
};

Delivered Route(uint32_t declared, const std::string& text, ClipboardCharset charset = ClipboardCharset::Windows1252) {
    RecordingPort port;
    ClipboardMessages messages(port);
    messages.SetCharset(charset);
    MessageRouter router;
    messages.Register(router);
    std::vector<uint8_t> bytes = ClipboardMessage(declared, text);
    MessageFrame frame{ZRPPROTOCOL_MH_MESSCLPT, bytes.data(), bytes.data() + kRecordHeaderSize,
                       bytes.size() - kRecordHeaderSize, false};
    EXPECT_EQ(router.Route(frame), 0);
    return {port.texts, port.metafiles.size()};
}

TEST(ClipboardMessagesTest, WhatTheServerSendsReachesTheDesktop) {
    ResetLogForTesting();
    const std::string metafile = MetafileText(test::SmallMetafile());
    struct Case {
        const char* name;
        uint32_t declared;
        std::string text;
        ClipboardCharset charset;
        std::vector<std::string> texts;
        size_t metafiles;
    };
    const Case cases[] = {
        {"one line", 5, "hello", ClipboardCharset::Windows1252, {"hello"}, 0},
        {"lines and 1252", 4, "a\n\xE9\x80", ClipboardCharset::Windows1252, {"a\n\xC3\xA9\xE2\x82\xAC"}, 0},
        {"utf-8", 2, "\xC3\xA9", ClipboardCharset::Utf8, {"\xC3\xA9"}, 0},
        {"shorter than the message: the rest is not text", 2, "abcd", ClipboardCharset::Windows1252, {"ab"}, 0},
        {"the NUL behind the text", 3, std::string("abc\0", 4), ClipboardCharset::Windows1252, {"abc"}, 0},
        {"empty does nothing", 0, "", ClipboardCharset::Windows1252, {}, 0},
        {"longer than the message", 6, "abcde", ClipboardCharset::Windows1252, {}, 0},
        {"a length no message holds", 0xFFFFFFFFu, "abc", ClipboardCharset::Windows1252, {}, 0},
        {"a metafile", static_cast<uint32_t>(metafile.size()), metafile, ClipboardCharset::Windows1252, {}, 1},
        {"a metafile cut short", static_cast<uint32_t>(metafile.size() - 2), metafile,
         ClipboardCharset::Windows1252, {}, 0},
    };
    for (const Case& c : cases) {
        const Delivered delivered = Route(c.declared, c.text, c.charset);
        EXPECT_EQ(delivered.texts, c.texts) << c.name;
        EXPECT_EQ(delivered.metafiles, c.metafiles) << c.name;
    }
}

}  // namespace
}  // namespace corvane
