#include "input/pc_keyboard.h"

#include <algorithm>
#include <array>

namespace corvane {

namespace {

// Virtual keys of the US layout.
enum : uint8_t {
    VK_BACK = 0x08, VK_TAB = 0x09, VK_CLEAR = 0x0C, VK_RETURN = 0x0D, VK_PAUSE = 0x13, VK_CAPITAL = 0x14,
    VK_ESCAPE = 0x1B, VK_SPACE = 0x20, VK_PRIOR = 0x21, VK_NEXT = 0x22, VK_END = 0x23, VK_HOME = 0x24,
    VK_LEFT = 0x25, VK_UP = 0x26, VK_RIGHT = 0x27, VK_DOWN = 0x28, VK_SNAPSHOT = 0x2C, VK_INSERT = 0x2D,
    VK_DELETE = 0x2E, VK_LWIN = 0x5B, VK_RWIN = 0x5C, VK_APPS = 0x5D, VK_SLEEP = 0x5F, VK_NUMPAD0 = 0x60,
    VK_MULTIPLY = 0x6A, VK_ADD = 0x6B, VK_SUBTRACT = 0x6D, VK_DECIMAL = 0x6E, VK_DIVIDE = 0x6F, VK_F1 = 0x70,
    VK_F13 = 0x7C, VK_NUMLOCK = 0x90, VK_SCROLL = 0x91, VK_LSHIFT = 0xA0, VK_RSHIFT = 0xA1, VK_LCONTROL = 0xA2,
    VK_RCONTROL = 0xA3, VK_LMENU = 0xA4, VK_RMENU = 0xA5, VK_BROWSER_BACK = 0xA6, VK_BROWSER_FORWARD = 0xA7,
    VK_BROWSER_REFRESH = 0xA8, VK_BROWSER_STOP = 0xA9, VK_BROWSER_SEARCH = 0xAA, VK_BROWSER_FAVORITES = 0xAB,
    VK_BROWSER_HOME = 0xAC, VK_VOLUME_MUTE = 0xAD, VK_VOLUME_DOWN = 0xAE, VK_VOLUME_UP = 0xAF,
    VK_MEDIA_NEXT_TRACK = 0xB0, VK_MEDIA_PREV_TRACK = 0xB1, VK_MEDIA_STOP = 0xB2, VK_MEDIA_PLAY_PAUSE = 0xB3,
    VK_LAUNCH_MAIL = 0xB4, VK_LAUNCH_APP2 = 0xB7, VK_OEM_1 = 0xBA, VK_OEM_PLUS = 0xBB, VK_OEM_COMMA = 0xBC,
    VK_OEM_MINUS = 0xBD, VK_OEM_PERIOD = 0xBE, VK_OEM_2 = 0xBF, VK_OEM_3 = 0xC0, VK_OEM_4 = 0xDB,
    VK_OEM_5 = 0xDC, VK_OEM_6 = 0xDD, VK_OEM_7 = 0xDE, VK_OEM_102 = 0xE2,
};

constexpr PcKey Key(uint16_t evdev, uint8_t scan, uint8_t vk, std::string_view name) {
    return {evdev, scan, false, vk, 0, name};
}
constexpr PcKey Extended(uint16_t evdev, uint8_t scan, uint8_t vk, std::string_view name) {
    return {evdev, scan, true, vk, 0, name};
}
constexpr PcKey Keypad(uint16_t evdev, uint8_t scan, uint8_t numLockOn, uint8_t numLockOff, std::string_view name) {
    return {evdev, scan, false, numLockOn, numLockOff, name};
}

constexpr std::array kKeys = {
    Key(1, 0x01, VK_ESCAPE, "Escape"),
    Key(2, 0x02, '1', "1"), Key(3, 0x03, '2', "2"), Key(4, 0x04, '3', "3"), Key(5, 0x05, '4', "4"),
    Key(6, 0x06, '5', "5"), Key(7, 0x07, '6', "6"), Key(8, 0x08, '7', "7"), Key(9, 0x09, '8', "8"),
    Key(10, 0x0A, '9', "9"), Key(11, 0x0B, '0', "0"),
    Key(12, 0x0C, VK_OEM_MINUS, "Minus"), Key(13, 0x0D, VK_OEM_PLUS, "Equal"),
    Key(14, 0x0E, VK_BACK, "Backspace"), Key(15, 0x0F, VK_TAB, "Tab"),
    Key(16, 0x10, 'Q', "Q"), Key(17, 0x11, 'W', "W"), Key(18, 0x12, 'E', "E"), Key(19, 0x13, 'R', "R"),
    Key(20, 0x14, 'T', "T"), Key(21, 0x15, 'Y', "Y"), Key(22, 0x16, 'U', "U"), Key(23, 0x17, 'I', "I"),
    Key(24, 0x18, 'O', "O"), Key(25, 0x19, 'P', "P"),
    Key(26, 0x1A, VK_OEM_4, "LeftBracket"), Key(27, 0x1B, VK_OEM_6, "RightBracket"),
    Key(28, 0x1C, VK_RETURN, "Return"), Key(29, 0x1D, VK_LCONTROL, "LeftControl"),
    Key(30, 0x1E, 'A', "A"), Key(31, 0x1F, 'S', "S"), Key(32, 0x20, 'D', "D"), Key(33, 0x21, 'F', "F"),
    Key(34, 0x22, 'G', "G"), Key(35, 0x23, 'H', "H"), Key(36, 0x24, 'J', "J"), Key(37, 0x25, 'K', "K"),
    Key(38, 0x26, 'L', "L"),
    Key(39, 0x27, VK_OEM_1, "Semicolon"), Key(40, 0x28, VK_OEM_7, "Apostrophe"), Key(41, 0x29, VK_OEM_3, "Grave"),
    Key(42, 0x2A, VK_LSHIFT, "LeftShift"), Key(43, 0x2B, VK_OEM_5, "Backslash"),
    Key(44, 0x2C, 'Z', "Z"), Key(45, 0x2D, 'X', "X"), Key(46, 0x2E, 'C', "C"), Key(47, 0x2F, 'V', "V"),
    Key(48, 0x30, 'B', "B"), Key(49, 0x31, 'N', "N"), Key(50, 0x32, 'M', "M"),
    Key(51, 0x33, VK_OEM_COMMA, "Comma"), Key(52, 0x34, VK_OEM_PERIOD, "Period"), Key(53, 0x35, VK_OEM_2, "Slash"),
    Key(54, 0x36, VK_RSHIFT, "RightShift"), Key(55, 0x37, VK_MULTIPLY, "KeypadMultiply"),
    Key(56, 0x38, VK_LMENU, "LeftAlt"), Key(57, 0x39, VK_SPACE, "Space"), Key(58, 0x3A, VK_CAPITAL, "CapsLock"),
    Key(59, 0x3B, VK_F1 + 0, "F1"), Key(60, 0x3C, VK_F1 + 1, "F2"), Key(61, 0x3D, VK_F1 + 2, "F3"),
    Key(62, 0x3E, VK_F1 + 3, "F4"), Key(63, 0x3F, VK_F1 + 4, "F5"), Key(64, 0x40, VK_F1 + 5, "F6"),
    Key(65, 0x41, VK_F1 + 6, "F7"), Key(66, 0x42, VK_F1 + 7, "F8"), Key(67, 0x43, VK_F1 + 8, "F9"),
    Key(68, 0x44, VK_F1 + 9, "F10"),
    // Num Lock shares its make code with Pause; the extended flag tells them apart, as the
    // system's own key messages do.
    Extended(69, 0x45, VK_NUMLOCK, "NumLock"), Key(70, 0x46, VK_SCROLL, "ScrollLock"),
    Keypad(71, 0x47, VK_NUMPAD0 + 7, VK_HOME, "Keypad7"), Keypad(72, 0x48, VK_NUMPAD0 + 8, VK_UP, "Keypad8"),
    Keypad(73, 0x49, VK_NUMPAD0 + 9, VK_PRIOR, "Keypad9"), Key(74, 0x4A, VK_SUBTRACT, "KeypadMinus"),
    Keypad(75, 0x4B, VK_NUMPAD0 + 4, VK_LEFT, "Keypad4"), Keypad(76, 0x4C, VK_NUMPAD0 + 5, VK_CLEAR, "Keypad5"),
    Keypad(77, 0x4D, VK_NUMPAD0 + 6, VK_RIGHT, "Keypad6"), Key(78, 0x4E, VK_ADD, "KeypadPlus"),
    Keypad(79, 0x4F, VK_NUMPAD0 + 1, VK_END, "Keypad1"), Keypad(80, 0x50, VK_NUMPAD0 + 2, VK_DOWN, "Keypad2"),
    Keypad(81, 0x51, VK_NUMPAD0 + 3, VK_NEXT, "Keypad3"), Keypad(82, 0x52, VK_NUMPAD0 + 0, VK_INSERT, "Keypad0"),
    Keypad(83, 0x53, VK_DECIMAL, VK_DELETE, "KeypadDecimal"),
    Key(86, 0x56, VK_OEM_102, "Less"),  // the extra key left of Z on international keyboards
    Key(87, 0x57, VK_F1 + 10, "F11"), Key(88, 0x58, VK_F1 + 11, "F12"),
    Extended(96, 0x1C, VK_RETURN, "KeypadEnter"), Extended(97, 0x1D, VK_RCONTROL, "RightControl"),
    Extended(98, 0x35, VK_DIVIDE, "KeypadDivide"), Extended(99, 0x37, VK_SNAPSHOT, "Print"),
    Extended(100, 0x38, VK_RMENU, "RightAlt"),
    Extended(102, 0x47, VK_HOME, "Home"), Extended(103, 0x48, VK_UP, "Up"), Extended(104, 0x49, VK_PRIOR, "PageUp"),
    Extended(105, 0x4B, VK_LEFT, "Left"), Extended(106, 0x4D, VK_RIGHT, "Right"), Extended(107, 0x4F, VK_END, "End"),
    Extended(108, 0x50, VK_DOWN, "Down"), Extended(109, 0x51, VK_NEXT, "PageDown"),
    Extended(110, 0x52, VK_INSERT, "Insert"), Extended(111, 0x53, VK_DELETE, "Delete"),
    Extended(113, 0x20, VK_VOLUME_MUTE, "Mute"), Extended(114, 0x2E, VK_VOLUME_DOWN, "VolumeDown"),
    Extended(115, 0x30, VK_VOLUME_UP, "VolumeUp"),
    Key(119, 0x45, VK_PAUSE, "Pause"),
    Extended(125, 0x5B, VK_LWIN, "LeftWindows"), Extended(126, 0x5C, VK_RWIN, "RightWindows"),
    Extended(127, 0x5D, VK_APPS, "Menu"), Extended(128, 0x68, VK_BROWSER_STOP, "BrowserStop"),
    Extended(140, 0x21, VK_LAUNCH_APP2, "Calculator"), Extended(142, 0x5F, VK_SLEEP, "Sleep"),
    Extended(155, 0x6C, VK_LAUNCH_MAIL, "Mail"), Extended(156, 0x66, VK_BROWSER_FAVORITES, "Favorites"),
    Extended(158, 0x6A, VK_BROWSER_BACK, "BrowserBack"), Extended(159, 0x69, VK_BROWSER_FORWARD, "BrowserForward"),
    Extended(163, 0x19, VK_MEDIA_NEXT_TRACK, "NextTrack"), Extended(164, 0x22, VK_MEDIA_PLAY_PAUSE, "PlayPause"),
    Extended(165, 0x10, VK_MEDIA_PREV_TRACK, "PreviousTrack"), Extended(166, 0x24, VK_MEDIA_STOP, "MediaStop"),
    Extended(172, 0x32, VK_BROWSER_HOME, "BrowserHome"), Extended(173, 0x67, VK_BROWSER_REFRESH, "BrowserRefresh"),
    Key(183, 0x64, VK_F13 + 0, "F13"), Key(184, 0x65, VK_F13 + 1, "F14"), Key(185, 0x66, VK_F13 + 2, "F15"),
    Key(186, 0x67, VK_F13 + 3, "F16"), Key(187, 0x68, VK_F13 + 4, "F17"), Key(188, 0x69, VK_F13 + 5, "F18"),
    Key(189, 0x6A, VK_F13 + 6, "F19"), Key(190, 0x6B, VK_F13 + 7, "F20"), Key(191, 0x6C, VK_F13 + 8, "F21"),
    Key(192, 0x6D, VK_F13 + 9, "F22"), Key(193, 0x6E, VK_F13 + 10, "F23"), Key(194, 0x76, VK_F13 + 11, "F24"),
    Extended(217, 0x65, VK_BROWSER_SEARCH, "BrowserSearch"),
};

static_assert(std::is_sorted(kKeys.begin(), kKeys.end(), [](const PcKey& a, const PcKey& b) { return a.evdev < b.evdev; }),
              "rows are kept in evdev order for the lookup");

}  // namespace

std::span<const PcKey> PcKeys() { return kKeys; }

const PcKey* PcKeyFromEvdev(uint16_t evdev) {
    const auto* it = std::lower_bound(kKeys.begin(), kKeys.end(), evdev,
                                      [](const PcKey& key, uint16_t code) { return key.evdev < code; });
    return it != kKeys.end() && it->evdev == evdev ? &*it : nullptr;
}

const PcKey* PcKeyFromScanCode(uint8_t scanCode, bool extended) {
    for (const PcKey& key : kKeys) {
        if (key.scanCode == scanCode && key.extended == extended) return &key;
    }
    return nullptr;
}

}  // namespace corvane
