// The remote-desktop hand-off: a connection file with an [RDP] section is not a display
// session; the connection goes to the system's remote-desktop client, FreeRDP's xfreerdp,
// and this client ends.
//
// The password never appears on a command line or in the log: the program reads it from its
// standard input, and every buffer that held it in clear is wiped. Session thread.
#pragma once

#include <string>
#include <vector>

#include "config/client_settings.h"

namespace corvane {

inline constexpr const char* kRemoteDesktopProgram = "xfreerdp";

// The program's arguments (the first is its name) for the connection in `settings`: the
// remote-desktop file, the server, the user, the password read from standard input, and the
// size (full screen for a negative width or height, none for 0).
[[nodiscard]] std::vector<std::string> RemoteDesktopArguments(const ClientSettings& settings);

// Starts the program found on PATH with the connection and hands it the password. A program
// that cannot be started, or that does not take the password, is reported in a message box;
// the hand-off goes on regardless. Always 1.
int ConnectByRemoteDesktop(const ClientSettings& settings);

}  // namespace corvane
