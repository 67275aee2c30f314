// Session recordings: what was written reads back whole, and a file that is not a whole
// recording is refused rather than replayed as a shorter session.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fstream>

#include "support/temp_dir.h"
#include "tools/testserver/recording.h"

namespace corvane::testserver {
namespace {

using corvane::test::ReadWholeFile;
using corvane::test::TempDir;

const std::vector<uint8_t> kBytes = {0xFE, 0xED, 0xBE, 0xEF, 0, 0, 0, 12, 0, 1, 0, 0, 0x42};

// Writes kBytes in two appends with three updates counted; closes the file when asked.
void WriteRecording(const std::string& path, bool close) {
    RecordingWriter writer;
    ASSERT_TRUE(writer.Open(path, {1280, 720, 8, 3}, "code"));
    writer.Append(kBytes.data(), 5);
    writer.Append(kBytes.data() + 5, kBytes.size() - 5);
    for (int i = 0; i < 3; ++i) writer.CountUpdate();
    if (close) {
        EXPECT_TRUE(writer.Close());
    }
}

TEST(RecordingTest, ReadsBackWhatWasWritten) {
    TempDir dir;
    WriteRecording(dir.file("r.rec"), true);
    Recording r;
    std::string error;
    ASSERT_TRUE(ReadRecording(dir.file("r.rec"), r, error)) << error;
    EXPECT_EQ(r.geometry, (SessionGeometry{1280, 720, 8, 3}));
    EXPECT_EQ(r.serverCodeCheck, ServerCodeCheck("code"));
    EXPECT_NE(r.serverCodeCheck, ServerCodeCheck(""));
    EXPECT_EQ(r.updates, 3u);
    EXPECT_EQ(r.bytes, kBytes);
}

TEST(RecordingTest, RefusesWhatIsNoWholeRecording) {
    struct Case {
        const char* name;
        std::function<void(const std::string&)> make;
    };
    const Case cases[] = {
        {"missing", [](const std::string&) {}},
        {"never closed", [](const std::string& path) { WriteRecording(path, false); }},
        {"cut short", [](const std::string& path) {
             WriteRecording(path, true);
             std::filesystem::resize_file(path, std::filesystem::file_size(path) - 1);
         }},
        {"longer than recorded", [](const std::string& path) {
             WriteRecording(path, true);
             std::ofstream(path, std::ios::binary | std::ios::app) << 'x';
         }},
        {"header only", [](const std::string& path) {
             WriteRecording(path, true);
             std::filesystem::resize_file(path, kRecordingHeaderSize - 1);
         }},
        {"another format", [](const std::string& path) {
             WriteRecording(path, true);
             std::string bytes = ReadWholeFile(path);
             bytes[0] = 'X';
             std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
         }},
        {"another version", [](const std::string& path) {
             WriteRecording(path, true);
             std::string bytes = ReadWholeFile(path);
             bytes[8] = 2;
             std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
         }},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string path = dir.file("r.rec");
        c.make(path);
        Recording r;
        std::string error;
        EXPECT_FALSE(ReadRecording(path, r, error)) << c.name;
        EXPECT_NE(error, "") << c.name;
    }
}

}  // namespace
}  // namespace corvane::testserver
