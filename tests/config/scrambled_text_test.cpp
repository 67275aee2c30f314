#include "config/scrambled_text.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "config/log.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

std::string FromHex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

// A clear text of the given length cycling through awkward characters: '}' and '~' become
// 0x7F or 0x80 under an offset, a blank may stay a blank, 0xFF wraps round.
std::string AwkwardText(size_t length) {
    const std::string pool = "}~ aZ9\xff!@x";
    std::string text;
    for (size_t i = 0; i < length; ++i) text.push_back(pool[i % pool.size()]);
    return text;
}

// --- Check values shared with the server ---

struct CheckValue {
    const char* name;
    const char* clear;
    const char* fillerHex;
    const char* scrambledHex;
};

class ScrambledTextCheckValue : public testing::TestWithParam<CheckValue> {};

TEST_P(ScrambledTextCheckValue, ScramblesToThePublishedBytes) {
    const CheckValue& value = GetParam();
    std::string scrambled;
    ASSERT_EQ(ScrambleTextWithFiller(value.clear, FromHex(value.fillerHex), scrambled), 0);
    EXPECT_EQ(scrambled, FromHex(value.scrambledHex));
    std::string clear = "untouched?";
    ASSERT_EQ(UnscrambleText(scrambled, clear), 0);
    EXPECT_EQ(clear, value.clear);
}

INSTANTIATE_TEST_SUITE_P(
    ProtocolConstants, ScrambledTextCheckValue,
    testing::Values(
        CheckValue{"Secret", "secret",
                   "6B397029333479366E23337764323572713466357A7233213765282823332123703365327A38"
                   "6971397937216A7A7D6236232128636E",
                   "376B737973337A71702467733566653223387F7B6F2B386D296B6523363933772374366530"
                   "3539742235213465393834283264256F28647C7B217168387236"},
        CheckValue{"Empty", "",
                   "367A5D3421332664767D79726B7423746E6A66625B6635216A78766C7C7369253437777161"
                   "406C397671327B34407A216B6C5B6D2576237434356875",
                   "7536372135796D6D76757C367E776A62366A2733247F6C28385C21405C646E6A7733232530"
                   "35336E62787372677A253A34715E76763578786D6C406C7B6674"}),
    [](const testing::TestParamInfo<CheckValue>& info) { return std::string(info.param.name); });

TEST(ScrambledText, LengthFieldOfEmptyTextReads053) {
    std::string scrambled;
    ASSERT_EQ(ScrambleText("", scrambled), 0);
    ASSERT_EQ(scrambled.size(), kScrambledLength);
    EXPECT_EQ(scrambled.substr(36, 3), "053");
}

// --- Round trips ---

class ScrambledTextRoundTrip : public testing::TestWithParam<size_t> {};

TEST_P(ScrambledTextRoundTrip, UnscrambleRestoresTheClearText) {
    const std::string text = AwkwardText(GetParam());
    for (int attempt = 0; attempt < 20; ++attempt) {  // different random fillers
        std::string scrambled;
        ASSERT_EQ(ScrambleText(text, scrambled), 0);
        ASSERT_EQ(scrambled.size(), kScrambledLength);
        const int field = std::stoi(scrambled.substr(36, 3));
        EXPECT_EQ(field, static_cast<int>(text.size()) + 53);
        std::string clear;
        ASSERT_EQ(UnscrambleText(scrambled, clear), 0);
        EXPECT_EQ(clear, text);
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, ScrambledTextRoundTrip, testing::Values(0, 1, 15, 16, 59, 60));

TEST(ScrambledText, ScrambledFormIsBytesNotPrintableText) {
    // Sixty tildes: the offsets 1 and 2 give DEL and 0x80, and the bytes survive the round trip.
    const std::string text(kMaxClearLength, '~');
    std::string scrambled;
    ASSERT_EQ(ScrambleText(text, scrambled), 0);
    EXPECT_NE(scrambled.find('\x7f'), std::string::npos);
    EXPECT_NE(scrambled.find('\x80'), std::string::npos);
    std::string clear;
    ASSERT_EQ(UnscrambleText(scrambled, clear), 0);
    EXPECT_EQ(clear, text);
}

// --- Filler and the position-39 rule ---

TEST(ScrambledText, RandomFillerIsDrawnFromTheWholeAlphabet) {
    // Relabelling the length field of a scrambled "" as 60 unscrambles its filler.
    std::set<char> seen;
    for (int attempt = 0; attempt < 200; ++attempt) {
        std::string scrambled;
        ASSERT_EQ(ScrambleText("", scrambled), 0);
        scrambled.replace(36, 3, "113");
        std::string filler;
        ASSERT_EQ(UnscrambleText(scrambled, filler), 0);
        ASSERT_EQ(filler.size(), kMaxClearLength);
        for (char ch : filler) {
            ASSERT_NE(kScrambleFillerAlphabet.find(ch), std::string_view::npos)
                << "filler byte " << static_cast<int>(static_cast<unsigned char>(ch));
            seen.insert(ch);
        }
    }
    EXPECT_EQ(seen.size(), kScrambleFillerAlphabet.size());
}

TEST(ScrambledText, Position39BecomesVOnlyForShortTexts) {
    // Digits never turn into lower-case letters under an offset of 0 to 2.
    std::string scrambled;
    ASSERT_EQ(ScrambleTextWithFiller("abc", std::string(57, '0'), scrambled), 0);
    EXPECT_EQ(scrambled[39], 'v');
    std::string clear;
    ASSERT_EQ(UnscrambleText(scrambled, clear), 0);
    EXPECT_EQ(clear, "abc");

    const std::string sixteen(16, '0');
    ASSERT_EQ(ScrambleTextWithFiller(sixteen, std::string(44, '0'), scrambled), 0);
    EXPECT_GE(scrambled[39], '0');
    EXPECT_LE(scrambled[39], '2');
    ASSERT_EQ(UnscrambleText(scrambled, clear), 0);
    EXPECT_EQ(clear, sixteen);
}

// --- Refusals: -1, output untouched ---

TEST(ScrambledText, RefusesTextsLongerThanSixty) {
    const std::string tooLong = AwkwardText(61);
    std::string scrambled = "previous";
    EXPECT_EQ(ScrambleText(tooLong, scrambled), -1);
    EXPECT_EQ(ScrambleTextWithFiller(tooLong, "", scrambled), -1);
    EXPECT_EQ(scrambled, "previous");
}

TEST(ScrambledText, RefusesFillerOfTheWrongLength) {
    std::string scrambled = "previous";
    EXPECT_EQ(ScrambleTextWithFiller("abc", std::string(56, 'x'), scrambled), -1);
    EXPECT_EQ(ScrambleTextWithFiller("abc", std::string(58, 'x'), scrambled), -1);
    EXPECT_EQ(ScrambleTextWithFiller(std::string(60, 'x'), "x", scrambled), -1);
    EXPECT_EQ(scrambled, "previous");
}

TEST(ScrambledText, UnscrambleRefusesWrongLengths) {
    std::string valid;
    ASSERT_EQ(ScrambleText("secret", valid), 0);
    for (const std::string& input :
         {std::string(), valid.substr(0, 62), valid + "x", valid + valid}) {
        std::string clear = "previous";
        EXPECT_EQ(UnscrambleText(input, clear), -1) << input.size() << " bytes";
        EXPECT_EQ(clear, "previous");
    }
}

TEST(ScrambledText, UnscrambleRefusesBadLengthFields) {
    std::string valid;
    ASSERT_EQ(ScrambleText("secret", valid), 0);
    // 052 and 114 are n = -1 and n = 61.
    for (const char* field : {"05a", " 53", "+53", "-01", "052", "114", "999", "\x30\x00\x35"}) {
        std::string input = valid;
        input.replace(36, 3, std::string(field, 3));
        std::string clear = "previous";
        EXPECT_EQ(UnscrambleText(input, clear), -1) << field;
        EXPECT_EQ(clear, "previous");
    }
    // The bounds themselves are accepted.
    for (const char* field : {"053", "113"}) {
        std::string input = valid;
        input.replace(36, 3, field);
        std::string clear;
        EXPECT_EQ(UnscrambleText(input, clear), 0) << field;
    }
}

TEST(ScrambledText, RefusalIsLoggedWithoutTheClearText) {
    test::TempDir dir;
    const std::string logPath = dir.file("log.txt");
    OpenLog(logPath);
    const std::string password = "P4ssw0rd-" + std::string(52, 'q');  // 61 characters
    std::string scrambled;
    EXPECT_EQ(ScrambleText(password, scrambled), -1);
    ResetLogForTesting();

    const std::string log = test::ReadWholeFile(logPath);
    EXPECT_NE(log.find("ScrambleText"), std::string::npos) << log;
    EXPECT_EQ(log.find("P4ssw0rd"), std::string::npos) << log;
}

}  // namespace
}  // namespace corvane
