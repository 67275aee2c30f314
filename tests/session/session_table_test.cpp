#include "session/session_table.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "session/login_texts.h"

namespace corvane {
namespace {

// Seconds since 1970 of a local time today-independent date.
int64_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&t));
}

TEST(SessionTable, StartTimeOnATwelveHourClock) {
    const struct {
        int hour;
        const char* text;
    } cases[] = {
        {0, "Wed Jun  3 12:30:05 AM"},
        {9, "Wed Jun  3 09:30:05 AM"},
        {12, "Wed Jun  3 12:30:05 AM"},
        {13, "Wed Jun  3 01:30:05 PM"},
        {23, "Wed Jun  3 11:30:05 PM"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SessionStartTimeText(LocalTime(2026, 6, 3, c.hour, 30, 5)), c.text) << c.hour;
    }
}

std::vector<uint8_t> Entries(const std::vector<std::array<int32_t, 5>>& rows) {
    // sid, display, width, height, depth
    std::vector<uint8_t> bytes(rows.size() * kSessionEntrySize, 0);
    for (size_t i = 0; i < rows.size(); ++i) {
        uint8_t* e = bytes.data() + i * kSessionEntrySize;
        auto put = [&](size_t offset, int32_t v) {
            uint32_t wire = htonl(static_cast<uint32_t>(v));
            std::memcpy(e + offset, &wire, 4);
        };
        put(0, rows[i][0]);
        put(12, 1000 + rows[i][0]);
        put(32, rows[i][1]);
        std::strcpy(reinterpret_cast<char*>(e + 36), "host.example");
        put(120, static_cast<int32_t>(LocalTime(2026, 6, 3, 9, 30, 5)));
        put(148, rows[i][2]);
        put(152, rows[i][3]);
        put(156, rows[i][4]);
        put(164, 4);
    }
    return bytes;
}

TEST(SessionTable, ParsesEntriesAndWritesTheirLines) {
    auto bytes = Entries({{17, 3, 1280, 1024, 24}, {18, 4, 800, 600, 124}, {19, 5, 640, 480, 224}});
    SessionTable table;
    table.Parse(bytes.data(), 3);
    ASSERT_EQ(table.Count(), 3);
    EXPECT_EQ(table.Entries()[0].pid, 1017);
    EXPECT_EQ(table.Entries()[0].peerHost, "host.example");
    EXPECT_EQ(SessionLine(table.Entries()[0]),
              "Session I.D. 17\tDisplay :3  1280x1024x24\tStart time: Wed Jun  3 09:30:05 AM");
    EXPECT_EQ(SessionLine(table.Entries()[1]),
              "Session I.D. 18\tDisplay :4  800x600x8/24\tStart time: Wed Jun  3 09:30:05 AM");
    EXPECT_EQ(SessionLine(table.Entries()[2]),
              "Session I.D. 19\tDisplay :5  640x480x16/24\tStart time: Wed Jun  3 09:30:05 AM");
    EXPECT_EQ(table.Find(18)->width, 800);
    EXPECT_EQ(table.Find(99), nullptr);

    EXPECT_EQ(UnattendedSessionChoice("last", table), 19);
    EXPECT_EQ(UnattendedSessionChoice("new", table), kNewSessionId);
    EXPECT_EQ(UnattendedSessionChoice("17", table), 17);
    EXPECT_EQ(UnattendedSessionChoice("last", SessionTable()), kNewSessionId);

    auto choice = SessionChoiceRecord(18);
    const uint8_t expected[4] = {0, 0, 0, 18};
    EXPECT_EQ(0, std::memcmp(choice.data(), expected, 4));
    for (size_t i = 4; i < choice.size(); ++i) EXPECT_EQ(choice[i], 0);
}

TEST(LoginTexts, EveryCodeHasItsText) {
    EXPECT_STREQ(LoginFailureText(-1, false), "Error:  Unable to contact remote host.");
    EXPECT_STREQ(LoginFailureText(-1, true), "Error:  Unable to contact proxy host.");
    EXPECT_STREQ(LoginFailureText(-1007, false), "Error:  User name, password or\r\nauthorization code is incorrect.");
    EXPECT_TRUE(IsKnownLoginFailure(-1003));
    EXPECT_FALSE(IsKnownLoginFailure(-1999));
    EXPECT_STREQ(FinalStatusText(7), "Error:  Requested session is unavailable.\r\nPlease try again.");
    EXPECT_EQ(FinalStatusText(8), nullptr);
    EXPECT_STREQ(InitStatusText(4, false), InitStatusText(5, false)) << "an over-long reply ends like 5";
    EXPECT_EQ(InitStatusText(0, false), nullptr);
    EXPECT_EQ(InitStatusText(1, false), nullptr);
}

}  // namespace
}  // namespace corvane
