#include "protocol/records.h"

#include <gtest/gtest.h>

#include <array>
#include <numeric>
#include <vector>

namespace corvane {
namespace {

std::vector<uint8_t> Counting(size_t n) {
    std::vector<uint8_t> bytes(n);
    std::iota(bytes.begin(), bytes.end(), uint8_t{1});
    return bytes;
}

TEST(Records, InitFrameHeaderOnTheWire) {
    uint8_t header[kFrameHeaderSize];
    MakeFrameHeader(header, kFrameHeaderSize + kRecordHeaderSize + kInitRecordSize, kEnvelopePlain, 1);
    FrameHeaderToWire(header);
    const uint8_t expected[] = {0xFE, 0xED, 0xBE, 0xEF, 0x00, 0x00, 0x01, 0xD4, 0x00, 0x00, 0x00, 0x01};
    EXPECT_EQ(0, std::memcmp(header, expected, sizeof expected));
    FrameHeaderToHost(header);
    EXPECT_EQ(LoadField<uint32_t>(header, FrameHeaderLayout::kSize), 468u);
    EXPECT_EQ(LoadField<uint16_t>(header, FrameHeaderLayout::kExtra), 1u);
}

TEST(Records, RecordHeaderFieldsOnTheWire) {
    uint8_t header[kRecordHeaderSize];
    MakeRecordHeader(header, ZRPPROTOCOL_MH_MESSIMFB);
    StoreField<uint32_t>(header, RecordHeaderLayout::kSize, 0x01020304);
    StoreField<uint16_t>(header, RecordHeaderLayout::kFormatTag, 257);
    StoreField<uint32_t>(header, RecordHeaderLayout::kCompform, 9);
    StoreField<uint32_t>(header, RecordHeaderLayout::kDepth, 24);
    StoreField<uint32_t>(header, RecordHeaderLayout::kStatus, 0xA0B0C0D0);
    RecordHeaderToWire(header);
    const uint8_t expected[32] = {0x03, 0xEF, 0, 0, 1, 2, 3, 4, 0x01, 0x01, 0, 0, 0, 0, 0, 9,
                                  0,    0,    0, 24, 0, 0, 0, 0, 0, 0, 0, 0, 0xA0, 0xB0, 0xC0, 0xD0};
    EXPECT_EQ(0, std::memcmp(header, expected, sizeof expected));
}

// Which bytes each record conversion swaps, written down from the layouts: a u16 field at
// offset o turns bytes (o, o+1) around, a u32 field (o..o+3).
struct SwapCase {
    int32_t type;
    size_t size;
    std::vector<std::pair<size_t, size_t>> fields;  // offset, width
};

TEST(Records, EachTypeSwapsExactlyItsFields) {
    const SwapCase cases[] = {
        {1001, 424, {{0, 4}, {4, 2}, {6, 2}, {8, 2}, {10, 2}, {12, 2}, {14, 2}, {16, 4}, {20, 4}, {24, 4}}},
        {1002, 6, {{2, 2}, {4, 2}}},
        {1003, 12, {{0, 4}, {4, 4}, {8, 4}}},
        {1004, 8, {{0, 4}, {4, 4}}},
        {1005, 24, {{0, 4}, {4, 4}, {8, 4}, {12, 4}, {16, 4}, {20, 4}}},
        {1006, 16, {{0, 4}, {4, 4}, {8, 4}, {12, 4}}},
        {1007, 28, {{0, 4}, {4, 4}}},
        {1008, 8, {{0, 4}, {4, 4}}},
        {1009, 24, {{0, 4}, {4, 4}, {8, 4}, {12, 4}, {16, 4}, {20, 4}}},
        {1010, 24, {{0, 4}, {4, 4}, {8, 4}, {12, 4}, {16, 4}, {20, 4}}},
        {1011, 32, {{0, 4}, {4, 4}, {8, 4}, {12, 4}, {16, 4}, {20, 4}, {24, 2}, {26, 2}}},
        {1012, 32, {{0, 4}, {4, 4}, {8, 4}, {12, 4}, {16, 4}, {20, 4}, {24, 2}, {26, 2}}},
        {1014, 32, {{0, 4}, {4, 4}, {8, 4}, {16, 4}}},
        {1015, 16, {{0, 4}, {4, 4}, {8, 4}, {12, 4}}},
        {1016, 32, {}},
        {1017, 80, {{0, 4}, {4, 4}, {8, 4}, {12, 4}, {16, 4}, {20, 4}, {24, 4}, {28, 4}}},
        {2001, 40, {{0, 4}, {4, 4}, {8, 4}, {12, 4}, {16, 4}}},
        {4242, 32, {}},
    };
    for (const SwapCase& c : cases) {
        std::vector<uint8_t> original = Counting(c.size);
        std::vector<uint8_t> expected = original;
        for (auto [offset, width] : c.fields) {
            std::reverse(expected.begin() + offset, expected.begin() + offset + width);
        }
        std::vector<uint8_t> record = original;
        RecordToWire(record.data(), c.type, record.size());
        EXPECT_EQ(record, expected) << c.type;
        RecordToHost(record.data(), c.type, record.size());
        EXPECT_EQ(record, original) << c.type;
    }
}

TEST(Records, ConversionStopsAtTheBytesAvailable) {
    // A pointer-event record cut after 26 bytes: the u16 at 26 lies outside and is untouched.
    std::vector<uint8_t> buffer = Counting(40);
    std::vector<uint8_t> before = buffer;
    RecordToHost(buffer.data(), ZRPPROTOCOL_MH_MESSMSEE, 26);
    EXPECT_EQ(buffer[26], before[26]);
    EXPECT_EQ(buffer[27], before[27]);
    EXPECT_EQ(buffer[24], before[25]) << "the u16 at 24 fits and is swapped";
    // Nothing at all beyond a zero-length record.
    buffer = before;
    RecordToHost(buffer.data(), ZRPPROTOCOL_MH_MESSINIT, 0);
    EXPECT_EQ(buffer, before);
}

TEST(Records, InitRecordTextsAreCarriedAsTheyAre) {
    std::vector<uint8_t> record(kInitRecordSize, 0);
    std::memcpy(&record[InitRecordLayout::kAddOptions], "-nolisten tcp", 14);
    std::memcpy(&record[InitRecordLayout::kBanner], "GL+  ", 6);
    std::vector<uint8_t> before = record;
    RecordToWire(record.data(), ZRPPROTOCOL_MH_MESSINIT, record.size());
    EXPECT_TRUE(std::equal(record.begin() + 28, record.end(), before.begin() + 28));
}

}  // namespace
}  // namespace corvane
