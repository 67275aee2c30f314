// The built-in translation's two fixed tables: virtual key to X11 keysym (searched from the
// first row; the first match wins) and keysym to the server's key code (0: the server's
// keyboard has no key for it, and nothing is sent). Constant data: any thread.
#pragma once

#include <cstdint>
#include <optional>

namespace corvane {

// The keysym of a virtual key; nothing when the table has no row for it (the Windows and
// Menu keys, browser, media and input-method keys).
[[nodiscard]] std::optional<uint32_t> KeysymForVirtualKey(uint8_t virtualKey);

// The server's key code of a keysym; 0 when the server's keyboard has none.
[[nodiscard]] uint32_t ServerKeyCodeForKeysym(uint32_t keysym);

// How many rows the virtual-key table has (121).
[[nodiscard]] int VirtualKeyTableRows();

}  // namespace corvane
