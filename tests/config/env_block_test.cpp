#include "config/env_block.h"

#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <sstream>
#include <string>

#include "config/log.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

using namespace std::string_literals;

const std::string kMissingEquals = "*** Missing equals sign. ***\n";
const std::string kNonAlphanumeric = "*** Non-alphanumeric before equals sign. ***\n";
const std::string kBlockTooLong = "*** Total length of definitions exceed 511. ***\n";
const std::string kLineTooLong = "*** Line longer than 299 characters. ***\n";

size_t CountOf(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

// A definition of exactly `length` characters.
std::string Definition(const std::string& name, size_t length) {
    return name + "=" + std::string(length - name.size() - 1, 'v');
}

class EnvBlockTest : public testing::Test {
  protected:
    void SetUp() override { RestartLog(); }
    void TearDown() override { ResetLogForTesting(); }

    void RestartLog() { OpenLog(m_dir.file("log")); }
    [[nodiscard]] std::string Log() const { return test::ReadWholeFile(m_dir.file("log")); }

    // Reads the definitions of a file with this content into a fresh block.
    std::string ReadFresh(const std::string& content) {
        m_block.Clear();
        m_block.ReadDefinitions(m_dir.write("qel.ini", content));
        return m_block.Text();
    }

    test::TempDir m_dir;
    EnvBlock m_block;
};

TEST_F(EnvBlockTest, EachLineIsCheckedForEqualsSignThenName) {
    struct Case {
        std::string line;
        std::string reason;  // empty: accepted
    };
    const Case cases[] = {
        {"DISPLAYHOST=alpha", ""},
        {"PATH=/usr/bin:/opt/bin x=y", ""},  // slashes, colons, blanks and more '='
        {"=empty name", ""},
        {"Q1=", ""},
        {"MY_VAR=1", kNonAlphanumeric},
        {" A=1", kNonAlphanumeric},
        {"\xc3\x84X=1", kNonAlphanumeric},  // letters outside ASCII are not letters here
        {"JUSTLETTERS", kMissingEquals},
        {"NO_EQUALS", kMissingEquals},  // the equals sign is checked first
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        RestartLog();
        const std::string text = ReadFresh("[EnvVars]\n" + c.line + "\nNEXT=1\n");
        const std::string log = Log();
        if (c.reason.empty()) {
            EXPECT_EQ(text, c.line + "\nNEXT=1");
            EXPECT_EQ(log.find("Error in [EnvVars]"), std::string::npos);
        } else {
            EXPECT_EQ(text, "NEXT=1");  // a rejected line does not end the section
            EXPECT_NE(log.find("Error in [EnvVars] section of .zrp file.\n"), std::string::npos);
            EXPECT_NE(log.find(c.reason), std::string::npos);
            EXPECT_NE(log.find("*** Throwing out \"" + c.line + "\" ***\n\n"), std::string::npos);
        }
    }
}

TEST_F(EnvBlockTest, FileDefinitionsStopOneShortOf512CountingTheSeparator) {
    const std::string a = Definition("A", 298);
    const std::string b = Definition("B", 150);
    const std::string c = Definition("C", 62);  // 449 + 62 + 1 = 512: refused
    const std::string d = Definition("D", 61);  // 449 + 61 + 1 = 511: fits

    const std::string text = ReadFresh("[EnvVars]\n" + a + "\n" + b + "\n" + c + "\n" + d + "\n");

    EXPECT_EQ(text, a + "\n" + b + "\n" + d);
    EXPECT_EQ(text.size(), kMaxEnvBlockLength);
    EXPECT_EQ(CountOf(Log(), kBlockTooLong), 1u);
    EXPECT_NE(Log().find("*** Throwing out \"" + c + "\" ***"), std::string::npos);
}

TEST_F(EnvBlockTest, AppendDefinitionKeepsTheSameLengthRule) {
    EXPECT_TRUE(m_block.AppendDefinition(Definition("A", 300)));
    EXPECT_TRUE(m_block.AppendDefinition(Definition("B", 150)));
    EXPECT_EQ(m_block.Text().size(), 451u);
    EXPECT_FALSE(m_block.AppendDefinition(Definition("C", 100)));
    EXPECT_FALSE(m_block.AppendDefinition(Definition("D", 60)));
    EXPECT_EQ(m_block.Text().size(), 451u);
    EXPECT_TRUE(m_block.AppendDefinition(Definition("E", 59)));
    EXPECT_EQ(m_block.Text(),
              Definition("A", 300) + "\n" + Definition("B", 150) + "\n" + Definition("E", 59));
    EXPECT_EQ(CountOf(Log(), "not added"), 2u);

    // The separator counts even for the first definition.
    EnvBlock empty;
    EXPECT_FALSE(empty.AppendDefinition(Definition("F", 511)));
    EXPECT_TRUE(empty.AppendDefinition(Definition("F", 510)));
}

TEST_F(EnvBlockTest, OnlyTheEnvVarsSectionIsRead) {
    struct Case {
        const char* what;
        std::string content;
        std::string expected;
    };
    const Case cases[] = {
        {"comments and blank lines skipped, next section ends it",
         "[Viewer]\nX=0\n[EnvVars]\n# comment\n\n* note\nA=1\nB=2\n[Hosts]\nC=3\n", "A=1\nB=2"},
        {"no section", "[Viewer]\nA=1\n", ""},
        {"header on the last line", "A=1\n[EnvVars]", ""},
        {"the rest of a long header line is not a definition",
         "[EnvVars]" + std::string(70, ' ') + "JUNK=1\nA=1\n", "A=1"},
        {"CR LF line ends", "[EnvVars]\r\nA=1\r\n\r\n# c\r\nB=x y\r\n[Other]\r\nC=3\r\n",
         "A=1\nB=x y"},
        {"a lone CR ends the line", "[EnvVars]\nA=1\rjunk\nB=2\n", "A=1\nB=2"},
        {"a NUL byte ends the line", "[EnvVars]\nA=1\0junk\nB=2\n"s, "A=1\nB=2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ReadFresh(c.content), c.expected);
    }
}

// 299 characters is the longest line read whole, whatever ends it; one more and the line is
// refused whole rather than cut into a shortened definition and a stray remainder.
TEST_F(EnvBlockTest, LongestLineIs299CharactersAndLongerOnesAreRefusedWhole) {
    const std::string longest = Definition("OK", 299);
    const std::string oneTooMany = Definition("NO", 300);
    struct Case {
        const char* what;
        std::string content;
        std::string expected;
        size_t refused;
    };
    const Case cases[] = {
        {"299 and LF", "[EnvVars]\n" + longest + "\nB=2\n", longest + "\nB=2", 0},
        {"299 and CR LF", "[EnvVars]\r\n" + longest + "\r\nB=2\r\n", longest + "\nB=2", 0},
        {"299 at the end of the file", "[EnvVars]\n" + longest, longest, 0},
        {"300 and LF", "[EnvVars]\n" + oneTooMany + "\nB=2\n", "B=2", 1},
        {"300 and CR LF", "[EnvVars]\r\n" + oneTooMany + "\r\nB=2\r\n", "B=2", 1},
        {"300 at the end of the file", "[EnvVars]\n" + oneTooMany, "", 1},
        {"much too long, with more equals signs, and a long comment",
         "[EnvVars]\nLONG=" + std::string(400, 'x') + "=tail\n#" + std::string(400, 'c') + "\nB=2\n",
         "B=2", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RestartLog();
        EXPECT_EQ(ReadFresh(c.content), c.expected);
        const std::string log = Log();
        EXPECT_EQ(CountOf(log, kLineTooLong), c.refused);
        EXPECT_EQ(CountOf(log, "Error in [EnvVars] section of .zrp file.\n"), c.refused);
    }
    RestartLog();
    (void)ReadFresh("[EnvVars]\n" + oneTooMany + "\n");
    EXPECT_NE(Log().find("*** Throwing out \"" + oneTooMany + "\" ***"), std::string::npos);
}

// Whatever the bytes, the block stays within its limit and holds only well-formed definitions.
TEST_F(EnvBlockTest, BinaryGarbageLeavesOnlyValidDefinitions) {
    std::mt19937 random(99);
    const std::string alphabet = "ABCXYZabcxyz0189===_ #*\r\n\t\x80\xff";
    std::string bytes = "[EnvVars]\n";
    for (int i = 0; i < 20000; ++i) {
        const bool anyByte = random() % 8 == 0;
        bytes.push_back(anyByte ? static_cast<char>(random() & 0xFF)
                                : alphabet[random() % alphabet.size()]);
    }

    const std::string text = ReadFresh(bytes);
    EXPECT_FALSE(text.empty());
    EXPECT_LE(text.size(), kMaxEnvBlockLength);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const size_t equals = line.find('=');
        ASSERT_NE(equals, std::string::npos) << line;
        for (size_t i = 0; i < equals; ++i) {
            EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(line[i]))) << line;
        }
        EXPECT_EQ(line.find_first_of("\r\0"s), std::string::npos) << line;
    }
}

TEST_F(EnvBlockTest, SiteAndConnectionFileDefinitionsAreBothKeptInOrder) {
    const std::string site = m_dir.write("site.ini", "[EnvVars]\nLANG=C\n");
    const std::string connection = m_dir.write("conn.zrp", "[EnvVars]\nLANG=de_DE\n");

    m_block.ReadDefinitions(site);
    m_block.ReadDefinitions(connection);
    EXPECT_EQ(m_block.Text(), "LANG=C\nLANG=de_DE");

    m_block.Clear();
    m_block.ReadDefinitions(connection);
    EXPECT_EQ(m_block.Text(), "LANG=de_DE");
}

TEST_F(EnvBlockTest, UnreadableFileIsLoggedAndLeavesTheBlock) {
    ASSERT_TRUE(m_block.AppendDefinition("A=1"));

    m_block.ReadDefinitions(m_dir.file("absent.ini"));
    EXPECT_EQ(m_block.Text(), "A=1");
    EXPECT_NE(Log().find("\nERROR:   Unable to open qel.ini file\n"), std::string::npos);

    m_block.ReadDefinitions(m_dir.path());  // a directory opens but cannot be read
    EXPECT_EQ(m_block.Text(), "A=1");
    EXPECT_NE(Log().find("Unable to read \"" + m_dir.path() + "\": Is a directory\n"),
              std::string::npos);
}

}  // namespace
}  // namespace corvane
