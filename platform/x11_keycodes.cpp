#include "platform/x11_keycodes.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace corvane::platform {

namespace {

// The Home key: 110 in the evdev set (evdev 102), 97 in the older set.
constexpr unsigned kEvdevHomeKeyCode = 110;

}  // namespace

X11KeyCodes DetectX11KeyCodes() {
    X11KeyCodes result;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return result;
    result.connected = true;
    if (XkbDescPtr keyboard = XkbGetMap(display, 0, XkbUseCoreKbd)) {
        if (XkbGetNames(display, XkbKeycodesNameMask, keyboard) == Success && keyboard->names != nullptr &&
            keyboard->names->keycodes != None) {
            if (char* name = XGetAtomName(display, keyboard->names->keycodes)) {
                result.name = name;
                XFree(name);
            }
        }
        XkbFreeKeyboard(keyboard, 0, True);
    }
    if (!result.name.empty()) {
        result.evdev = result.name.rfind("evdev", 0) == 0;
    } else {
        // No name to go by: where the Home key sits tells the sets apart.
        result.evdev = XKeysymToKeycode(display, XK_Home) == kEvdevHomeKeyCode;
    }
    XCloseDisplay(display);
    return result;
}

}  // namespace corvane::platform
