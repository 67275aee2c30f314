// Which key codes the X server gives its keys. With the evdev set (what Linux servers use
// today) a key code is the kernel's evdev code + 8, so the physical key, and with it the PC
// scan code, is known from the key code alone. Any thread; opens a short connection of its
// own to the display the environment names.
#pragma once

#include <string>

namespace corvane::platform {

struct X11KeyCodes {
    bool connected = false;  // the display could be opened
    bool evdev = false;      // key code = evdev + 8
    std::string name;        // the keyboard's key-code set as the server names it
};

[[nodiscard]] X11KeyCodes DetectX11KeyCodes();

}  // namespace corvane::platform
