// The key lookup shared by connection files and the site file: a section is found by the
// prefix of its header line, a key inside it by the prefix of its line, and the value is
// whatever follows the line's first word. Each lookup opens and scans the file afresh.
//
// May be called from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

enum LookupStatus : int {
    kLookupFound = 0,
    kLookupNoFile = 1,      // the file cannot be opened
    kLookupNoSection = -2,  // no line begins with the section header
    kLookupNoKey = -3,      // the section has no line for the key
};

// Lines are read 249 characters at a time; a longer line continues as the next line.
inline constexpr size_t kKeyLineLimit = 250;

struct KeyLookup {
    int status = kLookupNoFile;
    std::string line;        // the key line, line end included
    std::string annotation;  // the following line when it begins with '!'
};

[[nodiscard]] KeyLookup LookupKey(const std::string& path, std::string_view section,
                                  std::string_view key);

// Values of a key line, parsed as "%*s%d", "%*s%I64d", "%*s%d%d%d%d" and "%*s%s" would parse
// them, without their undefined behaviour: a number out of range does not parse. Nothing
// when the value does not parse (the caller then keeps its previous value).
[[nodiscard]] std::optional<int> IntValue(std::string_view line);
[[nodiscard]] std::optional<int64_t> Int64Value(std::string_view line);
[[nodiscard]] std::optional<std::array<int, 4>> FourIntValues(std::string_view line);
[[nodiscard]] std::optional<std::string> WordValue(std::string_view line);

// Word values land in fields of the login dialogs, which hold 99 characters.
inline constexpr size_t kWordValueLimit = 99;

// Sets `target` to the key line's word value. A value longer than kWordValueLimit is refused
// with a log record naming the key and the file, and `target` keeps its value, as it does
// when the line has no value.
void ReadWordValue(std::string_view line, const char* key, const std::string& path,
                   std::string& target);

// Everything after the key's word and the blanks behind it, without the line end. A
// scrambled text may hold blanks, so it cannot be read as a word.
[[nodiscard]] std::string RestOfLineValue(std::string_view line);

}  // namespace corvane
