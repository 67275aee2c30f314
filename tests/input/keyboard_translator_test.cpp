#include "input/keyboard_translator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/log.h"

namespace corvane {
namespace {

constexpr uint32_t kDropped = 0;

// A press of the physical key `evdev`, nothing held.
std::optional<KeyOutput> Press(KeyboardTranslator& translator, const KeyMap& map, uint16_t evdev, bool numLock = true) {
    const PcKey* key = PcKeyFromEvdev(evdev);
    EXPECT_NE(key, nullptr) << evdev;
    if (key == nullptr) return std::nullopt;
    return translator.Translate(KeyInputFor(*key, true, numLock), map);
}

uint32_t CodeOf(const std::optional<KeyOutput>& output) { return output ? output->keyCode : kDropped; }

KeyMap BuiltIn() { return KeyMap(); }
KeyMap Map(int number) {
    KeyMap map;
    EXPECT_TRUE(map.LoadInternalKeyMap(number));
    return map;
}

// Physical keys to the server's key codes, in built-in mode and with the built-in maps.
TEST(KeyboardTranslator, PhysicalKeysReachTheServersKeyCodes) {
    ResetLogForTesting();
    struct Case {
        uint16_t evdev;
        bool numLock;
        uint32_t builtIn;
        uint32_t map2;
        const char* what;
    };
    const Case cases[] = {
        {1, true, 10, 9, "Escape"},
        {2, true, 31, 10, "1"},
        {11, true, 40, 19, "0"},
        {12, true, 41, 20, "minus"},
        {13, true, 42, 21, "equal"},
        {14, true, 43, 22, "backspace"},
        {15, true, 44, 23, "tab"},
        {30, true, 59, 38, "A"},
        {49, true, 78, 57, "N: 78, not 77"},
        {50, true, 77, 58, "M: 77, not 78"},
        {28, true, 70, 36, "Return"},
        {39, true, 68, 47, "semicolon"},
        {40, true, 69, 48, "apostrophe"},
        {41, true, 30, 49, "grave"},
        {43, true, 57, 51, "backslash"},
        {51, true, 79, 59, "comma"},
        {52, true, 80, 60, "period"},
        {53, true, 81, 61, "slash"},
        {57, true, 86, 65, "space"},
        {58, true, 58, 66, "Caps Lock"},
        {29, true, 83, 37, "left Control"},
        {42, true, 71, 50, "left Shift"},
        {54, true, 82, 62, "right Shift (scan 0x36)"},
        {56, true, 85, 64, "left Alt"},
        {59, true, 11, 67, "F1"},
        {88, true, 22, 96, "F12"},
        {71, true, 105, 79, "keypad 7 with Num Lock"},
        {71, false, 92, 79, "keypad 7 without Num Lock: Home of the main cluster"},
        {83, true, 116, 91, "keypad decimal"},
        {83, false, 94, 91, "keypad decimal without Num Lock: Delete"},
        {55, true, 103, 63, "keypad *"},
        {74, true, 104, 82, "keypad -"},
        {78, true, 108, 86, "keypad +"},
        {69, true, 101, 77, "Num Lock"},
        {70, true, 25, kDropped, "Scroll Lock: the built-in maps have no entry for it"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        KeyboardTranslator builtIn;
        EXPECT_EQ(CodeOf(Press(builtIn, BuiltIn(), c.evdev, c.numLock)), c.builtIn);
        KeyboardTranslator mapped;
        EXPECT_EQ(CodeOf(Press(mapped, Map(2), c.evdev, c.numLock)), c.map2);
    }
}

// The right-hand and navigation keys come with the extended flag: built-in mode tells the
// right-hand modifiers apart by it, a key map by its extended entries.
TEST(KeyboardTranslator, ExtendedKeysAreToldApartFromTheirPlainTwins) {
    ResetLogForTesting();
    struct Case {
        uint16_t evdev;
        uint32_t builtIn;
        const char* what;
    };
    const Case cases[] = {
        {97, 90, "right Control"},   {100, 87, "right Alt"},    {96, 70, "keypad Enter: Return"},
        {98, 102, "keypad /"},       {102, 92, "Home"},         {103, 97, "Up"},
        {104, 93, "Page Up"},        {105, 98, "Left"},         {106, 100, "Right"},
        {107, 95, "End"},            {108, 99, "Down"},         {109, 96, "Page Down"},
        {110, 91, "Insert"},         {111, 94, "Delete"},       {99, 23, "Print"},
        {119, 26, "Pause"},
    };
    const KeyMap map2 = Map(2);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        KeyboardTranslator builtIn;
        EXPECT_EQ(CodeOf(Press(builtIn, BuiltIn(), c.evdev)), c.builtIn);
        // The map gives the extended key a code of its own, never its plain twin's.
        const PcKey* key = PcKeyFromEvdev(c.evdev);
        const std::optional<int32_t> own = map2.Lookup(key->scanCode, key->extended ? 1 : 0);
        const std::optional<int32_t> twin = map2.Lookup(key->scanCode, key->extended ? 0 : 1);
        if (own && twin) EXPECT_NE(*own, *twin);
    }
}

TEST(KeyboardTranslator, KeysTheServerCannotTakeAreDroppedAndMap1DiffersOnlyInEscape) {
    ResetLogForTesting();
    // Windows, Menu, the international extra key, F13 and the media keys send nothing in
    // built-in mode.
    for (uint16_t evdev : {125, 126, 127, 86, 183, 194, 113, 164}) {
        KeyboardTranslator translator;
        EXPECT_EQ(CodeOf(Press(translator, BuiltIn(), evdev)), kDropped) << evdev;
    }
    const KeyMap map1 = Map(1);
    const KeyMap map2 = Map(2);
    for (const PcKey& key : PcKeys()) {
        KeyboardTranslator one;
        KeyboardTranslator two;
        const uint32_t a = CodeOf(one.Translate(KeyInputFor(key, true, true), map1));
        const uint32_t b = CodeOf(two.Translate(KeyInputFor(key, true, true), map2));
        if (key.evdev == 1) {
            EXPECT_EQ(a, 119u);
            EXPECT_EQ(b, 9u);
        } else {
            EXPECT_EQ(a, b) << key.name;
        }
    }
    // Every key of the PC keyboard but Windows, Menu and the international extra key reaches
    // the server in built-in mode.
    for (const PcKey& key : PcKeys()) {
        if (key.evdev > 127) continue;
        if (key.evdev == 125 || key.evdev == 126 || key.evdev == 127 || key.evdev == 86) continue;
        if (key.evdev >= 113 && key.evdev <= 115) continue;  // volume keys
        KeyboardTranslator translator;
        EXPECT_NE(CodeOf(translator.Translate(KeyInputFor(key, true, true), KeyMap())), kDropped) << key.name;
    }
}

TEST(KeyboardTranslator, LockFlagsSayWhatTheLockWillBe) {
    ResetLogForTesting();
    struct Case {
        uint16_t evdev;
        bool press;
        bool capsBefore;
        bool numBefore;
        uint32_t flags;
        const char* what;
    };
    const Case cases[] = {
        {58, true, false, false, kKeyFlagCapsLock, "Caps Lock pressed while off: on"},
        {58, true, true, false, 0, "Caps Lock pressed while on: off"},
        {58, false, true, false, kKeyFlagCapsLock, "Caps Lock released: as it is"},
        {58, true, false, true, kKeyFlagCapsLock | kKeyFlagNumLock, "Caps Lock press keeps Num Lock"},
        {69, true, false, false, kKeyFlagNumLock, "Num Lock pressed while off: on"},
        {69, true, false, true, 0, "Num Lock pressed while on: off"},
        {69, false, false, true, kKeyFlagNumLock, "Num Lock released: as it is"},
        {30, true, true, true, kKeyFlagCapsLock | kKeyFlagNumLock, "a letter: both as they are"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        KeyboardTranslator translator;
        KeyInput input = KeyInputFor(*PcKeyFromEvdev(c.evdev), c.press, c.numBefore);
        input.capsLock = c.capsBefore;
        const std::optional<KeyOutput> output = translator.Translate(input, KeyMap());
        ASSERT_TRUE(output);
        EXPECT_EQ(output->flags, c.flags);
        EXPECT_EQ(output->kind, c.press ? kKeyPress : kKeyRelease);
    }
    KeyboardTranslator translator;
    KeyInput input = KeyInputFor(*PcKeyFromEvdev(30), true, false);
    input.shift = input.control = input.alt = true;
    EXPECT_EQ(translator.Translate(input, KeyMap())->flags, kKeyFlagShift | kKeyFlagControl | kKeyFlagAlt);
}

// A held modifier repeats its press; the server gets one press and one release. A held
// letter repeats, and every press goes out.
TEST(KeyboardTranslator, HeldModifiersPressOnceHeldLettersRepeat) {
    ResetLogForTesting();
    for (uint16_t evdev : {42, 54, 29, 97, 56, 100}) {
        KeyboardTranslator translator;
        const PcKey& key = *PcKeyFromEvdev(evdev);
        std::vector<KeyKind> sent;
        for (bool press : {true, true, true, false}) {
            if (auto output = translator.Translate(KeyInputFor(key, press, true), KeyMap())) sent.push_back(output->kind);
        }
        EXPECT_EQ(sent, (std::vector<KeyKind>{kKeyPress, kKeyRelease})) << key.name;
    }
    KeyboardTranslator translator;
    const PcKey& letter = *PcKeyFromEvdev(30);
    int presses = 0;
    for (int i = 0; i < 3; ++i) presses += translator.Translate(KeyInputFor(letter, true, true), KeyMap()) ? 1 : 0;
    EXPECT_EQ(presses, 3);
}

TEST(KeyboardTranslator, RecordCarriesFlagsKeyCodeAndKindAtTheirOffsets) {
    KeyOutput output;
    output.keyCode = 59;
    output.flags = kKeyFlagShift | kKeyFlagNumLock;
    output.kind = kKeyRelease;
    const auto record = KeyRecord(output);
    std::array<uint8_t, kKeyRecordSize> expected{};
    StoreField<uint32_t>(expected.data(), 16, 17);
    StoreField<uint32_t>(expected.data(), 20, 59);
    StoreField<uint16_t>(expected.data(), 24, 2);
    EXPECT_EQ(record, expected);
}

}  // namespace
}  // namespace corvane
