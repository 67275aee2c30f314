#include "input/pc_keyboard.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

namespace corvane {
namespace {

// Every row is found again from its evdev code and from its scan code with the extended
// flag: neither lookup may confuse two keys.
TEST(PcKeyboard, EveryRowRoundTripsThroughBothLookups) {
    for (const PcKey& key : PcKeys()) {
        SCOPED_TRACE(std::string(key.name));
        EXPECT_EQ(PcKeyFromEvdev(key.evdev), &key);
        EXPECT_EQ(PcKeyFromScanCode(key.scanCode, key.extended), &key);
        EXPECT_NE(key.virtualKey, 0);
    }
}

// The 105 keys of a PC keyboard: the main block, the function row, the navigation block,
// the keypad and the Windows and Menu keys.
TEST(PcKeyboard, TheWholePcKeyboardIsThere) {
    std::set<uint16_t> expected;
    for (uint16_t code = 1; code <= 83; ++code) expected.insert(code);
    for (uint16_t code : {86, 87, 88, 96, 97, 98, 99, 100, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 119,
                          125, 126, 127}) {
        expected.insert(code);
    }
    ASSERT_EQ(expected.size(), 105u);
    for (uint16_t code : expected) EXPECT_NE(PcKeyFromEvdev(code), nullptr) << "evdev " << code;
    for (uint16_t code : {0, 84, 85, 101, 240, 0xFFFF}) EXPECT_EQ(PcKeyFromEvdev(code), nullptr) << code;
}

// The keys whose codes are easy to get wrong.
TEST(PcKeyboard, KeysThatShareCodesAreToldApart) {
    struct Case {
        uint16_t evdev;
        uint8_t scanCode;
        bool extended;
        uint8_t virtualKey;
        uint8_t numLockOffKey;
    };
    const Case cases[] = {
        {28, 0x1C, false, 0x0D, 0},     // Return
        {96, 0x1C, true, 0x0D, 0},      // keypad Enter
        {69, 0x45, true, 0x90, 0},      // Num Lock
        {119, 0x45, false, 0x13, 0},    // Pause
        {29, 0x1D, false, 0xA2, 0},     // left Control
        {97, 0x1D, true, 0xA3, 0},      // right Control
        {56, 0x38, false, 0xA4, 0},     // left Alt
        {100, 0x38, true, 0xA5, 0},     // right Alt (AltGr on other layouts)
        {55, 0x37, false, 0x6A, 0},     // keypad *
        {99, 0x37, true, 0x2C, 0},      // Print
        {53, 0x35, false, 0xBF, 0},     // slash
        {98, 0x35, true, 0x6F, 0},      // keypad /
        {71, 0x47, false, 0x67, 0x24},  // keypad 7 / Home
        {102, 0x47, true, 0x24, 0},     // Home
        {83, 0x53, false, 0x6E, 0x2E},  // keypad . / Delete
        {76, 0x4C, false, 0x65, 0x0C},  // keypad 5 / Clear
        {86, 0x56, false, 0xE2, 0},     // the extra key of international keyboards
        {125, 0x5B, true, 0x5B, 0},     // left Windows
        {127, 0x5D, true, 0x5D, 0},     // Menu
    };
    for (const Case& c : cases) {
        const PcKey* key = PcKeyFromEvdev(c.evdev);
        ASSERT_NE(key, nullptr) << c.evdev;
        SCOPED_TRACE(std::string(key->name));
        EXPECT_EQ(key->scanCode, c.scanCode);
        EXPECT_EQ(key->extended, c.extended);
        EXPECT_EQ(key->virtualKey, c.virtualKey);
        EXPECT_EQ(key->numLockOffKey, c.numLockOffKey);
    }
}

}  // namespace
}  // namespace corvane
