// The keyboard translation: a key event of the US layout (virtual key, scan code, extended
// flag, press or release, the modifiers held and the lock states) becomes the server's key
// code and the record's modifier and lock flags, in built-in mode (virtual key to keysym to
// key code) or key-map mode (scan code and extended flag straight to a key code).
//
// One translator per session, used by the thread that handles the focused window's keys;
// not synchronised. The hot-key filter sits between Translate and the record: it may clear
// the key code, and a key code of 0 is never sent.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "input/key_map.h"
#include "input/pc_keyboard.h"
#include "protocol/records.h"

namespace corvane {

// Virtual keys the translation itself tests.
inline constexpr uint8_t kVkShift = 0x10;
inline constexpr uint8_t kVkControl = 0x11;
inline constexpr uint8_t kVkAlt = 0x12;
inline constexpr uint8_t kVkCapsLock = 0x14;
inline constexpr uint8_t kVkNumLock = 0x90;
inline constexpr uint8_t kVkRightShift = 0xA1;
inline constexpr uint8_t kVkRightControl = 0xA3;
inline constexpr uint8_t kVkRightAlt = 0xA5;

// The record's modifier and lock flags.
enum KeyFlags : uint32_t {
    kKeyFlagShift = 1,
    kKeyFlagCapsLock = 2,
    kKeyFlagControl = 4,
    kKeyFlagAlt = 8,
    kKeyFlagNumLock = 16,
};

enum KeyKind : uint16_t { kKeyPress = 1, kKeyRelease = 2 };

// The generic modifier key (Shift, Control, Alt) the system's key messages carry for a left-
// or right-hand one; any other key as it is.
[[nodiscard]] uint8_t GenericModifier(uint8_t virtualKey);

// A key event as the window hands it on. Modifiers: held at the time of the event (the key
// itself included as the system reports it); locks: their state before this key.
struct KeyInput {
    uint8_t virtualKey = 0;  // as the system's key messages carry it: 0x10/0x11/0x12 for modifiers
    uint8_t scanCode = 0;
    bool extended = false;
    bool press = true;
    bool shift = false;
    bool control = false;
    bool alt = false;
    bool capsLock = false;
    bool numLock = false;
};

struct KeyOutput {
    uint32_t keyCode = 0;     // never 0
    uint32_t flags = 0;       // KeyFlags
    KeyKind kind = kKeyPress;
    uint8_t virtualKey = 0;   // after the right-hand modifiers were told apart
};

class KeyboardTranslator {
public:
    // Nothing when the event is dropped: the auto-repeat of a held modifier, a key neither
    // table knows, or a key the server's keyboard has no code for.
    [[nodiscard]] std::optional<KeyOutput> Translate(const KeyInput& input, const KeyMap& keyMap);

private:
    uint8_t m_previousKey = 0;
    bool m_previousPress = false;
};

// The key a window hands on for a physical key: the system's key-message virtual key (the
// generic modifier keys; the keypad by Num Lock), its scan code and extended flag.
[[nodiscard]] KeyInput KeyInputFor(const PcKey& key, bool press, bool numLock);

// The 32-byte key event record in host order (the sender converts and enciphers it).
[[nodiscard]] std::array<uint8_t, kKeyRecordSize> KeyRecord(const KeyOutput& output);

}  // namespace corvane
