// The session list as the client reads it: the header, the 384-byte entry layout with
// big-endian words, entries cut or padded to an announced size, and the store that keeps
// disconnected sessions between logins.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "raw_image_decoder.h"
#include "tools/testserver/session_list.h"

namespace corvane::testserver {
namespace {

using test::BE32;

ServerSession Sample() {
    ServerSession s;
    s.id = 12;
    s.pid = 4321;
    s.display = 7;
    s.peerHost = "ws-ann.example";
    s.startTime = 1'700'000'123;
    s.geometry = {1280, 1024, 8, 3};
    return s;
}

TEST(SessionListTest, EntryHasTheClientsLayout) {
    const std::vector<uint8_t> e = SessionEntryBytes(Sample(), kSessionEntrySize);
    ASSERT_EQ(e.size(), 384u);
    struct Word {
        size_t offset;
        uint32_t value;
    };
    for (const Word& w : {Word{0, 12}, Word{12, 4321}, Word{32, 7}, Word{120, 1'700'000'123}, Word{148, 1280},
                          Word{152, 1024}, Word{156, 8}, Word{164, 3}}) {
        EXPECT_EQ(BE32(&e[w.offset]), w.value) << "offset " << w.offset;
    }
    EXPECT_STREQ(reinterpret_cast<const char*>(&e[36]), "ws-ann.example");
    EXPECT_EQ(e[36 + 79], 0);
    for (size_t i = 168; i < e.size(); ++i) ASSERT_EQ(e[i], 0) << "byte " << i;
}

TEST(SessionListTest, EntriesTakeTheAnnouncedSize) {
    const std::vector<uint8_t> full = SessionEntryBytes(Sample(), 384);
    const std::vector<uint8_t> cut = SessionEntryBytes(Sample(), 380);
    const std::vector<uint8_t> padded = SessionEntryBytes(Sample(), 400);
    ASSERT_EQ(cut.size(), 380u);
    ASSERT_EQ(padded.size(), 400u);
    EXPECT_TRUE(std::equal(cut.begin(), cut.end(), full.begin()));
    EXPECT_TRUE(std::equal(full.begin(), full.end(), padded.begin()));
    EXPECT_EQ(std::count(padded.begin() + 384, padded.end(), 0), 16);
}

TEST(SessionListTest, ListIsHeaderThenEntries) {
    const SessionStore store(3, {800, 600, 24, 4});
    const std::vector<uint8_t> list = SessionListBytes(store.Disconnected(), 384);
    ASSERT_EQ(list.size(), 32u + 3 * 384);
    EXPECT_EQ(BE32(&list[0]), 3u);
    EXPECT_EQ(BE32(&list[4]), 384u);
    EXPECT_EQ(std::count(list.begin() + 8, list.begin() + 32, 0), 24);
    for (uint32_t i = 0; i < 3; ++i) {
        const uint8_t* entry = &list[32 + i * 384];
        EXPECT_EQ(BE32(entry), 11 + i);
        EXPECT_EQ(BE32(entry + 148), 800u);
    }
    const std::vector<uint8_t> empty = SessionListBytes({}, 384);
    EXPECT_EQ(empty.size(), 32u);
    EXPECT_EQ(BE32(&empty[0]), 0u);
}

TEST(SessionListTest, StoreKeepsDisconnectedSessionsAcrossLogins) {
    SessionStore store(1, {});
    const ServerSession fresh = store.Create({640, 480, 24, 4});
    EXPECT_EQ(fresh.id, 101);
    EXPECT_EQ(store.Disconnected().size(), 1u);  // created, not yet disconnected

    store.Disconnect(fresh);
    ASSERT_NE(store.Find(101), nullptr);
    EXPECT_EQ(store.Find(101)->geometry.width, 640);

    const std::optional<ServerSession> resumed = store.Resume(11);
    ASSERT_TRUE(resumed.has_value());
    EXPECT_EQ(store.Find(11), nullptr);
    EXPECT_FALSE(store.Resume(11).has_value());
    EXPECT_EQ(store.Create({}).id, 102);

    uint8_t choice[kSessionChoiceSize] = {0, 0, 0, 101};
    EXPECT_EQ(SessionChoice(choice), 101);
}

}  // namespace
}  // namespace corvane::testserver
