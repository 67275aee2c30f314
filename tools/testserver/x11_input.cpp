#include "tools/testserver/x11_input.h"

#include <xcb/xcb.h>
// The keyboard extension's header names a field `explicit`, a C++ keyword.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xcb/xtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "tools/testserver/server_keymap.h"
#include "tools/testserver/xcb_support.h"

namespace corvane::testserver {

namespace {

constexpr int kLevels = 2;  // keysyms a key code gets: unshifted and shifted
constexpr uint32_t kFirstButton = 1;
constexpr uint32_t kLastButton = 5;
constexpr uint16_t kMotion = 0;
constexpr uint16_t kPress = 1;
constexpr uint16_t kRelease = 2;
// The modifier map's rows, in X11's order.
constexpr int kShiftRow = 0;
constexpr int kLockRow = 1;
constexpr int kControlRow = 2;
constexpr int kAltRow = 3;
constexpr int kNumLockRow = 4;
constexpr uint16_t kNumLockMask = XCB_MOD_MASK_2;

std::vector<uint8_t> Row(const ServerModifiers& map, int row) {
    std::vector<uint8_t> codes;
    for (int i = 0; i < map.keysPerModifier; ++i) {
        const uint8_t code = map.codes[static_cast<size_t>(row * map.keysPerModifier + i)];
        if (code != 0) codes.push_back(code);
    }
    return codes;
}

}  // namespace

std::unique_ptr<X11Input> X11Input::Open(const std::string& display, KeyCodes codes, std::string& error) {
    std::unique_ptr<X11Input> input(new X11Input());
    input->m_codes = codes;
    const xcb_screen_t* screen = ConnectScreen(display, input->m_connection, error);
    if (screen == nullptr) return nullptr;
    xcb_connection_t* c = input->m_connection;
    input->m_root = screen->root;
    input->m_width = screen->width_in_pixels;
    input->m_height = screen->height_in_pixels;
    const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(c, &xcb_test_id);
    if (xtest == nullptr || !xtest->present) {
        error = "the X display has no XTEST extension";
        return nullptr;
    }
    std::unique_ptr<xcb_xkb_use_extension_reply_t, decltype(&std::free)> xkb(
        xcb_xkb_use_extension_reply(c, xcb_xkb_use_extension(c, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION), nullptr),
        &std::free);
    if (!xkb || !xkb->supported) {
        error = "the X display has no keyboard extension (XKB)";
        return nullptr;
    }
    if (!input->LoadKeymap(error)) return nullptr;
    return input;
}

X11Input::~X11Input() {
    if (m_connection == nullptr) return;
    ReleaseAll();
    xcb_disconnect(m_connection);
}

bool X11Input::LoadKeymap(std::string& error) {
    xcb_connection_t* c = m_connection;
    const xcb_setup_t* setup = xcb_get_setup(c);
    const int first = setup->min_keycode;
    const int count = setup->max_keycode - first + 1;
    // Every key code the display has: ours get their keysyms, the rest none, so that no
    // key of the display's own keymap answers to a code the client never meant.
    std::vector<xcb_keysym_t> keysyms(static_cast<size_t>(count) * kLevels, 0);
    for (const ServerKey& key : ServerKeymap(m_codes)) {
        if (key.code < first || key.code - first >= count) continue;
        for (size_t level = 0; level < key.keysyms.size() && level < kLevels; ++level) {
            keysyms[static_cast<size_t>(key.code - first) * kLevels + level] = key.keysyms[level];
        }
        m_mapped.insert(key.code);
    }
    // The modifier map first: the display's keyboard extension derives what a modifier key
    // does from the modifier map at the time the key's keysyms change.
    if (!LoadModifiers()) {
        error = "the X display refused the modifier map";
        return false;
    }
    xcb_generic_error_t* failed = xcb_request_check(
        c, xcb_change_keyboard_mapping_checked(c, static_cast<uint8_t>(count), static_cast<xcb_keycode_t>(first),
                                               kLevels, keysyms.data()));
    if (failed != nullptr) {
        std::free(failed);
        error = "the X display refused the keymap";
        return false;
    }
    if (!LoadModifiers()) {
        error = "the X display refused the modifier map";
        return false;
    }
    return true;
}

bool X11Input::LoadModifiers() {
    const ServerModifiers modifiers = ServerModifierMap(m_codes);
    std::unique_ptr<xcb_set_modifier_mapping_reply_t, decltype(&std::free)> reply(
        xcb_set_modifier_mapping_reply(m_connection,
                                       xcb_set_modifier_mapping(m_connection,
                                                                static_cast<uint8_t>(modifiers.keysPerModifier),
                                                                modifiers.codes.data()),
                                       nullptr),
        &std::free);
    return reply && reply->status == XCB_MAPPING_STATUS_SUCCESS;
}

void X11Input::Fake(uint8_t type, uint8_t detail, int16_t x, int16_t y) {
    xcb_test_fake_input(m_connection, type, detail, XCB_CURRENT_TIME, m_root, x, y, 0);
}

void X11Input::MatchModifiers(uint32_t flags) {
    const ServerModifiers map = ServerModifierMap(m_codes);
    const std::pair<int, uint32_t> groups[] = {{kShiftRow, kFlagShift}, {kControlRow, kFlagControl}, {kAltRow, kFlagAlt}};
    for (const auto& [row, flag] : groups) {
        const std::vector<uint8_t> codes = Row(map, row);
        if (codes.empty()) continue;
        const bool want = (flags & flag) != 0;
        const bool held = std::any_of(codes.begin(), codes.end(), [this](uint8_t k) { return m_keysDown.contains(k); });
        if (want && !held) {
            Fake(XCB_KEY_PRESS, codes.front());
            m_keysDown.insert(codes.front());
        } else if (!want && held) {
            // A release the client never sent (it lost the keyboard meanwhile, say).
            for (uint8_t k : codes) {
                if (m_keysDown.erase(k) != 0) Fake(XCB_KEY_RELEASE, k);
            }
        }
    }
}

void X11Input::MatchLocks(uint32_t flags) {
    // Set outright rather than by tapping the lock keys: a lock key given its keysym through
    // the core keymap does not reliably toggle under the keyboard extension.
    uint8_t locks = 0;
    if ((flags & kFlagCapsLock) != 0) locks |= XCB_MOD_MASK_LOCK;
    if ((flags & kFlagNumLock) != 0) locks |= kNumLockMask;
    xcb_xkb_latch_lock_state(m_connection, XCB_XKB_ID_USE_CORE_KBD, XCB_MOD_MASK_LOCK | kNumLockMask, locks, 0, 0, 0,
                             0, 0);
}

bool X11Input::Key(uint32_t code, uint32_t flags, bool press) {
    if (code > 255 || !m_mapped.contains(static_cast<uint8_t>(code))) return false;
    const auto key = static_cast<uint8_t>(code);
    const ServerModifiers map = ServerModifierMap(m_codes);
    const std::vector<uint8_t> lockKeys[] = {Row(map, kLockRow), Row(map, kNumLockRow)};
    const bool lockKey = std::any_of(std::begin(lockKeys), std::end(lockKeys), [key](const std::vector<uint8_t>& row) {
        return std::find(row.begin(), row.end(), key) != row.end();
    });
    if (lockKey) {
        // The press's flags are the locks' state after it: that state is the whole effect.
        if (press) MatchLocks(flags);
    } else if (press) {
        const bool modifier = std::find(map.codes.begin(), map.codes.end(), key) != map.codes.end();
        if (!modifier) MatchModifiers(flags);
        MatchLocks(flags);
        Fake(XCB_KEY_PRESS, key);
        m_keysDown.insert(key);
    } else {
        Fake(XCB_KEY_RELEASE, key);
        m_keysDown.erase(key);
    }
    xcb_flush(m_connection);
    return true;
}

bool X11Input::Pointer(int32_t x, int32_t y, uint32_t button, uint16_t action) {
    if (button > kLastButton || action > kRelease || (button == 0) != (action == kMotion)) return false;
    const auto px = static_cast<int16_t>(std::clamp(x, 0, std::max(m_width - 1, 0)));
    const auto py = static_cast<int16_t>(std::clamp(y, 0, std::max(m_height - 1, 0)));
    Fake(XCB_MOTION_NOTIFY, 0, px, py);
    if (button >= kFirstButton) {
        const auto b = static_cast<uint8_t>(button);
        if (action == kPress) {
            Fake(XCB_BUTTON_PRESS, b, px, py);
            m_buttonsDown.insert(b);
        } else {
            Fake(XCB_BUTTON_RELEASE, b, px, py);
            m_buttonsDown.erase(b);
        }
    }
    xcb_flush(m_connection);
    return true;
}

void X11Input::ReleaseAll() {
    for (uint8_t k : m_keysDown) Fake(XCB_KEY_RELEASE, k);
    for (uint8_t b : m_buttonsDown) Fake(XCB_BUTTON_RELEASE, b);
    m_keysDown.clear();
    m_buttonsDown.clear();
    xcb_flush(m_connection);
}

}  // namespace corvane::testserver
