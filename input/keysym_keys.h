// The fallback for X servers whose key codes are not the evdev set: the physical key guessed
// from the keysym the local layout made of it, as the key of a US keyboard that gives that
// keysym. Right for a US layout; with another layout a key lands where its symbol is on a US
// keyboard, which is the best a key code of unknown meaning allows. Constant data: any thread.
#pragma once

#include <cstdint>

#include "input/pc_keyboard.h"

namespace corvane {

// The row of the US key that gives this X keysym (either case of a letter, either symbol of a
// digit or punctuation key, either meaning of a keypad key); nothing for other keysyms.
[[nodiscard]] const PcKey* PcKeyFromKeysym(uint32_t keysym);

}  // namespace corvane
