// Scrambled texts: passwords and long server codes are kept, stored and passed on in a 63-byte scrambled form
// that carries a clear text of at most 60 characters.
//
// The scrambled form is bytes, not printable text: a '}' or '~' may become 0x7F or 0x80 and a
// blank may stay a blank. Store, copy and compare it as bytes (std::string is used as a byte
// container here).
//
// All functions may be called from any thread. On failure the output is left untouched and
// one record is logged at level 0; the clear text itself is never logged.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvane {

inline constexpr size_t kScrambledLength = 63;
inline constexpr size_t kMaxClearLength = 60;

// The 49 characters the random filler is drawn from.
inline constexpr std::string_view kScrambleFillerAlphabet =
    "0123456789abcdefghijklmnopqrstuvwxyz!#%&(){}[]|+@";

// The scrambled form of `clear` (63 bytes), padded with random filler drawn uniformly from
// kScrambleFillerAlphabet. 0 on success; -1 when clear is longer than 60 characters.
[[nodiscard]] int ScrambleText(std::string_view clear, std::string& scrambled);

// The same with the given filler, which must hold exactly 60 - clear.size() bytes (-1
// otherwise). For tests and reproducible output.
[[nodiscard]] int ScrambleTextWithFiller(std::string_view clear, std::string_view filler,
                                         std::string& scrambled);

// The clear text of a scrambled form. 0 on success; -1 when the input is not exactly 63 bytes
// or its positions 36..38 are not three decimal digits giving a length of 0 to 60.
[[nodiscard]] int UnscrambleText(std::string_view scrambled, std::string& clear);

}  // namespace corvane
