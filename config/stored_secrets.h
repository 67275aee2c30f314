// Reading passwords and server codes as connection and site files store them.
//
// A password is always kept in its scrambled form (63 bytes that may hold blanks and
// non-printable bytes); a server code is scrambled when it is longer than 16 characters.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace corvane {

// The value of a key line that may hold a scrambled text: the 63 bytes after the key when
// the line holds that many, else the first word (empty when there is none).
[[nodiscard]] std::string ScrambledOrWordValue(std::string_view line);

// The clear server code of a stored value; nothing when a long value does not unscramble.
[[nodiscard]] std::optional<std::string> ClearServerCode(const std::string& stored);

// True when the value is a valid scrambled password (or empty).
[[nodiscard]] bool IsStoredPassword(const std::string& stored);

}  // namespace corvane
