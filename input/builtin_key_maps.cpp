#include "input/builtin_key_maps.h"

#include <array>

namespace corvane {
namespace {

// Map 2. Rows that an earlier row shadows (ScrollLock behind SysReq, Break behind Pause) are kept
// so that the table still reads as a picture of the keyboard.
constexpr std::array<BuiltinKeyRow, 107> kKeyMap2 = {{
    {41, 0, 49, "`"},
    {1, 0, 9, "Esc"},
    {2, 0, 10, "1"},
    {3, 0, 11, "2"},
    {4, 0, 12, "3"},
    {5, 0, 13, "4"},
    {6, 0, 14, "5"},
    {7, 0, 15, "6"},
    {8, 0, 16, "7"},
    {9, 0, 17, "8"},
    {10, 0, 18, "9"},
    {11, 0, 19, "0"},
    {12, 0, 20, "-"},
    {13, 0, 21, "="},
    {14, 0, 22, "BackSpace"},
    {15, 0, 23, "Tab"},
    {16, 0, 24, "Q"},
    {17, 0, 25, "W"},
    {18, 0, 26, "E"},
    {19, 0, 27, "R"},
    {20, 0, 28, "T"},
    {21, 0, 29, "Y"},
    {22, 0, 30, "U"},
    {23, 0, 31, "I"},
    {24, 0, 32, "O"},
    {25, 0, 33, "P"},
    {26, 0, 34, "["},
    {27, 0, 35, "]"},
    {43, 0, 51, "\\"},
    {58, 0, 66, "CapsLock"},
    {30, 0, 38, "A"},
    {31, 0, 39, "S"},
    {32, 0, 40, "D"},
    {33, 0, 41, "F"},
    {34, 0, 42, "G"},
    {35, 0, 43, "H"},
    {36, 0, 44, "J"},
    {37, 0, 45, "K"},
    {38, 0, 46, "L"},
    {39, 0, 47, ";"},
    {40, 0, 48, "'"},
    {28, 0, 36, "Enter"},
    {42, 0, 50, "Shift_L"},
    {86, 0, 94, "<>"},
    {44, 0, 52, "Z"},
    {45, 0, 53, "X"},
    {46, 0, 54, "C"},
    {47, 0, 55, "V"},
    {48, 0, 56, "B"},
    {49, 0, 57, "N"},
    {50, 0, 58, "M"},
    {51, 0, 59, ","},
    {52, 0, 60, "."},
    {53, 0, 61, "/"},
    {54, 0, 62, "Shift_R"},
    {29, 0, 37, "Control_L"},
    {91, 0, 0, "Windows"},
    {56, 0, 64, "Alt_L"},
    {57, 0, 65, "Space"},
    {56, 1, 113, "Alt_R"},
    {92, 1, 0, "Windows"},
    {93, 1, 94, "Appl"},
    {29, 1, 109, "Control_R"},
    {59, 0, 67, "F1"},
    {60, 0, 68, "F2"},
    {61, 0, 69, "F3"},
    {62, 0, 70, "F4"},
    {63, 0, 71, "F5"},
    {64, 0, 72, "F6"},
    {65, 0, 73, "F7"},
    {66, 0, 74, "F8"},
    {67, 0, 75, "F9"},
    {68, 0, 76, "F10"},
    {87, 0, 95, "F11"},
    {88, 0, 96, "F12"},
    {0, 0, 92, "SysReq"},
    {0, 0, 0, "ScrollLock"},
    {0, 1, 110, "Pause"},
    {0, 1, 114, "Break"},
    {82, 1, 106, "Insert"},
    {71, 1, 97, "Home"},
    {73, 1, 99, "PageUp"},
    {83, 1, 107, "Delete"},
    {79, 1, 103, "End"},
    {81, 1, 105, "PageDown"},
    {72, 1, 98, "Up"},
    {75, 1, 100, "Left"},
    {80, 1, 104, "Down"},
    {77, 1, 102, "Right"},
    {69, 1, 77, "NumLock"},
    {53, 1, 112, "KP_/"},
    {55, 0, 63, "KP_*"},
    {74, 0, 82, "KP_-"},
    {71, 0, 79, "KP_7"},
    {72, 0, 80, "KP_8"},
    {73, 0, 81, "KP_9"},
    {78, 0, 86, "KP_+"},
    {75, 0, 83, "KP_4"},
    {76, 0, 84, "KP_5"},
    {77, 0, 85, "KP_6"},
    {79, 0, 87, "KP_1"},
    {80, 0, 88, "KP_2"},
    {81, 0, 89, "KP_3"},
    {28, 1, 108, "KP_Enter"},
    {82, 0, 90, "KP_0"},
    {83, 0, 91, "KP_."},
    {kBuiltinKeyMapEnd, 0, 0, ""},
}};

// Map 1 differs from map 2 in one key only: Esc sends 119.
constexpr std::array<BuiltinKeyRow, kKeyMap2.size()> MakeKeyMap1() {
    auto rows = kKeyMap2;
    for (auto& row : rows) {
        if (row.scanCode == 1 && row.extended == 0) row.keyCode = 119;
    }
    return rows;
}

constexpr auto kKeyMap1 = MakeKeyMap1();

}  // namespace

std::span<const BuiltinKeyRow> BuiltinKeyMap(int number) {
    switch (number) {
        case 1:
            return kKeyMap1;
        case 2:
            return kKeyMap2;
        default:
            return {};
    }
}

}  // namespace corvane
