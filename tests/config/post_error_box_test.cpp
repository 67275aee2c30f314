#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "config/error_box.h"
#include "config/log.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

// A posted box is recorded like a shown one but goes to the post handler alone, which the
// caller does not wait on; without a post handler only the record is written.
TEST(PostErrorBox, RecordsAndHandsOnWithoutTheModalHandler) {
    test::TempDir dir;
    ResetLogForTesting();
    OpenLog(dir.file("log.txt"));
    SetErrorBoxHandler([](const std::string& caption, const std::string&) {
        ADD_FAILURE() << "the modal handler was called for " << caption;
    });
    PostErrorBox("Error", "before any post handler");
    std::vector<std::pair<std::string, std::string>> posted;
    SetPostErrorBoxHandler([&posted](const std::string& caption, const std::string& text) {
        posted.emplace_back(caption, text);
    });
    PostErrorBox("Error", "JPEG SOS not found");
    SetPostErrorBoxHandler(nullptr);
    SetErrorBoxHandler(nullptr);

    EXPECT_EQ(posted, (std::vector<std::pair<std::string, std::string>>{{"Error", "JPEG SOS not found"}}));
    const std::string log = test::ReadWholeFile(dir.file("log.txt"));
    EXPECT_NE(log.find(": ERROR: Error: before any post handler\n"), std::string::npos) << log;
    EXPECT_NE(log.find(": ERROR: Error: JPEG SOS not found\n"), std::string::npos) << log;
    ResetLogForTesting();
}

// A box shown from a thread that must not wait for a person (the receive and decoder threads)
// is posted; only a thread marked as one that may wait gets the box it waits on.
TEST(PostErrorBox, ShownBoxWaitsOnlyOnThreadsThatMayWait) {
    ResetLogForTesting();
    std::vector<std::string> modal;
    std::vector<std::string> posted;
    SetErrorBoxHandler([&modal](const std::string&, const std::string& text) { modal.push_back(text); });
    SetPostErrorBoxHandler([&posted](const std::string&, const std::string& text) { posted.push_back(text); });
    std::thread receive([] { ShowErrorBox("Caption", "from the receive thread"); });
    receive.join();
    SetThreadMayWaitForPerson(true);
    ShowErrorBox("Caption", "from the session thread");
    SetThreadMayWaitForPerson(false);
    ShowErrorBox("Caption", "after the mark was taken away");
    SetPostErrorBoxHandler(nullptr);
    SetErrorBoxHandler(nullptr);

    EXPECT_EQ(modal, std::vector<std::string>{"from the session thread"});
    EXPECT_EQ(posted, (std::vector<std::string>{"from the receive thread", "after the mark was taken away"}));
}

}  // namespace
}  // namespace corvane
