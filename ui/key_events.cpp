#include "ui/key_events.h"

#include <QGuiApplication>
#include <QKeyEvent>

#include "config/log.h"
#include "input/keysym_keys.h"
#include "platform/x11_keycodes.h"

namespace corvane {

namespace {

// The X11 event state bits of the two locks.
constexpr quint32 kX11LockMask = 0x02;
constexpr quint32 kX11NumLockMask = 0x10;

// A lock's state as the session expects it: switched by the lock key's press. X switches a
// lock on at the press but off only at the release, so the release that ends a lock reports
// it still on; the release of the lock key itself is told from its press instead.
class LockState {
public:
    explicit LockState(uint8_t virtualKey) : m_virtualKey(virtualKey) {}
    bool Before(uint8_t virtualKey, bool press, bool reported) {
        if (virtualKey != m_virtualKey) return reported;
        if (press) {
            m_afterPress = !reported;
            return reported;
        }
        return m_afterPress;
    }

private:
    uint8_t m_virtualKey;
    bool m_afterPress = false;
};

}  // namespace

bool KeyCodesAreEvdev() {
    static const bool evdev = [] {
        if (QGuiApplication::platformName() != "xcb") {
            DebugPrint(0, "Keyboard: the window system is %s, not X11; keys are read as evdev codes + 8\n",
                       qPrintable(QGuiApplication::platformName()));
            return true;
        }
        const platform::X11KeyCodes codes = platform::DetectX11KeyCodes();
        if (!codes.connected) {
            DebugPrint(0, "Keyboard: the X server could not be asked for its key codes; taking them as evdev\n");
            return true;
        }
        DebugPrint(1, "Keyboard: the X server's key codes are \"%s\"%s\n", codes.name.c_str(),
                   codes.evdev ? " (evdev + 8)"
                               : "; not the evdev set: each key is taken as the US key that gives its keysym");
        return codes.evdev;
    }();
    return evdev;
}

std::optional<KeyInput> KeyInputFromEvent(const QKeyEvent& event) {
    const quint32 keyCode = event.nativeScanCode();
    const PcKey* key = nullptr;
    if (KeyCodesAreEvdev()) {
        if (keyCode >= kX11EvdevOffset && keyCode - kX11EvdevOffset <= 0xFFFF) {
            key = PcKeyFromEvdev(static_cast<uint16_t>(keyCode - kX11EvdevOffset));
        }
    } else {
        key = PcKeyFromKeysym(event.nativeVirtualKey());
    }
    if (key == nullptr) {
        DebugPrint(51, "Keyboard: key code %u (keysym 0x%x) is not a key of the table\n", keyCode,
                   event.nativeVirtualKey());
        return std::nullopt;
    }
    const bool press = event.type() == QEvent::KeyPress;
    const quint32 state = event.nativeModifiers();
    static LockState capsLock(kVkCapsLock);
    static LockState numLock(kVkNumLock);
    KeyInput input = KeyInputFor(*key, press, numLock.Before(key->virtualKey, press, (state & kX11NumLockMask) != 0));
    input.capsLock = capsLock.Before(key->virtualKey, press, (state & kX11LockMask) != 0);
    // The event's modifiers are those held before it: a modifier key counts as held from its
    // own press on and no longer from its release.
    const Qt::KeyboardModifiers mods = event.modifiers();
    const uint8_t modifier = GenericModifier(key->virtualKey);
    input.shift = modifier == kVkShift ? press : (mods & Qt::ShiftModifier) != 0;
    input.control = modifier == kVkControl ? press : (mods & Qt::ControlModifier) != 0;
    input.alt = modifier == kVkAlt ? press : (mods & Qt::AltModifier) != 0;
    return input;
}

}  // namespace corvane
