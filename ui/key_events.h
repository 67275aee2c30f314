// Turns the toolkit's key events into the key translation's input: the physical key from the
// X server's key code (evdev + 8), the modifiers corrected for the key itself, and the lock
// states from the event's own state.
//
// User-interface thread.
#pragma once

#include <optional>

#include "input/keyboard_translator.h"

class QKeyEvent;

namespace corvane {

// What the X server's key codes are, found once and logged. Without the evdev set the physical
// key cannot be told from the key code, and each key is taken as the US key that gives its
// keysym (the log says so).
[[nodiscard]] bool KeyCodesAreEvdev();

// The translation's input for a key event; nothing for a key the table does not know.
[[nodiscard]] std::optional<KeyInput> KeyInputFromEvent(const QKeyEvent& event);

}  // namespace corvane
