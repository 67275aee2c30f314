// The user's locale as the start-up records describe it.
// Any thread.
#pragma once

#include <string>

namespace corvane::platform {

// The sublanguage of the user's locale, counted as locale identifiers count it: 1 for English
// of the United States (or English without a region), 2 for the United Kingdom, 3 Australia,
// 4 Canada; 0 for any other language or region. Read from LC_ALL, LC_MESSAGES, then LANG.
[[nodiscard]] int UserSublanguage();

// The name of the C library's current locale ("C" unless the program chose another).
[[nodiscard]] std::string CurrentCLocaleName();

}  // namespace corvane::platform
