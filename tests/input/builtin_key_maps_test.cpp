#include "input/builtin_key_maps.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace corvane {
namespace {

constexpr size_t kRowCount = 106;

// The rows that do not follow "key code = scan code + 8", in table order.
struct ExceptionRow {
    int32_t scanCode;
    uint8_t extended;
    int32_t keyCode;
    std::string_view label;
    bool operator==(const ExceptionRow&) const = default;
};

const std::vector<ExceptionRow> kMap2Exceptions = {
    {1, 0, 9, "Esc"},         {91, 0, 0, "Windows"},    {56, 1, 113, "Alt_R"},
    {92, 1, 0, "Windows"},    {93, 1, 94, "Appl"},      {29, 1, 109, "Control_R"},
    {0, 0, 92, "SysReq"},     {0, 0, 0, "ScrollLock"},  {0, 1, 110, "Pause"},
    {0, 1, 114, "Break"},     {82, 1, 106, "Insert"},   {71, 1, 97, "Home"},
    {73, 1, 99, "PageUp"},    {83, 1, 107, "Delete"},   {79, 1, 103, "End"},
    {81, 1, 105, "PageDown"}, {72, 1, 98, "Up"},        {75, 1, 100, "Left"},
    {80, 1, 104, "Down"},     {77, 1, 102, "Right"},    {69, 1, 77, "NumLock"},
    {53, 1, 112, "KP_/"},     {28, 1, 108, "KP_Enter"},
};

std::set<int32_t> ScanPlusEightCodes() {
    std::set<int32_t> scans;
    for (int32_t s = 2; s <= 68; ++s) scans.insert(s);
    for (int32_t s = 71; s <= 83; ++s) scans.insert(s);
    scans.insert({86, 87, 88});
    return scans;
}

TEST(BuiltinKeyMap, BothMapsHold106LabelledRowsAndTheEndRow) {
    for (int number : {1, 2}) {
        SCOPED_TRACE(number);
        const auto rows = BuiltinKeyMap(number);
        ASSERT_EQ(rows.size(), kRowCount + 1);
        for (size_t i = 0; i < kRowCount; ++i) {
            EXPECT_NE(rows[i].scanCode, kBuiltinKeyMapEnd) << "row " << i;
            EXPECT_FALSE(rows[i].label.empty()) << "row " << i;
            EXPECT_LE(rows[i].label.size(), 16u) << rows[i].label;
        }
        EXPECT_EQ(rows[kRowCount].scanCode, kBuiltinKeyMapEnd);
    }
    for (int number : {0, 3, -1}) EXPECT_TRUE(BuiltinKeyMap(number).empty()) << number;
}

// Every main-block and keypad key sends scan + 8 exactly once; everything else is one of the
// listed exceptions, in the listed order (the order decides which of two rows is reached).
TEST(BuiltinKeyMap, Map2IsScanPlusEightExceptForTheListedRows) {
    const std::set<int32_t> expectedScans = ScanPlusEightCodes();
    std::multiset<int32_t> plainScans;
    std::vector<ExceptionRow> exceptions;
    for (const BuiltinKeyRow& row : BuiltinKeyMap(2)) {
        if (row.scanCode == kBuiltinKeyMapEnd) break;
        if (row.extended == 0 && expectedScans.count(row.scanCode) != 0) {
            EXPECT_EQ(row.keyCode, row.scanCode + 8) << row.label;
            plainScans.insert(row.scanCode);
        } else {
            exceptions.push_back({row.scanCode, row.extended, row.keyCode, row.label});
        }
    }
    EXPECT_EQ(plainScans, std::multiset<int32_t>(expectedScans.begin(), expectedScans.end()));
    EXPECT_EQ(exceptions, kMap2Exceptions);
}

TEST(BuiltinKeyMap, Map1DiffersFromMap2OnlyInEsc) {
    const auto map1 = BuiltinKeyMap(1);
    const auto map2 = BuiltinKeyMap(2);
    ASSERT_EQ(map1.size(), map2.size());
    for (size_t i = 0; i < map1.size(); ++i) {
        SCOPED_TRACE(map2[i].label);
        EXPECT_EQ(map1[i].scanCode, map2[i].scanCode);
        EXPECT_EQ(map1[i].extended, map2[i].extended);
        EXPECT_EQ(map1[i].label, map2[i].label);
        if (map2[i].label == "Esc") {
            EXPECT_EQ(map1[i].keyCode, 119);
            EXPECT_EQ(map2[i].keyCode, 9);
        } else {
            EXPECT_EQ(map1[i].keyCode, map2[i].keyCode);
        }
    }
}

}  // namespace
}  // namespace corvane
