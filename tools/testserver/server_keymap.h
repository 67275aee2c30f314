// The server's keyboard as an X11 keymap: for every key code the client can send, the keysyms
// that key gives (unshifted first), and which key codes are the modifiers. The client sends
// one of two sets of key codes: in its built-in translation those of its keysym table, with a
// built-in key map (the site file's KeyMapNumber, 2 unless it says otherwise) the standard PC
// X11 codes of that map. Both keymaps are derived from the client's own tables, so that a
// key record's key code means the same key here as it did when the client chose it.
// Pure functions: any thread.
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

enum class KeyCodes {
    KeysymTable,  // the codes of the built-in translation's keysym table
    BuiltinMap,   // the codes of the client's built-in key maps 2 and 1 (they differ in Esc only)
};

// Every key code of that set, in increasing order.
[[nodiscard]] std::vector<ServerKey> ServerKeymap(KeyCodes codes = KeyCodes::KeysymTable);

// The X11 modifier map: the key codes of Shift, Lock, Control, Mod1 (Alt), Mod2 (Num Lock),
// in that order, each list padded with 0 to the same length.
struct ServerModifiers {
    int keysPerModifier = 0;
    std::vector<uint8_t> codes;  // 8 * keysPerModifier entries, X11's order of the modifiers
};
[[nodiscard]] ServerModifiers ServerModifierMap(KeyCodes codes = KeyCodes::KeysymTable);

}  // namespace corvane::testserver
