// The server's keyboard as an X11 keymap: for every key code the client's keysym table can
// send, the keysyms that key gives (unshifted first), and which key codes are the modifiers.
// Derived from that one table, so that a key record's key code means the same key here as
// it did when the client chose it. Pure functions: any thread.
#pragma once

#include <cstdint>
#include <vector>

namespace corvane::testserver {

struct ServerKey {
    uint8_t code = 0;
    // Level 1 first. Letters: lower case, then upper case. Keypad keys: the navigation
    // keysym, then the digit (Num Lock picks the second level).
    std::vector<uint32_t> keysyms;
};

// Every key code the table maps a keysym to, in increasing order.
[[nodiscard]] std::vector<ServerKey> ServerKeymap();

// The X11 modifier map: the key codes of Shift, Lock, Control, Mod1 (Alt), Mod2 (Num Lock),
// in that order, each list padded with 0 to the same length.
struct ServerModifiers {
    int keysPerModifier = 0;
    std::vector<uint8_t> codes;  // 8 * keysPerModifier entries, X11's order of the modifiers
};
[[nodiscard]] ServerModifiers ServerModifierMap();

}  // namespace corvane::testserver
