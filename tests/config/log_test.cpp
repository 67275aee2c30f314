#include "config/log.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "config/error_box.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

class LogTest : public ::testing::Test {
protected:
    void SetUp() override { ResetLogForTesting(); }
    void TearDown() override {
        ResetLogForTesting();
        SetErrorBoxHandler(nullptr);
        SetThreadMayWaitForPerson(false);
    }
    std::string Contents() const { return test::ReadWholeFile(m_dir.file("log.txt")); }
    void Open() { OpenLog(m_dir.file("log.txt")); }

    test::TempDir m_dir;
};

TEST_F(LogTest, LevelTestInOrdinaryAndTopicMode) {
    struct Case {
        int debugLevel;
        std::vector<int> written;
        std::vector<int> dropped;
    };
    const Case cases[] = {
        {0, {-5, 0}, {1, 2, 56}},
        {1, {0, 1}, {2, 51, 100}},
        {49, {0, 1, 15, 20, 49}, {50, 51, 56, 62, 66}},
        {56, {-1, 0, 56}, {1, 2, 20, 55, 57}},
        {70, {0, 1, 51, 66, 70}, {71, 100}},
        {-1, {-1}, {0, 1}},
    };
    for (const Case& c : cases) {
        SetDebugLevel(c.debugLevel);
        for (int level : c.written) EXPECT_TRUE(LogLevelPasses(level)) << c.debugLevel << "/" << level;
        for (int level : c.dropped) EXPECT_FALSE(LogLevelPasses(level)) << c.debugLevel << "/" << level;
    }
}

TEST_F(LogTest, RecordHasTimestampPrefixAndDroppedRecordsAreNotWritten) {
    Open();
    SetDebugLevel(56);
    DebugPrint(1, "dropped progress\n");
    DebugPrint(0, "error %d\n", 7);
    DebugPrint(56, "sizing x=%d\n", 3);
    DebugPrint(57, "dropped decoder\n");
    std::string text = Contents();
    std::regex record(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d \d+ \( *\d+\) : (error 7|sizing x=3)\n)");
    std::string rest = text;
    int matched = 0;
    for (std::smatch m; std::regex_search(rest, m, record); rest = m.suffix()) {
        EXPECT_EQ(m.position(), 0);
        ++matched;
    }
    EXPECT_EQ(matched, 2) << text;
    EXPECT_EQ(text.find("dropped"), std::string::npos);
}

TEST_F(LogTest, RecordsFromManyThreadsComeOutWhole) {
    Open();
    SetDebugLevel(1);
    constexpr int kThreads = 8;
    constexpr int kRecords = 400;
    std::vector<std::thread> threads;
    const std::string payload(300, 'p');
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &payload] {
            for (int i = 0; i < kRecords; ++i) {
                DebugPrint(1, "thread %d record %d %s end\n", t, i, payload.c_str());
            }
        });
    }
    for (auto& thread : threads) thread.join();

    std::istringstream lines(Contents());
    std::regex whole(R"(.* : thread (\d) record (\d+) p{300} end)");
    std::vector<int> next(kThreads, 0);
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, whole)) << line;
        int thread = std::stoi(m[1]);
        EXPECT_EQ(std::stoi(m[2]), next[thread]++) << "records of one thread keep their order";
    }
    EXPECT_EQ(count, kThreads * kRecords);
}

TEST_F(LogTest, LongRecordIsWrittenWhole) {
    Open();
    std::string big(10000, 'x');
    DebugPrint(0, "%s\n", big.c_str());
    EXPECT_NE(Contents().find(big + "\n"), std::string::npos);
}

TEST_F(LogTest, BeforeOpeningRecordsGoToStandardError) {
    EXPECT_EQ(GetLogStream(), stderr);
    OpenLog(m_dir.file("no-such-folder/log.txt"));
    EXPECT_EQ(GetLogStream(), stderr);
}

TEST_F(LogTest, OpeningTruncatesAndAppendOpenKeeps) {
    Open();
    DebugPrint(0, "first run\n");
    Open();
    DebugPrint(0, "second run\n");
    EXPECT_EQ(Contents().find("first run"), std::string::npos);
    EXPECT_NE(Contents().find("second run"), std::string::npos);
    OpenLogForAppend(m_dir.file("log.txt"));
    DebugPrint(0, "third run\n");
    EXPECT_NE(Contents().find("second run"), std::string::npos);
    EXPECT_NE(Contents().find("third run"), std::string::npos);
}

// The log names hosts, users and sessions: nobody but its owner reads it, however it was
// opened and whatever mode a log of an earlier run was left with.
TEST_F(LogTest, TheLogFileIsItsOwnersAlone) {
    const mode_t umaskBefore = ::umask(022);
    struct Case {
        const char* name;
        bool earlierFileIsWorldReadable;
        void (*open)(const std::string&);
    };
    const Case cases[] = {
        {"new, truncating", false, OpenLog},
        {"new, appending", false, OpenLogForAppend},
        {"earlier 0644, truncating", true, OpenLog},
        {"earlier 0644, appending", true, OpenLogForAppend},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetLogForTesting();
        const std::string path = m_dir.file("log.txt");
        std::remove(path.c_str());
        if (c.earlierFileIsWorldReadable) {
            m_dir.write("log.txt", "earlier run\n");
            ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
        }
        c.open(path);
        ASSERT_NE(GetLogStream(), stderr);
        DebugPrint(0, "a record\n");
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
    ::umask(umaskBefore);
}

TEST_F(LogTest, PrefixedVariants) {
    Open();
    SetDebugLevel(10);
    EXPECT_EQ(LogSocketText(2, "peer\nclosed\n"), "peer closed ");
    EXPECT_EQ(LogProtocolText(0, "no prefix at level zero\n"), "no prefix at level zero ");
    LogComponentText(1, "component\n");
    const uint8_t address[] = {127, 0, 0, 1};
    LogAddressDump(2, "peer", address, 4);
    EXPECT_EQ(LogSocketText(11, "above the level\n"), "");
    EXPECT_EQ(Contents(),
              "sock: peer\nclosed\n"
              "no prefix at level zero\n"
              " uVK: component\n"
              "sock: peer:  127.0.0.1\n");
}

TEST_F(LogTest, SizeCapKeepsTheTailFromALineStart) {
    Open();
    SetDebugLevel(1);
    // Lines of varying length so the cut falls inside one.
    std::string original;
    for (int i = 0; original.size() < 1'000'000; ++i) {
        original += "line " + std::to_string(i) + std::string(static_cast<size_t>(i % 97), '.') + "\n";
    }
    std::fwrite(original.data(), 1, original.size(), GetLogStream());
    (void)LogSocketText(1, "trigger\n");
    original += "sock: trigger\n";

    std::string kept = Contents();
    ASSERT_LE(kept.size(), 500'000u);
    ASSERT_GT(kept.size(), 499'000u);
    EXPECT_EQ(original.compare(original.size() - kept.size(), kept.size(), kept), 0);
    EXPECT_EQ(original[original.size() - kept.size() - 1], '\n');
    // The log goes on in the trimmed file.
    DebugPrint(0, "after trim\n");
    EXPECT_NE(Contents().find("after trim"), std::string::npos);
}

TEST_F(LogTest, DebugPrintNeverTrims) {
    Open();
    SetLogSizeCap(100);
    std::string line(80, 'a');
    DebugPrint(0, "%s\n", line.c_str());
    DebugPrint(0, "%s\n", line.c_str());
    EXPECT_GT(Contents().size(), 160u);
}

TEST_F(LogTest, SocketErrorReportNamesTheErrorAndShowsTheBox) {
    Open();
    std::vector<std::pair<std::string, std::string>> boxes;
    SetThreadMayWaitForPerson(true);
    SetErrorBoxHandler([&](const std::string& caption, const std::string& text) {
        boxes.emplace_back(caption, text);
    });
    ReportSocketErrorCode("ProcessMessage() Error: ", 10054);
    ReportSocketErrorCode("Error:  Unknown error from remote host.", 10099);
    errno = ECONNREFUSED;
    ReportSocketError("connect");
    ShowErrorBox("Title", "Text");

    ASSERT_EQ(boxes.size(), 4u);
    EXPECT_EQ(boxes[0], std::make_pair(std::string("ProcessMessage() Error: "),
                                       std::string("WSAECONNRESET")));
    EXPECT_EQ(boxes[1].second, "UNKNOWN ERROR # 10099");
    EXPECT_EQ(boxes[2].second, "WSAECONNREFUSED");
    std::string log = Contents();
    EXPECT_NE(log.find(": ERROR: ProcessMessage() Error: : WSAECONNRESET\n"), std::string::npos);
    EXPECT_NE(log.find(": ERROR: Title: Text\n"), std::string::npos);
}

TEST(WinsockNames, ErrnoMapsOntoTheProgramsNames) {
    const std::pair<int, const char*> cases[] = {
        {ECONNRESET, "WSAECONNRESET"}, {ETIMEDOUT, "WSAETIMEDOUT"},
        {EWOULDBLOCK, "WSAEWOULDBLOCK"}, {EHOSTUNREACH, "WSAEHOSTUNREACH"},
        {EINTR, "WSAEINTR"},
    };
    for (const auto& [err, name] : cases) EXPECT_EQ(WinsockErrorName(WinsockCodeFromErrno(err)), name);
    EXPECT_EQ(WinsockErrorName(10093), "WSANOTINITIALISED");
    EXPECT_EQ(WinsockErrorName(WinsockCodeFromErrno(ENOENT)),
              "UNKNOWN ERROR # " + std::to_string(ENOENT));
}

}  // namespace
}  // namespace corvane
