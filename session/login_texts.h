// What the user is told when a login fails: one home for every text, keyed by the
// connection result, the final status and the init status.
#pragma once

#include <cstdint>
#include <string>

namespace corvane {

// "9.40" for a version number of 940.
[[nodiscard]] std::string VersionText(int version);

// cnctConnect's failure codes (-1, -1001 to -1010) that have a text of their own.
[[nodiscard]] bool IsKnownLoginFailure(int code);
// The text of such a code; for -1 it names the proxy when one is in use.
[[nodiscard]] const char* LoginFailureText(int code, bool proxy);
// The text for a final status other than 0, or nullptr for a status without one.
[[nodiscard]] const char* FinalStatusText(int status);
// The text for an init-reply status that ends the login, or nullptr when it is accepted.
// `reconnecting`: the shorter texts of a reconnection.
[[nodiscard]] const char* InitStatusText(uint32_t status, bool reconnecting);

}  // namespace corvane
