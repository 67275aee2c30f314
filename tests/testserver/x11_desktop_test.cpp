// The X11 backend on a real Xvfb: the keymap the server loads gives every key code the
// keysyms of the client's table in the order X11 reads them; the screen reports exactly the
// tiles that changed, with the new pixels, with and without DAMAGE and MIT-SHM; key and
// pointer records move the display's pointer, modifiers and locks as the record says.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "input/builtin_key_maps.h"
#include "input/key_tables.h"
#include "session/child_process.h"
#include "tools/testserver/desktop.h"
#include "tools/testserver/server_keymap.h"
#include "tools/testserver/x11_clipboard.h"
#include "tools/testserver/x11_cursor.h"
#include "tools/testserver/x11_input.h"
#include "tools/testserver/x11_screen.h"
#include "tools/testserver/x11_windows.h"

namespace corvane::testserver {
namespace {

using test::ChildProcess;

// The keysyms of a few keys, level 1 first: letters lower case first, keypad keys the
// navigation keysym first, every other key its unshifted symbol first.
TEST(ServerKeymapTest, KeysGiveTheirSymbolsInLevelOrder) {
    std::map<uint8_t, std::vector<uint32_t>> keys;
    for (const ServerKey& key : ServerKeymap()) keys[key.code] = key.keysyms;
    const std::map<uint8_t, std::vector<uint32_t>> expected = {
        {31, {'1', '!'}},       {40, {'0', ')'}},       {30, {'`', '~'}},       {45, {'q', 'Q'}},
        {77, {'m', 'M'}},       {78, {'n', 'N'}},       {68, {';', ':'}},       {69, {'\'', '"'}},
        {81, {'/', '?'}},       {57, {'\\', '|'}},      {86, {' '}},            {70, {0xFF0D}},
        {105, {0xFF95, 0xFFB7}}, {116, {0xFF9F, 0xFFAE}}, {110, {0xFFB5}},       {71, {0xFFE1}},
        {42, {'=', '+'}},       {41, {'-', '_'}},
    };
    for (const auto& [code, keysyms] : expected) EXPECT_EQ(keys[code], keysyms) << "key code " << int(code);
}

// Every keysym of the keymap is one the client's table sends with that very key code.
TEST(ServerKeymapTest, EveryKeysymMapsBackToItsKeyCode) {
    size_t keysyms = 0;
    for (const ServerKey& key : ServerKeymap()) {
        for (uint32_t k : key.keysyms) {
            EXPECT_EQ(ServerKeyCodeForKeysym(k), key.code) << std::hex << k;
            ++keysyms;
        }
    }
    EXPECT_GT(keysyms, 150u);
}

// The built-in map's codes give the same keys: the main block at scan code + 8, the
// navigation and right-hand keys at the map's own codes, the keypad with both levels.
TEST(ServerKeymapTest, BuiltinMapCodesGiveTheKeysOfTheirScanCodes) {
    std::map<uint8_t, std::vector<uint32_t>> keys;
    for (const ServerKey& key : ServerKeymap(KeyCodes::BuiltinMap)) keys[key.code] = key.keysyms;
    const std::map<uint8_t, std::vector<uint32_t>> expected = {
        {9, {0xFF1B}},   {10, {'1', '!'}},  {38, {'a', 'A'}},  {58, {'m', 'M'}},  {49, {'`', '~'}},
        {36, {0xFF0D}},  {50, {0xFFE1}},    {62, {0xFFE2}},    {66, {0xFFE5}},    {113, {0xFFEA}},
        {109, {0xFFE4}}, {97, {0xFF50}},    {98, {0xFF52}},    {107, {0xFFFF}},   {79, {0xFF95, 0xFFB7}},
        {112, {0xFFAF}}, {95, {0xFFC8}},    {119, {0xFF1B}},   {21, {'=', '+'}},
    };
    for (const auto& [code, keysyms] : expected) EXPECT_EQ(keys[code], keysyms) << "key code " << int(code);
}

// No key of either built-in map goes unanswered: every code they send has keysyms, but for
// 94, shared by the <> key and Menu, for neither of which the client's keysym table has a keysym.
TEST(ServerKeymapTest, EveryCodeOfTheBuiltinMapsIsAKey) {
    std::map<uint8_t, std::vector<uint32_t>> keys;
    for (const ServerKey& key : ServerKeymap(KeyCodes::BuiltinMap)) keys[key.code] = key.keysyms;
    for (const int number : {1, 2}) {
        for (const BuiltinKeyRow& row : BuiltinKeyMap(number)) {
            if (row.scanCode == kBuiltinKeyMapEnd) break;
            if (row.keyCode == 0 || row.scanCode == 0) continue;  // never sent
            if (row.keyCode == 94) {
                EXPECT_TRUE(keys[94].empty()) << row.label;
                continue;
            }
            EXPECT_FALSE(keys[static_cast<uint8_t>(row.keyCode)].empty()) << "map " << number << " " << row.label;
        }
    }
}

TEST(ServerKeymapTest, ModifiersAreTheModifierKeysOfEachSet) {
    struct Case {
        KeyCodes codes;
        std::vector<uint8_t> expected;  // Shift, Lock, Control, Mod1, Mod2 to Mod5, two each
    };
    const Case cases[] = {
        {KeyCodes::KeysymTable, {71, 82, 58, 0, 83, 90, 85, 87, 101, 0, 0, 0, 0, 0, 0, 0}},
        {KeyCodes::BuiltinMap, {50, 62, 66, 0, 37, 109, 64, 113, 77, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        const ServerModifiers map = ServerModifierMap(c.codes);
        ASSERT_EQ(map.keysPerModifier, 2);
        EXPECT_EQ(map.codes, c.expected);
    }
}

// An Xvfb of the test's own, with some extensions switched off.
class Xvfb {
  public:
    bool Start(const std::vector<std::string>& extraArguments) {
        std::vector<std::string> args = {"/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0", "320x200x24",
                                         "-nolisten", "tcp"};
        args.insert(args.end(), extraArguments.begin(), extraArguments.end());
        if (!m_process.Start(args, {}, "/dev/null")) return false;
        const std::string number = m_process.ReadLine(std::chrono::seconds(20));
        if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return false;
        m_name = ":" + number;
        m_connection = xcb_connect(m_name.c_str(), nullptr);
        if (xcb_connection_has_error(m_connection)) return false;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        return true;
    }
    ~Xvfb() {
        if (m_connection != nullptr) xcb_disconnect(m_connection);
        m_process.Terminate();
    }

    [[nodiscard]] const std::string& Name() const { return m_name; }
    [[nodiscard]] xcb_connection_t* Connection() const { return m_connection; }
    [[nodiscard]] xcb_window_t Root() const { return m_root; }

    // A window of one colour, mapped, and drawn once the server has answered.
    void ShowBox(int x, int y, int width, int height, uint32_t colour) {
        const xcb_window_t w = xcb_generate_id(m_connection);
        const uint32_t values[] = {colour};
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, w, m_root, static_cast<int16_t>(x),
                          static_cast<int16_t>(y), static_cast<uint16_t>(width), static_cast<uint16_t>(height), 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL, values);
        xcb_map_window(m_connection, w);
        std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    }

    // The state of the keys (pressed ones) and the pointer.
    [[nodiscard]] bool KeyDown(uint8_t code) const {
        std::unique_ptr<xcb_query_keymap_reply_t, decltype(&std::free)> reply(
            xcb_query_keymap_reply(m_connection, xcb_query_keymap(m_connection), nullptr), &std::free);
        return reply && (reply->keys[code / 8] & (1 << (code % 8))) != 0;
    }
    [[nodiscard]] xcb_query_pointer_reply_t Pointer() const {
        std::unique_ptr<xcb_query_pointer_reply_t, decltype(&std::free)> reply(
            xcb_query_pointer_reply(m_connection, xcb_query_pointer(m_connection, m_root), nullptr), &std::free);
        return reply ? *reply : xcb_query_pointer_reply_t{};
    }

  private:
    ChildProcess m_process;
    std::string m_name;
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = 0;
};

// What the X server reports after a request of ours has been handled by it: the events of
// XTEST are played when it gets round to them.
template <typename Check>
bool Eventually(Check check, std::chrono::milliseconds bound = std::chrono::seconds(2)) {
    for (int i = 0; i < bound.count() / 10; ++i) {
        if (check()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

class X11ScreenTest : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(X11ScreenTest, ReportsTheTilesThatChangedWithTheirNewPixels) {
    Xvfb display;
    ASSERT_TRUE(display.Start(GetParam()));
    std::string error;
    std::unique_ptr<X11Screen> screen = X11Screen::Open(display.Name(), error);
    ASSERT_TRUE(screen) << error;
    EXPECT_EQ(screen->Width(), 320);
    EXPECT_EQ(screen->Height(), 200);
    EXPECT_EQ(screen->CaptureAll(kChangeTile).size(), 5u * 4u);

    // A box across a tile corner: (60..99, 100..129) touches tiles (0..1, 1..2) of 64.
    display.ShowBox(60, 100, 40, 30, 0x3366CC);
    std::vector<PixelRect> changed;
    ASSERT_TRUE(Eventually([&] { return screen->CaptureChanges(kChangeTile, changed) && !changed.empty(); }));
    const std::vector<PixelRect> expected = {{0, 64, 64, 64}, {64, 64, 64, 64}, {0, 128, 64, 64}, {64, 128, 64, 64}};
    // DAMAGE may report the box in pieces over two looks; the first look holds at least one.
    std::vector<PixelRect> all = changed;
    std::vector<PixelRect> more;
    ASSERT_TRUE(screen->CaptureChanges(kChangeTile, more));
    all.insert(all.end(), more.begin(), more.end());
    for (const PixelRect& r : all) EXPECT_NE(std::find(expected.begin(), expected.end(), r), expected.end());
    EXPECT_EQ(screen->ColourAt(60, 100, 0), (Rgb{0x33, 0x66, 0xCC}));
    EXPECT_EQ(screen->ColourAt(99, 129, 0), (Rgb{0x33, 0x66, 0xCC}));
    EXPECT_NE(screen->ColourAt(100, 130, 0), (Rgb{0x33, 0x66, 0xCC}));

    // Nothing drawn: nothing to send.
    ASSERT_TRUE(screen->CaptureChanges(kChangeTile, changed));
    EXPECT_TRUE(changed.empty());
}

INSTANTIATE_TEST_SUITE_P(Extensions, X11ScreenTest,
                         ::testing::Values(std::vector<std::string>{},
                                           std::vector<std::string>{"-extension", "DAMAGE"},
                                           std::vector<std::string>{"-extension", "MIT-SHM"}));

// Loaded one after the other on one display: the second keymap leaves nothing of the first.
TEST(X11InputTest, LoadsTheKeymapTheClientsKeyCodesMean) {
    struct Case {
        KeyCodes codes;
        uint8_t unmapped;  // a code the set has no key for
    };
    const Case cases[] = {
        {KeyCodes::KeysymTable, 84},  // between Control_L and Alt_L
        {KeyCodes::BuiltinMap, 115},  // the Windows key, which the maps never send
    };
    Xvfb display;
    ASSERT_TRUE(display.Start({}));
    for (const Case& c : cases) {
        std::string error;
        std::unique_ptr<X11Input> input = X11Input::Open(display.Name(), c.codes, error);
        ASSERT_TRUE(input) << error;
        xcb_connection_t* x = display.Connection();
        const xcb_setup_t* setup = xcb_get_setup(x);
        const int count = setup->max_keycode - setup->min_keycode + 1;
        std::unique_ptr<xcb_get_keyboard_mapping_reply_t, decltype(&std::free)> reply(
            xcb_get_keyboard_mapping_reply(
                x, xcb_get_keyboard_mapping(x, setup->min_keycode, static_cast<uint8_t>(count)), nullptr),
            &std::free);
        ASSERT_TRUE(reply);
        const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(reply.get());
        const int per = reply->keysyms_per_keycode;
        std::vector<bool> mapped(256, false);
        for (const ServerKey& key : ServerKeymap(c.codes)) {
            mapped[key.code] = true;
            for (size_t level = 0; level < key.keysyms.size(); ++level) {
                EXPECT_EQ(keysyms[(key.code - setup->min_keycode) * per + static_cast<int>(level)], key.keysyms[level])
                    << "key code " << int(key.code) << " level " << level;
            }
        }
        for (int code = setup->min_keycode; code <= setup->max_keycode; ++code) {
            if (!mapped[code]) {
                EXPECT_EQ(keysyms[(code - setup->min_keycode) * per], 0u) << "key code " << code;
            }
        }
        EXPECT_FALSE(mapped[c.unmapped]);
        EXPECT_FALSE(input->Key(c.unmapped, 0, true));
        EXPECT_FALSE(input->Key(300, 0, true));
    }
}

TEST(X11InputTest, KeyPressBringsModifiersAndLocksInLineWithItsFlags) {
    Xvfb display;
    ASSERT_TRUE(display.Start({}));
    std::string error;
    std::unique_ptr<X11Input> input = X11Input::Open(display.Name(), KeyCodes::KeysymTable, error);
    ASSERT_TRUE(input) << error;
    constexpr uint8_t kQ = 45;
    constexpr uint8_t kShiftL = 71;

    // Shift held per the flags, though its press never came: pressed for the key.
    ASSERT_TRUE(input->Key(kQ, kFlagShift | kFlagCapsLock, true));
    EXPECT_TRUE(Eventually([&] { return display.KeyDown(kShiftL) && display.KeyDown(kQ); }));
    EXPECT_TRUE(Eventually([&] { return (display.Pointer().mask & XCB_MOD_MASK_LOCK) != 0; }));
    ASSERT_TRUE(input->Key(kQ, kFlagShift | kFlagCapsLock, false));
    // The next key without Shift and Caps Lock: both let go.
    ASSERT_TRUE(input->Key(kQ, 0, true));
    EXPECT_TRUE(Eventually([&] { return !display.KeyDown(kShiftL); }));
    EXPECT_TRUE(Eventually([&] { return (display.Pointer().mask & XCB_MOD_MASK_LOCK) == 0; }));
    input->ReleaseAll();
    EXPECT_TRUE(Eventually([&] { return !display.KeyDown(kQ); }));

    // The lock keys: the press's flags are the state after it, whatever it was before.
    constexpr uint8_t kCapsLock = 58;
    constexpr uint8_t kNumLock = 101;
    for (const uint32_t flags : {kFlagCapsLock, kFlagCapsLock, 0u}) {
        ASSERT_TRUE(input->Key(kCapsLock, flags, true));
        ASSERT_TRUE(input->Key(kCapsLock, flags, false));
        EXPECT_TRUE(Eventually([&] { return ((display.Pointer().mask & XCB_MOD_MASK_LOCK) != 0) == (flags != 0); }));
    }
    ASSERT_TRUE(input->Key(kNumLock, kFlagNumLock, true));
    EXPECT_TRUE(Eventually([&] { return (display.Pointer().mask & XCB_MOD_MASK_2) != 0; }));
}

TEST(X11InputTest, PointerRecordsMoveAndClickInsideTheScreen) {
    Xvfb display;
    ASSERT_TRUE(display.Start({}));
    std::string error;
    std::unique_ptr<X11Input> input = X11Input::Open(display.Name(), KeyCodes::KeysymTable, error);
    ASSERT_TRUE(input) << error;
    ASSERT_TRUE(input->Pointer(100, 50, 0, 0));
    EXPECT_TRUE(Eventually([&] { return display.Pointer().root_x == 100 && display.Pointer().root_y == 50; }));
    ASSERT_TRUE(input->Pointer(5000, -20, 1, 1));  // off the screen: held to its edge
    EXPECT_TRUE(Eventually([&] {
        const xcb_query_pointer_reply_t p = display.Pointer();
        return p.root_x == 319 && p.root_y == 0 && (p.mask & XCB_BUTTON_MASK_1) != 0;
    }));
    ASSERT_TRUE(input->Pointer(10, 10, 1, 2));
    EXPECT_TRUE(Eventually([&] { return (display.Pointer().mask & XCB_BUTTON_MASK_1) == 0; }));
    // Buttons past the wheel, unknown actions and a button on a motion are refused.
    EXPECT_FALSE(input->Pointer(0, 0, 6, 1));
    EXPECT_FALSE(input->Pointer(0, 0, 1, 3));
    EXPECT_FALSE(input->Pointer(0, 0, 2, 0));
}

// What a program on the display copies is what Read gets; what Own sets is what a program
// pastes, until another program takes the selection.
TEST(X11ClipboardTest, TextGoesBothWaysThroughTheClipboardSelection) {
    Xvfb display;
    ASSERT_TRUE(display.Start({}));
    std::string error;
    std::unique_ptr<X11Clipboard> clipboard = X11Clipboard::Open(display.Name(), error);
    ASSERT_TRUE(clipboard) << error;
    EXPECT_EQ(clipboard->Read(), "");  // nobody owns it

    clipboard->Own("from the client\nline 2");
    ChildProcess paste;
    ASSERT_TRUE(paste.Start({"/usr/bin/xclip", "-display", display.Name(), "-selection", "clipboard", "-o"}, {},
                            "/dev/null"));
    EXPECT_EQ(paste.ReadLine(std::chrono::seconds(5)), "from the client");

    // xclip stays as the owner until another program takes the selection.
    ChildProcess copy;
    ASSERT_TRUE(copy.Start({"/bin/sh", "-c",
                            "printf 'copied on the display' | /usr/bin/xclip -display " + display.Name() +
                                " -selection clipboard -i"},
                           {}, "/dev/null"));
    EXPECT_TRUE(Eventually([&] { return clipboard->Read() == "copied on the display"; }));
}

// The display's windows as the seamless session sees them, and what a client may ask of
// them: an xterm is listed with its place and title; mapped again after an unmap; and asked
// to close it takes WM_DELETE_WINDOW and ends.
TEST(X11WindowsTest, ListsMapsAndPolitelyClosesTheDisplaysWindows) {
    Xvfb display;
    ASSERT_TRUE(display.Start({}));
    std::string error;
    std::unique_ptr<X11Windows> windows = X11Windows::Open(display.Name(), error);
    ASSERT_TRUE(windows) << error;
    ChildProcess xterm;
    // A program that a hang-up ends at once, whatever the user's shell does at start.
    ASSERT_TRUE(xterm.Start({"/usr/bin/xterm", "-display", display.Name(), "-title", "listed", "-geometry", "20x4+12+34",
                             "-e", "/bin/sh", "-c", "exec sleep 600"},
                            {}, "/dev/null"));
    auto find = [&]() -> std::optional<TopWindow> {
        std::vector<TopWindow> now;
        if (!windows->List(now)) return std::nullopt;
        for (const TopWindow& w : now) {
            if (w.title == "listed") return w;
        }
        return std::nullopt;
    };
    std::optional<TopWindow> listed;
    ASSERT_TRUE(
        Eventually([&] { return (listed = find()).has_value() && listed->mapped; }, std::chrono::seconds(20)));
    EXPECT_EQ(listed->place.x, 12);
    EXPECT_EQ(listed->place.y, 34);
    EXPECT_GT(listed->place.width, 20);

    xcb_unmap_window(display.Connection(), listed->xid);
    xcb_flush(display.Connection());
    ASSERT_TRUE(Eventually([&] { return (listed = find()).has_value() && !listed->mapped; }));
    windows->Map(listed->xid);
    ASSERT_TRUE(Eventually([&] { return (listed = find()).has_value() && listed->mapped; }));

    EXPECT_TRUE(windows->Close(listed->xid));
    EXPECT_NE(xterm.Wait(std::chrono::seconds(30)), ChildProcess::kKilledAtBound);
    EXPECT_TRUE(Eventually([&] { return !find().has_value(); }));
    EXPECT_FALSE(windows->Close(listed->xid));  // gone
}

// The display's cursor is read once at first and again only after it has changed: here the
// root window's cursor becomes the cursor font's crosshair.
TEST(X11CursorTest, GivesThePictureFirstAndThenOnlyChanges) {
    Xvfb display;
    ASSERT_TRUE(display.Start({}));
    std::string error;
    std::unique_ptr<X11Cursor> cursor = X11Cursor::Open(display.Name(), error);
    ASSERT_TRUE(cursor) << error;
    const std::optional<CursorPicture> first = cursor->Changed();
    ASSERT_TRUE(first.has_value());
    EXPECT_GT(first->width, 0);
    EXPECT_EQ(first->pixels.size(), static_cast<size_t>(first->width * first->height));
    EXPECT_FALSE(cursor->Changed().has_value());

    xcb_connection_t* c = display.Connection();
    const xcb_font_t font = xcb_generate_id(c);
    xcb_open_font(c, font, 6, "cursor");
    const xcb_cursor_t crosshair = xcb_generate_id(c);
    constexpr uint16_t kCrosshairGlyph = 34;
    xcb_create_glyph_cursor(c, crosshair, font, font, kCrosshairGlyph, kCrosshairGlyph + 1, 0, 0, 0, 0xFFFF, 0xFFFF,
                            0xFFFF);
    const uint32_t values[] = {crosshair};
    xcb_change_window_attributes(c, display.Root(), XCB_CW_CURSOR, values);
    xcb_flush(c);
    std::optional<CursorPicture> changed;
    ASSERT_TRUE(Eventually([&] { return (changed = cursor->Changed()).has_value(); }));
    EXPECT_NE(changed->pixels, first->pixels);
}

}  // namespace
}  // namespace corvane::testserver
