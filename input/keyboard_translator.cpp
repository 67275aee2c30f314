#include "input/keyboard_translator.h"

#include "config/log.h"
#include "input/key_tables.h"

namespace corvane {

namespace {

bool IsModifier(uint8_t virtualKey) {
    return virtualKey == kVkShift || virtualKey == kVkControl || virtualKey == kVkAlt;
}

constexpr uint8_t kRightShiftScanCode = 0x36;

}  // namespace

uint8_t GenericModifier(uint8_t virtualKey) {
    switch (virtualKey) {
        case 0xA0:
        case 0xA1: return kVkShift;
        case 0xA2:
        case 0xA3: return kVkControl;
        case 0xA4:
        case 0xA5: return kVkAlt;
        default: return virtualKey;
    }
}

KeyInput KeyInputFor(const PcKey& key, bool press, bool numLock) {
    KeyInput input;
    const uint8_t layoutKey = key.numLockOffKey != 0 && !numLock ? key.numLockOffKey : key.virtualKey;
    input.virtualKey = GenericModifier(layoutKey);
    input.scanCode = key.scanCode;
    input.extended = key.extended;
    input.press = press;
    input.numLock = numLock;
    return input;
}

std::optional<KeyOutput> KeyboardTranslator::Translate(const KeyInput& input, const KeyMap& keyMap) {
    // A held modifier repeats its press; the server needs it once.
    const bool repeat = input.press && m_previousPress && IsModifier(input.virtualKey) &&
                        input.virtualKey == m_previousKey;
    m_previousKey = input.virtualKey;
    m_previousPress = input.press;
    if (repeat) return std::nullopt;

    uint8_t key = input.virtualKey;
    uint32_t keyCode = 0;
    if (keyMap.UseKeyMap()) {
        const std::optional<int32_t> mapped = keyMap.Lookup(input.scanCode, input.extended ? 1 : 0);
        if (!mapped) return std::nullopt;
        keyCode = static_cast<uint32_t>(*mapped);
        DebugPrint(1, "Got X11 key code %d for scan code %d %d\n", *mapped, input.scanCode, input.extended ? 1 : 0);
    } else {
        // The table tells the right-hand modifiers apart; the system's messages do not.
        if (key == kVkAlt && input.extended) key = kVkRightAlt;
        if (key == kVkShift && (input.extended || input.scanCode == kRightShiftScanCode)) key = kVkRightShift;
        if (key == kVkControl && input.extended) key = kVkRightControl;
        const std::optional<uint32_t> keysym = KeysymForVirtualKey(key);
        if (!keysym) return std::nullopt;
        keyCode = ServerKeyCodeForKeysym(*keysym);
    }
    if (keyCode == 0) return std::nullopt;

    KeyOutput output;
    output.keyCode = keyCode;
    output.kind = input.press ? kKeyPress : kKeyRelease;
    output.virtualKey = key;
    if (input.shift) output.flags |= kKeyFlagShift;
    if (input.control) output.flags |= kKeyFlagControl;
    if (input.alt) output.flags |= kKeyFlagAlt;
    // The lock flags say what the lock will be once this key has acted.
    if (key == kVkCapsLock && input.press) {
        if (!input.capsLock) output.flags |= kKeyFlagCapsLock;
        if (input.numLock) output.flags |= kKeyFlagNumLock;
    } else {
        if (input.capsLock) output.flags |= kKeyFlagCapsLock;
        const bool numLockAfter = key == kVkNumLock && input.press ? !input.numLock : input.numLock;
        if (numLockAfter) output.flags |= kKeyFlagNumLock;
    }
    return output;
}

std::array<uint8_t, kKeyRecordSize> KeyRecord(const KeyOutput& output) {
    std::array<uint8_t, kKeyRecordSize> record{};
    StoreField<uint32_t>(record.data(), InputRecordLayout::kModifiers, output.flags);
    StoreField<uint32_t>(record.data(), InputRecordLayout::kKeyCode, output.keyCode);
    StoreField<uint16_t>(record.data(), InputRecordLayout::kKind, static_cast<uint16_t>(output.kind));
    return record;
}

}  // namespace corvane
