#include "tools/testserver/window_follower.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvane::testserver {
namespace {

// One look at the display and the requests it must give, written "code:id" in order.
struct Look {
    std::vector<TopWindow> windows;
    std::vector<std::string> requests;
};

std::vector<std::string> Codes(const std::vector<WindowAnnouncement>& requests) {
    std::vector<std::string> codes;
    for (const WindowAnnouncement& r : requests) codes.push_back(std::to_string(r.code) + ":" + std::to_string(r.id));
    return codes;
}

TEST(WindowFollowerTest, EachChangeOfTheDisplaysWindowsGivesItsRequest) {
    const PixelRect a{10, 20, 300, 200};
    const PixelRect moved{50, 20, 300, 200};
    const PixelRect resized{50, 20, 320, 240};
    const std::vector<Look> looks = {
        // An unmapped window is not announced until it is first mapped.
        {{{0x400001, a, "xterm", true}, {0x400002, a, "helper", false}}, {"7001:1"}},
        {{{0x400001, a, "xterm", true}, {0x400002, a, "helper", false}}, {}},
        {{{0x400001, moved, "xterm", true}, {0x400002, a, "helper", true}}, {"7007:1", "7001:2"}},
        {{{0x400001, resized, "xterm", false}, {0x400002, a, "helper", true}}, {"7011:1", "7007:1"}},
        {{{0x400001, resized, "xterm", true}, {0x400002, a, "helper", true}}, {"7010:1"}},
        // Gone: destroyed, and a window that comes back later is a new one.
        {{{0x400002, a, "helper", true}}, {"7002:1"}},
        {{{0x400002, a, "helper", true}, {0x400001, a, "xterm", true}}, {"7001:3"}},
        {{}, {"7002:2", "7002:3"}},
    };
    WindowFollower follower;
    for (size_t i = 0; i < looks.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Codes(follower.Follow(looks[i].windows)), looks[i].requests);
    }
    EXPECT_FALSE(follower.Announced(0x400001));
}

TEST(WindowFollowerTest, ACreationCarriesThePlaceTitleAndXWindow) {
    WindowFollower follower;
    const std::vector<WindowAnnouncement> first = follower.Follow({{0x600005, {-4, 7, 640, 480}, "top", true}});
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].x, -4);
    EXPECT_EQ(first[0].y, 7);
    EXPECT_EQ(first[0].width, 640);
    EXPECT_EQ(first[0].height, 480);
    EXPECT_EQ(first[0].linkedId, 0x600005u);
    EXPECT_EQ(first[0].title, "top");
    EXPECT_TRUE(follower.Announced(0x600005));
    EXPECT_FALSE(follower.Announced(0x600006));
    // A later move names the same X window and carries no title.
    const std::vector<WindowAnnouncement> later = follower.Follow({{0x600005, {0, 0, 640, 480}, "renamed", true}});
    ASSERT_EQ(later.size(), 1u);
    EXPECT_EQ(later[0].linkedId, 0x600005u);
    EXPECT_EQ(later[0].title, "");
}

}  // namespace
}  // namespace corvane::testserver
