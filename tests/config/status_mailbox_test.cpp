#include "config/status_mailbox.h"

#include <gtest/gtest.h>

#include <thread>

namespace corvane {
namespace {

TEST(StatusMailbox, LaterPostReplacesEarlierAndTakeClears) {
    StatusMailbox mailbox;
    EXPECT_FALSE(mailbox.Take());
    mailbox.PostError("first");
    mailbox.Post(kStatusError, "second", true);
    auto message = mailbox.Take();
    ASSERT_TRUE(message);
    EXPECT_EQ(message->code, kStatusError);
    EXPECT_EQ(message->text, "second");
    EXPECT_TRUE(message->quiet);
    EXPECT_FALSE(mailbox.Take());
    EXPECT_EQ(mailbox.Last().text, "second");
}

TEST(StatusMailbox, TextIsKeptTo255Bytes) {
    StatusMailbox mailbox;
    mailbox.PostError(std::string(1000, 'e'));
    EXPECT_EQ(mailbox.Take()->text.size(), 255u);
}

TEST(StatusMailbox, PosterAndPollerOnDifferentThreadsSeeWholeMessages) {
    StatusMailbox mailbox;
    std::thread poster([&] {
        for (int i = 0; i < 2000; ++i) {
            mailbox.Post(kStatusConnecting, std::string(static_cast<size_t>(i % 200), 'a' + i % 26));
        }
    });
    for (int i = 0; i < 2000; ++i) {
        if (auto m = mailbox.Take()) {
            ASSERT_EQ(m->code, kStatusConnecting);
            if (!m->text.empty()) {
                EXPECT_EQ(m->text.find_first_not_of(m->text[0]), std::string::npos);
            }
        }
    }
    poster.join();
}

}  // namespace
}  // namespace corvane
