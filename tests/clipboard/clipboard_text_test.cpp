// Clipboard text between the desktop (UTF-8) and the wire: line ends, the two character sets,
// the NUL that ends a text, the size limit, and the log records for what could not be carried.
#include "clipboard/clipboard_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "config/log.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

using test::ReadWholeFile;
using test::TempDir;

struct ToWireCase {
    const char* name;
    std::string local;
    ClipboardCharset charset;
    std::string wire;
    size_t replaced;
};

TEST(ClipboardTextTest, LocalTextGoesToTheWire) {
    const ToWireCase cases[] = {
        {"crlf becomes lf", "a\r\nb", ClipboardCharset::Windows1252, "a\nb", 0},
        {"lone cr stays", "a\rb\r", ClipboardCharset::Windows1252, "a\rb\r", 0},
        {"blank lines", "\r\n\r\n", ClipboardCharset::Utf8, "\n\n", 0},
        {"1252 letters and signs", "caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\xA6 \xC5\xB8", ClipboardCharset::Windows1252,
         "caf\xE9 \x80 \x85 \x9F", 0},
        {"a byte 1252 leaves undefined", "\xC2\x81", ClipboardCharset::Windows1252, "\x81", 0},
        {"not in 1252", "a\xE6\x97\xA5" "b\xF0\x9F\x98\x80", ClipboardCharset::Windows1252, "a?b?", 2},
        {"a C1 control 1252 maps elsewhere", "\xC2\x80", ClipboardCharset::Windows1252, "?", 1},
        {"invalid utf-8 in 1252", "a\xFF" "b", ClipboardCharset::Windows1252, "a?b", 1},
        {"utf-8 carries everything", "\xE6\x97\xA5\xF0\x9F\x98\x80", ClipboardCharset::Utf8,
         "\xE6\x97\xA5\xF0\x9F\x98\x80", 0},
        {"invalid utf-8 replaced", "a\xFF\xC0\xAF", ClipboardCharset::Utf8,
         "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", 3},
        {"cut-short sequence at the end", "a\xE6\x97", ClipboardCharset::Utf8, "a\xEF\xBF\xBD\xEF\xBF\xBD", 2},
        {"surrogate refused", "\xED\xA0\x80", ClipboardCharset::Utf8, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", 3},
        {"empty", "", ClipboardCharset::Windows1252, "", 0},
    };
    for (const ToWireCase& c : cases) {
        TextConversion report;
        EXPECT_EQ(LocalTextToWire(c.local, c.charset, report), c.wire) << c.name;
        EXPECT_EQ(report.replaced, c.replaced) << c.name;
        EXPECT_FALSE(report.truncated) << c.name;
    }
}

struct ToLocalCase {
    const char* name;
    std::string wire;
    ClipboardCharset charset;
    LineEnds lineEnds;
    std::string local;
    size_t replaced;
};

TEST(ClipboardTextTest, ServerTextComesToTheDesktop) {
    const ToLocalCase cases[] = {
        {"lf kept on x11", "a\nb", ClipboardCharset::Windows1252, LineEnds::Lf, "a\nb", 0},
        {"lf to crlf", "a\nb", ClipboardCharset::Windows1252, LineEnds::CrLf, "a\r\nb", 0},
        {"every lf", "\n\nx\n", ClipboardCharset::Utf8, LineEnds::CrLf, "\r\n\r\nx\r\n", 0},
        {"1252 high bytes", "\x80\xE9\x9F\x81", ClipboardCharset::Windows1252, LineEnds::Lf,
         "\xE2\x82\xAC\xC3\xA9\xC5\xB8\xC2\x81", 0},
        {"utf-8 as it is", "\xE6\x97\xA5", ClipboardCharset::Utf8, LineEnds::Lf, "\xE6\x97\xA5", 0},
        {"invalid utf-8 from the server", "a\xC3", ClipboardCharset::Utf8, LineEnds::Lf, "a\xEF\xBF\xBD", 1},
        {"1252 bytes read as utf-8", "caf\xE9", ClipboardCharset::Utf8, LineEnds::Lf, "caf\xEF\xBF\xBD", 1},
    };
    for (const ToLocalCase& c : cases) {
        TextConversion report;
        EXPECT_EQ(WireTextToLocal(c.wire, c.charset, c.lineEnds, report), c.local) << c.name;
        EXPECT_EQ(report.replaced, c.replaced) << c.name;
    }
}

// Every byte the server may send in Windows-1252 comes back as the same byte.
TEST(ClipboardTextTest, Windows1252BytesSurviveTheRoundTrip) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    TextConversion in;
    TextConversion out;
    const std::string local = WireTextToLocal(all, ClipboardCharset::Windows1252, LineEnds::Lf, in);
    EXPECT_EQ(LocalTextToWire(local, ClipboardCharset::Windows1252, out), all);
    EXPECT_EQ(in.replaced + out.replaced, 0u);
}

TEST(ClipboardTextTest, TextEndsAtItsFirstNul) {
    TextConversion report;
    EXPECT_EQ(LocalTextToWire(std::string("ab\0cd", 5), ClipboardCharset::Windows1252, report), "ab");
    EXPECT_TRUE(report.cutAtNul);
    EXPECT_EQ(WireTextToLocal(std::string("x\0y", 3), ClipboardCharset::Utf8, LineEnds::Lf, report), "x");
    EXPECT_TRUE(report.cutAtNul);
}

TEST(ClipboardTextTest, TheLimitCutsAtACharacter) {
    TextConversion report;
    EXPECT_EQ(LocalTextToWire("abcdef", ClipboardCharset::Windows1252, report, 4), "abcd");
    EXPECT_TRUE(report.truncated);
    // "é" takes two bytes in UTF-8: it does not fit behind "a" in 2 bytes and is not split.
    EXPECT_EQ(LocalTextToWire("a\xC3\xA9", ClipboardCharset::Utf8, report, 2), "a");
    EXPECT_TRUE(report.truncated);
    // Line ends count as they go on the wire: "\r\n" is one character there.
    EXPECT_EQ(LocalTextToWire("ab\r\ncd", ClipboardCharset::Windows1252, report, 5), "ab\ncd");
    EXPECT_FALSE(report.truncated);
}

TEST(ClipboardTextTest, TwentyMillionCharactersAndNoMore) {
    const std::string exact(kClipboardTextLimit, 'x');
    TextConversion report;
    EXPECT_EQ(LocalTextToWire(exact, ClipboardCharset::Windows1252, report).size(), kClipboardTextLimit);
    EXPECT_FALSE(report.truncated);
    const std::string over(kClipboardTextLimit + 1, 'x');
    EXPECT_EQ(LocalTextToWire(over, ClipboardCharset::Utf8, report).size(), kClipboardTextLimit);
    EXPECT_TRUE(report.truncated);
    EXPECT_EQ(report.originalBytes, kClipboardTextLimit + 1);
}

TEST(ClipboardTextTest, WhatCouldNotBeCarriedIsLogged) {
    ResetLogForTesting();
    TempDir dir;
    const std::string path = dir.file("log.txt");
    OpenLog(path);
    SetDebugLevel(1);
    TextConversion report;
    (void)LocalTextToWire("\xE6\x97\xA5\xE6\x9C\xAC", ClipboardCharset::Windows1252, report);
    LogConversion(report, ClipboardCharset::Windows1252, "to the server");
    (void)LocalTextToWire("abc", ClipboardCharset::Windows1252, report, 2);
    LogConversion(report, ClipboardCharset::Windows1252, "to the server");
    (void)LocalTextToWire("fine", ClipboardCharset::Windows1252, report);
    LogConversion(report, ClipboardCharset::Windows1252, "to the server");
    const std::string log = ReadWholeFile(path);
    ResetLogForTesting();
    EXPECT_NE(log.find("2 characters of the text to the server cannot be carried in Windows-1252; each was "
                       "replaced by '?'"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("(3 bytes) is longer than the limit of 2 characters; only its first 2 bytes were taken"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("fine"), std::string::npos);
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2);
}

}  // namespace
}  // namespace corvane
