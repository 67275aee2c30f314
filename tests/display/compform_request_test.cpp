#include "display/compform_request.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/log.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

class CompformRequestTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetLogForTesting();
        OpenLog(m_dir.file("log.txt"));
        SetDebugLevel(10);
    }
    void TearDown() override { ResetLogForTesting(); }
    [[nodiscard]] std::string Log() const { return test::ReadWholeFile(m_dir.file("log.txt")); }

    test::TempDir m_dir;
};

TEST_F(CompformRequestTest, StepsStopAtTheServersLastIndexAndAtZero) {
    struct Case {
        const char* name;
        int serverVersion;
        int start;
        int steps;  // positive: increments, negative: decrements
        int index;
        int value;
        const char* requestedName;
    };
    const Case cases[] = {
        {"9.39: from 8 stays at 8", 939, 8, 1, 8, 12, "D3"},
        {"9.40: from 8 goes to 9", 940, 8, 1, 9, 101, "F1"},
        {"9.40: stops at 11", 940, 8, 5, 11, 201, "G1"},
        {"9.50: stops at 11", 950, 0, 20, 11, 201, "G1"},
        {"9.39: from the start to the last", 939, 4, 10, 8, 12, "D3"},
        {"from the start down to 0", 940, 4, -10, 0, 1, "A1"},
        {"at 0 a decrement keeps 0", 940, 0, -1, 0, 1, "A1"},
        {"one up from the start", 939, 4, 1, 5, 8, "C2"},
        {"site index 12 comes back to the last", 940, 12, 1, 11, 201, "G1"},
        {"site index 11 on a 9.39 server comes back to 8", 939, 11, 1, 8, 12, "D3"},
        {"site index below 0 comes back to 0", 940, -3, -1, 0, 1, "A1"},
        {"site index below 0, then up", 939, -3, 1, -2, 0, "UN"},
        {"an index near the int range does not overflow", 939, 2147483647, 1, 8, 12, "D3"},
        {"and down", 939, -2147483647 - 1, -1, 0, 1, "A1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CompformRequest request(c.start);
        request.SetServerVersion(c.serverVersion);
        for (int i = 0; i < c.steps; ++i) (void)request.Increment();
        for (int i = 0; i > c.steps; --i) (void)request.Decrement();
        EXPECT_EQ(request.Index(), c.index);
        EXPECT_EQ(request.RequestedValue(), c.value);
        EXPECT_STREQ(request.RequestedName(), c.requestedName);
    }
}

TEST_F(CompformRequestTest, NamesAndTheUnknownIndex) {
    struct Case {
        int serverVersion;
        int index;
        int value;
        const char* requestedName;
    };
    const Case cases[] = {
        {939, 0, 1, "A1"},   {939, 4, 7, "C1"},   {939, 8, 12, "D3"},  {939, 9, 101, "UN"},
        {939, 11, 201, "UN"}, {940, 9, 101, "F1"}, {940, 10, 102, "F2"}, {940, 11, 201, "G1"},
        {940, 12, 0, "UN"},  {940, -1, 0, "UN"},  {940, 99, 0, "UN"},
    };
    for (const Case& c : cases) {
        CompformRequest request(c.index);
        request.SetServerVersion(c.serverVersion);
        EXPECT_EQ(request.RequestedValue(), c.value) << c.serverVersion << " " << c.index;
        EXPECT_STREQ(request.RequestedName(), c.requestedName) << c.serverVersion << " " << c.index;
    }
    EXPECT_EQ(CompformRequest().Index(), 4);
}

TEST_F(CompformRequestTest, LogRecordsAndTitle) {
    CompformRequest request(8);
    request.SetServerVersion(940);
    EXPECT_EQ(request.Increment(), 9);
    EXPECT_EQ(request.RequestTitle("Corvane - host"), "Corvane - host  (Req CF F1)");
    EXPECT_EQ(request.RequestedValue(), 101);
    EXPECT_EQ(request.Decrement(), 8);
    CompformRequest unknown(12);
    EXPECT_EQ(unknown.RequestTitle("T"), "T  (Req CF UN)");
    EXPECT_EQ(unknown.RequestedValue(), 0);

    const std::string log = Log();
    for (const char* expected : {"(incr) compform = 9\n", "compform value[9] = 101\n",
                                 "(decr) compform = 8\n", "WARNING: Unknown compform: 12\n",
                                 "compform value[12] = 0\n"}) {
        EXPECT_NE(log.find(expected), std::string::npos) << expected;
    }
}

}  // namespace
}  // namespace corvane
