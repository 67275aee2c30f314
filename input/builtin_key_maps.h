// The two key maps built into the client, chosen by number (KeyMapNumber 1 or 2).
//
// Both give the standard PC X11 key codes for the scan codes of a Windows keyboard. Map 2 is
// the table; map 1 is the same table with Esc sending 119 instead of 9. The rows are constant
// data and may be read from any thread.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace corvane {

struct BuiltinKeyRow {
    int32_t scanCode;
    uint8_t extended;
    int32_t keyCode;
    std::string_view label;  // for people reading the table, up to 16 characters
};

// The scan code of the row that ends a table.
inline constexpr int32_t kBuiltinKeyMapEnd = -1;

// The rows of built-in map 1 or 2 in table order, ending with the row whose scan code is
// kBuiltinKeyMapEnd; an empty span for any other number.
[[nodiscard]] std::span<const BuiltinKeyRow> BuiltinKeyMap(int number);

}  // namespace corvane
