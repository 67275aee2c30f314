// The physical keys of a PC 105-key keyboard (and the extra keys many keyboards have), as
// the system's keyboard reports them and as the key translation needs them: the evdev key
// code, the PC scan code (set 1) with its extended flag, and the virtual key the US layout
// gives the key. The translation starts from these, never from the keysym that the local
// layout makes of a key, so a remote session sees the same key whatever the local layout is.
//
// Keypad keys carry two virtual keys: with Num Lock on (digits, decimal point) and off
// (navigation). Keys the translation drops (Windows, Menu, browser and media keys) are rows
// too, so that they are recognised and dropped on purpose. Constant data: any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace corvane {

struct PcKey {
    uint16_t evdev;           // the kernel's key code (an X11 key code is this + 8)
    uint8_t scanCode;         // set-1 make code, without the E0 prefix
    bool extended;            // the E0 prefix: right-hand and navigation-block keys
    uint8_t virtualKey;       // US layout; with Num Lock on for the keypad
    uint8_t numLockOffKey;    // the keypad's virtual key with Num Lock off; 0 elsewhere
    std::string_view name;    // for the log
};

// Every row, in evdev order.
[[nodiscard]] std::span<const PcKey> PcKeys();

// The row of an evdev key code; nothing for a key the table does not know.
[[nodiscard]] const PcKey* PcKeyFromEvdev(uint16_t evdev);

// The row of a scan code with its extended flag; nothing for an unknown pair.
[[nodiscard]] const PcKey* PcKeyFromScanCode(uint8_t scanCode, bool extended);

// X11 servers that use the evdev driver number their key codes evdev + 8.
inline constexpr uint16_t kX11EvdevOffset = 8;

}  // namespace corvane
