// The server's metafile in its text form: a good one inflates to the very bytes; every way
// the form can be wrong is refused and leaves nothing behind.
#include "clipboard/clipboard_metafile.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <string>
#include <vector>

#include "clipboard/emf_fixture.h"

namespace corvane {
namespace {

std::string Hex(const std::vector<uint8_t>& bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t b : bytes) {
        text += kHex[b >> 4];
        text += kHex[b & 15];
    }
    return text;
}

std::vector<uint8_t> Deflated(const std::vector<uint8_t>& bits) {
    std::vector<uint8_t> out(compressBound(static_cast<uLong>(bits.size())));
    uLongf size = static_cast<uLongf>(out.size());
    EXPECT_EQ(compress2(out.data(), &size, bits.data(), static_cast<uLong>(bits.size()), 6), Z_OK);
    out.resize(size);
    return out;
}

// The form with a size and data of the caller's choosing.
std::string Form(const std::string& size, const std::string& data, char separator = ' ') {
    return std::string(kMetafileTag) + separator + size + "|" + data;
}

TEST(ClipboardMetafileTest, AGoodFormInflatesToTheMetafile) {
    const std::vector<uint8_t> emf = test::SmallMetafile();
    std::vector<uint8_t> bits;
    ASSERT_EQ(ReadMetafileText(MetafileText(emf), bits), kMetafileOk);
    EXPECT_EQ(bits, emf);
    // Upper-case digits, any separator and a line end behind the digits are all accepted.
    const std::string upper = Form(std::to_string(emf.size()), Hex(Deflated(emf)) + "\r\n", '\t');
    ASSERT_EQ(ReadMetafileText(upper, bits), kMetafileOk);
    EXPECT_EQ(bits, emf);
}

TEST(ClipboardMetafileTest, BadFormsAreRefused) {
    const std::vector<uint8_t> emf = test::SmallMetafile();
    const std::string size = std::to_string(emf.size());
    const std::string hex = Hex(Deflated(emf));
    std::vector<uint8_t> notMetafile(emf.size(), 0x41);
    struct Case {
        const char* name;
        std::string text;
        int result;
    };
    const Case cases[] = {
        {"the tag alone", std::string(kMetafileTag), kMetafileNoBar},
        {"no bar", std::string(kMetafileTag) + " " + size + hex, kMetafileNoBar},
        {"size not a number", Form("1o8", hex), kMetafileBadSize},
        {"size negative", Form("-108", hex), kMetafileBadSize},
        {"size empty", Form("", hex), kMetafileBadSize},
        {"size zero", Form("0", hex), kMetafileBadSize},
        {"size beyond what the data holds", Form("4000000000", hex), kMetafileBadSize},
        {"size beyond the limit", Form(std::to_string(kMetafileLimit + 1), hex + std::string(200000, '0')),
         kMetafileBadSize},
        {"size says more than it inflates to", Form(std::to_string(emf.size() + 1), hex), kMetafileWrongSize},
        {"size says less than it inflates to", Form(std::to_string(emf.size() - 1), hex), kMetafileWrongSize},
        {"no data", Form(size, ""), kMetafileBadHex},
        {"an odd digit", Form(size, hex + "0"), kMetafileBadHex},
        {"not hexadecimal", Form(size, "zz" + hex.substr(2)), kMetafileBadHex},
        {"a blank inside", Form(size, hex.substr(0, 4) + " " + hex.substr(5)), kMetafileBadHex},
        {"truncated", Form(size, hex.substr(0, hex.size() / 4 * 2)), kMetafileNoInflate},
        {"not deflated", Form(size, Hex(emf)), kMetafileNoInflate},
        {"no metafile inside", Form(size, Hex(Deflated(notMetafile))), kMetafileNotMetafile},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bits = {1, 2, 3};
        EXPECT_EQ(ReadMetafileText(c.text, bits), c.result) << c.name;
        EXPECT_TRUE(bits.empty()) << c.name;
    }
}

TEST(ClipboardMetafileTest, OnlyTextThatBeginsWithTheTagIsAMetafile) {
    EXPECT_TRUE(IsMetafileText(kMetafileTag));
    EXPECT_TRUE(IsMetafileText(std::string(kMetafileTag) + " 1|00"));
    EXPECT_FALSE(IsMetafileText(kMetafileTag.substr(0, kMetafileTag.size() - 1)));
    EXPECT_FALSE(IsMetafileText("qel 1.1 CF_ENHMETAFILE 1|00"));
    EXPECT_FALSE(IsMetafileText(" QEl 1.1 CF_ENHMETAFILE 1|00"));
}

}  // namespace
}  // namespace corvane
