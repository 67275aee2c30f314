#include "display/colour_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "config/error_box.h"
#include "config/log.h"
#include "image_update_builder.h"
#include "recording_events.h"

namespace corvane {
namespace {

using test::ExactBytes;
using test::PutHost32;

// A converted colour-table record whose entry k is (k + 1, k + 2, k + 3) scaled by `seed`.
std::vector<uint8_t> TableRecord(uint32_t count, uint32_t first, uint32_t entrySize = 3,
                                 size_t entriesPresent = SIZE_MAX, uint8_t seed = 1) {
    std::vector<uint8_t> record;
    PutHost32(record, count);
    PutHost32(record, first);
    PutHost32(record, entrySize);
    const size_t present = std::min<size_t>(entriesPresent, count);
    for (size_t k = 0; k < present; ++k) {
        for (uint8_t c = 1; c <= entrySize; ++c) record.push_back(static_cast<uint8_t>((k + c) * seed));
    }
    return record;
}

class ColourTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetLogForTesting();
        // The receive thread never waits for a person: its boxes are posted.
        SetPostErrorBoxHandler([this](const std::string& caption, const std::string& text) {
            m_boxes.emplace_back(caption, text);
        });
        if (!m_fb.Valid()) {
            ASSERT_TRUE(m_fb.CreateWorkBitmap(4, 4, 8, true));
            m_events.Watch(m_fb);
        }
        m_fb.ColourEntries().fill(0x00ABCDEF);
        m_fb.LookupWords().fill(0xABCDEF00);
    }
    void TearDown() override { SetPostErrorBoxHandler(nullptr); }

    int Update(const std::vector<uint8_t>& record) {
        ExactBytes exact(record);
        return UpdateColourTable(m_fb, m_events.baseTitle, exact.data.get(), exact.size);
    }
    // Indexes whose entry or lookup word differs from the fill of SetUp.
    std::vector<int> Changed() {
        std::vector<int> changed;
        for (int i = 0; i < 256; ++i) {
            if (m_fb.ColourEntries()[i] != 0x00ABCDEF || m_fb.LookupWords()[i] != 0xABCDEF00) changed.push_back(i);
        }
        return changed;
    }
    static std::vector<int> Range(int from, int to) {
        std::vector<int> r;
        for (int i = from; i < to; ++i) r.push_back(i);
        return r;
    }

    FrameBuffer m_fb;
    test::RecordingEvents m_events;
    std::vector<std::pair<std::string, std::string>> m_boxes;
};

TEST_F(ColourTableTest, EntriesAndLookupWordsOfTheRunOnly) {
    EXPECT_EQ(Update(TableRecord(16, 240)), 16);
    EXPECT_EQ(Changed(), Range(240, 256));
    // Entry 0 of the run is red 1, green 2, blue 3.
    EXPECT_EQ(m_fb.ColourEntries()[240], 0x00010203u);
    EXPECT_EQ(m_fb.LookupWords()[240], 0x01020300u);
    EXPECT_EQ(m_fb.ColourEntries()[255], 0x00101112u);
    EXPECT_EQ(m_fb.LookupWords()[255], 0x10111200u);
    EXPECT_EQ(m_events.repaintAll, 1);
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(ColourTableTest, RunsBeyondTheTableOrTheMessageAreCut) {
    struct Case {
        const char* name;
        std::vector<uint8_t> record;
        int written;
        std::vector<int> changed;
    };
    const Case cases[] = {
        {"first + count beyond 256", TableRecord(10, 250), 6, Range(250, 256)},
        {"first beyond the table", TableRecord(4, 256), 0, {}},
        {"first read as negative", TableRecord(4, 0xFFFFFFFF), 0, {}},
        {"count larger than the entries sent", TableRecord(5, 3, 3, 2), 2, Range(3, 5)},
        {"count read as negative", TableRecord(0xFFFFFFFF, 0, 3, 3), 3, Range(0, 3)},
        {"count 0", TableRecord(0, 9), 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        const int repaints = m_events.repaintAll;
        EXPECT_EQ(Update(c.record), c.written);
        EXPECT_EQ(Changed(), c.changed);
        EXPECT_EQ(m_events.repaintAll, repaints + 1);
    }
}

TEST_F(ColourTableTest, UnknownEntrySizeChangesNothingAndSaysSo) {
    m_events.baseTitle = "Corvane - host:1";
    EXPECT_EQ(Update(TableRecord(2, 0, 4)), 0);
    EXPECT_TRUE(Changed().empty());
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].first, "Corvane - host:1");
    EXPECT_EQ(m_boxes[0].second, "Unknown table entry size!!!");
    EXPECT_EQ(m_events.repaintAll, 1);
}

TEST_F(ColourTableTest, MultimodeBufferIsRecolouredThroughTheIndexByte) {
    struct Case {
        int depth;
        std::array<uint8_t, 4> directAfter;   // was blue 10, green 20, red 30, index 0
        std::array<uint8_t, 4> indexedAfter;  // was 1, 2, 3, index 5
    };
    // Entry 5 of TableRecord(6, 0, 3, all, 10) is red 60, green 70, blue 80.
    const Case cases[] = {
        {124, {10, 20, 30, 0}, {80, 70, 60, 5}},
        {24, {10, 20, 30, 0}, {1, 2, 3, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.depth);
        ASSERT_TRUE(m_fb.CreateWorkBitmap(4, 4, c.depth, true));
        m_events.Watch(m_fb);
        uint8_t* direct = m_fb.ScreenRow(0);
        uint8_t* indexed = m_fb.ScreenRow(15) + 12;  // last pixel of the padded rows
        const uint8_t directBefore[4] = {10, 20, 30, 0};
        const uint8_t indexedBefore[4] = {1, 2, 3, 5};
        std::memcpy(direct, directBefore, 4);
        std::memcpy(indexed, indexedBefore, 4);
        EXPECT_EQ(Update(TableRecord(6, 0, 3, SIZE_MAX, 10)), 6);
        EXPECT_EQ((std::array<uint8_t, 4>{direct[0], direct[1], direct[2], direct[3]}), c.directAfter);
        EXPECT_EQ((std::array<uint8_t, 4>{indexed[0], indexed[1], indexed[2], indexed[3]}), c.indexedAfter);
        EXPECT_EQ(m_fb.LookupWords()[5], 0x3C465000u);
    }
}

}  // namespace
}  // namespace corvane
