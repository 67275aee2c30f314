#include "input/key_tables.h"

#include <array>
#include <utility>

namespace corvane {

namespace {

struct VirtualKeyRow {
    uint8_t virtualKey;
    uint32_t keysym;
};

// In the table's own order: digits, letters, then the named keys. 0xBE stands twice; the first
// row wins, and both give the same keysym.
constexpr std::array<VirtualKeyRow, 121> kVirtualKeys = [] {
    std::array<VirtualKeyRow, 121> rows{};
    size_t n = 0;
    for (uint8_t vk = 0x30; vk <= 0x39; ++vk) rows[n++] = {vk, vk};
    for (uint8_t vk = 0x41; vk <= 0x5A; ++vk) rows[n++] = {vk, vk};
    constexpr VirtualKeyRow named[] = {
        {0x08, 0xFF08}, {0x09, 0xFF09}, {0x0C, 0xFF0B}, {0x0D, 0xFF0D},
        {0xA0, 0xFFE1}, {0xA1, 0xFFE2}, {0x10, 0xFFE1},
        {0xA2, 0xFFE3}, {0xA3, 0xFFE4}, {0x11, 0xFFE3},
        {0xA4, 0xFFE9}, {0xA5, 0xFFEA}, {0x12, 0xFFE9},
        {0x13, 0xFF13}, {0x14, 0xFFE5}, {0x1B, 0xFF1B}, {0x20, 0x0020},
        {0x21, 0xFF55}, {0x22, 0xFF56}, {0x23, 0xFF57}, {0x24, 0xFF50},
        {0x25, 0xFF51}, {0x26, 0xFF52}, {0x27, 0xFF53}, {0x28, 0xFF54},
        {0x29, 0xFF60}, {0x2B, 0xFF62}, {0x2C, 0xFF61}, {0x2D, 0xFF63}, {0x2E, 0xFFFF}, {0x2F, 0xFF6A},
    };
    for (const VirtualKeyRow& row : named) rows[n++] = row;
    for (uint8_t k = 0; k < 10; ++k) rows[n++] = {static_cast<uint8_t>(0x60 + k), 0xFFB0u + k};
    constexpr VirtualKeyRow keypad[] = {{0x6A, 0xFFAA}, {0x6B, 0xFFAB}, {0x6C, 0xFFAC},
                                        {0x6D, 0xFFAD}, {0x6E, 0xFFAE}, {0x6F, 0xFFAF}};
    for (const VirtualKeyRow& row : keypad) rows[n++] = row;
    constexpr VirtualKeyRow punctuation[] = {
        {0xBE, 0x002E}, {0xBA, 0x003B}, {0xBB, 0x002B}, {0xBC, 0x002C}, {0xBD, 0x002D}, {0xBE, 0x002E},
        {0xBF, 0x002F}, {0xC0, 0x0060}, {0xDB, 0x005B}, {0xDC, 0x005C}, {0xDD, 0x005D}, {0xDE, 0x0027},
    };
    for (const VirtualKeyRow& row : punctuation) rows[n++] = row;
    for (uint8_t k = 0; k < 24; ++k) rows[n++] = {static_cast<uint8_t>(0x70 + k), 0xFFBEu + k};
    rows[n++] = {0x90, 0xFF7F};
    rows[n++] = {0x91, 0xFF14};
    return rows;
}();

static_assert(kVirtualKeys.back().virtualKey == 0x91, "the table ends with Scroll Lock");

struct KeysymRow {
    uint32_t keyCode;
    uint32_t keysym;
    uint32_t alternative;  // the other keysym the same key gives (0: none)
};

// The server keyboard's key codes. A key may be named by either of its keysyms (unshifted or
// shifted; letters in either case).
constexpr KeysymRow kKeyCodes[] = {
    {10, 0xFF1B, 0},
    {11, 0xFFBE, 0}, {12, 0xFFBF, 0}, {13, 0xFFC0, 0}, {14, 0xFFC1, 0}, {15, 0xFFC2, 0}, {16, 0xFFC3, 0},
    {17, 0xFFC4, 0}, {18, 0xFFC5, 0}, {19, 0xFFC6, 0}, {20, 0xFFC7, 0}, {21, 0xFFC8, 0}, {22, 0xFFC9, 0},
    {23, 0xFF61, 0}, {24, 0xFF15, 0}, {25, 0xFF14, 0}, {26, 0xFF13, 0},
    {30, 0x60, 0x7E},
    {31, 0x31, 0x21}, {32, 0x32, 0x40}, {33, 0x33, 0x23}, {34, 0x34, 0x24}, {35, 0x35, 0x25},
    {36, 0x36, 0x5E}, {37, 0x37, 0x26}, {38, 0x38, 0x2A}, {39, 0x39, 0x28}, {40, 0x30, 0x29},
    {41, 0x2D, 0x5F}, {42, 0x3D, 0x2B},
    {43, 0xFF08, 0}, {44, 0xFF09, 0},
    {45, 'Q', 'q'}, {46, 'W', 'w'}, {47, 'E', 'e'}, {48, 'R', 'r'}, {49, 'T', 't'},
    {50, 'Y', 'y'}, {51, 'U', 'u'}, {52, 'I', 'i'}, {53, 'O', 'o'}, {54, 'P', 'p'},
    {55, 0x5B, 0x7B}, {56, 0x5D, 0x7D}, {57, 0x5C, 0x7C},
    {58, 0xFFE5, 0},
    {59, 'A', 'a'}, {60, 'S', 's'}, {61, 'D', 'd'}, {62, 'F', 'f'}, {63, 'G', 'g'},
    {64, 'H', 'h'}, {65, 'J', 'j'}, {66, 'K', 'k'}, {67, 'L', 'l'},
    {68, 0x3B, 0x3A}, {69, 0x27, 0x22}, {70, 0xFF0D, 0}, {71, 0xFFE1, 0},
    {72, 'Z', 'z'}, {73, 'X', 'x'}, {74, 'C', 'c'}, {75, 'V', 'v'}, {76, 'B', 'b'},
    {77, 'M', 'm'}, {78, 'N', 'n'},
    {79, 0x2C, 0x3C}, {80, 0x2E, 0x3E}, {81, 0x2F, 0x3F},
    {82, 0xFFE2, 0}, {83, 0xFFE3, 0}, {85, 0xFFE9, 0}, {86, 0x0020, 0}, {87, 0xFFEA, 0}, {90, 0xFFE4, 0},
    {91, 0xFF63, 0}, {92, 0xFF50, 0}, {93, 0xFF55, 0}, {94, 0xFFFF, 0}, {95, 0xFF57, 0}, {96, 0xFF56, 0},
    {97, 0xFF52, 0}, {98, 0xFF51, 0}, {99, 0xFF54, 0}, {100, 0xFF53, 0}, {101, 0xFF7F, 0},
    {102, 0xFFAF, 0}, {103, 0xFFAA, 0}, {104, 0xFFAD, 0}, {108, 0xFFAB, 0},
    {105, 0xFFB7, 0xFF95}, {106, 0xFFB8, 0xFF97}, {107, 0xFFB9, 0xFF9A},
    {109, 0xFFB4, 0xFF96}, {110, 0xFFB5, 0}, {111, 0xFFB6, 0xFF98},
    {112, 0xFFB1, 0xFF9C}, {113, 0xFFB2, 0xFF99}, {114, 0xFFB3, 0xFF9B},
    {115, 0xFFB0, 0xFF9E}, {116, 0xFFAE, 0xFF9F}, {117, 0xFF8D, 0},
};

}  // namespace

std::optional<uint32_t> KeysymForVirtualKey(uint8_t virtualKey) {
    for (const VirtualKeyRow& row : kVirtualKeys) {
        if (row.virtualKey == virtualKey) return row.keysym;
    }
    return std::nullopt;
}

uint32_t ServerKeyCodeForKeysym(uint32_t keysym) {
    if (keysym == 0) return 0;
    for (const KeysymRow& row : kKeyCodes) {
        if (row.keysym == keysym || row.alternative == keysym) return row.keyCode;
    }
    return 0;
}

int VirtualKeyTableRows() { return static_cast<int>(kVirtualKeys.size()); }

}  // namespace corvane
