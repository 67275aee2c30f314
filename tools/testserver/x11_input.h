// The client's keys and pointer played into a real X11 display through XTEST. Opening loads
// the server's keymap (server_keymap.h) into the display, so a key record's key code is the
// same key there; a key press brings the display's Shift, Control, Alt, Caps Lock and Num
// Lock in line with the record's flags first. Caps Lock and Num Lock keys set the locks to
// what their press's flags say rather than being played as keys.
//
// One thread uses an X11Input (the session's reader); it has its own X connection.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "tools/testserver/server_keymap.h"

struct xcb_connection_t;

namespace corvane::testserver {

// Bits of a key record's modifier and lock flags.
inline constexpr uint32_t kFlagShift = 1;
inline constexpr uint32_t kFlagCapsLock = 2;
inline constexpr uint32_t kFlagControl = 4;
inline constexpr uint32_t kFlagAlt = 8;
inline constexpr uint32_t kFlagNumLock = 16;

class X11Input {
  public:
    // Connects to `display` (empty: $DISPLAY) and loads the keymap. Null with the reason
    // in `error` when the display cannot be reached or has no XTEST.
    [[nodiscard]] static std::unique_ptr<X11Input> Open(const std::string& display, KeyCodes codes,
                                                        std::string& error);
    ~X11Input();
    X11Input(const X11Input&) = delete;
    X11Input& operator=(const X11Input&) = delete;

    // A key record: false (and nothing injected) for a key code the keymap does not have.
    [[nodiscard]] bool Key(uint32_t code, uint32_t flags, bool press);
    // A pointer record: button 0 moves; 1 to 5 press (action 1) or release (action 2) at the
    // place given. False for a button or action out of range.
    [[nodiscard]] bool Pointer(int32_t x, int32_t y, uint32_t button, uint16_t action);

    // Releases every key and button this input holds down on the display.
    void ReleaseAll();

  private:
    X11Input() = default;
    bool LoadKeymap(std::string& error);
    bool LoadModifiers();
    void Fake(uint8_t type, uint8_t detail, int16_t x = 0, int16_t y = 0);
    void MatchModifiers(uint32_t flags);
    void MatchLocks(uint32_t flags);

    xcb_connection_t* m_connection = nullptr;
    KeyCodes m_codes = KeyCodes::KeysymTable;
    uint32_t m_root = 0;
    int m_width = 0;
    int m_height = 0;
    std::set<uint8_t> m_mapped;      // key codes the keymap holds
    std::set<uint8_t> m_keysDown;    // pressed through this input and not yet released
    std::set<uint8_t> m_buttonsDown;
};

}  // namespace corvane::testserver
