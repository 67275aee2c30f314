#include "app/headless_report.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

// The closing line is one line, whatever shape the session's own messages have.
TEST(PlainStatusText, MakesOneLineOfAStatusMessage) {
    const struct {
        const char* posted;
        const char* plain;
    } cases[] = {
        {"Error:  Unable to communicate with\r\n           Corvane server.", "Unable to communicate with Corvane server"},
        {"Error: Invalid zRP Server or wrong version", "Invalid zRP Server or wrong version"},
        {"Error:  Requested session is unavailable.\r\nPlease try again.", "Requested session is unavailable. Please try again"},
        {"Error:  Exceeded Login retries!", "Exceeded Login retries!"},
        {"  \r\n", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(PlainStatusText(c.posted), c.plain) << c.posted;
}

}  // namespace
}  // namespace corvane
