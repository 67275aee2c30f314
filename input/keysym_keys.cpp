#include "input/keysym_keys.h"

#include <algorithm>
#include <array>

namespace corvane {

namespace {

struct KeysymKey {
    uint32_t keysym;
    uint16_t evdev;
};

// Keysyms of the X protocol's Latin-1 and keyboard sets (sorted by keysym for the lookup).
constexpr std::array kKeysyms = std::to_array<KeysymKey>({
    {0x0020, 57},  // space
    {0x0021, 2},  {0x0022, 40}, {0x0023, 4},  {0x0024, 5},  {0x0025, 6},  {0x0026, 8},  {0x0027, 40},
    {0x0028, 10}, {0x0029, 11}, {0x002A, 9},  {0x002B, 13}, {0x002C, 51}, {0x002D, 12}, {0x002E, 52},
    {0x002F, 53},
    {0x0030, 11}, {0x0031, 2},  {0x0032, 3},  {0x0033, 4},  {0x0034, 5},  {0x0035, 6},  {0x0036, 7},
    {0x0037, 8},  {0x0038, 9},  {0x0039, 10},
    {0x003A, 39}, {0x003B, 39}, {0x003C, 51}, {0x003D, 13}, {0x003E, 52}, {0x003F, 53}, {0x0040, 3},
    // A to Z
    {0x0041, 30}, {0x0042, 48}, {0x0043, 46}, {0x0044, 32}, {0x0045, 18}, {0x0046, 33}, {0x0047, 34},
    {0x0048, 35}, {0x0049, 23}, {0x004A, 36}, {0x004B, 37}, {0x004C, 38}, {0x004D, 50}, {0x004E, 49},
    {0x004F, 24}, {0x0050, 25}, {0x0051, 16}, {0x0052, 19}, {0x0053, 31}, {0x0054, 20}, {0x0055, 22},
    {0x0056, 47}, {0x0057, 17}, {0x0058, 45}, {0x0059, 21}, {0x005A, 44},
    {0x005B, 26}, {0x005C, 43}, {0x005D, 27}, {0x005E, 7},  {0x005F, 12}, {0x0060, 41},
    // a to z
    {0x0061, 30}, {0x0062, 48}, {0x0063, 46}, {0x0064, 32}, {0x0065, 18}, {0x0066, 33}, {0x0067, 34},
    {0x0068, 35}, {0x0069, 23}, {0x006A, 36}, {0x006B, 37}, {0x006C, 38}, {0x006D, 50}, {0x006E, 49},
    {0x006F, 24}, {0x0070, 25}, {0x0071, 16}, {0x0072, 19}, {0x0073, 31}, {0x0074, 20}, {0x0075, 22},
    {0x0076, 47}, {0x0077, 17}, {0x0078, 45}, {0x0079, 21}, {0x007A, 44},
    {0x007B, 26}, {0x007C, 43}, {0x007D, 27}, {0x007E, 41},
    {0xFE03, 100},  // ISO_Level3_Shift (AltGr)
    {0xFE20, 15},   // ISO_Left_Tab (Shift+Tab)
    {0xFF08, 14},  {0xFF09, 15},  {0xFF0D, 28},  {0xFF13, 119}, {0xFF14, 70},  {0xFF15, 99},  {0xFF1B, 1},
    // Home, Left, Up, Right, Down, Prior, Next, End
    {0xFF50, 102}, {0xFF51, 105}, {0xFF52, 103}, {0xFF53, 106}, {0xFF54, 108}, {0xFF55, 104}, {0xFF56, 109},
    {0xFF57, 107},
    {0xFF61, 99},   // Print
    {0xFF63, 110},  // Insert
    {0xFF67, 127},  // Menu
    {0xFF6B, 119},  // Break
    {0xFF7F, 69},   // Num_Lock
    {0xFF8D, 96},   // KP_Enter
    // KP_Home, KP_Left, KP_Up, KP_Right, KP_Down, KP_Prior, KP_Next, KP_End, KP_Begin, KP_Insert,
    // KP_Delete
    {0xFF95, 71},  {0xFF96, 75},  {0xFF97, 72},  {0xFF98, 77},  {0xFF99, 80},  {0xFF9A, 73},  {0xFF9B, 81},
    {0xFF9C, 79},  {0xFF9D, 76},  {0xFF9E, 82},  {0xFF9F, 83},
    // KP_Multiply, KP_Add, KP_Separator, KP_Subtract, KP_Decimal, KP_Divide
    {0xFFAA, 55},  {0xFFAB, 78},  {0xFFAC, 83},  {0xFFAD, 74},  {0xFFAE, 83},  {0xFFAF, 98},
    // KP_0 to KP_9
    {0xFFB0, 82},  {0xFFB1, 79},  {0xFFB2, 80},  {0xFFB3, 81},  {0xFFB4, 75},  {0xFFB5, 76},  {0xFFB6, 77},
    {0xFFB7, 71},  {0xFFB8, 72},  {0xFFB9, 73},
    // F1 to F24
    {0xFFBE, 59},  {0xFFBF, 60},  {0xFFC0, 61},  {0xFFC1, 62},  {0xFFC2, 63},  {0xFFC3, 64},  {0xFFC4, 65},
    {0xFFC5, 66},  {0xFFC6, 67},  {0xFFC7, 68},  {0xFFC8, 87},  {0xFFC9, 88},  {0xFFCA, 183}, {0xFFCB, 184},
    {0xFFCC, 185}, {0xFFCD, 186}, {0xFFCE, 187}, {0xFFCF, 188}, {0xFFD0, 189}, {0xFFD1, 190}, {0xFFD2, 191},
    {0xFFD3, 192}, {0xFFD4, 193}, {0xFFD5, 194},
    // Shift_L, Shift_R, Control_L, Control_R, Caps_Lock, Shift_Lock, Meta_L, Meta_R, Alt_L, Alt_R,
    // Super_L, Super_R
    {0xFFE1, 42},  {0xFFE2, 54},  {0xFFE3, 29},  {0xFFE4, 97},  {0xFFE5, 58},  {0xFFE6, 58},  {0xFFE7, 56},
    {0xFFE8, 100}, {0xFFE9, 56},  {0xFFEA, 100}, {0xFFEB, 125}, {0xFFEC, 126},
    {0xFFFF, 111},  // Delete
});

static_assert(std::is_sorted(kKeysyms.begin(), kKeysyms.end(),
                             [](const KeysymKey& a, const KeysymKey& b) { return a.keysym < b.keysym; }),
              "rows are kept in keysym order for the lookup");

}  // namespace

const PcKey* PcKeyFromKeysym(uint32_t keysym) {
    const auto* it = std::lower_bound(kKeysyms.begin(), kKeysyms.end(), keysym,
                                      [](const KeysymKey& row, uint32_t value) { return row.keysym < value; });
    if (it == kKeysyms.end() || it->keysym != keysym) return nullptr;
    return PcKeyFromEvdev(it->evdev);
}

}  // namespace corvane
