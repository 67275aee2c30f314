#include "tools/testserver/server_keymap.h"

#include <algorithm>
#include <map>
#include <string_view>

#include "input/builtin_key_maps.h"
#include "input/key_tables.h"
#include "input/pc_keyboard.h"

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

std::vector<ServerKey> KeysymTableKeymap() {
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

// A built-in map's key gives what the same key of the US keyboard gives in the keysym table:
// its scan code names the key, the key its virtual key, that the keysym, and the keysym the
// table's key with all its levels. Map 2 first, then what map 1 adds (its Esc code, which
// map 2 leaves unused), so that a client with either map is understood.
std::vector<ServerKey> BuiltinMapKeymap() {
    std::map<uint8_t, std::vector<uint32_t>> table;
    for (ServerKey& key : KeysymTableKeymap()) table[key.code] = std::move(key.keysyms);
    std::map<uint8_t, std::vector<uint32_t>> byCode;
    for (const int number : {2, 1}) {
        for (const BuiltinKeyRow& row : BuiltinKeyMap(number)) {
            if (row.scanCode == kBuiltinKeyMapEnd) break;
            if (row.keyCode <= 0 || row.keyCode > 255 || row.scanCode <= 0 || row.scanCode > 255) continue;
            const PcKey* key = PcKeyFromScanCode(static_cast<uint8_t>(row.scanCode), row.extended != 0);
            if (key == nullptr) continue;
            const std::optional<uint32_t> keysym = KeysymForVirtualKey(key->virtualKey);
            if (!keysym) continue;
            const auto found = table.find(static_cast<uint8_t>(ServerKeyCodeForKeysym(*keysym)));
            if (found == table.end()) continue;
            // Two keys that share a code (the map gives <> and Menu both 94): the first row's.
            byCode.try_emplace(static_cast<uint8_t>(row.keyCode), found->second);
        }
    }
    std::vector<ServerKey> keys;
    for (auto& [code, keysyms] : byCode) keys.push_back({code, std::move(keysyms)});
    return keys;
}

}  // namespace

std::vector<ServerKey> ServerKeymap(KeyCodes codes) {
    return codes == KeyCodes::BuiltinMap ? BuiltinMapKeymap() : KeysymTableKeymap();
}

ServerModifiers ServerModifierMap(KeyCodes codes) {
    // Each modifier's keys: the codes whose first keysym is one of its keysyms.
    const std::vector<std::vector<uint32_t>> keysyms = {
        {kShiftL, kShiftR}, {kCapsLock}, {kControlL, kControlR}, {kAltL, kAltR}, {kNumLock}, {}, {}, {},
    };
    std::vector<std::vector<uint8_t>> modifiers(keysyms.size());
    for (const ServerKey& key : ServerKeymap(codes)) {
        for (size_t m = 0; m < keysyms.size(); ++m) {
            for (uint32_t k : keysyms[m]) {
                if (!key.keysyms.empty() && key.keysyms.front() == k) modifiers[m].push_back(key.code);
            }
        }
    }
    ServerModifiers map;
    for (const auto& keys : modifiers) map.keysPerModifier = std::max(map.keysPerModifier, static_cast<int>(keys.size()));
    for (const auto& keys : modifiers) {
        for (int i = 0; i < map.keysPerModifier; ++i) map.codes.push_back(i < static_cast<int>(keys.size()) ? keys[i] : 0);
    }
    return map;
}

}  // namespace corvane::testserver
