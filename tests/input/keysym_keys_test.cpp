#include "input/keysym_keys.h"

#include <gtest/gtest.h>

#include <string_view>

namespace corvane {
namespace {

// Letters and digits land on the key whose US virtual key they are, in both cases; every
// printable ASCII character has a key on a US keyboard.
TEST(KeysymKeys, EveryPrintableCharacterHasItsUsKey) {
    for (uint32_t keysym = 0x20; keysym <= 0x7E; ++keysym) {
        const PcKey* key = PcKeyFromKeysym(keysym);
        ASSERT_NE(key, nullptr) << "keysym " << keysym;
        if (keysym >= 'a' && keysym <= 'z') {
            EXPECT_EQ(key->virtualKey, keysym - 'a' + 'A') << key->name;
        }
        if ((keysym >= 'A' && keysym <= 'Z') || (keysym >= '0' && keysym <= '9')) {
            EXPECT_EQ(key->virtualKey, keysym) << key->name;
        }
    }
}

// The keys a keysym names only through the US layout's shift level, the keypad's two
// meanings, the right-hand modifiers and the keysyms no key of the table gives.
TEST(KeysymKeys, ShiftedSymbolsKeypadAndModifiers) {
    struct Case {
        uint32_t keysym;
        std::string_view key;  // empty: no key
    };
    const Case cases[] = {
        {0x21, "1"},            {0x40, "2"},           {0x5E, "6"},           {0x29, "0"},
        {0x5F, "Minus"},        {0x2B, "Equal"},       {0x7B, "LeftBracket"}, {0x7D, "RightBracket"},
        {0x3A, "Semicolon"},    {0x22, "Apostrophe"},  {0x7E, "Grave"},       {0x7C, "Backslash"},
        {0x3C, "Comma"},        {0x3E, "Period"},      {0x3F, "Slash"},       {0xFE20, "Tab"},
        {0xFF9C, "Keypad1"},    {0xFFB1, "Keypad1"},   {0xFF9F, "KeypadDecimal"}, {0xFFAE, "KeypadDecimal"},
        {0xFF8D, "KeypadEnter"}, {0xFF0D, "Return"},   {0xFF57, "End"},       {0xFFAF, "KeypadDivide"},
        {0xFFE2, "RightShift"}, {0xFFE4, "RightControl"}, {0xFFEA, "RightAlt"}, {0xFE03, "RightAlt"},
        {0xFFE9, "LeftAlt"},    {0xFF7F, "NumLock"},   {0xFF13, "Pause"},     {0xFFC9, "F12"},
        {0xFFD5, "F24"},        {0xFFFF, "Delete"},    {0xFF67, "Menu"},
        {0x00E9, ""},           {0x1000041, ""},       {0xFFFE, ""},          {0, ""},
    };
    for (const Case& c : cases) {
        const PcKey* key = PcKeyFromKeysym(c.keysym);
        if (c.key.empty()) {
            EXPECT_EQ(key, nullptr) << "keysym " << std::hex << c.keysym;
        } else {
            ASSERT_NE(key, nullptr) << "keysym " << std::hex << c.keysym;
            EXPECT_EQ(key->name, c.key) << "keysym " << std::hex << c.keysym;
        }
    }
}

}  // namespace
}  // namespace corvane
