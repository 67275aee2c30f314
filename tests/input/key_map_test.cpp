#include "input/key_map.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <string>
#include <vector>

#include "config/log.h"
#include "input/builtin_key_maps.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

size_t CountOf(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

class KeyMapTest : public testing::Test {
  protected:
    void SetUp() override {
        OpenLog(m_dir.file("log"));
        SetDebugLevel(1);
    }
    void TearDown() override { ResetLogForTesting(); }

    [[nodiscard]] std::string Log() const { return test::ReadWholeFile(m_dir.file("log")); }
    std::string WriteMap(const std::string& bytes) const { return m_dir.write("keys.map", bytes); }
    [[nodiscard]] std::vector<KeyMapEntry> Entries() const {
        const auto entries = m_map.Entries();
        return {entries.begin(), entries.end()};
    }

    test::TempDir m_dir;
    KeyMap m_map;
};

// --- Key map files ---

TEST_F(KeyMapTest, FileLinesAreReadLikeScanfWithCommentsSkipped) {
    m_map.SetUseKeyMap(true);  // as the site file does for a readable KeyMapFile
    const std::string path = WriteMap(
        "! US keyboard\n"
        "30 0 38\n"
        "  57\t1   65  trailing words\n"
        "\n"
        "12\n"
        "-5 +7 9\n"
        "4 x 5\n"
        "1 257 3\n"
        " ! not a comment\n"
        "2147483647 1 -2147483648\n"
        "28 1 108\r\n");

    EXPECT_TRUE(m_map.ReadKeyMapFile(path));
    EXPECT_TRUE(m_map.UseKeyMap());
    const std::vector<KeyMapEntry> expected = {
        {30, 0, 38},  {57, 1, 65},
        {0, 0, 0},    {12, 0, 0},
        {-5, 7, 9},   {4, 0, 0},
        {1, 1, 3},  // the extended flag keeps its low 8 bits
        {0, 0, 0},    {std::numeric_limits<int32_t>::max(), 1, std::numeric_limits<int32_t>::min()},
        {28, 1, 108},
    };
    EXPECT_EQ(Entries(), expected);

    const std::string log = Log();
    EXPECT_NE(log.find("DEBUG ReadKeyMapFile(): win: 30  X11: 38\n"), std::string::npos);
    EXPECT_EQ(CountOf(log, "DEBUG ReadKeyMapFile(): win: "), expected.size());
    EXPECT_NE(log.find("DEBUG: Hit EOF on KeyMapFile\n"), std::string::npos);
    EXPECT_NE(log.find("Number of keymap entries in file: 10\n"), std::string::npos);
}

TEST_F(KeyMapTest, NumberBeyond32BitsReadsAsZeroFromThereOn) {
    const std::string path = WriteMap(
        "99999999999 0 5\n"
        "30 4294967296 7\n"
        "31 1 -99999999999999999999999\n");

    EXPECT_TRUE(m_map.ReadKeyMapFile(path));
    EXPECT_EQ(Entries(), (std::vector<KeyMapEntry>{{0, 0, 0}, {30, 0, 0}, {31, 1, 0}}));
    EXPECT_EQ(CountOf(Log(), "Error: number out of range in KeyMapFile"), 3u);
    EXPECT_NE(Log().find("(line 2)"), std::string::npos);
}

TEST_F(KeyMapTest, ReadingStopsAt512Entries) {
    std::string text;
    for (int i = 0; i < 600; ++i) text += std::to_string(i) + " 0 " + std::to_string(i + 8) + "\n";

    EXPECT_TRUE(m_map.ReadKeyMapFile(WriteMap(text)));
    ASSERT_EQ(m_map.Count(), kMaxKeyMapEntries);
    EXPECT_EQ(m_map.Entries().back(), (KeyMapEntry{511, 0, 519}));
    EXPECT_NE(Log().find("Number of keymap entries in file: 512\n"), std::string::npos);
    EXPECT_EQ(Log().find("Hit EOF"), std::string::npos);
}

TEST_F(KeyMapTest, FirstEntryWithScanCodeAndExtendedFlagWins) {
    ASSERT_TRUE(m_map.ReadKeyMapFile(WriteMap("30 0 38\n30 0 99\n30 1 77\n")));

    EXPECT_EQ(m_map.Lookup(30, 0), 38);
    EXPECT_EQ(m_map.Lookup(30, 1), 77);
    EXPECT_EQ(m_map.Lookup(30, 2), std::nullopt);
    EXPECT_EQ(m_map.Lookup(31, 0), std::nullopt);
}

TEST_F(KeyMapTest, OnlyCommentsLoadsNoEntriesAndKeepsKeyMapModeOn) {
    m_map.SetUseKeyMap(true);

    EXPECT_TRUE(m_map.ReadKeyMapFile(WriteMap("! nothing here\n!30 0 38\n")));
    EXPECT_TRUE(m_map.UseKeyMap());
    EXPECT_EQ(m_map.Count(), 0);
    EXPECT_EQ(m_map.Lookup(0, 0), std::nullopt);
    EXPECT_NE(Log().find("Number of keymap entries in file: 0\n"), std::string::npos);
}

TEST_F(KeyMapTest, MissingFileTurnsKeyMapModeOff) {
    m_map.SetUseKeyMap(true);
    const std::string path = m_dir.file("absent.map");

    EXPECT_FALSE(m_map.ReadKeyMapFile(path));
    EXPECT_FALSE(m_map.UseKeyMap());
    EXPECT_NE(Log().find("Error opening KeyMapFile \"" + path + "\" file for reading.\n"),
              std::string::npos);
    EXPECT_NE(Log().find("      No such file or directory\n"), std::string::npos);
}

TEST_F(KeyMapTest, ReadErrorEmptiesTheMapAndTurnsKeyMapModeOff) {
    ASSERT_TRUE(m_map.LoadInternalKeyMap(2));

    // A directory opens but cannot be read.
    EXPECT_FALSE(m_map.ReadKeyMapFile(m_dir.path()));
    EXPECT_FALSE(m_map.UseKeyMap());
    EXPECT_EQ(m_map.Count(), 0);
    EXPECT_NE(Log().find("Error reading KeyMapFile \"" + m_dir.path() + "\" file (line 1).\n"),
              std::string::npos);
    EXPECT_NE(Log().find("      Is a directory\n"), std::string::npos);
}

// A line is read 124 characters at a time and every piece counts as a line, so the rest of a
// long comment is read as entries.
TEST_F(KeyMapTest, LongLineIsReadInPiecesOf124) {
    std::string longComment = "!" + std::string(123, 'a') + "7 1 42";
    longComment += std::string(300 - longComment.size(), 'b');

    ASSERT_TRUE(m_map.ReadKeyMapFile(WriteMap(longComment + "\n30 0 38\n")));
    EXPECT_EQ(Entries(), (std::vector<KeyMapEntry>{{7, 1, 42}, {0, 0, 0}, {30, 0, 38}}));
}

TEST_F(KeyMapTest, BinaryGarbageLoadsWithoutHarm) {
    std::mt19937 random(1234);
    std::string bytes(8192, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);

    EXPECT_TRUE(m_map.ReadKeyMapFile(WriteMap(bytes)));
    EXPECT_GT(m_map.Count(), 0);
    EXPECT_LE(m_map.Count(), kMaxKeyMapEntries);
}

// --- Built-in maps ---

class BuiltinKeyMapLoadTest : public KeyMapTest, public testing::WithParamInterface<int> {};

TEST_P(BuiltinKeyMapLoadTest, LoadsEveryRowAndTurnsKeyMapModeOn) {
    const int number = GetParam();
    ASSERT_TRUE(m_map.LoadInternalKeyMap(number));
    EXPECT_TRUE(m_map.UseKeyMap());
    ASSERT_EQ(m_map.Count(), 106);

    // Every row is reached by its own scan code and flag, except where an earlier row has the
    // same pair: ScrollLock stays behind SysReq, Break behind Pause.
    const auto rows = BuiltinKeyMap(number);
    std::vector<std::string_view> shadowed;
    for (size_t i = 0; i < 106; ++i) {
        const auto found = m_map.Lookup(rows[i].scanCode, rows[i].extended);
        ASSERT_TRUE(found.has_value()) << rows[i].label;
        if (*found != rows[i].keyCode) shadowed.push_back(rows[i].label);
    }
    EXPECT_EQ(shadowed, (std::vector<std::string_view>{"ScrollLock", "Break"}));

    EXPECT_EQ(m_map.Lookup(30, 0), 38);  // A, whatever the Windows layout
    EXPECT_EQ(m_map.Lookup(1, 0), number == 1 ? 119 : 9);
    EXPECT_EQ(m_map.Lookup(91, 0), 0);  // the Windows keys are never sent
    EXPECT_EQ(m_map.Lookup(92, 1), 0);
    EXPECT_EQ(m_map.Lookup(0, 0), 92);
    EXPECT_EQ(m_map.Lookup(0, 1), 110);

    const std::string log = Log();
    EXPECT_NE(log.find("DEBUG LoadInternalKeyMap(): win: 41  X11: 49\n"), std::string::npos);
    EXPECT_EQ(CountOf(log, "DEBUG LoadInternalKeyMap(): win: "), 106u);
}

INSTANTIATE_TEST_SUITE_P(Maps, BuiltinKeyMapLoadTest, testing::Values(1, 2));

TEST_F(KeyMapTest, UnknownBuiltinMapNumberLoadsNothingAndLeavesTheMode) {
    for (int number : {0, 3, -1}) {
        for (bool mode : {false, true}) {
            SCOPED_TRACE(testing::Message() << "number " << number << " mode " << mode);
            ASSERT_TRUE(m_map.LoadInternalKeyMap(2));
            m_map.SetUseKeyMap(mode);

            EXPECT_FALSE(m_map.LoadInternalKeyMap(number));
            EXPECT_EQ(m_map.UseKeyMap(), mode);
            EXPECT_EQ(m_map.Count(), 0);
        }
    }
}

}  // namespace
}  // namespace corvane
