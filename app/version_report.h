// What `corvane --version` prints: the client's version as the build set it, and the version
// of each library it runs with, so that a report from a user says what was really loaded.
#pragma once

#include <string>

namespace corvane {

// Several lines, each ending in a line feed; the first is "corvane VERSION". A library that
// reports its version at run time is shown with that one, and with the version the client
// was built against when the two differ.
[[nodiscard]] std::string VersionReport();

}  // namespace corvane
