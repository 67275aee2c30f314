#include "tools/testserver/server_keymap.h"

#include <algorithm>
#include <map>
#include <string_view>

#include "input/key_tables.h"

namespace corvane::testserver {

namespace {

// The keysym ranges the table can hold: Latin-1 printing characters and the keyboard set.
constexpr uint32_t kFirstLatin = 0x20;
constexpr uint32_t kLastLatin = 0x7E;
constexpr uint32_t kFirstKeyboard = 0xFF00;
constexpr uint32_t kLastKeyboard = 0xFFFF;
constexpr uint32_t kFirstKeypad = 0xFF80;
constexpr uint32_t kLastKeypad = 0xFFBD;

constexpr uint32_t kShiftL = 0xFFE1, kShiftR = 0xFFE2, kControlL = 0xFFE3, kControlR = 0xFFE4;
constexpr uint32_t kCapsLock = 0xFFE5, kAltL = 0xFFE9, kAltR = 0xFFEA, kNumLock = 0xFF7F;

bool IsLetter(uint32_t k) { return (k >= 'A' && k <= 'Z') || (k >= 'a' && k <= 'z'); }
bool IsKeypad(uint32_t k) { return k >= kFirstKeypad && k <= kLastKeypad; }
bool IsKeypadDigit(uint32_t k) { return k >= 0xFFAE && k <= 0xFFB9; }

// What the keys of the main block give with Shift on a US keyboard. The client's virtual-key
// table cannot tell: it names its '=' key by the '+' it gives with Shift.
bool IsShiftedSymbol(uint32_t k) {
    constexpr std::string_view kShifted = "~!@#$%^&*()_+{}|:\"<>?";
    return k < 0x80 && kShifted.find(static_cast<char>(k)) != std::string_view::npos;
}

// Level order of two keysyms on one key.
std::vector<uint32_t> Levels(std::vector<uint32_t> keysyms) {
    if (keysyms.size() != 2) return keysyms;
    uint32_t first = keysyms[0];
    uint32_t second = keysyms[1];
    if (IsLetter(first) && IsLetter(second)) {
        if (first < second) std::swap(first, second);  // lower case (the larger code) first
    } else if (IsKeypad(first) && IsKeypad(second)) {
        if (IsKeypadDigit(first)) std::swap(first, second);
    } else if (IsShiftedSymbol(first)) {
        std::swap(first, second);
    }
    return {first, second};
}

uint8_t CodeOf(uint32_t keysym) { return static_cast<uint8_t>(ServerKeyCodeForKeysym(keysym)); }

}  // namespace

std::vector<ServerKey> ServerKeymap() {
    std::map<uint8_t, std::vector<uint32_t>> byCode;
    auto add = [&byCode](uint32_t keysym) {
        const uint32_t code = ServerKeyCodeForKeysym(keysym);
        if (code != 0 && code < 256) byCode[static_cast<uint8_t>(code)].push_back(keysym);
    };
    for (uint32_t k = kFirstLatin; k <= kLastLatin; ++k) add(k);
    for (uint32_t k = kFirstKeyboard; k <= kLastKeyboard; ++k) add(k);

    std::vector<ServerKey> keys;
    for (auto& [code, keysyms] : byCode) keys.push_back({code, Levels(std::move(keysyms))});
    return keys;
}

ServerModifiers ServerModifierMap() {
    const std::vector<std::vector<uint8_t>> modifiers = {
        {CodeOf(kShiftL), CodeOf(kShiftR)},      // Shift
        {CodeOf(kCapsLock)},                     // Lock
        {CodeOf(kControlL), CodeOf(kControlR)},  // Control
        {CodeOf(kAltL), CodeOf(kAltR)},          // Mod1
        {CodeOf(kNumLock)},                      // Mod2
        {}, {}, {},                              // Mod3 to Mod5
    };
    ServerModifiers map;
    for (const auto& keys : modifiers) map.keysPerModifier = std::max(map.keysPerModifier, static_cast<int>(keys.size()));
    for (const auto& keys : modifiers) {
        for (int i = 0; i < map.keysPerModifier; ++i) map.codes.push_back(i < static_cast<int>(keys.size()) ? keys[i] : 0);
    }
    return map;
}

}  // namespace corvane::testserver
